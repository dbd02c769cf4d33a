#include "link/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on a path's links

void Reason(const char* text, char* reason, size_t reasonSize)
{
    if (reasonSize > 0)
        snprintf(reason, reasonSize, "%s", text);
}

int Refuse(int error, char* reason, size_t reasonSize)
{
    Reason(strerror(error), reason, reasonSize);
    return 0;
}

// The descriptor a name of a standard stream stands for, -1 for any other name. Such a name is a
// link to wherever the stream goes (a pipe, a terminal, a file the shell opened): it is written
// through the stream, where the shell put it.
int StreamDescriptor(const char* path)
{
    if (std::strcmp(path, "/dev/stdout") == 0)
        return STDOUT_FILENO;
    if (std::strcmp(path, "/dev/stderr") == 0)
        return STDERR_FILENO;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t length = std::strlen(prefix);
        if (std::strncmp(path, prefix, length) == 0 && path[length] >= '0' && path[length] <= '9') {
            char* end = nullptr;
            const long fd = std::strtol(path + length, &end, 10);
            if (*end == '\0' && fd < 1024)
                return static_cast<int>(fd);
        }
    }
    return -1;
}

// The name that is finally written: symbolic links followed, a relative target taken from its
// link's folder. A dangling link gives its target's name. 0 with errno set when it cannot be had.
int FollowLinks(const char* path, char* out, size_t outSize)
{
    if (snprintf(out, outSize, "%s", path) >= static_cast<int>(outSize)) {
        errno = ENAMETOOLONG;
        return 0;
    }
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat st;
        if (lstat(out, &st) != 0 || !S_ISLNK(st.st_mode))
            return 1;  // a missing name or no link: this is the one
        char link[kFilePathSize];
        const ssize_t n = readlink(out, link, sizeof link - 1);
        if (n < 0)
            return 0;
        link[n] = '\0';
        char next[kFilePathSize];
        const char* slash = std::strrchr(out, '/');
        const int length = link[0] == '/' || !slash ? snprintf(next, sizeof next, "%s", link)
                                                    : snprintf(next, sizeof next, "%.*s/%s",
                                                               static_cast<int>(slash - out), out, link);
        if (length < 0 || static_cast<size_t>(length) >= outSize) {
            errno = ENAMETOOLONG;
            return 0;
        }
        std::memcpy(out, next, static_cast<size_t>(length) + 1);
    }
    errno = ELOOP;
    return 0;
}

// The folder part of `path` ("." when it has none) into out.
void FolderOf(const char* path, char* out, size_t outSize)
{
    const char* slash = std::strrchr(path, '/');
    if (!slash)
        snprintf(out, outSize, ".");
    else if (slash == path)
        snprintf(out, outSize, "/");
    else
        snprintf(out, outSize, "%.*s", static_cast<int>(slash - path), path);
}

bool WriteAll(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;  // a stop signal: the write goes on, the operation after it sees the flag
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// The folder's entry for the renamed file reaches the disk too. Some file systems cannot sync a
// folder (EINVAL): there the rename is as safe as it gets.
int SyncFolder(const char* path)
{
    char folder[kFilePathSize];
    FolderOf(path, folder, sizeof folder);
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    close(fd);
    return error;
}

}  // namespace

