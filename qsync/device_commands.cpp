// The commands that talk to a synchronizer: read, write and verify. Each holds the port from its
// open to its end, as one load or save of the window program does.
#include <cstdio>
#include <cstring>

#include "link/sync_operation.h"
#include "link/sync_settings.h"
#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/host.h"

namespace {

// A settings file as read from a device: its header comment and body.
char fileText[kSettingsFileBodySize + 128];

// Loads the device into *fields as the editor would show it, or says why not.
int LoadDevice(const PortName& port, SettingsFileFields* fields)
{
    if (!BeginSyncOperation(port.device))
        return CantOpen(port);
    RegisterProgress progress;
    StartRegisterProgress(progress, RegisterPhase::Load, false);
    char caption[kBadDataCaptionSize] = "";
    const SyncOutcome outcome = LoadSettings(RegisterProgressReports(progress), caption, sizeof caption);
    EndSyncOperation();
    EndRegisterProgress(progress);
    if (outcome != SyncOutcome::Done)
        return ReportOutcome(outcome, caption);
    SettingsFileFieldsFromSync(Sync, fields);
    return kExitOk;
}

// The text to standard output unchanged (it has its own CR LF), or into the named file.
int Output(const char* path, const char* text, size_t length)
{
    if (!path) {
        WriteStdoutBinary(text, length);
        return kExitOk;
    }
    FILE* file = fopen(path, "wb");
    if (!file)
        return Fail(kExitUsage, "Can't write %s", path);
    const bool written = fwrite(text, 1, length, file) == length;
    if (fclose(file) != 0 || !written)
        return Fail(kExitUsage, "Can't write %s", path);
    return kExitOk;
}

}  // namespace

// read COMn [-o FILE]
int RunRead(const Invocation& invocation)
{
    PortName port;
    SettingsFileFields fields;
    int code = PortArgument(invocation.words[0], &port);
    if (code == kExitOk)
        code = LoadDevice(port, &fields);
    if (code != kExitOk)
        return code;
    char now[32];
    LocalTimeText(now, sizeof now);
    char header[kPortNameSize + 64];
    snprintf(header, sizeof header, "read from %s on %s", port.shown, now);
    const size_t length = PrintSettingsFile(fields, header, fileText, sizeof fileText);
    if (length == 0)
        return Fail(kExitDevice, "The settings read from %s do not fit a settings file", port.shown);
    return Output(invocation.options[kOutputOption], fileText, length);
}

// write COMn FILE [--model-channel]: the file is checked whole before the port is opened.
int RunWrite(const Invocation& invocation)
{
    PortName port;
    SettingsFileFields fields;
    int code = PortArgument(invocation.words[0], &port);
    if (code == kExitOk)
        code = SettingsFileArgument(invocation.words[1], &fields);
    if (code != kExitOk)
        return code;
    SaveInputs inputs;
    SaveInputsFromSettingsFile(fields, &inputs);
    EncodeForSave(inputs);
    if (!BeginSyncOperation(port.device))
        return CantOpen(port);
    const bool modelAndChannel = invocation.options[kModelChannelOption] != nullptr;
    RegisterProgress progress;
    StartRegisterProgress(progress, RegisterPhase::Write, modelAndChannel);
    const SyncOutcome outcome = SaveSettings(RegisterProgressReports(progress), modelAndChannel);
    EndSyncOperation();
    EndRegisterProgress(progress);
    if (outcome != SyncOutcome::Done)
        return ReportOutcome(outcome, "");
    printf("%s: written and verified\n", port.shown);
    return kExitOk;
}

// verify COMn FILE: the file's settings as a device holds them after a write, against a load.
int RunVerify(const Invocation& invocation)
{
    PortName port;
    SettingsFileFields fields, expected, device;
    int code = PortArgument(invocation.words[0], &port);
    if (code == kExitOk)
        code = SettingsFileArgument(invocation.words[1], &fields);
    if (code != kExitOk)
        return code;
    SettingsFileFieldsAsStored(fields, &expected);
    code = LoadDevice(port, &device);
    if (code != kExitOk)
        return code;
    char differences[kSettingsDiffSize];
    const int count = ListSettingsDifferences(expected, device, differences, sizeof differences);
    if (count == 0) {
        printf("%s holds the settings of %s\n", port.shown, invocation.words[1]);
        return kExitOk;
    }
    fputs(differences, stdout);
    return kExitDifferent;
}
