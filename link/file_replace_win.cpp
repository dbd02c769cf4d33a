#include "link/file_replace.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

// The system's words for an error, without their line end.
int Refuse(DWORD error, char* reason, size_t reasonSize)
{
    if (reasonSize == 0)
        return 0;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                   0, reason, static_cast<DWORD>(reasonSize), nullptr);
    size_t length = n < reasonSize ? n : 0;
    while (length > 0 && (reason[length - 1] == '\r' || reason[length - 1] == '\n' ||
                          reason[length - 1] == ' ' || reason[length - 1] == '.'))
        --length;
    if (length == 0)
        snprintf(reason, reasonSize, "error %lu", static_cast<unsigned long>(error));
    else
        reason[length] = '\0';
    return 0;
}

enum class DeviceName { None, InPlace, Refused };

bool SameLetters(const wchar_t* text, size_t length, const wchar_t* name)
{
    return std::wcslen(name) == length && _wcsnicmp(text, name, length) == 0;
}

// What the last part of the name is to Windows: NUL and CON (and the console's own CONOUT$) are
// devices a file may be written to; COMn, LPTn, AUX and PRN are devices that no file goes to,
// whatever their extension; so is any other name under \\.\.
DeviceName DeviceNameOf(const wchar_t* path)
{
    if (std::wcsncmp(path, L"\\\\.\\", 4) == 0) {
        const wchar_t* name = path + 4;
        return SameLetters(name, std::wcslen(name), L"NUL") || SameLetters(name, std::wcslen(name), L"CON")
                   ? DeviceName::InPlace
                   : DeviceName::Refused;
    }
    const wchar_t* base = path;
    for (const wchar_t* c = path; *c; ++c) {
        if (*c == L'\\' || *c == L'/' || (*c == L':' && c == path + 1))
            base = c + 1;
    }
    size_t length = 0;  // up to the extension or a stream's colon, without trailing blanks
    while (base[length] && base[length] != L'.' && base[length] != L':')
        ++length;
    while (length > 0 && base[length - 1] == L' ')
        --length;
    if (SameLetters(base, length, L"NUL") || SameLetters(base, length, L"CON") ||
        SameLetters(base, length, L"CONOUT$"))
        return DeviceName::InPlace;
    if (SameLetters(base, length, L"AUX") || SameLetters(base, length, L"PRN"))
        return DeviceName::Refused;
    if (length == 4 && (_wcsnicmp(base, L"COM", 3) == 0 || _wcsnicmp(base, L"LPT", 3) == 0) &&
        base[3] >= L'1' && base[3] <= L'9')
        return DeviceName::Refused;
    return DeviceName::None;
}

bool Widen(const char* path, wchar_t* out, size_t outSize)
{
    return MultiByteToWideChar(CP_ACP, 0, path, -1, out, static_cast<int>(outSize)) > 0;
}

// An existing file opened for its identity only.
HANDLE OpenForIdentity(const wchar_t* path)
{
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The name finally written: a symbolic link's target (its final path), else the name itself.
bool FinalName(const wchar_t* path, DWORD attributes, wchar_t* out, size_t outSize)
{
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const HANDLE file = OpenForIdentity(path);
        if (file != INVALID_HANDLE_VALUE) {
            const DWORD n =
                GetFinalPathNameByHandleW(file, out, static_cast<DWORD>(outSize), FILE_NAME_NORMALIZED);
            CloseHandle(file);
            if (n > 0 && n < outSize)
                return true;
        }
    }
    const int written = _snwprintf(out, outSize, L"%ls", path);
    return written >= 0 && static_cast<size_t>(written) < outSize;
}

