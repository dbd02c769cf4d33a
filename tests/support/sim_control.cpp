#include "tests/support/sim_control.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h, which must come before windows.h
#include "tests/support/com_access.h"
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
using SOCKET = int;
#define closesocket close
#endif

#include <cstdio>
#include <cstdlib>

namespace {

int ControlPort()
{
    const char* text = getenv("QSIM_CONTROL_PORT");
    return text ? atoi(text) : 0;
}

bool StartWinsock()
{
#ifdef _WIN32
    static bool started = false;
    if (!started) {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    return started;
#else
    return true;
#endif
}

std::string Hex(unsigned value)
{
    char text[8];
    snprintf(text, sizeof text, "%02x", value & 0xFFu);
    return text;
}

}  // namespace

SimReply SimCommand(const std::string& command)
{
    SimReply reply;
    const int port = ControlPort();
    if (port <= 0 || !StartWinsock()) {
        reply.error = "no simulator control port (QSIM_CONTROL_PORT)";
        return reply;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The simulator answers after paced output; never wait for ever.
#ifdef _WIN32
    DWORD timeout = 30000;
#else
    timeval timeout = {30, 0};
#endif
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        reply.error = "cannot connect to the simulator";
        closesocket(s);
        return reply;
    }
    const std::string line = command + "\n";
    send(s, line.data(), static_cast<int>(line.size()), 0);

    std::string pending;
    char buffer[512];
    while (!reply.ok && reply.error.empty()) {
        const size_t end = pending.find('\n');
        if (end == std::string::npos) {
            const int n = recv(s, buffer, sizeof buffer, 0);
            if (n <= 0)
                reply.error = "connection closed before the reply ended";
            else
                pending.append(buffer, static_cast<size_t>(n));
            continue;
        }
        std::string text = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text == "ok")
            reply.ok = true;
        else if (text.compare(0, 5, "error") == 0)
            reply.error = text;
        else
            reply.lines.push_back(text);
    }
    closesocket(s);
    return reply;
}

SimReply SimCommandOn(int device, const std::string& verb, const std::string& arguments)
{
    return SimCommand(verb + " " + std::to_string(device) + (arguments.empty() ? "" : " " + arguments));
}

bool SimPlug(int device, bool present)
{
    return SimCommandOn(device, present ? "plug" : "unplug").ok;
}

bool SimMode(int device, const std::string& mode)
{
    return SimCommandOn(device, "mode", mode).ok;
}

bool SimReset(int device, bool crFirst)
{
    return SimCommandOn(device, "reset", crFirst ? "crfirst" : "").ok;
}

bool SimClear(int device)
{
    return SimCommandOn(device, "clear").ok;
}

bool SimSend(int device, const std::vector<unsigned char>& bytes)
{
    std::string command = "send " + std::to_string(device);
    for (unsigned char b : bytes)
        command += " " + Hex(b);
    return SimCommand(command).ok;
}

bool SimSetRegister(int device, unsigned char code, unsigned char first, unsigned char second)
{
    return SimCommandOn(device, "setreg", Hex(code) + " " + Hex(first) + " " + Hex(second)).ok;
}

std::vector<std::string> SimFrames(int device)
{
    return SimCommandOn(device, "frames").lines;
}

bool SimResetAll()
{
    bool ok = true;
    for (int device = 1; device <= 4; ++device) {
        ok = SimCommandOn(device, "hush").ok && ok;  // nothing an earlier test queued goes out
        ok = SimPlug(device, true) && ok;
        ok = SimMode(device, "normal") && ok;
        ok = SimCommandOn(device, "poweron").ok && ok;
        ok = SimClear(device) && ok;
    }
    return ok;
}

#ifdef _WIN32
void DrainComPort(int port)
{
    HANDLE handle = OpenComPort(port, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    COMMTIMEOUTS quick = {10, 0, 50, 0, 0};  // what is there, or nothing after 50 ms
    SetCommTimeouts(handle, &quick);
    unsigned char buffer[256];
    DWORD count = 0;
    for (int round = 0; round < 64; ++round) {
        if (!ReadFile(handle, buffer, sizeof buffer, &count, nullptr) || count == 0)
            break;
    }
    CloseHandle(handle);
}
#endif
