#include "qsync/host.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

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

void WriteStdoutBinary(const char* text, size_t length)
{
    fflush(stdout);
    const int mode = _setmode(_fileno(stdout), _O_BINARY);
    fwrite(text, 1, length, stdout);
    fflush(stdout);
    _setmode(_fileno(stdout), mode);
}

void InstallStopHandlers()
{
    // Ctrl+C ends qsync.exe as the system does; the console handler belongs here.
}