bool WriteAll(HANDLE handle, const char* bytes, size_t length)
{
    while (length > 0) {
        DWORD written = 0;
        const DWORD chunk = length > 65536 ? 65536 : static_cast<DWORD>(length);
        if (!WriteFile(handle, bytes, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        length -= written;
    }
    return true;
}

HANDLE Handle(const FileOutput* out)
{
    return reinterpret_cast<HANDLE>(out->handle);
}

// Field by field: a whole FileOutput assigned from a temporary puts a 16 KB copy of it in the
// program's data.
void StartOutput(FileOutput* out, long long handle)
{
    out->handle = handle;
    out->inPlace = true;
    out->existed = false;
    out->error = 0;
    out->target[0] = out->temporary[0] = L'\0';
}

}  // namespace

int SystemErrorReason(unsigned long error, char* reason, size_t reasonSize)
{
    return Refuse(error, reason, reasonSize);
}

int OpenFileOutput(const char* path, FileOutput* out, char* reason, size_t reasonSize)
{
    wchar_t wide[kFilePathSize];
    if (!Widen(path, wide, kFilePathSize))
        return Refuse(GetLastError(), reason, reasonSize);
    return OpenFileOutputW(wide, out, reason, reasonSize);
}

int OpenFileOutputW(const wchar_t* path, FileOutput* out, char* reason, size_t reasonSize)
{
    StartOutput(out, -1);
    switch (DeviceNameOf(path)) {
        case DeviceName::Refused:
            if (reasonSize > 0)
                snprintf(reason, reasonSize, "a device other than NUL or CON is not written to");
            return 0;
        case DeviceName::InPlace: {
            const HANDLE device = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, 0, nullptr);
            if (device == INVALID_HANDLE_VALUE)
                return Refuse(GetLastError(), reason, reasonSize);
            out->handle = reinterpret_cast<long long>(device);
            return 1;
        }
        case DeviceName::None:
            break;
    }
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Refuse(ERROR_DIRECTORY, reason, reasonSize);
    if (!FinalName(path, attributes, out->target, kFilePathSize))
        return Refuse(ERROR_FILENAME_EXCED_RANGE, reason, reasonSize);
    out->existed = GetFileAttributesW(out->target) != INVALID_FILE_ATTRIBUTES;
    out->inPlace = false;
    const int length = _snwprintf(out->temporary, kFilePathSize, L"%ls.%lu.tmp", out->target,
                                  static_cast<unsigned long>(GetCurrentProcessId()));
    if (length < 0 || static_cast<size_t>(length) >= kFilePathSize)
        return Refuse(ERROR_FILENAME_EXCED_RANGE, reason, reasonSize);
    const HANDLE file =
        CreateFileW(out->temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Refuse(GetLastError(), reason, reasonSize);
    out->handle = reinterpret_cast<long long>(file);
    return 1;
}

void StandardErrorOutput(FileOutput* out)
{
    StartOutput(out, reinterpret_cast<long long>(GetStdHandle(STD_ERROR_HANDLE)));
}

int WriteFileOutput(FileOutput* out, const void* bytes, size_t length)
{
    if (out->error == 0 && out->handle != -1 &&
        !WriteAll(Handle(out), static_cast<const char*>(bytes), length))
        out->error = static_cast<int>(GetLastError());
    return out->error == 0 ? 1 : 0;
}

int CloseFileOutput(FileOutput* out, char* reason, size_t reasonSize)
{
    const HANDLE handle = Handle(out);
    const bool standardError = handle == GetStdHandle(STD_ERROR_HANDLE);
    out->handle = -1;
    if (!standardError && handle != INVALID_HANDLE_VALUE) {
        if (!out->inPlace && out->error == 0 && !FlushFileBuffers(handle))
            out->error = static_cast<int>(GetLastError());
        if (!CloseHandle(handle) && out->error == 0)
            out->error = static_cast<int>(GetLastError());
    }
    if (!out->inPlace) {
        // ReplaceFile keeps the old file's attributes and security; a new file is only moved in.
        const bool placed = out->error == 0 &&
                            (out->existed ? ReplaceFileW(out->target, out->temporary, nullptr,
                                                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                                          : MoveFileExW(out->temporary, out->target, MOVEFILE_WRITE_THROUGH));
        if (out->error == 0 && !placed)
            out->error = static_cast<int>(GetLastError());
        if (out->error != 0)
            DeleteFileW(out->temporary);
    }
    return out->error == 0 ? 1 : Refuse(static_cast<DWORD>(out->error), reason, reasonSize);
}

void AbandonFileOutput(FileOutput* out)
{
    const HANDLE handle = Handle(out);
    if (out->handle != -1 && handle != GetStdHandle(STD_ERROR_HANDLE))
        CloseHandle(handle);
    if (out->handle != -1 && !out->inPlace)
        DeleteFileW(out->temporary);
    out->handle = -1;
}

int SameFile(const char* first, const char* second)
{
    wchar_t names[2][kFilePathSize];
    BY_HANDLE_FILE_INFORMATION info[2];
    bool exists[2];
    const char* given[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        if (!Widen(given[i], names[i], kFilePathSize))
            return 0;
        const HANDLE file = OpenForIdentity(names[i]);
        exists[i] = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info[i]);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    if (exists[0] && exists[1])
        return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
               info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
               info[0].nFileIndexLow == info[1].nFileIndexLow;
    if (exists[0] || exists[1])
        return 0;
    // Neither is there yet (or is a device): the same full name.
    wchar_t full[2][kFilePathSize];
    for (int i = 0; i < 2; ++i) {
        const DWORD n = GetFullPathNameW(names[i], kFilePathSize, full[i], nullptr);
        if (n == 0 || n >= kFilePathSize)
            return 0;
    }
    return _wcsicmp(full[0], full[1]) == 0;
}
