#pragma once
// qsync's device tables, run against qsync.exe under Wine and against the native qsync on the
// simulator's pseudo-terminals: the same rows, each platform saying how it names ports and runs
// the program. In the texts, PORT1..PORT4 stand for the port of device 1..4, NOPORT1..NOPORT4
// for the words of a port that is not there.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/power_on_settings.h"
#include "tests/support/register_image.h"

struct QsyncResult {
    int code;
    std::string out, err;  // CR LF read as LF
};

// What a platform's test gives the rows.
class QsyncHost {
public:
    virtual ~QsyncHost() = default;
    virtual std::string Port(int device) const = 0;
    virtual std::string NoPort(int device) const = 0;
    // Runs qsync with the arguments, standard input from the file File() last wrote; `whenSaid`,
    // when given, runs once standard error holds `said`.
    virtual QsyncResult Run(const std::string& arguments, const std::string& said = "",
                            const std::function<void()>& whenSaid = nullptr) = 0;
    // The one file of the rows, holding `text` from now on; its path, for the command line.
    virtual std::string File(const std::string& text) = 0;
    virtual bool IsWindows() const = 0;
};

// PORTn, NOPORTn and FILE (a file of `fileText`) replaced.
std::string Expand(QsyncHost& host, const std::string& text, const std::string& fileText = "");

// The power-on file with some lines replaced: {"channel = 1", "channel = 7"}.
std::string Edited(const std::vector<std::pair<std::string, std::string>>& changes);
// The registers a device holds after a save of the file.
RegisterImage EncodedRegisters(const std::string& fileText);
// Printed lines end CR LF on Windows, LF elsewhere: compared as LF.
std::string Lf(std::string text);
// Without its first line: the time it was read.
std::string Body(const std::string& fileText);
// The file's bytes; "" when it cannot be read (and a test failure unless `mayBeMissing`).
std::string ReadWhole(const std::string& path, bool mayBeMissing);

// The tables, each row checked with gtest's EXPECTs under a trace of its name.
void CheckReadAndWriteBack(QsyncHost& host);
void CheckEditedFiles(QsyncHost& host);
void CheckFailures(QsyncHost& host);
void CheckFind(QsyncHost& host);
