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
    SaveScope scope;
    RegisterCode* failedRegister;  // the register a step is at, for the caller's message
};

// Marks the register a step works on before it moves it.
void At(const Run& run, RegisterCode code)
{
    *run.failedRegister = code;
}

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

SyncOutcome Handshake(const Run& run)
{
    At(run, 0);
    return SendText(kHandshakeText) ? SyncOutcome::Done : SyncOutcome::CantWrite;
}

// --- The load ------------------------------------------------------------------------------------

// One register of two decimal digits, range-limited into `field`.
SyncOutcome LoadTwoDigits(const Run& run, RegisterCode code, LoadedField field, int32_t* value)
{
    At(run, code);
    if (!ReadRegister(code, regBuffer))
        return SyncOutcome::BadData;
    *value = ClampLoaded(field, ParseTwoDigits(regBuffer));
    return SyncOutcome::Done;
}

// A frame's three registers; ClampLoaded of the end frame uses the start frame just loaded.
SyncOutcome LoadFrame(const Run& run, RegisterCode first, const char* fallback, LoadedField field,
                      int32_t* value)
{
    for (int i = 0; i < 3; ++i) {
        const RegisterCode code = static_cast<RegisterCode>(first + i);
        At(run, code);
        if (!ReadRegister(code, regBuffer + 2 * i))
            return SyncOutcome::BadData;
    }
    *value = ClampLoaded(field, ParseFrame(regBuffer, fallback));
    return SyncOutcome::Done;
}

SyncOutcome LoadModel(const Run& run)
{
    return LoadTwoDigits(run, '?', LoadedField::Model, &Sync.model);
}

SyncOutcome LoadChannel(const Run& run)
{
    return LoadTwoDigits(run, '>', LoadedField::Channel, &Sync.channel);
}

SyncOutcome LoadStartFrame(const Run& run)
{
    return LoadFrame(run, '0', "2", LoadedField::StartFrame, &Sync.startFrame);
}

SyncOutcome LoadEndFrame(const Run& run)
{
    return LoadFrame(run, '3', "501", LoadedField::EndFrame, &Sync.endFrame);
}

SyncOutcome LoadBaudFlags(const Run& run)
{
    At(run, '6');
    if (!ReadRegister('6', regBuffer))
        return SyncOutcome::BadData;
    int32_t code = 0, flags = 0;
    ParseBaudFlags(regBuffer, &code, &flags);
    Sync.baudCode = ClampLoaded(LoadedField::BaudCode, code);
    Sync.flags = ClampLoaded(LoadedField::Flags, flags);
    return SyncOutcome::Done;
}

// Reads a run of registers into regBuffer (defined with the save's read-back, which shares it).
int ReadWithProgress(const Run& run, RegisterCode first, int count, int firstPosition);

// The init-string and comment blocks. A register that does not answer ends the load: what its read
// left is a dead line's bytes (or the register before it again), and decoded they would pass for
// the device's text. Its pair moves to the front of regBuffer, where the caption is printed from.
SyncOutcome LoadBlock(const Run& run, RegisterCode first, int count, int firstPosition,
                      void (*decode)(const unsigned char* image))
{
    const int answered = ReadWithProgress(run, first, count, firstPosition);
    if (answered < count) {
        if (InterruptRequested())
            return SyncOutcome::Interrupted;
        memmove(regBuffer, regBuffer + 2 * answered, 2);
        return SyncOutcome::BadData;
    }
    decode(regBuffer);
    return SyncOutcome::Done;
}

SyncOutcome LoadInitStrings(const Run& run)
{
    return LoadBlock(run, 'P', kInitRegisters, 20, DecodeInitBlock);
}

// Read into regBuffer, not straight into the comment: a load that fails here leaves it as it was.
SyncOutcome LoadComment(const Run& run)
{
    return LoadBlock(run, 'H', kCommentRegisters, 52, DecodeComment);
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
    {19, 19, LoadInitStrings, "init strings = %x,%x"},
    {0, 0, LoadComment, "comment = %x,%x"},
};

void FormatCaption(const char* format, char* caption, size_t captionSize)
{
    int b[6];
    for (int i = 0; i < 6; ++i)
        b[i] = static_cast<signed char>(regBuffer[i]);
    snprintf(caption, captionSize, format, b[0], b[1], b[2], b[3], b[4], b[5]);
}

// --- The save's write half -----------------------------------------------------------------------

// A run of registers written one at a time, so that a failure names its register.
SyncOutcome WriteRun(const Run& run, RegisterCode first, int count)
{
    for (int i = 0; i < count; ++i) {
        At(run, static_cast<RegisterCode>(first + i));
        if (!WriteRegisterRun(static_cast<RegisterCode>(first + i), 1))
            return SyncOutcome::CantWrite;
    }
    return SyncOutcome::Done;
}

SyncOutcome WriteModel(const Run& run)
{
    return run.scope.writeModelAndChannel ? WriteRun(run, '?', 1) : SyncOutcome::Done;
}

SyncOutcome WriteStartFrame(const Run& run)
{
    return WriteRun(run, '0', 3);
}

SyncOutcome WriteEndFrame(const Run& run)
{
    return WriteRun(run, '3', 3);
}

// Defaults are consumed here, whether or not the rest of the save succeeds.
SyncOutcome WriteChannel(const Run& run)
{
    const SyncOutcome outcome = run.scope.writeModelAndChannel ? WriteRun(run, '>', 1) : SyncOutcome::Done;
    if (outcome == SyncOutcome::Done)
        defaultsPending = 0;
    return outcome;
}

