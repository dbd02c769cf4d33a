// write and verify on a rig: a list of ports, each worked on by another run of qsync at the same
// time (one port and one set of settings per process, as for a single port). The list and the
// file are checked whole before any worker starts; the report comes when all have ended.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "link/file_replace.h"
#include "link/interrupt.h"
#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/host.h"
#include "qsync/trace_file.h"

namespace {

constexpr int kMaxRigPorts = 32;
// A worker's time for its result: every frame of a write answered at the slowest a device may
// answer (a second for each of 49 read-backs, their writes, the open's drain), twice over.
constexpr int kResultSeconds = 150;
// For tests only: another time for a worker's result, in seconds.
constexpr const char* kResultSecondsTestHook = "QSYNC_TEST_RESULT_SECONDS";
constexpr size_t kTracePathSize = 1024;

struct RigPort {
    char word[kPortNameSize];  // as the list has it: what the worker is given
    PortName port;
    char trace[kTracePathSize];
    int code;         // the worker's, or ours when it never ran
    char words[256];  // why it never ran
};
RigPort rig[kMaxRigPorts];
Worker workers[kMaxRigPorts];

// Worse outcomes rank higher: interrupted, failed, different, done.
int Rank(int code)
{
    switch (code) {
        case kExitOk:
            return 0;
        case kExitDifferent:
            return 1;
        case kExitInterrupted:
            return 3;
        default:
            return 2;
    }
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t';
}

// The list split at its commas, each entry a port without the spaces around it ("A, B"); a
// refusal says why and returns kExitUsage.
int ParsePortList(const char* list, int* count)
{
    *count = 0;
    for (const char* at = list;;) {
        const char* comma = std::strchr(at, ',');
        while (IsSpace(*at) && at != comma)
            ++at;
        size_t length = comma ? static_cast<size_t>(comma - at) : std::strlen(at);
        while (length > 0 && IsSpace(at[length - 1]))
            --length;
        if (length == 0)
            return Fail(kExitUsage, "%s: an empty entry in the list of ports", list);
        if (*count == kMaxRigPorts)
            return Fail(kExitUsage, "%s: at most %d ports in a list", list, kMaxRigPorts);
        RigPort& entry = rig[*count];
        snprintf(entry.word, sizeof entry.word, "%.*s", static_cast<int>(length), at);
        const int code = PortArgument(entry.word, &entry.port);
        if (code != kExitOk)
            return code;
        for (int k = 0; k < *count; ++k) {
            if (SamePort(rig[k].port, entry.port))
                return Fail(kExitUsage, "%s: %s and %s are the same port", list, rig[k].port.shown,
                            entry.port.shown);
        }
        ++*count;
        if (!comma)
            return kExitOk;
        at = comma + 1;
    }
}

// Each port's trace file, tried now (its new file made and removed again) so that one that cannot
// be written, or that is the settings file, stops everything before any worker starts. Standard
// error is one for all workers: their traces would mix there.
int CheckTraceFiles(const char* path, const char* settingsFile, int count)
{
    if (std::strcmp(path, "-") == 0)
        return Fail(kExitUsage, "--trace -: takes one port: give a FILE, and each port gets its own");
    for (int i = 0; i < count; ++i) {
        if (!TracePathForPort(path, rig[i].port.shown, rig[i].trace, sizeof rig[i].trace))
            return Fail(kExitUsage, "%s: can't write: the name is too long", path);
        const int code = TraceIsNot(rig[i].trace, settingsFile, "settings file");
        if (code != kExitOk)
            return code;
        FileOutput file;
        char reason[256];
        if (!OpenFileOutput(rig[i].trace, &file, reason, sizeof reason))
            return Fail(kExitUsage, "%s: can't write: %s", rig[i].trace, reason);
        AbandonFileOutput(&file);
    }
    return kExitOk;
}

void ShowDone(bool console, const char* command, int done, int count)
{
    if (!console || Quiet())
        return;
    fprintf(stderr, "\r%s: %d of %d devices done", command, done, count);
    if (done == count)
        fputc('\n', stderr);
    fflush(stderr);
}

// The last line of a worker's messages: its words for the failure.
void LastLine(char* text)
{
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = '\0';
    const char* start = std::strrchr(text, '\n');
    if (start)
        std::memmove(text, start + 1, std::strlen(start + 1) + 1);
}

// A worker's messages as the rig prints them after the port: without "qsync: " and the port.
void Unprefixed(char* text, const char* port)
{
    char line[kPortNameSize + 2];
    snprintf(line, sizeof line, "%s: ", port);
    size_t kept = 0;
    for (size_t at = 0; text[at];) {
        for (const char* prefix : {"qsync: ", static_cast<const char*>(line)}) {
            if (std::strncmp(text + at, prefix, std::strlen(prefix)) == 0)
                at += std::strlen(prefix);
        }
        while (text[at] && text[at] != '\n')
            text[kept++] = text[at++];
        if (text[at])
            text[kept++] = text[at++];
    }
    text[kept] = '\0';
}

// verify's differing fields, one line each, as one line joined by "; ".
void JoinLines(const char* text, char* out, size_t outSize)
{
    size_t length = 0;
    for (const char* read = text; *read && length + 3 < outSize; ++read) {
        if (*read == '\r')
            continue;
        if (*read != '\n')
            out[length++] = *read;
        else if (read[1] != '\0')
            out[length++] = ';', out[length++] = ' ';
    }
    out[length] = '\0';
}

void Report(const RigPort& entry, Worker& worker, bool verifying, const char* fileShown)
{
    const char* port = entry.port.shown;
    if (entry.code == kExitOk && Quiet())
        return;
    Unprefixed(worker.err, port);
    // What a verify said besides its result (the model and channel note) goes on the same line.
    char note[kWorkerTextSize] = "";
    if (verifying && (entry.code == kExitOk || entry.code == kExitDifferent) && worker.err[0]) {
        note[0] = ';', note[1] = ' ';
        JoinLines(worker.err, note + 2, sizeof note - 2);
    }
    if (entry.words[0]) {
        printf("%s: %s\n", port, entry.words);
    } else if (worker.ended[0]) {
        printf("%s: %s\n", port, worker.ended);
    } else if (entry.code == kExitOk && verifying) {
        printf("%s holds the settings of %s%s\n", port, fileShown, note);
    } else if (entry.code == kExitOk) {
        printf("%s: written and verified\n", port);
    } else if (entry.code == kExitDifferent) {
        char joined[kWorkerTextSize];
        JoinLines(worker.out, joined, sizeof joined);
        printf("%s: %s%s\n", port, joined, note);
    } else if (LastLine(worker.err), worker.err[0]) {
        printf("%s: %s\n", port, worker.err);
    } else {
        printf("%s: stopped with exit code %d\n", port, entry.code);
    }
}

int ResultSeconds()
{
    const char* hook = std::getenv(kResultSecondsTestHook);
    const int seconds = hook ? std::atoi(hook) : 0;
    return seconds > 0 ? seconds : kResultSeconds;
}

}  // namespace

