#pragma once
// The standard Save and Open dialogs for settings files, and the files themselves. Nothing here
// talks to the device.
#include <windows.h>

#include "link/settings_file.h"

// Asks for a name (Save Settings File) and writes `fields` there, headed "saved from PORT on
// DATE". Cancel does nothing; a failure is shown.
void SaveSettingsFileAs(HWND owner, const SettingsFileFields& fields, const char* portShown);
// Asks for a file (Open Settings File) and reads it into *fields. 1 when a good file was read; 0
// after Cancel, or after a refusal, which has been shown.
int OpenSettingsFile(HWND owner, SettingsFileFields* fields);
