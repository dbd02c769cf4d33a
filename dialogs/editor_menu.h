#pragma once
// The editor's settings files: its context menu, Ctrl+S and Ctrl+O, and what Save Settings File
// and Open Settings File do with its fields. Nothing here talks to the device.
#include <windows.h>

// From the editor's opening to its end, Ctrl+S and Ctrl+O pressed in the editor or one of its
// controls are its commands IDM_SAVE_SETTINGS_FILE and IDM_OPEN_SETTINGS_FILE.
void StartEditorKeys(HWND editor);
void StopEditorKeys();

// WM_CONTEXTMENU of the editor: the menu at the click, or below the focus for the keyboard's.
// Returns 1.
LRESULT ShowEditorMenu(HWND editor, UINT message, WPARAM wParam, LPARAM lParam);
// The two commands; each does nothing while its button (SAVE, LOAD) is disabled. Each returns 1.
LRESULT SaveSettingsFileCommand(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT OpenSettingsFileCommand(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