void KeepWorkerText(char* text, size_t* length, const char* chunk, size_t count)
{
    const size_t take = std::min(count, kWorkerTextSize - 1 - *length);
    std::memcpy(text + *length, chunk, take);
    *length += take;
    text[*length] = '\0';
}

bool IsPortList(const char* word)
{
    return std::strchr(word, ',') != nullptr;
}

int RunOnPorts(const char* command, const Invocation& invocation)
{
    if (invocation.options[kModelChannelOption])
        return Fail(kExitUsage, "%s: --model-channel takes one port", invocation.words[0]);
    int count = 0;
    int code = ParsePortList(invocation.words[0], &count);
    SettingsFileFields fields;
    if (code == kExitOk)
        code = SettingsFileArgument(invocation.words[1], &fields);
    const char* trace = invocation.options[kTraceOption];
    if (code == kExitOk && trace)
        code = CheckTraceFiles(trace, invocation.words[1], count);
    if (code != kExitOk)
        return code;
    const bool verifying = std::strcmp(command, "verify") == 0;
    if (!verifying)
        PrepareSave(invocation.words[1], fields,
                    false);  // what the device keeps otherwise, said once for all

    size_t length = 0;
    const char* text = SettingsFileText(&length);
    for (int i = 0; i < count; ++i) {
        RigPort& entry = rig[i];
        entry.words[0] = '\0';
        workers[i] = Worker{};
        if (InterruptRequested()) {
            entry.code = kExitInterrupted;
            snprintf(entry.words, sizeof entry.words, "%s", kInterruptedBeforeSending);
            continue;
        }
        const char* args[] = {command, entry.word, "-", "--trace", entry.trace};
        char reason[200];
        if (!StartWorker(args, trace ? 5 : 3, text, length, &workers[i], reason, sizeof reason)) {
            entry.code = kExitDevice;
            snprintf(entry.words, sizeof entry.words, "Can't start qsync: %s", reason);
        }
    }
    const bool console = ErrorIsConsole();
    int done = count;
    for (int i = 0; i < count; ++i)
        done -= workers[i].running;
    ShowDone(console, command, done, count);
    const int resultSeconds = ResultSeconds();
    for (int ended; (ended = WaitForWorker(workers, count, resultSeconds)) >= 0;) {
        rig[ended].code = workers[ended].code;
        ShowDone(console, command, ++done, count);
    }
    int worst = kExitOk;
    for (int i = 0; i < count; ++i) {
        Report(rig[i], workers[i], verifying, FileShown(invocation.words[1]));
        const int outcome = Rank(rig[i].code) == 2 ? kExitDevice : rig[i].code;  // a lost worker failed too
        if (Rank(outcome) > Rank(worst))
            worst = outcome;
    }
    return worst;
}
