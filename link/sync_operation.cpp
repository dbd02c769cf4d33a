// The register sequences of the load and the save. Each runs as a table of steps; a row first
// moves the progress through its positions (one report per number, none when firstPosition is 0),
// then runs its step.
#include "link/sync_operation.h"

#include <cstdio>
#include <cstring>

#include "link/com_port.h"
#include "link/interrupt.h"
#include "link/register_protocol.h"
#include "link/sync_settings.h"

namespace {

constexpr int kInitRegisters = 32;    // 'P'..'o'
constexpr int kCommentRegisters = 8;  // 'H'..'O'

// What one operation carries from step to step.
struct Run {
    const SyncProgress& progress;
    bool writeModelAndChannel;
};

void Report(const Run& run, int position)
{
    if (run.progress.position)
        run.progress.position(run.progress.context, position);
}

struct Step {
    int firstPosition, lastPosition;
    SyncOutcome (*run)(const Run& run);
    const char* badDataCaption;  // printf format of the load's diagnostic caption, or nullptr
};

// Runs the rows in order until one fails or a stop is asked for. Returns the failing row's index,
// or -1 when all were done; *outcome gets the failing step's outcome. A step that a signal cut
// short counts as interrupted, not as the device's failure.
template <size_t N>
int RunSteps(const Run& run, const Step (&rows)[N], SyncOutcome* outcome)
{
    for (size_t i = 0; i < N; ++i) {
        if (InterruptRequested()) {
            *outcome = SyncOutcome::Interrupted;
            return static_cast<int>(i);
        }
        if (rows[i].firstPosition > 0) {
            for (int position = rows[i].firstPosition; position <= rows[i].lastPosition; ++position)
                Report(run, position);
        }
        *outcome = rows[i].run(run);
        if (*outcome != SyncOutcome::Done && InterruptRequested())
            *outcome = SyncOutcome::Interrupted;
        if (*outcome != SyncOutcome::Done)
            return static_cast<int>(i);
    }
    *outcome = SyncOutcome::Done;
    return -1;
}

SyncOutcome Handshake(const Run&)
{
    return SendText(kHandshakeText) ? SyncOutcome::Done : SyncOutcome::CantWrite;
}

// --- The load ------------------------------------------------------------------------------------

// One register of two decimal digits, range-limited into `field`.
SyncOutcome LoadTwoDigits(RegisterCode code, LoadedField field, int32_t* value)
{
    if (!ReadRegister(code, regBuffer))
        return SyncOutcome::BadData;
    *value = ClampLoaded(field, ParseTwoDigits(regBuffer));
    return SyncOutcome::Done;
}

// A frame's three registers; ClampLoaded of the end frame uses the start frame just loaded.
SyncOutcome LoadFrame(RegisterCode first, const char* fallback, LoadedField field, int32_t* value)
{
    if (!ReadRegisterRun(first, 3, regBuffer))
        return SyncOutcome::BadData;
    *value = ClampLoaded(field, ParseFrame(regBuffer, fallback));
    return SyncOutcome::Done;
}

SyncOutcome LoadModel(const Run&)
{
    return LoadTwoDigits('?', LoadedField::Model, &Sync.model);
}

SyncOutcome LoadChannel(const Run&)
{
    return LoadTwoDigits('>', LoadedField::Channel, &Sync.channel);
}

SyncOutcome LoadStartFrame(const Run&)
{
    return LoadFrame('0', "2", LoadedField::StartFrame, &Sync.startFrame);
}

SyncOutcome LoadEndFrame(const Run&)
{
    return LoadFrame('3', "501", LoadedField::EndFrame, &Sync.endFrame);
}

SyncOutcome LoadBaudFlags(const Run&)
{
    if (!ReadRegister('6', regBuffer))
        return SyncOutcome::BadData;
    int32_t code = 0, flags = 0;
    ParseBaudFlags(regBuffer, &code, &flags);
    Sync.baudCode = ClampLoaded(LoadedField::BaudCode, code);
    Sync.flags = ClampLoaded(LoadedField::Flags, flags);
    return SyncOutcome::Done;
}

// The init-string and comment registers are not tested: a failed read leaves what it gathered,
// and the load goes on.
SyncOutcome LoadInitStrings(const Run& run)
{
    for (int i = 0; i < kInitRegisters; ++i) {
        ReadRegister(static_cast<RegisterCode>('P' + i), regBuffer + 2 * i);
        Report(run, 20 + i);
    }
    DecodeInitBlock(regBuffer);
    return SyncOutcome::Done;
}

SyncOutcome LoadComment(const Run& run)
{
    unsigned char* image = reinterpret_cast<unsigned char*>(Sync.comment);
    for (int i = 0; i < kCommentRegisters; ++i) {
        ReadRegister(static_cast<RegisterCode>('H' + i), image + 2 * i);
        Report(run, 52 + i);
    }
    DecodeComment(image);
    return SyncOutcome::Done;
}

// Each byte of a diagnostic caption is printed as a signed char widened to int, so 0x80 and up
// read ffffff80 to ffffffff.
constexpr Step kLoadSteps[] = {
    {1, 1, Handshake, nullptr},
    {2, 2, Handshake, nullptr},
    {3, 3, LoadModel, "version = %x,%x"},
    {4, 4, LoadChannel, "serial = %x,%x"},
    {5, 6, LoadStartFrame, "start frame = %x,%x,%x,%x,%x,%x"},
    {10, 10, LoadEndFrame, "stop frame = %x,%x,%x,%x,%x,%x"},
    {14, 18, LoadBaudFlags, "baud/flags = %x,%x"},
    {19, 19, LoadInitStrings, nullptr},
    {0, 0, LoadComment, nullptr},
};

void FormatCaption(const char* format, char* caption, size_t captionSize)
{
    int b[6];
    for (int i = 0; i < 6; ++i)
        b[i] = static_cast<signed char>(regBuffer[i]);
    snprintf(caption, captionSize, format, b[0], b[1], b[2], b[3], b[4], b[5]);
}

// --- The save's write half -----------------------------------------------------------------------

SyncOutcome Written(int ok)
{
    return ok ? SyncOutcome::Done : SyncOutcome::CantWrite;
}

SyncOutcome WriteModel(const Run& run)
{
    return run.writeModelAndChannel ? Written(WriteRegisterRun('?', 1)) : SyncOutcome::Done;
}

SyncOutcome WriteStartFrame(const Run&)
{
    return Written(WriteRegisterRun('0', 3));
}

SyncOutcome WriteEndFrame(const Run&)
{
    return Written(WriteRegisterRun('3', 3));
}

// Defaults are consumed here, whether or not the rest of the save succeeds.
SyncOutcome WriteChannel(const Run& run)
{
    const int ok = run.writeModelAndChannel ? WriteRegisterRun('>', 1) : 1;
    if (ok)
        defaultsPending = 0;
    return Written(ok);
}

SyncOutcome WriteBaudFlags(const Run&)
{
    return Written(WriteRegisterRun('6', 1));
}

// Writes a run of registers one at a time, reporting progress after each.
SyncOutcome WriteWithProgress(const Run& run, RegisterCode first, int count, int firstPosition)
{
    for (int i = 0; i < count; ++i) {
        if (!WriteRegisterRun(static_cast<RegisterCode>(first + i), 1))
            return SyncOutcome::CantWrite;
        Report(run, firstPosition + i);
    }
    return SyncOutcome::Done;
}

SyncOutcome WriteInitStrings(const Run& run)
{
    return WriteWithProgress(run, 'P', kInitRegisters, 20);
}

SyncOutcome WriteComment(const Run& run)
{
    return WriteWithProgress(run, 'H', kCommentRegisters, 50);
}

SyncOutcome StartComparing(const Run& run)
{
    if (run.progress.comparing)
        run.progress.comparing(run.progress.context);
    return SyncOutcome::Done;
}

constexpr Step kWriteSteps[] = {
    {1, 1, Handshake, nullptr},        {2, 2, Handshake, nullptr},          {3, 3, WriteModel, nullptr},
    {4, 4, WriteStartFrame, nullptr},  {8, 8, WriteEndFrame, nullptr},      {12, 12, WriteChannel, nullptr},
    {13, 18, WriteBaudFlags, nullptr}, {19, 19, WriteInitStrings, nullptr}, {0, 0, WriteComment, nullptr},
    {60, 60, StartComparing, nullptr},
};

// --- The save's read-back: values compared as parsed, without the load's range rules -----------

SyncOutcome Compared(bool equal)
{
    return equal ? SyncOutcome::Done : SyncOutcome::Mismatch;
}

SyncOutcome VerifyTwoDigits(RegisterCode code, int32_t expected)
{
    if (!ReadRegister(code, regBuffer))
        return SyncOutcome::CantWrite;
    return Compared(ParseTwoDigits(regBuffer) == expected);
}

SyncOutcome VerifyFrame(RegisterCode first, const char* fallback, int32_t expected)
{
    if (!ReadRegisterRun(first, 3, regBuffer))
        return SyncOutcome::CantWrite;
    return Compared(ParseFrame(regBuffer, fallback) == expected);
}

SyncOutcome VerifyModel(const Run&)
{
    return VerifyTwoDigits('?', Sync.model);
}

SyncOutcome VerifyChannel(const Run&)
{
    return VerifyTwoDigits('>', Sync.channel);
}

SyncOutcome VerifyStartFrame(const Run&)
{
    return VerifyFrame('0', "2", Sync.startFrame);
}

SyncOutcome VerifyEndFrame(const Run&)
{
    return VerifyFrame('3', "501", Sync.endFrame);
}

SyncOutcome VerifyBaudFlags(const Run&)
{
    if (!ReadRegister('6', regBuffer))
        return SyncOutcome::CantWrite;
    int32_t code = 0, flags = 0;
    ParseBaudFlags(regBuffer, &code, &flags);
    return Compared(code == Sync.baudCode && flags == Sync.flags);
}

// Reads a run of registers into regBuffer, reporting progress after each; returns whether all
// answered. A register that did not answer was not verified: its pair holds bytes left from an
// earlier reply (the BEL BEL of the register before, say), which could equal what was written and
// pass for a verified save. So a failed read in the read-back counts as data that does not match,
// and the read-back stops there: the verdict is known, and each further silent register would
// only add a second or two of waiting.
bool ReadWithProgress(const Run& run, RegisterCode first, int count, int firstPosition)
{
    for (int i = 0; i < count; ++i) {
        const int answered = ReadRegister(static_cast<RegisterCode>(first + i), regBuffer + 2 * i);
        Report(run, firstPosition + i);
        if (!answered)
            return false;
    }
    return true;
}

// A block of init strings or comment read back: every register must answer and the bytes equal
// what was written; then the decoded read-back replaces the text.
SyncOutcome VerifyBlock(const Run& run, RegisterCode first, int count, int firstPosition, const void* written,
                        void (*decode)(const unsigned char* image))
{
    if (!ReadWithProgress(run, first, count, firstPosition) || memcmp(regBuffer, written, 2 * count) != 0)
        return SyncOutcome::Mismatch;
    decode(regBuffer);
    return SyncOutcome::Done;
}

SyncOutcome VerifyInitStrings(const Run& run)
{
    return VerifyBlock(run, 'P', kInitRegisters, 18, Sync.initBlock, DecodeInitBlock);
}

SyncOutcome VerifyComment(const Run& run)
{
    return VerifyBlock(run, 'H', kCommentRegisters, 50, Sync.comment, DecodeComment);
}

// The read-back starts the progress again from 1.
constexpr Step kVerifySteps[] = {
    {1, 1, VerifyModel, nullptr},    {2, 2, VerifyChannel, nullptr},     {3, 4, VerifyStartFrame, nullptr},
    {8, 8, VerifyEndFrame, nullptr}, {12, 16, VerifyBaudFlags, nullptr}, {17, 17, VerifyInitStrings, nullptr},
    {0, 0, VerifyComment, nullptr},
};

}  // namespace

