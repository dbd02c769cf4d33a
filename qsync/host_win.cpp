#include "qsync/host.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

// The system's words for an error, without their line end.
void SystemReason(DWORD error, char* out, size_t size)
{
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                   0, out, static_cast<DWORD>(size), nullptr);
    size_t length = n < size ? n : 0;
    while (length > 0 && (out[length - 1] == '\r' || out[length - 1] == '\n' || out[length - 1] == ' '))
        --length;
    if (length == 0)
        snprintf(out, size, "error %lu", static_cast<unsigned long>(error));
    else
        out[length] = '\0';
}

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
    SystemReason(GetLastError(), reason, reasonSize);
    return 0;
}

namespace {

// All the pipe holds until its writer has gone, as much as fits (NUL-terminated).
void Gather(HANDLE pipe, char* text)
{
    size_t length = 0;
    char chunk[512];
    DWORD n = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &n, nullptr) && n > 0) {
        const size_t room = kWorkerTextSize - 1 - length;
        const size_t take = n < room ? n : room;
        memcpy(text + length, chunk, take);
        length += take;
    }
    text[length] = '\0';
    CloseHandle(pipe);
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
        SystemReason(ERROR_FILENAME_EXCED_RANGE, reason, reasonSize);
        return 0;
    }
    // Every argument quoted: a port, "-", a command or a path, none holding a quote.
    int length = snprintf(commandLine, sizeof commandLine, "\"%s\"", module);
    for (int i = 0; i < argCount && length > 0 && length < static_cast<int>(sizeof commandLine); ++i)
        length += snprintf(commandLine + length, sizeof commandLine - length, " \"%s\"", args[i]);
    if (length <= 0 || length >= static_cast<int>(sizeof commandLine)) {
        SystemReason(ERROR_FILENAME_EXCED_RANGE, reason, reasonSize);
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
    const bool started = piped && CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr,
                                                 nullptr, &startup, &info);
    const DWORD error = GetLastError();
    for (HANDLE end : {workerIn, workerOut, workerErr})
        if (end)
            CloseHandle(end);
    if (!started) {
        for (HANDLE end : {in, out, err})
            if (end)
                CloseHandle(end);
        SystemReason(error, reason, reasonSize);
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
                     "",
                     ""};
    return 1;
}

int WaitForWorker(Worker* workers, int count)
{
    HANDLE running[MAXIMUM_WAIT_OBJECTS];
    int index[MAXIMUM_WAIT_OBJECTS];
    DWORD waiting = 0;
    for (int i = 0; i < count && waiting < MAXIMUM_WAIT_OBJECTS; ++i) {
        if (workers[i].running) {
            running[waiting] = reinterpret_cast<HANDLE>(workers[i].process);
            index[waiting++] = i;
        }
    }
    if (waiting == 0)
        return -1;
    // Ctrl+C reaches every process on the console: the workers stop by themselves.
    const DWORD ended = WaitForMultipleObjects(waiting, running, FALSE, INFINITE);
    const int i = index[ended < WAIT_OBJECT_0 + waiting ? ended - WAIT_OBJECT_0 : 0];
    Worker& worker = workers[i];
    DWORD code = 0;
    if (ended >= WAIT_OBJECT_0 + waiting)
        WaitForSingleObject(running[0], INFINITE);
    worker.running = 0;
    worker.code = GetExitCodeProcess(reinterpret_cast<HANDLE>(worker.process), &code) ? static_cast<int>(code)
                                                                                      : kWorkerLost;
    CloseHandle(reinterpret_cast<HANDLE>(worker.process));
    Gather(reinterpret_cast<HANDLE>(worker.outPipe), worker.out);
    Gather(reinterpret_cast<HANDLE>(worker.errPipe), worker.err);
    return i;
}
