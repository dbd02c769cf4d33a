// The two threads of a device: one reads what the program sends and acts on
// it, one puts the device's output on the line at 1200 baud.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

#include "simulator.h"

namespace qsim {

namespace {

constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kStrayByte = 0x55;
// A reader that nobody drains cannot stall the device: output it cannot
// deliver within this time is dropped, as on a real line.
constexpr std::chrono::seconds kWriteGiveUp(2);
// How often the reader looks for a pulled or a fresh line while nothing arrives.
constexpr int kLineCheckMs = 20;

void AppendHexBytes(std::string& line, const uint8_t* data, size_t n)
{
    char hex[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(hex, sizeof hex, " %02x", data[i]);
        line += hex;
    }
}

void LogChunk(Simulator& sim, Device& dev, Clock::time_point t, const char* direction, const uint8_t* data,
              size_t n)
{
    char head[48];
    std::snprintf(head, sizeof head, "%.3f %s", ElapsedMs(sim, t), direction);
    std::string line = head;
    AppendHexBytes(line, data, n);
    AppendReport(dev.log, std::move(line));
}

// Writes one chunk to the master; stamp is when the chunk goes on the line.
// The log entry is made under the same lock as the write, so that whoever has
// received the bytes finds them in the log. False once the job's bytes go nowhere: the cable
// was pulled or the device hushed since it was queued.
bool WriteChunk(Simulator& sim, Device& dev, const OutputJob& job, Clock::time_point stamp,
                const uint8_t* data, size_t n)
{
    size_t done = 0;
    Clock::time_point giveUp = Clock::now() + kWriteGiveUp;
    std::unique_lock<std::mutex> lock(dev.mu);
    if (dev.pulled || dev.cable != job.cable)
        return false;  // the cable is out, or was since: what the device sends goes nowhere
    while (done < n && !sim.stopping.load()) {
        ssize_t w = write(dev.port.masterFd, data + done, n - done);
        if (w > 0) {
            LogChunk(sim, dev, stamp, "tx", data + done, static_cast<size_t>(w));
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno == EAGAIN && Clock::now() < giveUp) {
            lock.unlock();
            pollfd pfd{dev.port.masterFd, POLLOUT, 0};
            poll(&pfd, 1, 50);
            lock.lock();
            continue;
        }
        break;
    }
    if (done < n && !sim.stopping.load()) {
        std::fprintf(stderr, "qsim: device %d: %zu bytes dropped, nobody reads the line\n", dev.number,
                     n - done);
    }
    return true;
}

bool PausesBefore(const OutputJob& job, size_t i)
{
    return i > 0 && i < 32 && i < job.bytes.size() && (job.pausesBefore >> i & 1u) != 0;
}

// The first moment at or after t when a latency timer of period `latency`, running on the
// simulator's clock, expires.
Clock::time_point NextTimerTick(const Simulator& sim, Clock::time_point t, std::chrono::milliseconds latency)
{
    const Clock::duration period = latency;
    const Clock::duration since = t > sim.start ? t - sim.start : Clock::duration::zero();
    return sim.start + ((since + period - Clock::duration(1)) / period) * period;
}

// Latency mode: the bytes leave the device as usual, but an adapter hands them on only when its
// latency timer expires, so each reaches the port at the timer's next tick after its last bit,
// together with whatever else finished within that period.
bool SendJobBehindLatency(Simulator& sim, Device& dev, const OutputJob& job, Clock::time_point& lineFree,
                          std::chrono::milliseconds latency)
{
    const Clock::duration byteTime = sim.pace ? Clock::duration(kByteTime) : Clock::duration::zero();
    Clock::time_point onLine = std::max(lineFree, Clock::now());  // when the next byte starts
    const size_t size = job.bytes.size();
    size_t i = 0;
    while (i < size) {
        const Clock::time_point arrival = NextTimerTick(sim, onLine + byteTime, latency);
        const size_t from = i;
        while (i < size && NextTimerTick(sim, onLine + byteTime, latency) == arrival) {
            onLine += byteTime;
            ++i;
            if (PausesBefore(job, i))
                onLine += job.pause;
        }
        if (!SleepUntil(sim, arrival))
            return false;
        if (!WriteChunk(sim, dev, job, arrival, job.bytes.data() + from, i - from))
            break;
    }
    lineFree = onLine;
    return true;
}

// Sends one job; returns false when shutdown interrupted it.
bool SendJob(Simulator& sim, Device& dev, const OutputJob& job, Clock::time_point& lineFree,
             std::chrono::milliseconds latency)
{
    const uint8_t* data = job.bytes.data();
    size_t size = job.bytes.size();
    if (job.delayBefore.count() > 0) {
        if (!SleepUntil(sim, Clock::now() + job.delayBefore))
            return false;
        if (lineFree < Clock::now())
            lineFree = Clock::now();
    }
    if (latency.count() > 0)
        return SendJobBehindLatency(sim, dev, job, lineFree, latency);

    if (!sim.pace) {
        // The pieces between pauses, each in one write.
        size_t from = 0;
        for (size_t i = 1; i <= size; ++i) {
            if (i < size && !PausesBefore(job, i))
                continue;
            if (!WriteChunk(sim, dev, job, Clock::now(), data + from, i - from))
                return true;
            if (i < size && !SleepUntil(sim, Clock::now() + job.pause))
                return false;
            from = i;
        }
        return true;
    }
    // One byte, then its line time, per byte. The next byte waits for the
    // line, measured from the moment this one was written.
    for (size_t i = 0; i < size; ++i) {
        if (PausesBefore(job, i))
            lineFree += job.pause;
        if (!SleepUntil(sim, lineFree))
            return false;
        Clock::time_point now = Clock::now();
        if (!WriteChunk(sim, dev, job, now, data + i, 1))
            return true;  // the rest of a cut job takes no line time either
        lineFree = now + kByteTime;
    }
    // Done means the last byte has left the line too.
    return SleepUntil(sim, lineFree);
}

void WriterLoop(Simulator* sim, Device* dev)
{
    Clock::time_point lineFree = Clock::now();
    std::unique_lock<std::mutex> lock(dev->mu);
    for (;;) {
        dev->cv.wait(lock, [&] { return sim->stopping.load() || !dev->queue.empty(); });
        if (sim->stopping.load())
            return;
        OutputJob job = std::move(dev->queue.front());
        dev->queue.pop_front();
        // Latency mode delays everything the device sends, its reset banner included.
        const std::chrono::milliseconds latency(dev->mode == Mode::Latency ? dev->answersLeft : 0);
        lock.unlock();
        bool finished = SendJob(*sim, *dev, job, lineFree, latency);
        lock.lock();
        if (!finished)
            return;
        if (job.id > dev->doneJobId)
            dev->doneJobId = job.id;  // a pull may have moved it on
        dev->cv.notify_all();
    }
}

// Whether the device answers a read now; counts down in StopAfter. Caller holds dev.mu.
bool TakeAnswer(Device& dev)
{
    switch (dev.mode) {
        case Mode::Silent:
            return false;
        case Mode::StopAfter:
            if (dev.answersLeft <= 0)
                return false;
            --dev.answersLeft;
            return true;
        default:
            return true;
    }
}

// Shape mode: a = first character, b = second, n = LF, r = CR, s = stray byte, / = a pause of
// kShapePause (the mode command has checked the letters).
void ShapeReply(const std::string& shape, uint8_t first, uint8_t second, OutputJob& job)
{
    for (char c : shape) {
        switch (c) {
            case 'a':
                job.bytes.push_back(first);
                break;
            case 'b':
                job.bytes.push_back(second);
                break;
            case 'n':
                job.bytes.push_back(kLf);
                break;
            case 'r':
                job.bytes.push_back(kCr);
                break;
            case 's':
                job.bytes.push_back(kStrayByte);
                break;
            case '/':
                job.pausesBefore |= 1u << job.bytes.size();
                job.pause = kShapePause;
                break;
            default:
                break;
        }
    }
}

// The reply of the fixed modes.
void ModeReply(Mode mode, uint8_t first, uint8_t second, OutputJob& job)
{
    if (mode == Mode::Stray)
        job.bytes.push_back(kStrayByte);
    job.bytes.push_back(first);
    job.bytes.push_back(second);
    if (mode == Mode::Crlf) {
        job.bytes.push_back(kCr);
        job.bytes.push_back(kLf);
    } else {
        job.bytes.push_back(kLf);
        job.bytes.push_back(kCr);
    }
    if (mode == Mode::Split)
        job.pausesBefore = 1u << 2;
}

// Caller holds dev.mu.
void QueueReply(Device& dev, uint8_t first, uint8_t second)
{
    OutputJob job{{}, 0, 0};
    if (dev.mode == Mode::Shape)
        ShapeReply(dev.shape, first, second, job);
    else
        ModeReply(dev.mode, first, second, job);
    if (dev.mode == Mode::Delay)
        job.delayBefore = std::chrono::milliseconds(dev.answersLeft);
    QueueJob(dev, std::move(job));
}

// Caller holds dev.mu.
void ActOn(Device& dev, const FrameItem& item);

// Caller holds dev.mu.
void TakeFrame(Device& dev, const FrameItem& item)
{
    ActOn(dev, item);
    if (dev.pullAfter > 0 && --dev.pullAfter == 0)
        PullCable(dev);
}

void ActOn(Device& dev, const FrameItem& item)
{
    char line[32];
    switch (item.kind) {
        case ItemKind::Handshake:
            AppendReport(dev.frames, "OK");
            return;
        case ItemKind::Stray:
            std::snprintf(line, sizeof line, "X %02x", item.first);
            AppendReport(dev.frames, line);
            return;
        case ItemKind::Read: {
            std::snprintf(line, sizeof line, "R %02x", item.code);
            AppendReport(dev.frames, line);
            ++dev.reads;
            int index = RegisterIndex(item.code);
            if (index >= 0 && TakeAnswer(dev))
                QueueReply(dev, dev.regs.pair[index][0], dev.regs.pair[index][1]);
            return;
        }
        case ItemKind::Write: {
            std::snprintf(line, sizeof line, "W %02x %02x %02x", item.code, item.first, item.second);
            AppendReport(dev.frames, line);
            int index = RegisterIndex(item.code);
            if (index < 0)
                return;
            dev.regs.pair[index][0] = item.first;
            dev.regs.pair[index][1] = item.second;
            PersistRegisters(dev);
            return;
        }
    }
}

void HandleReceived(Simulator& sim, Device& dev, const uint8_t* data, size_t n, Clock::time_point t)
{
    std::lock_guard<std::mutex> lock(dev.mu);
    LogChunk(sim, dev, t, "rx", data, n);
    for (size_t i = 0; i < n; ++i) {
        FrameItem items[kMaxItemsPerByte];
        int count = FeedByte(dev.parser, data[i], items);
        for (int k = 0; k < count && !dev.pulled; ++k)
            TakeFrame(dev, items[k]);
    }
}

void ReaderLoop(Simulator* sim, Device* dev)
{
    Clock::time_point nextRead = Clock::now();
    uint8_t buf[512];
    while (!sim->stopping.load()) {
        int master;
        {
            // A pull asked for now is done here, where nobody polls the line; plug may have
            // given a fresh one.
            std::lock_guard<std::mutex> lock(dev->mu);
            if (dev->pullAfter == 0)
                PullCable(*dev);
            master = dev->port.masterFd;
        }
        // A pulled line (fd -1) is ignored by poll; the timeout notices a pull or a fresh line.
        pollfd fds[2] = {{master, POLLIN, 0}, {sim->stopPipe[0], POLLIN, 0}};
        int r = poll(fds, 2, kLineCheckMs);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (r == 0)
            continue;
        if ((fds[0].revents & POLLIN) == 0) {
            // No data but an error or hang-up state: do not spin on it.
            if (!SleepUntil(*sim, Clock::now() + std::chrono::milliseconds(10)))
                return;
            continue;
        }
        // Line-rate reading: at most one byte per byte time, so a sender that
        // runs ahead finds its bytes still queued in the pty.
        if (sim->paceRead && !SleepUntil(*sim, nextRead))
            return;
        size_t want = sim->paceRead ? 1 : sizeof buf;
        ssize_t n = read(master, buf, want);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (!SleepUntil(*sim, Clock::now() + std::chrono::milliseconds(10)))
                return;
            continue;
        }
        Clock::time_point now = Clock::now();
        if (sim->paceRead)
            nextRead = now + kByteTime;
        HandleReceived(*sim, *dev, buf, static_cast<size_t>(n), now);
    }
}

}  // namespace

