#pragma once
// The parameter editor: shows SyncSettings, lets the user change it, and opens the load and the
// save over itself.
#include <windows.h>
#include <cstdint>

extern uint32_t HiddenModeState;  // bits 0-1: count of the first hidden-mode key; bit 2: hidden mode

INT_PTR CALLBACK EditorDlgProc(HWND editor, UINT message, WPARAM wParam, LPARAM lParam);

// Operations the load and the save call on the editor (their progress dialog's owner).
void RefreshEditorFields(HWND editor);
void EnableStartFrame(HWND editor, BOOL enable);
void EnableEndFrame(HWND editor, BOOL enable);
void EnableOptionControls(HWND editor, BOOL synchronize, BOOL baud, BOOL comment, BOOL initStrings);
void EnableEditorButtons(HWND editor, BOOL save, BOOL load, BOOL defaults, BOOL cancel);
void EnableEditorControls(HWND editor);
void DisableEditorControls(HWND editor);

// Command handlers of the editor's buttons; each returns 1.
LRESULT SaveToSynchronizer(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT LoadFromSynchronizer(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT FillDefaults(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT CloseEditor(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
