// The device end of a simulated serial line: a pseudo-terminal master, and a
// link at a path of the user's choice that leads the other side to the slave.
#pragma once

namespace qsim {

struct PtyPort {
    int masterFd;
    int slaveFd;          // kept open for our whole life (see OpenPtyPort)
    char slaveName[128];  // e.g. /dev/pts/3
};

// Opens a master in non-blocking mode and its slave in raw mode. Holding the
// slave open ourselves means the master never sees a hang-up (EIO) when the
// program closes its end of the port and opens it again later.
bool OpenPtyPort(PtyPort& port, char* error, int errorSize);
void ClosePtyPort(PtyPort& port);

// The slave's line settings as "BAUD DPS" (e.g. "9600 7E2"), or set them from such a text.
// Setting changes only speed, data bits, parity and stop bits; the rest stays raw.
bool DescribeLine(const PtyPort& port, char* out, int outSize);
bool SetLine(const PtyPort& port, const char* baud, const char* dps, char* error, int errorSize);

// Makes linkPath a symlink to target, replacing whatever link is there in one
// step (a temporary link renamed over it), so that the path never vanishes.
bool PointLink(const char* linkPath, const char* target, char* error, int errorSize);

// Removes linkPath if it is a symlink (never a file or directory someone else owns).
void RemoveLink(const char* linkPath);

}  // namespace qsim
