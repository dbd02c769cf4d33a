#pragma once
// Every file the programs write goes through here, so that output lands on what the user named
// and only there. A regular file, new or old, also one named through a symbolic link, is written
// whole into a new file beside it (the link's target) and only then put in its place, keeping the
// old file's permissions, and its owner and group where allowed: a failure at any step removes
// the new file and leaves the old one as it was. A FIFO, a character device (NUL and CON on
// Windows) and the standard streams are written where they are, never renamed over; a block
// device, a folder and the other Windows device names (COMn, LPTn, AUX, PRN) are refused. One
// file per platform; no user interface here.
#include <cstddef>

constexpr size_t kFilePathSize = 4096;

struct FileOutput {
    long long handle;  // the descriptor or HANDLE, -1 when none is open
    bool inPlace;      // written where it is: no new file, no rename
    bool existed;      // a file was there before (kept until the new one replaces it)
    int error;         // the first failure's system error code; 0 while every step went well
#ifdef _WIN32
    wchar_t target[kFilePathSize], temporary[kFilePathSize];
#else
    char target[kFilePathSize], temporary[kFilePathSize];
#endif
};

// Makes ready to write `path`: the new file is created beside it now, so that a folder that is
// missing or closed to us is known before any work is done. 1, or 0 with the system's reason and
// nothing changed.
int OpenFileOutput(const char* path, FileOutput* out, char* reason, size_t reasonSize);
#ifdef _WIN32
int OpenFileOutputW(const wchar_t* path, FileOutput* out, char* reason, size_t reasonSize);
// The system's words for an error code (GetLastError's), as the reasons above give them; returns 0.
int SystemErrorReason(unsigned long error, char* reason, size_t reasonSize);
#endif
// Standard error as an output, written in place and never closed.
void StandardErrorOutput(FileOutput* out);
// Writes all of the bytes; a failure is kept for CloseFileOutput. 1, or 0 once anything failed.
int WriteFileOutput(FileOutput* out, const void* bytes, size_t length);
// Flushes the new file to the disk and puts it in place. 1, or 0 with the reason of the first
// failure since the open, the new file removed and the old one as it was.
int CloseFileOutput(FileOutput* out, char* reason, size_t reasonSize);
// Gives up: the new file is removed and the old one stays as it was.
void AbandonFileOutput(FileOutput* out);

// 1 when the two names reach one file: the same file (device and inode; volume and file index
// on Windows), the same device, or, for a file that does not exist yet, the same name in the same
// folder. Symbolic links are followed.
int SameFile(const char* first, const char* second);