double ElapsedMs(const Simulator& sim, Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(t - sim.start).count();
}

bool SleepUntil(Simulator& sim, Clock::time_point t)
{
    std::unique_lock<std::mutex> lock(sim.stopMu);
    return !sim.stopCv.wait_until(lock, t, [&] { return sim.stopping.load(); });
}

void StartDevice(Simulator& sim, Device& dev)
{
    dev.noiseState = 0x9E3779B9u ^ static_cast<uint32_t>(dev.number * 0x85EBCA6B);
    ResetParser(dev.parser);
    dev.reader = std::thread(ReaderLoop, &sim, &dev);
    dev.writer = std::thread(WriterLoop, &sim, &dev);
}

void JoinDevice(Device& dev)
{
    {
        std::lock_guard<std::mutex> lock(dev.mu);
        dev.cv.notify_all();
    }
    if (dev.reader.joinable())
        dev.reader.join();
    if (dev.writer.joinable())
        dev.writer.join();
}

bool SendAndWait(Simulator& sim, Device& dev, std::vector<uint8_t> bytes)
{
    std::unique_lock<std::mutex> lock(dev.mu);
    const uint64_t id = QueueJob(dev, OutputJob{std::move(bytes), 0, 0});
    dev.cv.wait(lock, [&] { return sim.stopping.load() || dev.doneJobId >= id; });
    return dev.doneJobId >= id;
}

