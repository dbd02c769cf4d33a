#include "qsync/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "link/com_port.h"
#include "link/register_protocol.h"
#include "qsync/host.h"

namespace {

Verbosity verbosity = Verbosity::Normal;

// Every message reads "qsync: OBJECT: PROBLEM[: REASON]"; the callers give what follows the name.
void Say(const char* format, va_list args)
{
    fputs("qsync: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
}

// What a register holds, for a message that names it.
const char* RegisterName(RegisterCode code)
{
    if (code == '?')
        return "model";
    if (code == '>')
        return "channel";
    if (code >= '0' && code <= '2')
        return "start frame";
    if (code >= '3' && code <= '5')
        return "end frame";
    if (code == '6')
        return "baud and flags";
    if (code >= 'H' && code <= 'O')
        return "comment";
    return "init strings";
}

const char* Verb(RegisterPhase phase)
{
    switch (phase) {
        case RegisterPhase::Load:
            return "reading";
        case RegisterPhase::Write:
            return "writing";
        case RegisterPhase::Compare:
            break;
    }
    return "comparing";
}

void Show(RegisterProgress& progress, int count)
{
    if (!progress.console || count == progress.shown)
        return;
    progress.shown = count;
    fprintf(stderr, "\r%-9s registers %2d/%d", Verb(progress.counter.phase), count,
            RegistersInPhase(progress.counter));
    fflush(stderr);
}

void OnPosition(void* context, int position)
{
    RegisterProgress& progress = *static_cast<RegisterProgress*>(context);
    Show(progress, CountAt(progress.counter, position));
}

void OnComparing(void* context)
{
    RegisterProgress& progress = *static_cast<RegisterProgress*>(context);
    progress.counter = StartCounting(RegisterPhase::Compare, progress.counter.modelAndChannel);
    progress.shown = -1;
    Show(progress, 0);
}

}  // namespace

int Fail(int code, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Say(format, args);
    va_end(args);
    return code;
}

void Note(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Say(format, args);
    va_end(args);
}

int ReportInterrupted(const char* object, const char* where)
{
    return Fail(kExitInterrupted, "%s: interrupted during %s", object, where);
}

void NoteLines(const char* object, const char* lines)
{
    for (const char* line = lines; *line;) {
        const char* end = std::strchr(line, '\n');
        const int length = static_cast<int>(end ? end - line : std::strlen(line));
        Note("%s: %.*s", object, length, line);
        line += length + (end ? 1 : 0);
    }
}

bool Quiet()
{
    return verbosity == Verbosity::Quiet;
}

void SetVerbosity(Verbosity level)
{
    verbosity = level;
}

void Status(const char* format, ...)
{
    if (verbosity == Verbosity::Quiet)
        return;
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
}

void SayRegisters(bool written, bool modelAndChannel)
{
    if (verbosity != Verbosity::Verbose)
        return;
    RegisterPairs stored = {};
    if (written)
        WrittenImage(&stored);
    RegisterCode codes[kRegisterCount];
    const int count = RegistersInWriteOrder(!written || modelAndChannel, codes);
    for (int i = 0; i < count; ++i) {
        const unsigned char* read = RegisterPairOf(RegistersRead, codes[i]);
        char label[64], readText[kQuotedPairSize], wroteText[kQuotedPairSize];
        RegisterLabel(codes[i], label, sizeof label);
        QuotePair(read, readText);
        QuotePair(RegisterPairOf(stored, codes[i]), wroteText);
        if (written)
            fprintf(stderr, "%s: wrote %s, read back %s\n", label, wroteText, readText);
        else if (RegistersRead.answered[codes[i] - kFirstRegisterCode])  // one the load reached
            fprintf(stderr, "%s: read %s\n", label, readText);
    }
}

const char* const kInterruptedBeforeSending = "interrupted before anything was sent: nothing was changed";

int ReportInterruptedBeforeSending(const char* object)
{
    return Fail(kExitInterrupted, "%s: %s", object, kInterruptedBeforeSending);
}

void NoteIfNotPutBack(const char* port)
{
    if (LastRestoreFailed())
        Note("%s: its former line settings were not all put back", port);
}

int ReportOutcome(const char* object, SyncOutcome outcome, const char* caption, RegisterCode stoppedAt)
{
    // One port per process: nothing handed to the port means nothing went out.
    if (outcome == SyncOutcome::Interrupted && PortBytesHanded() == 0)
        return ReportInterruptedBeforeSending(object);
    char label[64];
    switch (outcome) {
        case SyncOutcome::CantWrite:
            return Fail(kExitDevice, "%s: Can't write to port", object);
        case SyncOutcome::BadData:
            // Silence is told apart from bytes that came but were wrong.
            RegisterLabel(stoppedAt, label, sizeof label);
            if (LastReplyLength == 0)
                return Fail(kExitDevice, "%s: no answer from the synchronizer at %s", object, label);
            return Fail(kExitDevice, "%s: Bad Data in Synchronizer (%s) at %s", object, caption, label);
        case SyncOutcome::Mismatch:
            return Fail(kExitDevice, "%s: Save failed (data doesn't match)", object);
        case SyncOutcome::Interrupted:
            return ReportInterrupted(object, "the read: nothing was changed");
        case SyncOutcome::Done:
            break;
    }
    return kExitOk;
}

int ReportSaveOutcome(const char* object, SyncOutcome outcome, RegisterCode failedRegister, bool comparing)
{
    char where[64] = "";
    if (failedRegister != 0)
        snprintf(where, sizeof where, " at register %c (%s)", failedRegister, RegisterName(failedRegister));
    if (outcome == SyncOutcome::Interrupted && PortBytesHanded() == 0)
        return ReportInterruptedBeforeSending(object);
    switch (outcome) {
        case SyncOutcome::CantWrite:
            return Fail(kExitDevice, "%s: Can't write to port%s%s", object, where,
                        comparing ? ": no answer to the read-back" : "");
        case SyncOutcome::Mismatch:
            return Fail(kExitDevice, "%s: Save failed (data doesn't match)%s", object, where);
        case SyncOutcome::Interrupted:
            return ReportInterrupted(
                object, comparing ? "the read-back: every register was written, not all were "
                                    "compared; verify again"
                                  : "the write: the device may hold old and new values; write again");
        case SyncOutcome::BadData:
        case SyncOutcome::Done:
            break;
    }
    return ReportOutcome(object, outcome, "", failedRegister);
}

void StartRegisterProgress(RegisterProgress& progress, RegisterPhase phase, bool modelAndChannel)
{
    progress.console = ErrorIsConsole() && verbosity != Verbosity::Quiet;
    progress.counter = StartCounting(phase, modelAndChannel);
    progress.shown = -1;
}

SyncProgress RegisterProgressReports(RegisterProgress& progress)
{
    return SyncProgress{OnPosition, OnComparing, &progress};
}

void EndRegisterProgress(RegisterProgress& progress)
{
    if (progress.console && progress.shown >= 0)
        fputc('\n', stderr);
    progress.shown = -1;
}