SyncOutcome WriteBaudFlags(const Run& run)
{
    return WriteRun(run, '6', 1);
}

// Writes a run of registers one at a time, reporting progress after each.
SyncOutcome WriteWithProgress(const Run& run, RegisterCode first, int count, int firstPosition)
{
    for (int i = 0; i < count; ++i) {
        if (InterruptRequested())
            return SyncOutcome::Interrupted;
        if (WriteRun(run, static_cast<RegisterCode>(first + i), 1) != SyncOutcome::Done)
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

SyncOutcome VerifyTwoDigits(const Run& run, RegisterCode code, int32_t expected)
{
    if (!run.scope.compareModelAndChannel)
        return SyncOutcome::Done;
    At(run, code);
    if (!ReadRegister(code, regBuffer))
        return SyncOutcome::CantWrite;
    return Compared(ParseTwoDigits(regBuffer) == expected);
}

// A frame's three registers read one at a time, so that a failure names its register.
SyncOutcome VerifyFrame(const Run& run, RegisterCode first, const char* fallback, int32_t expected)
{
    for (int i = 0; i < 3; ++i) {
        At(run, static_cast<RegisterCode>(first + i));
        if (!ReadRegister(static_cast<RegisterCode>(first + i), regBuffer + 2 * i))
            return SyncOutcome::CantWrite;
    }
    if (ParseFrame(regBuffer, fallback) == expected)
        return SyncOutcome::Done;
    for (int i = 0; i < 3; ++i) {  // the first register whose pair is not the one written
        unsigned char pair[2];
        RegisterText(static_cast<RegisterCode>(first + i), pair);
        At(run, static_cast<RegisterCode>(first + i));
        if (memcmp(pair, regBuffer + 2 * i, 2) != 0)
            break;
    }
    return SyncOutcome::Mismatch;
}

SyncOutcome VerifyModel(const Run& run)
{
    return VerifyTwoDigits(run, '?', Sync.model);
}

SyncOutcome VerifyChannel(const Run& run)
{
    return VerifyTwoDigits(run, '>', Sync.channel);
}

SyncOutcome VerifyStartFrame(const Run& run)
{
    return VerifyFrame(run, '0', "2", Sync.startFrame);
}

SyncOutcome VerifyEndFrame(const Run& run)
{
    return VerifyFrame(run, '3', "501", Sync.endFrame);
}

SyncOutcome VerifyBaudFlags(const Run& run)
{
    At(run, '6');
    if (!ReadRegister('6', regBuffer))
        return SyncOutcome::CantWrite;
    int32_t code = 0, flags = 0;
    ParseBaudFlags(regBuffer, &code, &flags);
    return Compared(code == Sync.baudCode && flags == Sync.flags);
}

// Reads a run of registers into regBuffer, reporting progress after each; returns how many
// answered before the first that did not (count when all did), and reads no further. In the
// read-back, a register that did not answer was not verified: its pair holds bytes left from an
// earlier reply (the BEL BEL of the register before, say), which could equal what was written and
// pass for a verified save. So a failed read in the read-back counts as data that does not match,
// and the read-back stops there: the verdict is known, and each further silent register would
// only add a second or two of waiting.
int ReadWithProgress(const Run& run, RegisterCode first, int count, int firstPosition)
{
    for (int i = 0; i < count; ++i) {
        if (InterruptRequested())
            return i;
        At(run, static_cast<RegisterCode>(first + i));
        const int answered = ReadRegister(static_cast<RegisterCode>(first + i), regBuffer + 2 * i);
        Report(run, firstPosition + i);
        if (!answered)
            return i;
    }
    return count;
}

// A block of init strings or comment read back: every register must answer and the bytes equal
// what was written; then the decoded read-back replaces the text.
SyncOutcome VerifyBlock(const Run& run, RegisterCode first, int count, int firstPosition, const void* written,
                        void (*decode)(const unsigned char* image))
{
    if (ReadWithProgress(run, first, count, firstPosition) < count)
        return InterruptRequested() ? SyncOutcome::Interrupted : SyncOutcome::Mismatch;
    const unsigned char* expected = static_cast<const unsigned char*>(written);
    for (int i = 0; i < count; ++i) {
        At(run, static_cast<RegisterCode>(first + i));
        if (memcmp(regBuffer + 2 * i, expected + 2 * i, 2) != 0)
            return SyncOutcome::Mismatch;
    }
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

SyncOutcome LoadSettings(const SyncProgress& progress, char* caption, size_t captionSize,
                         RegisterCode* stoppedAt)
{
    RegisterCode unused = 0;
    const Run run{progress, SaveScope{false, false}, stoppedAt ? stoppedAt : &unused};
    // The diagnostic caption shows bytes of regBuffer; cleared here, it shows only what this load
    // read (zeros where it read nothing), never what an earlier save or load left there.
    memset(regBuffer, 0, kRegBufferSize);
    memset(&RegistersRead, 0, sizeof RegistersRead);
    SyncOutcome outcome;
    const int failed = RunSteps(run, kLoadSteps, &outcome);
    if (outcome == SyncOutcome::BadData && kLoadSteps[failed].badDataCaption && caption && captionSize > 0)
        FormatCaption(kLoadSteps[failed].badDataCaption, caption, captionSize);
    return outcome;
}

SyncOutcome SaveSettings(const SyncProgress& progress, const SaveScope& scope, RegisterCode* failedRegister)
{
    RegisterCode unused = 0;
    const Run run{progress, scope, failedRegister ? failedRegister : &unused};
    memset(&RegistersRead, 0, sizeof RegistersRead);
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
