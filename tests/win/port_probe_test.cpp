// The serial port probe, against ports of every kind: CreateFileA and
// GetCommProperties are swapped, in this process's import table, for stand-ins that play a port
// and record every open, so the test sees which handles the probe asked for.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "link/port_probe.h"
#include "tests/support/import_swap.h"

// The import table entries of the two calls (mingw-w64 and MSVC both name them so).
extern "C" {
extern decltype(&CreateFileA) __imp_CreateFileA;
extern decltype(&GetCommProperties) __imp_GetCommProperties;
}

namespace {

// How the played port answers GetCommProperties on a handle of one access.
struct Answer {
    BOOL ok;
    DWORD subType;  // when ok
    DWORD error;    // when not ok
};

struct PlayedPort {
    Answer queryOnly;          // desired access 0
    Answer read;               // GENERIC_READ
    std::vector<DWORD> opens;  // the desired access of every open, in order
    DWORD lastAccess;
};

PlayedPort played;

// The stand-ins, like many drivers, leave the last error alone when they succeed.
HANDLE WINAPI PlayCreateFile(LPCSTR, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    const DWORD error = GetLastError();
    played.opens.push_back(access);
    played.lastAccess = access;
    HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // a handle the probe can close
    SetLastError(error);
    return handle;
}

BOOL WINAPI PlayGetCommProperties(HANDLE, LPCOMMPROP properties)
{
    const Answer& answer = played.lastAccess == 0 ? played.queryOnly : played.read;
    if (!answer.ok) {
        SetLastError(answer.error);
        return FALSE;
    }
    properties->dwProvSubType = answer.subType;
    return TRUE;
}

constexpr Answer kRs232 = {TRUE, PST_RS232, 0};
constexpr Answer kModem = {TRUE, PST_MODEM, 0};
constexpr Answer kDenied = {FALSE, 0, ERROR_ACCESS_DENIED};
constexpr Answer kNotSerial = {FALSE, 0, ERROR_INVALID_FUNCTION};

struct ProbeRow {
    const char* what;
    Answer queryOnly;
    Answer read;
    DWORD staleError;  // the last error before the probe
    int result;
    std::vector<DWORD> opens;
};

TEST(PortProbeTest, AsksAgainOnAReadHandleOnlyWhenTheQueryWasRefused)
{
    const ProbeRow rows[] = {
        {"RS-232, query answered", kRs232, kModem, ERROR_ACCESS_DENIED, 1, {0}},
        {"modem, query answered, an old access error", kModem, kRs232, ERROR_ACCESS_DENIED, 0, {0}},
        {"modem, query answered", kModem, kRs232, ERROR_SUCCESS, 0, {0}},
        {"query refused (Wine), RS-232 on read", kDenied, kRs232, ERROR_SUCCESS, 1, {0, GENERIC_READ}},
        {"query refused, modem on read", kDenied, kModem, ERROR_SUCCESS, 0, {0, GENERIC_READ}},
        {"query refused, read refused", kDenied, kDenied, ERROR_SUCCESS, 0, {0, GENERIC_READ}},
        {"not a serial port", kNotSerial, kRs232, ERROR_ACCESS_DENIED, 0, {0}},
    };
    for (const ProbeRow& row : rows) {
        SCOPED_TRACE(row.what);
        played = PlayedPort{row.queryOnly, row.read, {}, 0};
        int result = -1;
        {
            ImportSwap<decltype(&CreateFileA)> open(__imp_CreateFileA, PlayCreateFile);
            ImportSwap<decltype(&GetCommProperties)> query(__imp_GetCommProperties, PlayGetCommProperties);
            SetLastError(row.staleError);
            result = ProbeSerialPort("COM1");
        }
        EXPECT_EQ(row.result, result);
        EXPECT_EQ(row.opens, played.opens);
    }
}

}  // namespace
