// The words of a command turned into what it works on; a refusal says why and sends nothing.
#include <cstdio>

#include "qsync/commands.h"
#include "qsync/console.h"

namespace {

// The file's text: one byte more than a settings file may hold, so that the parser sees a file
// that is too long as such.
char fileText[kSettingsFileMaxSize + 1];

}  // namespace

int SettingsFileArgument(const char* path, SettingsFileFields* fields)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return Fail(kExitUsage, "Can't read %s", path);
    const size_t length = fread(fileText, 1, sizeof fileText, file);
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed)
        return Fail(kExitUsage, "Can't read %s", path);
    char reason[200];  // "line N: " and the parser's reason
    if (!ParseSettingsFile(fileText, length, fields, reason, sizeof reason))
        return Fail(kExitUsage, "%s: %s", path, reason);
    return kExitOk;
}
