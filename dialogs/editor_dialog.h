#pragma once
// The parameter editor: shows SyncSettings, lets the user change it, and opens the load and the
// save over itself.
#include <windows.h>
#include <cstdint>

#include "link/sync_settings.h"

extern uint32_t HiddenModeState;  // bits 0-1: count of the first hidden-mode key; bit 2: hidden mode
bool InHiddenMode();
// Model and channel are written by a SAVE only in hidden mode or after Defaults.
bool SaveWritesModelAndChannel();

extern const DLGPROC EditorDlgProc;  // for DialogBoxParamA

// Sets an up-down's position (its low 16 bits), which rewrites its buddy field.
void SetSpinPosition(HWND editor, int spinId, int32_t position);

// Operations the load and the save call on the editor (their progress dialog's owner).
void RefreshEditorFields(HWND editor);
void EnableEditorButtons(HWND editor, BOOL save, BOOL load, BOOL defaults, BOOL cancel);
void EnableEditorControls(HWND editor);
// What the controls hold, as SAVE hands it to EncodeForSave.
void ReadEditorInputs(HWND editor, SaveInputs* out);
