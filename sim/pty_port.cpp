#include "pty_port.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace qsim {

namespace {

void SetError(char* error, int errorSize, const char* what)
{
    if (error && errorSize > 0)
        std::snprintf(error, static_cast<size_t>(errorSize), "%s: %s", what, std::strerror(errno));
}

}  // namespace

bool OpenPtyPort(PtyPort& port, char* error, int errorSize)
{
    port.masterFd = -1;
    port.slaveFd = -1;
    port.slaveName[0] = '\0';

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        SetError(error, errorSize, "posix_openpt");
        return false;
    }
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        SetError(error, errorSize, "grantpt/unlockpt");
        close(master);
        return false;
    }
    // ptsname_r is not POSIX; the set-up runs before any thread starts.
    const char* name = ptsname(master);
    if (!name || std::strlen(name) >= sizeof port.slaveName) {
        SetError(error, errorSize, "ptsname");
        close(master);
        return false;
    }
    std::snprintf(port.slaveName, sizeof port.slaveName, "%s", name);

    int slave = open(port.slaveName, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        SetError(error, errorSize, "open slave");
        close(master);
        return false;
    }
    termios tio;
    if (tcgetattr(slave, &tio) != 0) {
        SetError(error, errorSize, "tcgetattr");
        close(slave);
        close(master);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(slave, TCSANOW, &tio) != 0) {
        SetError(error, errorSize, "tcsetattr");
        close(slave);
        close(master);
        return false;
    }
    int flags = fcntl(master, F_GETFL);
    if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
        SetError(error, errorSize, "fcntl");
        close(slave);
        close(master);
        return false;
    }
    port.masterFd = master;
    port.slaveFd = slave;
    return true;
}

void ClosePtyPort(PtyPort& port)
{
    if (port.slaveFd >= 0)
        close(port.slaveFd);
    if (port.masterFd >= 0)
        close(port.masterFd);
    port.slaveFd = -1;
    port.masterFd = -1;
}

namespace {

struct BaudRow {
    const char* text;
    speed_t speed;
};

constexpr BaudRow kBauds[] = {
    {"300", B300},     {"1200", B1200},   {"2400", B2400},   {"4800", B4800},     {"9600", B9600},
    {"19200", B19200}, {"38400", B38400}, {"57600", B57600}, {"115200", B115200},
};

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};

}  // namespace

bool DescribeLine(const PtyPort& port, char* out, int outSize)
{
    termios tio;
    if (tcgetattr(port.slaveFd, &tio) != 0)
        return false;
    const char* baud = "?";
    for (const BaudRow& row : kBauds) {
        if (cfgetospeed(&tio) == row.speed)
            baud = row.text;
    }
    int bits = 5;
    for (int i = 0; i < 4; ++i) {
        if ((tio.c_cflag & CSIZE) == kSizes[i])
            bits = 5 + i;
    }
    char parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 'O' : 'E') : 'N';
    std::snprintf(out, static_cast<size_t>(outSize), "%s %d%c%d", baud, bits, parity,
                  (tio.c_cflag & CSTOPB) ? 2 : 1);
    return true;
}

bool SetLine(const PtyPort& port, const char* baud, const char* dps, char* error, int errorSize)
{
    const BaudRow* rate = nullptr;
    for (const BaudRow& row : kBauds) {
        if (std::strcmp(baud, row.text) == 0)
            rate = &row;
    }
    const bool shapeOk = std::strlen(dps) == 3 && dps[0] >= '5' && dps[0] <= '8' &&
                         std::strchr("NEO", dps[1]) != nullptr && (dps[2] == '1' || dps[2] == '2');
    if (!rate || !shapeOk) {
        if (error && errorSize > 0)
            std::snprintf(error, static_cast<size_t>(errorSize), "usage: line N [BAUD 8N1]");
        return false;
    }
    termios tio;
    if (tcgetattr(port.slaveFd, &tio) != 0) {
        SetError(error, errorSize, "tcgetattr");
        return false;
    }
    cfsetispeed(&tio, rate->speed);
    cfsetospeed(&tio, rate->speed);
    tio.c_cflag = (tio.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | kSizes[dps[0] - '5'];
    if (dps[1] != 'N')
        tio.c_cflag |= PARENB;
    if (dps[1] == 'O')
        tio.c_cflag |= PARODD;
    if (dps[2] == '2')
        tio.c_cflag |= CSTOPB;
    if (tcsetattr(port.slaveFd, TCSANOW, &tio) != 0) {
        SetError(error, errorSize, "tcsetattr");
        return false;
    }
    return true;
}

bool PointLink(const char* linkPath, const char* target, char* error, int errorSize)
{
    // The temporary link goes beside the final one (rename works only within
    // one file system) under a name of its own: under Wine, a file called
    // "com1.anything" would stand for the COM1 device itself.
    static std::atomic<unsigned> serial{0};
    const char* slash = std::strrchr(linkPath, '/');
    int dirLength = slash ? static_cast<int>(slash - linkPath) + 1 : 0;
    char temp[4096];
    int n = std::snprintf(temp, sizeof temp, "%.*s.qsim-link-%ld-%u", dirLength, linkPath,
                          static_cast<long>(getpid()), serial.fetch_add(1));
    if (n < 0 || n >= static_cast<int>(sizeof temp)) {
        errno = ENAMETOOLONG;
        SetError(error, errorSize, "link path");
        return false;
    }
    unlink(temp);
    if (symlink(target, temp) != 0) {
        SetError(error, errorSize, "symlink");
        return false;
    }
    if (rename(temp, linkPath) != 0) {
        SetError(error, errorSize, "rename link");
        unlink(temp);
        return false;
    }
    return true;
}

void RemoveLink(const char* linkPath)
{
    struct stat st;
    if (lstat(linkPath, &st) == 0 && S_ISLNK(st.st_mode))
        unlink(linkPath);
}

}  // namespace qsim
