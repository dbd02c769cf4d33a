// Ports on Linux: paths. find listens to the adapters under /dev/serial/by-id first (names that
// stay the same whatever order the adapters were plugged in), then to the usual device nodes.
#include <glob.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/com_port.h"
#include "qsync/console.h"
#include "qsync/port_names.h"

namespace {

// In this order; a device reached twice (a by-id link and its node) is listened to once, under
// the first name found.
constexpr const char* kCandidatePatterns[] = {
    "/dev/serial/by-id/*",
    "/dev/ttyUSB*",
    "/dev/ttyACM*",
    "/dev/ttyS[0-3]",
};

bool SetPath(const char* path, PortName* port)
{
    const size_t length = strlen(path);
    if (length == 0 || length >= sizeof port->device)
        return false;
    memcpy(port->device, path, length + 1);
    memcpy(port->shown, path, length + 1);
    return true;
}

// The name of a group or user id, read straight from /etc/group or /etc/passwd (name first, id
// third): the static build must not load the system's name services. The number when not there.
void NameOfId(const char* listPath, unsigned id, char* name, size_t size)
{
    snprintf(name, size, "%u", id);
    FILE* list = fopen(listPath, "r");
    if (!list)
        return;
    char line[512];
    for (bool lineStart = true; fgets(line, sizeof line, list);) {
        const bool whole = strchr(line, '\n') != nullptr;
        const bool atStart = lineStart;
        lineStart = whole;
        if (!atStart)
            continue;  // the rest of a line longer than the buffer: a group's members
        const char* first = strchr(line, ':');
        const char* second = first ? strchr(first + 1, ':') : nullptr;
        char* end = nullptr;
        if (!second || strtoul(second + 1, &end, 10) != id || end == second + 1 || *end != ':')
            continue;
        snprintf(name, size, "%.*s", static_cast<int>(first - line), line);
        break;
    }
    fclose(list);
}

// Naming the node's group helps only when that group may read and write it; otherwise the node's
// owner, group and mode say who may.
int PermissionDenied(const PortName& port)
{
    struct stat node;
    if (stat(port.device, &node) != 0)
        return Fail(kExitDevice, "%s: Permission denied", port.shown);
    char group[64], owner[64];
    NameOfId("/etc/group", node.st_gid, group, sizeof group);
    if ((node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        return Fail(
            kExitDevice,
            "%s: Permission denied: add yourself to the %s group (sudo usermod -aG %s $USER), then log "
            "out and in",
            port.shown, group, group);
    NameOfId("/etc/passwd", node.st_uid, owner, sizeof owner);
    return Fail(kExitDevice, "%s: Permission denied: owner %s, group %s, mode %03o", port.shown, owner, group,
                static_cast<unsigned>(node.st_mode & 0777));
}

}  // namespace

int PortArgument(const char* word, PortName* port)
{
    if (SetPath(word, port))
        return kExitOk;
    if (word[0] == '\0')
        return Fail(kExitUsage, "an empty port name: name a port by its path, as /dev/ttyUSB0");
    return Fail(kExitUsage, "%.40s: not a serial port: name one by its path, as /dev/ttyUSB0", word);
}

int CandidatePorts(PortName* ports, int max)
{
    dev_t seen[kMaxCandidatePorts];
    int count = 0;
    for (const char* pattern : kCandidatePatterns) {
        glob_t found = {};
        if (glob(pattern, 0, nullptr, &found) == 0) {
            for (size_t i = 0; i < found.gl_pathc && count < max && count < kMaxCandidatePorts; ++i) {
                struct stat node;
                if (stat(found.gl_pathv[i], &node) != 0 || !S_ISCHR(node.st_mode))
                    continue;
                bool known = false;
                for (int k = 0; k < count; ++k)
                    known = known || seen[k] == node.st_rdev;
                if (!known && SetPath(found.gl_pathv[i], &ports[count]))
                    seen[count++] = node.st_rdev;
            }
        }
        globfree(&found);
    }
    return count;
}

bool CandidateReady(const PortName&)
{
    return true;  // listed as character devices a moment ago; the open says the rest
}

int CantOpen(const PortName& port)
{
    switch (LastPortOpenFailure()) {
        case PortOpenFailure::Absent:
            return Fail(kExitDevice, "%s: no such port", port.shown);
        case PortOpenFailure::Denied:
            return PermissionDenied(port);
        case PortOpenFailure::Busy:
            return Fail(kExitDevice, "%s: Serial port in use", port.shown);
        case PortOpenFailure::Settings:
            return Fail(kExitDevice, "%s: can't set up the line", port.shown);
        case PortOpenFailure::NotSerial:
            return Fail(kExitUsage, "%s: not a serial port", port.shown);
        case PortOpenFailure::None:
        case PortOpenFailure::Other:
            break;
    }
    return Fail(kExitDevice, "%s: can't open", port.shown);
}

bool SamePort(const PortName& a, const PortName& b)
{
    char first[PATH_MAX], second[PATH_MAX];
    const char* left = realpath(a.device, first) ? first : a.device;
    const char* right = realpath(b.device, second) ? second : b.device;
    return strcmp(left, right) == 0;
}
