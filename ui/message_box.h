#pragma once
#include <windows.h>

// The program's message boxes: a fixed text and caption, one OK button, modal to `owner`.
void ShowMessage(HWND owner, const char* text, const char* caption);
