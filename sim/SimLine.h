#pragma once
// The virtual controller's end of the line: the pseudo-terminal pair, its optional symbolic link, and
// the writer that paces the bytes at the line speed (a pseudo-terminal has no baud timing of its own).
#include "SimFaults.h"

#include <deque>
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
// burst is due (i + 1) byte times after the burst may start.
class PacedWriter {
public:
    PacedWriter(int fd, double byteMs) : fd_(fd), byteMs_(byteMs) {}
    // Queues bytes to start no earlier than notBefore; returns the time the last one is due.
    double enqueue(const Bytes& bytes, double notBefore);
    // Writes what is due by now.
    void service(double now);
    bool empty() const { return q_.empty(); }
    double nextDue() const { return q_.empty() ? 1e300 : q_.front().due; }
    // Writes at once, outside the pacing (the echo of a two-wire line).
    void writeAll(const Bytes& bytes);
    std::size_t lost() const { return lost_; }

private:
    struct Timed {
        std::uint8_t b;
        double due;
    };
    int fd_;
    double byteMs_;
    double lastDue_ = 0;
    std::deque<Timed> q_;
    std::size_t lost_ = 0;
};

} // namespace sim
