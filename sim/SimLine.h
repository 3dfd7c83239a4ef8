#pragma once
// The virtual controller's end of the line: the pseudo-terminal pair, its optional symbolic link, and
// the writer that paces the bytes at the line speed (a pseudo-terminal has no baud timing of its own).
#include "SimFaults.h"

#include <deque>
#include <functional>
#include <random>
#include <string>
#include <termios.h>

namespace sim {

// The termios constant of a speed, B0 for speeds without one (3200, 6400, 7680, 12800), and back (0 for
// B0 or a custom rate).
speed_t SpeedConstant(long baud);
long BaudOf(speed_t constant);

struct Pty {
    int master = -1;
    // Our own handle on the tool's end keeps the pair alive while the tool has it closed (otherwise the
    // master side reports a hang-up and poll() never sleeps). It is only used for the line settings.
    int slave = -1;
    std::string path;
};
// Opens the pair, the tool's end raw at baud, ours non-blocking. False (reason printed) on failure.
bool OpenPty(long baud, Pty& pty);

// Makes `link` a symbolic link to `target`, replacing a link left behind by a run that was killed; a
// file that is not a link is left alone. False (reason printed) on failure.
bool MakeLink(const std::string& link, const std::string& target);
// Removes `link` if it still points at `target`: a path that was replaced meanwhile is left alone.
void RemoveLink(const std::string& link, const std::string& target);

// The bytes the simulator puts on the line, each written when its last bit would have left: byte i of a
// burst is due (i + 1) byte times after the burst may start. A burst may go at a speed of its own; once
// the writer listens with the tool's ears (hearWith), a burst sent at another speed than the tool's end
// is set to reaches the tool as a receiver at that speed would sample it.
class PacedWriter {
public:
    PacedWriter(int fd, double byteMs) : fd_(fd), byteMs_(byteMs) {}
    // Queues bytes to start no earlier than notBefore, at the writer's own speed or at `baud`; returns
    // the time the last one is due.
    double enqueue(const Bytes& bytes, double notBefore) { return enqueue(bytes, notBefore, 0); }
    double enqueue(const Bytes& bytes, double notBefore, long baud);
    // From now on each burst is checked, just before its first byte goes out, against `toolBaud()`
    // (0: unknown, taken as matching); `ownBaud` is the writer's own speed, the seed makes the garbling
    // repeatable.
    void hearWith(std::function<long()> toolBaud, long ownBaud, std::uint32_t seed);
    // Writes what is due by now.
    void service(double now);
    bool empty() const { return q_.empty(); }
    double nextDue() const { return q_.empty() ? 1e300 : q_.front().due[q_.front().next]; }
    // Writes at once, outside the pacing (the echo of a two-wire line).
    void writeAll(const Bytes& bytes);
    std::size_t lost() const { return lost_; }
    std::size_t garbled() const { return garbled_; } // bursts the tool heard at the wrong speed

private:
    struct Burst {
        Bytes bytes;
        std::vector<double> due;
        std::size_t next = 0;
        long baud = 0;
        bool heard = false;
    };
    void hear(Burst& burst);

    int fd_;
    double byteMs_;
    double lastDue_ = 0;
    std::deque<Burst> q_;
    std::size_t lost_ = 0;
    std::function<long()> toolBaud_;
    long ownBaud_ = 0;
    std::mt19937 rng_;
    std::size_t garbled_ = 0;
};

} // namespace sim
