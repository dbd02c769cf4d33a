#include "control_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "commands.h"
#include "line_input.h"

namespace qsim {

namespace {

void SendAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;  // the client went away; its loss
        done += static_cast<size_t>(n);
    }
}

// Waits for fd to become readable; false when shutdown starts first.
bool WaitReadable(Simulator& sim, int fd)
{
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {sim.stopPipe[0], POLLIN, 0}};
        int r = poll(fds, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || fds[1].revents != 0)
            return false;
        if (fds[0].revents != 0)
            return true;
    }
}

void ServeConnection(Simulator& sim, int fd)
{
    LineInput input;
    char buf[4096];
    while (WaitReadable(sim, fd)) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        std::vector<std::string> lines;
        TakeLines(input, buf, static_cast<size_t>(n), kMaxCommandLine, lines);
        for (const std::string& line : lines) {
            std::vector<std::string> reply;
            bool quit = ExecuteCommand(sim, line, reply);
            std::string text;
            for (const std::string& r : reply)
                text += r + "\n";
            SendAll(fd, text);
            if (quit) {
                RequestQuit(sim, 'q');
                return;
            }
        }
    }
}

}  // namespace

bool OpenControlServer(int port, int& listenFd, int& chosenPort, char* error, int errorSize)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        std::snprintf(error, static_cast<size_t>(errorSize), "socket: %s", std::strerror(errno));
        return false;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::snprintf(error, static_cast<size_t>(errorSize), "control port %d: %s", port,
                      std::strerror(errno));
        close(fd);
        return false;
    }
    listenFd = fd;
    chosenPort = ntohs(addr.sin_port);
    return true;
}

void ServeControl(Simulator* sim, int listenFd)
{
    while (WaitReadable(*sim, listenFd)) {
        int fd = accept(listenFd, nullptr, nullptr);
        if (fd < 0)
            continue;
        ServeConnection(*sim, fd);
        close(fd);
    }
}

void RequestQuit(Simulator& sim, char why)
{
    ssize_t n = write(sim.wakePipe[1], &why, 1);
    (void)n;  // the pipe holds plenty; one byte is enough to wake
}

}  // namespace qsim
