#include "qsync/host.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "link/file_replace.h"

namespace {

constexpr DWORD kOutputPollMs = 50;  // anonymous pipes cannot be waited on: looked at this often
constexpr UINT kExitOfStopped = 1;

bool WriteAll(HANDLE handle, const char* text, size_t length)
{
    while (length > 0) {
        DWORD written = 0;
        const DWORD chunk = length > 65536 ? 65536 : static_cast<DWORD>(length);
        if (!WriteFile(handle, text, chunk, &written, nullptr) || written == 0)
            return false;
        text += written;
        length -= written;
    }
    return true;
}

}  // namespace

const char* const kTextLineEnd = "\r\n";

bool ErrorIsConsole()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool AloneOnConsole()
{
    DWORD mode = 0, processes[2];
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) && GetConsoleProcessList(processes, 2) == 1;
}

void WaitForAnyKey()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputA(input, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
            return;
    }
}

void LocalTimeText(char* text, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    snprintf(text, size, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
}

void UtcTimeText(char* text, size_t size)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    snprintf(text, size, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
}

void StdinBinary()
{
    _setmode(_fileno(stdin), _O_BINARY);
}

int WriteStdoutBinary(const char* text, size_t length, char* reason, size_t reasonSize)
{
    fflush(stdout);
    if (WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text, length))
        return 1;
    SystemErrorReason(GetLastError(), reason, reasonSize);
    return 0;
}

namespace {

// What a worker's pipe holds now, without waiting; the pipe is closed at its end. `untilEnd` reads
// on until the writer has gone (the worker has ended).
void ReadWorkerPipe(long long* pipe, char* text, size_t* length, bool untilEnd)
{
    HANDLE handle = reinterpret_cast<HANDLE>(*pipe);
    for (;;) {
        DWORD available = 0, n = 0;
        char chunk[512];
        if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr))
            break;  // the writer has gone and the pipe is empty
        if (available == 0 && !untilEnd)
            return;
        if (!ReadFile(handle, chunk, sizeof chunk, &n, nullptr) || n == 0)
            break;
        KeepWorkerText(text, length, chunk, n);
    }
    CloseHandle(handle);
    *pipe = -1;
}

// Both of a worker's pipes, as ReadWorkerPipe reads one.
void ReadWorkerPipes(Worker& worker, bool untilEnd)
{
    if (worker.outPipe != -1)
        ReadWorkerPipe(&worker.outPipe, worker.out, &worker.outLength, untilEnd);
    if (worker.errPipe != -1)
        ReadWorkerPipe(&worker.errPipe, worker.err, &worker.errLength, untilEnd);
}

// The rig's own process and a job that kills its workers when the last handle to it closes. Both
// handles are inherited by each worker, which watches the rig and, once it has gone, puts its port
// back before it lets go of the job (qsync/console_interrupt_win.cpp): the job only ends a worker
// that did not manage that.
HANDLE ShareRigWithWorkers()
{
    static bool shared = false;
    static HANDLE job = nullptr;
    if (shared)
        return job;
    shared = true;
    HANDLE rig = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &rig, SYNCHRONIZE, TRUE,
                    0);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    job = CreateJobObjectA(&inherit, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    char value[64];
    snprintf(value, sizeof value, "%llu %llu",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(rig)),
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(job)));
    SetEnvironmentVariableA(kRigHandlesVariable, value);
    return job;
}

// A pipe whose one end the worker inherits; the parent's end is not inherited by any worker.
bool WorkerPipe(HANDLE* parentEnd, HANDLE* workerEnd, bool workerReads)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 1 << 17))
        return false;
    *parentEnd = workerReads ? write : read;
    *workerEnd = workerReads ? read : write;
    SetHandleInformation(*parentEnd, HANDLE_FLAG_INHERIT, 0);
    return true;
}

}  // namespace

