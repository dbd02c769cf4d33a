// State of the simulator: up to four devices, each with its pty, its register
// memory, what it has received, and a queue of bytes it is to send.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame_parser.h"
#include "pty_port.h"
#include "registers.h"

namespace qsim {

using Clock = std::chrono::steady_clock;

constexpr int kMaxDevices = 4;

// 1200 baud, 8N1: ten bit times a byte.
constexpr std::chrono::microseconds kByteTime(8333);
// The split mode's pause inside a reply, longer than the program's 10 ms
// inter-byte timeout so that its first read ends early.
constexpr std::chrono::milliseconds kSplitPause(60);
// A pause (/) of a reply shape: an adapter's default latency timer, so that a shape in pieces
// arrives as it would behind one.
constexpr std::chrono::milliseconds kShapePause(16);

// Reports are for tests and a person at a terminal; older entries are dropped.
constexpr size_t kMaxReportLines = 100000;

enum class Mode : uint8_t { Normal, Silent, Crlf, Split, Stray, StopAfter, Shape, Delay, Latency };

// Delay mode: the longest wait before a reply.
constexpr unsigned long kMaxDelayMs = 60000;
// Latency mode: the longest latency timer of a USB adapter that the mode models.
constexpr unsigned long kMaxLatencyMs = 1000;

// Shape mode: a reply built from a template of at most this many letters.
constexpr size_t kMaxShapeLength = 8;

struct OutputJob {
    std::vector<uint8_t> bytes;
    uint32_t pausesBefore;  // bit i: a pause before byte i; 0 = none
    uint64_t id;
    std::chrono::milliseconds delayBefore{0};      // Delay mode: silence before the first byte
    std::chrono::milliseconds pause{kSplitPause};  // the length of each pause
    uint64_t cable = 0;  // the cable it was meant for: a pulled one takes its bytes with it
};

struct Device {
    int number = 0;  // 1-based, as the command line and commands name it
    std::string linkPath;
    std::string memoryPath;  // empty: no memory file
    PtyPort port{-1, -1, {0}};
    bool plugged = true;

    std::mutex mu;               // guards everything below
    std::condition_variable cv;  // output queued, output done, or shutdown
    RegisterFile regs{};
    FrameParser parser{};
    Mode mode = Mode::Normal;
    long answersLeft = 0;  // StopAfter: reads still to answer; Delay, Latency: milliseconds
    std::string shape;     // Shape: the reply's template, checked by the mode command
    long pullAfter = -1;   // frames still to take before the cable is pulled; 0: now; -1: never
    bool pulled = false;   // the line is closed for good, until plug gives a fresh one
    uint64_t cable = 0;    // counts pulls and hushes: output queued before one never reaches the line
    uint64_t reads = 0;
    std::deque<std::string> frames;
    std::deque<std::string> log;
    std::deque<OutputJob> queue;
    uint64_t nextJobId = 1;
    uint64_t doneJobId = 0;
    uint32_t noiseState = 0;

    std::thread reader;
    std::thread writer;
};

struct Simulator {
    // Changed at run time by the pace command while the device threads read them.
    std::atomic<bool> pace{true};
    std::atomic<bool> paceRead{false};
    std::string memoryDir;
    bool hasControl = false;

    Device devices[kMaxDevices];
    int deviceCount = 0;
    std::string absentDir;  // an empty directory: a link to it is an absent port
    Clock::time_point start = Clock::now();

    std::atomic<bool> stopping{false};
    std::mutex stopMu;
    std::condition_variable stopCv;
    int stopPipe[2] = {-1, -1};  // becomes readable for good when shutdown starts
    int wakePipe[2] = {-1, -1};  // wakes the main thread: signal, quit, end of input
    std::mutex commandMu;        // one command at a time, from any source
};

// Milliseconds since start, for the wire log.
double ElapsedMs(const Simulator& sim, Clock::time_point t);

// Sleeps until t or until shutdown starts; false on shutdown.
bool SleepUntil(Simulator& sim, Clock::time_point t);

// Starts the reader and writer threads of a device whose port is open.
void StartDevice(Simulator& sim, Device& dev);
// Joins them; call after stopping is set and the stop pipe written.
void JoinDevice(Device& dev);

// Queues bytes for the line and waits until they have been sent (paced).
// False when shutdown came first.
bool SendAndWait(Simulator& sim, Device& dev, std::vector<uint8_t> bytes);

// Pulls the cable: closes the device's end of the line, so that the program's writes fail.
// Caller holds dev.mu.
void PullCable(Device& dev);

// Drops whatever the device has still to send, a burst being sent included. Caller holds dev.mu.
void Hush(Device& dev);

// Queues a job for the line on the present cable, without waiting for it; its id. Caller holds
// dev.mu.
uint64_t QueueJob(Device& dev, OutputJob job);

// Appends a report line, dropping the oldest beyond kMaxReportLines. Caller holds dev.mu.
void AppendReport(std::deque<std::string>& lines, std::string line);

// Saves the registers to the memory file, if any. Caller holds dev.mu.
void PersistRegisters(Device& dev);

// Bytes of a noise burst: pseudo-random, never 'A' (0x41) nor 0x00, which are
// the two bytes that would upset the program's banner search. Caller holds dev.mu.
std::vector<uint8_t> MakeNoise(Device& dev, size_t count);

}  // namespace qsim
