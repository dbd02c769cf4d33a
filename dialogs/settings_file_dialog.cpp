// File names are wide from the dialog to the file, so that any name in any script works; the rest
// of the program stays ANSI. Files are written whole through the shared writer, which replaces a
// file only once the new one is complete.
#include "dialogs/settings_file_dialog.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>

#include "link/file_replace.h"
#include "link/port_name.h"
#include "ui/message_box.h"

namespace {

constexpr size_t kReasonSize = 256;

wchar_t fileName[kFilePathSize];    // the name the last dialog gave
wchar_t lastFolder[kFilePathSize];  // its folder: where the next dialog starts in this run
constexpr size_t kMessageChars = kFilePathSize + kReasonSize + 16;

wchar_t messageText[kMessageChars];
char fileText[kSettingsFileMaxSize + 1];  // one byte more, so that a file too long is seen as such
FileOutput output;

// Appends as much of `more` as fits, always terminated.
void Append(wchar_t* text, size_t size, const wchar_t* more, size_t count = kFilePathSize)
{
    size_t n = std::wcslen(text);
    for (; *more && count > 0 && n + 1 < size; --count)
        text[n++] = *more++;
    text[n] = L'\0';
}

// "<what><file>: <reason>", the reason in `codePage`, in a box captioned ERROR.
void ShowFileError(HWND owner, const wchar_t* what, const char* reason, UINT codePage)
{
    wchar_t wideReason[kReasonSize];
    if (MultiByteToWideChar(codePage, 0, reason, -1, wideReason, kReasonSize) == 0)
        wideReason[0] = L'\0';
    messageText[kMessageChars - 1] = L'\0';  // _snwprintf leaves a text that is cut unterminated
    _snwprintf(messageText, kMessageChars - 1, L"%ls%ls: %ls", what, fileName, wideReason);
    MessageBoxW(owner, messageText, L"ERROR", MB_OK);
}

typedef BOOL(WINAPI* FileDialog)(LPOPENFILENAMEW);

// The dialog over `owner`, starting in the folder of the last file chosen in this run, else in
// Documents. 1 with the name chosen in fileName; 0 after Cancel or a failure, which is shown.
int AskFileName(HWND owner, FileDialog dialog, const wchar_t* title, const wchar_t* name, DWORD flags)
{
    wchar_t documents[MAX_PATH] = L"";
    if (!lastFolder[0])
        SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    fileName[0] = L'\0';
    Append(fileName, kFilePathSize, name);
    OPENFILENAMEW ask = {};
    ask.lStructSize = sizeof ask;
    ask.hwndOwner = owner;
    ask.lpstrFilter = L"Settings files (*.ini)\0*.ini\0All files (*.*)\0*.*\0";
    ask.nFilterIndex = 1;
    ask.lpstrFile = fileName;
    ask.nMaxFile = kFilePathSize;
    ask.lpstrInitialDir = lastFolder[0] ? lastFolder : documents;
    ask.lpstrTitle = title;
    ask.lpstrDefExt = L"ini";
    ask.Flags = flags | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!dialog(&ask)) {
        const DWORD error = CommDlgExtendedError();
        if (error != 0) {  // 0: the user cancelled
            char text[64];
            snprintf(text, sizeof text, "Can't show the file dialog (error %lu)",
                     static_cast<unsigned long>(error));
            ShowMessage(owner, text, "ERROR");
        }
        return 0;
    }
    lastFolder[0] = L'\0';
    Append(lastFolder, kFilePathSize, fileName, ask.nFileOffset);
    return 1;
}

// The whole of fileName into fileText: its length, or -1 with the system's reason.
long ReadChosenFile(char* reason, size_t reasonSize)
{
    const HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SystemErrorReason(GetLastError(), reason, reasonSize);
        return -1;
    }
    // One read: a file gives all it holds up to the count.
    DWORD length = 0;
    const BOOL read = ReadFile(file, fileText, sizeof fileText, &length, nullptr);
    if (!read)
        SystemErrorReason(GetLastError(), reason, reasonSize);
    CloseHandle(file);
    return read ? static_cast<long>(length) : -1;
}

}  // namespace

void SaveSettingsFileAs(HWND owner, const SettingsFileFields& fields, const char* portShown)
{
    if (!AskFileName(owner, GetSaveFileNameW, L"Save Settings File", L"synchronizer.ini",
                     OFN_OVERWRITEPROMPT))
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char header[kPortNameSize + 64];
    snprintf(header, sizeof header, "saved from %s on %04u-%02u-%02u %02u:%02u", portShown, now.wYear,
             now.wMonth, now.wDay, now.wHour, now.wMinute);
    const size_t length = PrintSettingsFile(fields, header, fileText, sizeof fileText);
    char reason[kReasonSize] = "the settings do not fit a settings file";
    bool written = length > 0 && OpenFileOutputW(fileName, &output, reason, sizeof reason);
    if (written) {
        WriteFileOutput(&output, fileText, length);
        written = CloseFileOutput(&output, reason, sizeof reason);
    }
    if (!written)
        ShowFileError(owner, L"Can't write ", reason, CP_ACP);
}

int OpenSettingsFile(HWND owner, SettingsFileFields* fields)
{
    if (!AskFileName(owner, GetOpenFileNameW, L"Open Settings File", L"", OFN_FILEMUSTEXIST))
        return 0;
    char reason[kReasonSize];
    const long length = ReadChosenFile(reason, sizeof reason);
    if (length < 0) {
        ShowFileError(owner, L"Can't read ", reason, CP_ACP);
        return 0;
    }
    // "line N: " and the parser's reason, which quotes the file's own (UTF-8) words.
    if (!ParseSettingsFile(fileText, static_cast<size_t>(length), fields, reason, sizeof reason)) {
        ShowFileError(owner, L"", reason, CP_UTF8);
        return 0;
    }
    return 1;
}
