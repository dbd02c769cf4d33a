// The commands that talk to a synchronizer: read, write and verify. Each holds the port from its
// open to its end, as one load or save of the window program does.
#include <cstdio>
#include <cstring>

#include "link/file_replace.h"
#include "link/interrupt.h"
#include "link/register_protocol.h"
#include "link/sync_operation.h"
#include "link/sync_settings.h"
#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/host.h"
#include "qsync/trace_file.h"

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
    RegisterCode stoppedAt = 0;
    const SyncOutcome outcome =
        LoadSettings(RegisterProgressReports(progress), caption, sizeof caption, &stoppedAt);
    EndSyncOperation();
    NoteIfNotPutBack(port.shown);
    EndRegisterProgress(progress);
    SayRegisters(false, true);
    if (outcome != SyncOutcome::Done)
        return ReportOutcome(port.shown, outcome, caption, stoppedAt);
    SettingsFileFieldsFromSync(Sync, fields);
    return kExitOk;
}

int CantWrite(const char* what, const char* reason)
{
    return Fail(kExitUsage, "%s: can't write: %s", what, reason);
}

// Where read puts the settings: standard output, or a file made ready before the port opens.
struct ReadOutput {
    const char* path;  // nullptr for standard output
    FileOutput file;
};

int OpenReadOutput(const char* path, ReadOutput* output)
{
    output->path = path && std::strcmp(path, "-") != 0 ? path : nullptr;
    char reason[256];
    if (output->path && !OpenFileOutput(path, &output->file, reason, sizeof reason))
        return CantWrite(path, reason);
    return kExitOk;
}

// The text to standard output unchanged (it has its own line ends), or into the file, which takes
// the place of the old one only once it is whole.
int Output(ReadOutput* output, const char* text, size_t length)
{
    char reason[256];
    if (!output->path) {
        if (!WriteStdoutBinary(text, length, reason, sizeof reason))
            return CantWrite("standard output", reason);
        return kExitOk;
    }
    WriteFileOutput(&output->file, text, length);
    if (!CloseFileOutput(&output->file, reason, sizeof reason))
        return CantWrite(output->path, reason);
    return kExitOk;
}

// Says on standard error where the load showed a number otherwise than the device holds it.
void NoteLoadCorrections(const PortName& port, const SettingsFileFields& fields)
{
    char notes[kRegisterDiffSize];
    if (ListLoadCorrections(RegistersRead, fields, notes, sizeof notes) > 0) {
        Note("%s: holds these otherwise than a load shows them (and the file says):", port.shown);
        NoteLines(port.shown, notes);
    }
}

}  // namespace

// read COMn [-o FILE]: the output is made ready before the port opens, so that a name that cannot
// be written is known before the device is read.
int RunRead(const Invocation& invocation)
{
    PortName port;
    ReadOutput output = {};
    int code = PortArgument(invocation.words[0], &port);
    if (code == kExitOk)
        code = StartTraceFile(invocation, port.device, nullptr);
    if (code == kExitOk)
        code = OpenReadOutput(invocation.options[kOutputOption], &output);
    if (code != kExitOk)
        return code;
    SettingsFileFields fields;
    code = LoadDevice(port, &fields);
    if (code == kExitOk && InterruptRequested())
        code = ReportInterrupted(port.shown, "the read: nothing was changed");
    size_t length = 0;
    if (code == kExitOk) {
        char now[32];
        LocalTimeText(now, sizeof now);
        char header[kPortNameSize + 64];
        snprintf(header, sizeof header, "read from %s on %s", port.shown, now);
        length = PrintSettingsFile(fields, header, fileText, sizeof fileText, kTextLineEnd);
        if (length == 0)
            code = Fail(kExitDevice, "%s: the settings read do not fit a settings file", port.shown);
    }
    if (code != kExitOk) {
        if (output.path)
            AbandonFileOutput(&output.file);
        return code;
    }
    NoteLoadCorrections(port, fields);
    return Output(&output, fileText, length);
}

// write COMn FILE [--model-channel]: the file is checked whole before the port is opened.
int RunWrite(const Invocation& invocation)
{
    PortName port;
    SettingsFileFields fields;
    int code = PortArgument(invocation.words[0], &port);
    if (code == kExitOk)
        code = SettingsFileArgument(invocation.words[1], &fields);
    if (code == kExitOk)
        code = StartTraceFile(invocation, port.device, invocation.words[1]);
    if (code != kExitOk)
        return code;
    const bool modelAndChannel = invocation.options[kModelChannelOption] != nullptr;
    PrepareSave(invocation.words[1], fields, modelAndChannel);
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
    SayRegisters(true, modelAndChannel);
    if (outcome != SyncOutcome::Done)
        return ReportSaveOutcome(port.shown, outcome, failed,
                                 progress.counter.phase == RegisterPhase::Compare);
    Status("%s: written and verified", port.shown);
    return kExitOk;
}

// verify COMn FILE [--model-channel]: the device's registers against those a write of the file
// stores, pair by pair, as the write's read-back compares them. Model and channel count only when
// asked for.
int RunVerify(const Invocation& invocation)
{
    PortName port;
    SettingsFileFields fields, device;
    int code = PortArgument(invocation.words[0], &port);
    if (code == kExitOk)
        code = SettingsFileArgument(invocation.words[1], &fields);
    if (code == kExitOk)
        code = StartTraceFile(invocation, port.device, invocation.words[1]);
    if (code == kExitOk)
        code = LoadDevice(port, &device);
    if (code != kExitOk)
        return code;
    EncodeFileForSave(fields);
    RegisterPairs written;
    WrittenImage(&written);
    const bool modelAndChannel = invocation.options[kModelChannelOption] != nullptr;
    if (!modelAndChannel &&
        (std::memcmp(RegisterPairOf(written, '?'), RegisterPairOf(RegistersRead, '?'), 2) != 0 ||
         std::memcmp(RegisterPairOf(written, '>'), RegisterPairOf(RegistersRead, '>'), 2) != 0))
        Note(
            "%s: model %ld, channel %ld; the file says model %ld, channel %ld (compared only with "
            "--model-channel)",
            port.shown, static_cast<long>(device.model), static_cast<long>(device.channel),
            static_cast<long>(fields.model), static_cast<long>(fields.channel));
    char differences[kRegisterDiffSize];
    const int count =
        ListRegisterDifferences(RegistersRead, written, modelAndChannel, differences, sizeof differences);
    if (count == 0) {
        Status("%s holds the settings of %s", port.shown, FileShown(invocation.words[1]));
        return kExitOk;
    }
    fputs(differences, stdout);
    return kExitDifferent;
}