int OpenFileOutput(const char* path, FileOutput* out, char* reason, size_t reasonSize)
{
    *out = FileOutput{-1, true, false, 0, "", ""};
    const int stream = StreamDescriptor(path);
    if (stream >= 0) {
        const int fd = fcntl(stream, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return Refuse(errno, reason, reasonSize);
        out->handle = fd;
        return 1;
    }
    if (!FollowLinks(path, out->target, sizeof out->target))
        return Refuse(errno, reason, reasonSize);
    struct stat st;
    out->existed = stat(out->target, &st) == 0;
    if (!out->existed && errno != ENOENT)
        return Refuse(errno, reason, reasonSize);
    if (out->existed && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        // Not blocking on the open: a FIFO nobody reads is refused at once (ENXIO) instead of
        // waiting for a reader that may never come.
        const int fd = open(out->target, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return Refuse(errno, reason, reasonSize);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        out->handle = fd;
        return 1;
    }
    if (out->existed && S_ISBLK(st.st_mode)) {
        Reason("a block device is not written to", reason, reasonSize);
        return 0;
    }
    if (out->existed && !S_ISREG(st.st_mode))
        return Refuse(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, reason, reasonSize);
    out->inPlace = false;
    const int length = snprintf(out->temporary, sizeof out->temporary, "%s.%lu.tmp", out->target,
                                static_cast<unsigned long>(getpid()));
    if (length < 0 || static_cast<size_t>(length) >= sizeof out->temporary)
        return Refuse(ENAMETOOLONG, reason, reasonSize);
    const int fd = open(out->temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return Refuse(errno, reason, reasonSize);
    if (out->existed) {
        // The owner first: a change of owner may clear the set-id bits that the mode then puts back.
        // Only root may give a file away; a user still keeps the group where they belong to it.
        if (fchown(fd, st.st_uid, st.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // the new file stays ours, as a file we create always is
        }
        if (fchmod(fd, st.st_mode & 07777) != 0) {
            const int error = errno;
            close(fd);
            unlink(out->temporary);
            return Refuse(error, reason, reasonSize);
        }
    }
    out->handle = fd;
    return 1;
}

void StandardErrorOutput(FileOutput* out)
{
    *out = FileOutput{STDERR_FILENO, true, false, 0, "", ""};
}

int WriteFileOutput(FileOutput* out, const void* bytes, size_t length)
{
    if (out->error == 0 && out->handle >= 0 &&
        !WriteAll(static_cast<int>(out->handle), static_cast<const char*>(bytes), length))
        out->error = errno;
    return out->error == 0 ? 1 : 0;
}

int CloseFileOutput(FileOutput* out, char* reason, size_t reasonSize)
{
    const int fd = static_cast<int>(out->handle);
    out->handle = -1;
    if (fd == STDERR_FILENO)
        return out->error == 0 ? 1 : Refuse(out->error, reason, reasonSize);
    if (fd >= 0 && !out->inPlace && out->error == 0 && fsync(fd) != 0)
        out->error = errno;
    if (fd >= 0 && close(fd) != 0 && out->error == 0)
        out->error = errno;
    if (!out->inPlace) {
        if (out->error == 0 && rename(out->temporary, out->target) != 0)
            out->error = errno;
        if (out->error != 0)
            unlink(out->temporary);
        else
            out->error = SyncFolder(out->target);
    }
    return out->error == 0 ? 1 : Refuse(out->error, reason, reasonSize);
}

void AbandonFileOutput(FileOutput* out)
{
    if (out->handle >= 0 && out->handle != STDERR_FILENO)
        close(static_cast<int>(out->handle));
    if (out->handle >= 0 && !out->inPlace)
        unlink(out->temporary);
    out->handle = -1;
}

int SameFile(const char* first, const char* second)
{
    char names[2][kFilePathSize];
    struct stat st[2];
    bool exists[2];
    const char* given[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const int stream = StreamDescriptor(given[i]);
        if (stream >= 0) {
            exists[i] = fstat(stream, &st[i]) == 0;
            names[i][0] = '\0';
            continue;
        }
        if (!FollowLinks(given[i], names[i], sizeof names[i]))
            return 0;
        exists[i] = stat(names[i], &st[i]) == 0;
    }
    if (exists[0] && exists[1]) {
        if (S_ISCHR(st[0].st_mode) && S_ISCHR(st[1].st_mode) && st[0].st_rdev == st[1].st_rdev)
            return 1;  // two nodes of one device
        return st[0].st_dev == st[1].st_dev && st[0].st_ino == st[1].st_ino;
    }
    if (exists[0] || exists[1])
        return 0;
    // Neither is there yet: the same name in the same folder.
    struct stat folders[2];
    const char* base[2];
    for (int i = 0; i < 2; ++i) {
        char folder[kFilePathSize];
        FolderOf(names[i], folder, sizeof folder);
        const char* slash = std::strrchr(names[i], '/');
        base[i] = slash ? slash + 1 : names[i];
        if (stat(folder, &folders[i]) != 0)
            return 0;
    }
    return folders[0].st_dev == folders[1].st_dev && folders[0].st_ino == folders[1].st_ino &&
           std::strcmp(base[0], base[1]) == 0;
}
