#pragma once
#include <windows.h>

// Centres a dialog over its owner, kept on the screen where it fits. Every dialog calls it first
// in its WM_INITDIALOG.
void CenterOverOwner(HWND dialog, HWND owner);
