#pragma once
// How the editor's fields react to the user: checks when a field is left, the BAUD stepping, the
// Synchronize flag, the init-string warning and the hidden-mode keys.
#include <windows.h>

// Command handlers (each returns 1) and the WM_HOTKEY handler (returns 0).
LRESULT FieldNotify(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT ToggleSynchronize(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT CheckInitLength(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT IgnoreSpinCommand(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
LRESULT EditorHotkey(HWND editor, UINT message, WPARAM wParam, LPARAM lParam);
