#pragma once
// The controller's side of a pseudo-terminal for the imitation benchmarks: flow requests written on the
// master side, the time to the first answer byte read back, and the figures taken of it.
#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

using Steady = std::chrono::steady_clock;

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Reads exactly n bytes from fd, or fewer if timeoutMs passes.
inline int readBytes(int fd, unsigned char* buf, int n, int timeoutMs) {
    const auto end = Steady::now() + std::chrono::milliseconds(timeoutMs);
    int got = 0;
    while (got < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Steady::now()).count();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        const ssize_t r = ::read(fd, buf + got, size_t(n - got));
        if (r > 0)
            got += int(r);
    }
    return got;
}

struct Latencies {
    std::vector<double> us;               // sorted
    std::vector<Steady::time_point> sent; // per answered request: its last byte written, in order
    int missing = 0;
};

// One exchange as the controller makes it: a request, the time to the first answer byte, the rest of
// the answer. False when no answer came (the request met the end of the previous answer).
inline bool exchange(int master, Latencies& out) {
    static const unsigned char request[7] = {0xAA, 0x01, 0x07, 0x06, 0x01, 0x4E, 0x45};
    unsigned char answer[24];
    if (::write(master, request, sizeof request) != ssize_t(sizeof request))
        return false;
    const auto sent = Steady::now();
    if (readBytes(master, answer, 1, 300) != 1) {
        ++out.missing;
        return true;
    }
    out.us.push_back(std::chrono::duration<double, std::micro>(Steady::now() - sent).count());
    out.sent.push_back(sent);
    readBytes(master, answer + 1, 23, 2000);
    return true;
}

// Plays the controller on the master side, a pause past the answer's RTS hold after each exchange. With
// a floor responder, each exchange with the tool is followed by one with the floor, so that both meet
// the same machine at the same moment.
inline Latencies poll(int master, int count, int pauseMs, int floorMaster = -1, Latencies* floor = nullptr) {
    Latencies out;
    for (int i = 0; i < count; ++i) {
        if (!exchange(master, out))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        if (floor && exchange(floorMaster, *floor))
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    std::sort(out.us.begin(), out.us.end());
    if (floor)
        std::sort(floor->us.begin(), floor->us.end());
    return out;
}

inline double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0.0;
    return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
}

inline int openMaster() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    return master;
}

inline speed_t speedOf(int fd) {
    termios t{};
    tcgetattr(fd, &t);
    return cfgetospeed(&t);
}

} // namespace bench
