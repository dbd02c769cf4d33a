#include "qsync/console.h"

#include <cstdarg>
#include <cstdio>

#include "qsync/host.h"

namespace {

void Say(const char* format, va_list args)
{
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
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

int ReportOutcome(SyncOutcome outcome, const char* caption)
{
    switch (outcome) {
        case SyncOutcome::CantWrite:
            return Fail(kExitDevice, "Can't write to port");
        case SyncOutcome::BadData:
            return Fail(kExitDevice, "Bad Data in Synchronizer (%s)", caption);
        case SyncOutcome::Mismatch:
            return Fail(kExitDevice, "Save failed (data doesn't match)");
        case SyncOutcome::Interrupted:
            return Fail(kExitInterrupted, "Interrupted: the port is put back as it was");
        case SyncOutcome::Done:
            break;
    }
    return kExitOk;
}

void StartRegisterProgress(RegisterProgress& progress, RegisterPhase phase, bool modelAndChannel)
{
    progress.console = ErrorIsConsole();
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