int BeginSyncOperation(const char* portName)
{
    if (!OpenPortNamed(portName, PortProfile::Exchange))
        return 0;
    ComPort.busy = 1;
    return 1;
}

void EndSyncOperation()
{
    RestoreAndClosePort();
    ComPort.busy = 0;
}

int SyncOperationUnderWay()
{
    return ComPort.busy;
}

SyncOutcome LoadSettings(const SyncProgress& progress, char* caption, size_t captionSize)
{
    const Run run{progress, false};
    // The diagnostic caption shows bytes of regBuffer; cleared here, it shows only what this load
    // read (zeros where it read nothing), never what an earlier save or load left there.
    memset(regBuffer, 0, kRegBufferSize);
    SyncOutcome outcome;
    const int failed = RunSteps(run, kLoadSteps, &outcome);
    if (outcome == SyncOutcome::BadData && kLoadSteps[failed].badDataCaption && caption && captionSize > 0)
        FormatCaption(kLoadSteps[failed].badDataCaption, caption, captionSize);
    return outcome;
}

SyncOutcome SaveSettings(const SyncProgress& progress, bool writeModelAndChannel)
{
    const Run run{progress, writeModelAndChannel};
    SyncOutcome outcome;
    RunSteps(run, kWriteSteps, &outcome);
    if (outcome != SyncOutcome::Done)
        return outcome;
    RunSteps(run, kVerifySteps, &outcome);
    if (outcome != SyncOutcome::Done)
        return outcome;
    Report(run, 60);
    return SyncOutcome::Done;
}
