#pragma once
// The commands of qsync, one function each, and what they share: turning their words into a
// port and a settings file. Each returns the process's exit code (qsync/console.h).
#include "link/settings_file.h"
#include "qsync/arguments.h"
#include "qsync/port_names.h"

int RunFind(const Invocation& invocation);
int RunRead(const Invocation& invocation);
int RunWrite(const Invocation& invocation);
int RunVerify(const Invocation& invocation);
int RunShow(const Invocation& invocation);

// The settings a file holds ("-": standard input), or a message naming the file (and the line,
// and why) and kExitUsage.
int SettingsFileArgument(const char* path, SettingsFileFields* fields);
// How messages name a FILE word.
const char* FileShown(const char* path);
// Says on standard error what a write of `fields` stores otherwise than the file says (corrected,
// packed or cut as the window program's save does), then encodes it into Sync for the save.
void PrepareSave(const SettingsFileFields& fields, bool modelAndChannel);