void PullCable(Device& dev)
{
    ClosePtyPort(dev.port);
    dev.pulled = true;
    dev.pullAfter = -1;
    // What the device was about to send goes with the cable, the reply to the frame that
    // pulled it included.
    Hush(dev);
}

void Hush(Device& dev)
{
    // Nobody waits for what is dropped: a job being sent stops at its next byte.
    ++dev.cable;
    dev.queue.clear();
    dev.doneJobId = dev.nextJobId - 1;
    dev.cv.notify_all();
}

uint64_t QueueJob(Device& dev, OutputJob job)
{
    job.id = dev.nextJobId++;
    job.cable = dev.cable;
    dev.queue.push_back(std::move(job));
    dev.cv.notify_all();
    return dev.nextJobId - 1;
}

void AppendReport(std::deque<std::string>& lines, std::string line)
{
    if (lines.size() >= kMaxReportLines)
        lines.pop_front();
    lines.push_back(std::move(line));
}

void PersistRegisters(Device& dev)
{
    if (dev.memoryPath.empty())
        return;
    if (!SaveRegisterFile(dev.memoryPath.c_str(), dev.regs)) {
        std::fprintf(stderr, "qsim: cannot write %s\n", dev.memoryPath.c_str());
    }
}

std::vector<uint8_t> MakeNoise(Device& dev, size_t count)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(count);
    while (bytes.size() < count) {
        // xorshift32: cheap, and repeatable from run to run.
        uint32_t x = dev.noiseState;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        dev.noiseState = x;
        uint8_t b = static_cast<uint8_t>(x >> 24);
        if (b != 0x41 && b != 0x00)
            bytes.push_back(b);
    }
    return bytes;
}

}  // namespace qsim