int StartWorker(const char* const* args, int argCount, const char* input, size_t inputLength, Worker* worker,
                char* reason, size_t reasonSize)
{
    char module[MAX_PATH];
    char commandLine[4096];
    const DWORD moduleLength = GetModuleFileNameA(nullptr, module, sizeof module);
    if (moduleLength == 0 || moduleLength >= sizeof module) {
        SystemErrorReason(ERROR_FILENAME_EXCED_RANGE, reason, reasonSize);
        return 0;
    }
    // Every argument quoted: a port, "-", a command or a path, none holding a quote.
    int length = snprintf(commandLine, sizeof commandLine, "\"%s\"", module);
    for (int i = 0; i < argCount && length > 0 && length < static_cast<int>(sizeof commandLine); ++i)
        length += snprintf(commandLine + length, sizeof commandLine - length, " \"%s\"", args[i]);
    if (length <= 0 || length >= static_cast<int>(sizeof commandLine)) {
        SystemErrorReason(ERROR_FILENAME_EXCED_RANGE, reason, reasonSize);
        return 0;
    }
    HANDLE in = nullptr, out = nullptr, err = nullptr, workerIn = nullptr, workerOut = nullptr,
           workerErr = nullptr;
    const bool piped = WorkerPipe(&in, &workerIn, true) && WorkerPipe(&out, &workerOut, false) &&
                       WorkerPipe(&err, &workerErr, false);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = workerIn;
    startup.hStdOutput = workerOut;
    startup.hStdError = workerErr;
    PROCESS_INFORMATION info = {};
    // The worker shares the console: Ctrl+C and Ctrl+Break reach it as they reach this process.
    HANDLE job = ShareRigWithWorkers();
    const bool started = piped && CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE,
                                                 CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    if (started) {
        // Where the job cannot take it (a job of the caller's on Windows 7), the watch alone ends it.
        if (job)
            AssignProcessToJobObject(job, info.hProcess);
        ResumeThread(info.hThread);
    }
    for (HANDLE end : {workerIn, workerOut, workerErr})
        if (end)
            CloseHandle(end);
    if (!started) {
        for (HANDLE end : {in, out, err})
            if (end)
                CloseHandle(end);
        SystemErrorReason(error, reason, reasonSize);
        return 0;
    }
    CloseHandle(info.hThread);
    // A worker that ended early leaves the rest unread: its report says why.
    WriteAll(in, input, inputLength);
    CloseHandle(in);
    *worker = Worker{reinterpret_cast<long long>(info.hProcess),
                     reinterpret_cast<long long>(out),
                     reinterpret_cast<long long>(err),
                     1,
                     -1,
                     GetTickCount64(),
                     0,
                     "",
                     0,
                     0,
                     "",
                     ""};
    return 1;
}

int WaitForWorker(Worker* workers, int count, int resultSeconds)
{
    for (;;) {
        HANDLE running[MAXIMUM_WAIT_OBJECTS];
        int index[MAXIMUM_WAIT_OBJECTS];
        DWORD waiting = 0;
        DWORD waitMs = kOutputPollMs;
        const unsigned long long limit = static_cast<unsigned long long>(resultSeconds) * 1000;
        for (int i = 0; i < count && waiting < MAXIMUM_WAIT_OBJECTS; ++i) {
            Worker& worker = workers[i];
            if (!worker.running)
                continue;
            ReadWorkerPipes(worker, false);
            // No result in its time: there is no gentler stop for another process here.
            const unsigned long long age = GetTickCount64() - worker.startedMs;
            if (!worker.stopping && age >= limit) {
                worker.stopping = 2;
                snprintf(worker.ended, sizeof worker.ended, "no result after %d s: stopped", resultSeconds);
                TerminateProcess(reinterpret_cast<HANDLE>(worker.process), kExitOfStopped);
            }
            running[waiting] = reinterpret_cast<HANDLE>(worker.process);
            index[waiting++] = i;
        }
        if (waiting == 0)
            return -1;
        // Ctrl+C reaches every process on the console: the workers stop by themselves.
        const DWORD ended = WaitForMultipleObjects(waiting, running, FALSE, waitMs);
        if (ended == WAIT_TIMEOUT)
            continue;
        const int i = index[ended < WAIT_OBJECT_0 + waiting ? ended - WAIT_OBJECT_0 : 0];
        Worker& worker = workers[i];
        DWORD code = 0;
        if (ended >= WAIT_OBJECT_0 + waiting)
            WaitForSingleObject(running[0], INFINITE);
        worker.running = 0;
        const bool known = GetExitCodeProcess(reinterpret_cast<HANDLE>(worker.process), &code) != 0;
        worker.code = known && !worker.stopping ? static_cast<int>(code) : kWorkerLost;
        CloseHandle(reinterpret_cast<HANDLE>(worker.process));
        ReadWorkerPipes(worker, true);
        return i;
    }
}
