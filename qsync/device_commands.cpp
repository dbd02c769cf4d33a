// The commands that talk to a synchronizer: read, write and verify. Each holds the port from its
// open to its end, as one load or save of the window program does.
#include <cstdio>
#include <cstring>

#include "link/interrupt.h"
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
    NoteIfNotPutBack(port.shown);
    EndRegisterProgress(progress);
    if (outcome != SyncOutcome::Done)
        return ReportOutcome(outcome, caption);
    SettingsFileFieldsFromSync(Sync, fields);
    return kExitOk;
}

int CantWrite(const char* what, const char* reason)
{
    return Fail(kExitUsage, "Can't write %s: %s", what, reason);
}

// The text to standard output unchanged (it has its own CR LF), or into the named file. The file
// is written whole beside its place and only then put there: a failure leaves FILE as it was.
int Output(const char* path, const char* text, size_t length)
{
    char reason[256];
    if (!path || std::strcmp(path, "-") == 0) {
        if (!WriteStdoutBinary(text, length, reason, sizeof reason))
            return CantWrite("standard output", reason);
        return kExitOk;
    }
    if (!ReplaceFileWith(path, text, length, reason, sizeof reason))
        return CantWrite(path, reason);
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
    if (InterruptRequested())
        return ReportInterrupted("the read: nothing was changed");
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
    const bool modelAndChannel = invocation.options[kModelChannelOption] != nullptr;
    PrepareSave(fields, modelAndChannel);
    if (!BeginSyncOperation(port.device))
        return CantOpen(port);
    RegisterProgress progress;
    StartRegisterProgress(progress, RegisterPhase::Write, modelAndChannel);
    RegisterCode failed = 0;
    const SyncOutcome outcome =
        SaveSettings(RegisterProgressReports(progress), SaveScope{modelAndChannel, modelAndChannel}, &failed);
    EndSyncOperation();
    NoteIfNotPutBack(port.shown);
    EndRegisterProgress(progress);
    if (outcome != SyncOutcome::Done)
        return ReportSaveOutcome(outcome, failed, progress.counter.phase == RegisterPhase::Compare);
    printf("%s: written and verified\n", port.shown);
    return kExitOk;
}

// verify COMn FILE [--model-channel]: the device against the file, each value as the file says
// or as a write of the file leaves it. Model and channel count only when asked for.
int RunVerify(const Invocation& invocation)
{
    PortName port;
    SettingsFileFields fields, expected, device;
    int code = PortArgument(invocation.words[0], &port);
    if (code == kExitOk)
        code = SettingsFileArgument(invocation.words[1], &fields);
    if (code == kExitOk)
        code = LoadDevice(port, &device);
    if (code != kExitOk)
        return code;
    SettingsFileFieldsExpected(fields, device, &expected);
    if (!invocation.options[kModelChannelOption]) {
        if (expected.model != device.model || expected.channel != device.channel)
            Note(
                "%s is model %ld, channel %ld; the file says model %ld, channel %ld (compared only with "
                "--model-channel)",
                port.shown, static_cast<long>(device.model), static_cast<long>(device.channel),
                static_cast<long>(fields.model), static_cast<long>(fields.channel));
        expected.model = device.model;
        expected.channel = device.channel;
    }
    char differences[kSettingsDiffSize];
    const int count = ListSettingsDifferences(expected, device, differences, sizeof differences);
    if (count == 0) {
        printf("%s holds the settings of %s\n", port.shown, FileShown(invocation.words[1]));
        return kExitOk;
    }
    fputs(differences, stdout);
    return kExitDifferent;
}
