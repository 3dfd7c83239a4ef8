#include "SimLine.h"

#include "SimUart.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

struct TermiosSpeed {
    long baud;
    speed_t constant;
};
// 3200, 6400, 7680 and 12800 have no termios constant.
constexpr TermiosSpeed kSpeeds[] = {{600, B600},     {1200, B1200},   {2400, B2400},
                                    {4800, B4800},   {9600, B9600},   {19200, B19200},
                                    {38400, B38400}, {57600, B57600}, {115200, B115200}};

} // namespace

speed_t SpeedConstant(long baud) {
    for (const TermiosSpeed& s : kSpeeds)
        if (s.baud == baud)
            return s.constant;
    return B0; // the speed is left alone
}

long BaudOf(speed_t constant) {
    for (const TermiosSpeed& s : kSpeeds)
        if (s.constant == constant)
            return s.baud;
    return 0;
}

bool OpenPty(long baud, Pty& pty) {
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0 || ::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0) {
        std::perror("rmz47-sim: pseudo-terminal");
        return false;
    }
    pty.path = ::ptsname(pty.master);
    pty.slave = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (pty.slave < 0) {
        std::perror("rmz47-sim: open pseudo-terminal");
        return false;
    }
    termios t{};
    if (::tcgetattr(pty.slave, &t) == 0) {
        // Raw: no echo, no line editing, no translation, before the tool sets its own line state.
        ::cfmakeraw(&t);
        if (const speed_t s = SpeedConstant(baud); s != B0)
            ::cfsetspeed(&t, s);
        ::tcsetattr(pty.slave, TCSANOW, &t);
    }
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    return true;
}

bool MakeLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "rmz47-sim: %s exists and is not a symbolic link\n", link.c_str());
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "rmz47-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
    if (link.empty())
        return;
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        if (target == buf)
            ::unlink(link.c_str());
    }
}

double PacedWriter::enqueue(const Bytes& bytes, double notBefore, long baud) {
    Burst b;
    b.bytes = bytes;
    b.baud = baud;
    const double byteMs = baud > 0 ? ByteMs(baud) : byteMs_;
    double t = std::max(notBefore, lastDue_);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        t += byteMs;
        b.due.push_back(t);
    }
    if (!bytes.empty())
        q_.push_back(std::move(b));
    lastDue_ = std::max(lastDue_, t);
    return t;
}

void PacedWriter::hearWith(std::function<long()> toolBaud, long ownBaud, std::uint32_t seed) {
    toolBaud_ = std::move(toolBaud);
    ownBaud_ = ownBaud;
    rng_.seed(seed);
}

void PacedWriter::hear(Burst& b) {
    b.heard = true;
    const long sent = b.baud > 0 ? b.baud : ownBaud_;
    const long tool = toolBaud_ ? toolBaud_() : 0;
    if (!tool || !sent || tool == sent)
        return;
    // The burst starts one byte time before its first byte is due.
    const double start = b.due.front() - ByteMs(sent);
    Bytes heard;
    std::vector<double> due;
    for (const HeardByte& h : MisSample(b.bytes, sent, tool, rng_)) {
        heard.push_back(h.byte);
        due.push_back(start + h.atMs);
    }
    b.bytes = std::move(heard);
    b.due = std::move(due);
    ++garbled_;
}

void PacedWriter::service(double now) {
    Bytes chunk;
    while (!q_.empty()) {
        Burst& b = q_.front();
        if (!b.heard && toolBaud_) {
            if (b.due.front() > now)
                break;
            hear(b); // the tool's speed as the burst starts to leave
        }
        while (b.next < b.bytes.size() && b.due[b.next] <= now)
            chunk.push_back(b.bytes[b.next++]);
        if (b.next < b.bytes.size())
            break;
        q_.pop_front();
    }
    if (!chunk.empty())
        writeAll(chunk);
}

void PacedWriter::writeAll(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else {
            // Nobody reads the tool's end and its queue is full: the bytes are lost, as on a line.
            lost_ += bytes.size() - done;
            return;
        }
    }
}

} // namespace sim
