// The words of a command turned into what it works on; a refusal says why and sends nothing.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/interrupt.h"
#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/host.h"

namespace {

// The file's text: one byte more than a settings file may hold, so that the parser sees a file
// that is too long as such.
char fileText[kSettingsFileMaxSize + 1];
size_t fileLength = 0;

}  // namespace

const char* SettingsFileText(size_t* length)
{
    *length = fileLength;
    return fileText;
}

const char* FileShown(const char* path)
{
    return std::strcmp(path, "-") == 0 ? "standard input" : path;
}

int SettingsFileArgument(const char* path, SettingsFileFields* fields)
{
    const bool standardInput = std::strcmp(path, "-") == 0;
    FILE* file = standardInput ? stdin : fopen(path, "rb");
    if (!file)
        return Fail(kExitUsage, "%s: %s", path, strerror(errno));
    if (standardInput)
        StdinBinary();
    const size_t length = fread(fileText, 1, sizeof fileText, file);
    fileLength = length;
    const bool failed = ferror(file) != 0;
    if (!standardInput)
        fclose(file);
    if (failed)  // a stop signal ends the wait for standard input
        return InterruptRequested()
                   ? ReportInterruptedBeforeSending(FileShown(path))
                   : Fail(kExitUsage, "%s: can't read: %s", FileShown(path), strerror(errno));
    char reason[200];  // "line N: " and the parser's reason
    if (!ParseSettingsFile(fileText, length, fields, reason, sizeof reason))
        return Fail(kExitUsage, "%s: %s", FileShown(path), reason);
    return kExitOk;
}

void PrepareSave(const char* path, const SettingsFileFields& fields, bool modelAndChannel)
{
    SettingsFileFields stored;
    SettingsFileFieldsAsStored(fields, &stored);
    if (!modelAndChannel) {  // not written: the device keeps its own
        stored.model = fields.model;
        stored.channel = fields.channel;
    }
    char changes[kSettingsDiffSize];
    if (ListSettingsDifferences(fields, stored, changes, sizeof changes, "written") > 0) {
        Note("%s: a write stores these otherwise than the file says, as the Windows program's save does:",
             FileShown(path));
        NoteLines(FileShown(path), changes);
    }
    EncodeFileForSave(fields);
}

void EncodeFileForSave(const SettingsFileFields& fields)
{
    SaveInputs inputs;
    SaveInputsFromSettingsFile(fields, &inputs);
    EncodeForSave(inputs);
}
