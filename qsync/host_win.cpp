#include "qsync/host.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

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

bool ErrorIsConsole()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void LocalTimeText(char* text, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    snprintf(text, size, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
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

int ReplaceFileWith(const char* path, const char* text, size_t length, char* reason, size_t reasonSize)
{
    char temporary[MAX_PATH + 32];
    if (snprintf(temporary, sizeof temporary, "%s.%lu.tmp", path,
                 static_cast<unsigned long>(GetCurrentProcessId())) >= static_cast<int>(sizeof temporary)) {
        SystemReason(ERROR_FILENAME_EXCED_RANGE, reason, reasonSize);
        return 0;
    }
    HANDLE file =
        CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SystemReason(GetLastError(), reason, reasonSize);
        return 0;
    }
    bool ok = WriteAll(file, text, length) && FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (ok && !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (ok)
        return 1;
    DeleteFileA(temporary);
    SystemReason(error, reason, reasonSize);
    return 0;
}
