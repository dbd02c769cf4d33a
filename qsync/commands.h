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

// write and verify on a list of ports ("COM3,COM4"): each port by a worker of its own, all at
// once, one line for each port at the end. `command` is "write" or "verify".
bool IsPortList(const char* word);
int RunOnPorts(const char* command, const Invocation& invocation);

// The settings a file holds ("-": standard input), or a message naming the file (and the line,
// and why) and kExitUsage.
int SettingsFileArgument(const char* path, SettingsFileFields* fields);
// The text SettingsFileArgument read last, as read.
const char* SettingsFileText(size_t* length);
// How messages name a FILE word.
const char* FileShown(const char* path);
// Says on standard error what a write of `fields` stores otherwise than the file says (corrected,
// packed or cut as the window program's save does), then encodes it into Sync for the save.
void PrepareSave(const char* path, const SettingsFileFields& fields, bool modelAndChannel);
// Encodes `fields` into Sync as a write of them does, without a word.
void EncodeFileForSave(const SettingsFileFields& fields);
