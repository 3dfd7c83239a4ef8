#include "SimUart.h"

#include <cmath>
// The kernel's termios2 carries custom rates; its header clashes with the C library's <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace sim {

namespace {

// The line level of the sent bits at time t (ms from the first start bit): idle high outside the burst.
class SentLine {
public:
    SentLine(const std::vector<std::uint8_t>& sent, long baud)
        : sent_(sent), bitMs_(1000.0 / double(baud)), bits_(long(sent.size()) * 10) {}

    int level(double t) const {
        if (t < 0)
            return 1;
        const long n = long(std::floor(t / bitMs_));
        if (n >= bits_)
            return 1;
        const long pos = n % 10;
        if (pos == 0)
            return 0; // start bit
        if (pos == 9)
            return 1; // stop bit
        return (sent_[std::size_t(n / 10)] >> (pos - 1)) & 1;
    }
    // The first bit boundary at or after t where the line falls from high to low; negative when none.
    double nextFall(double t) const {
        for (long n = std::max(0L, long(std::ceil(t / bitMs_))); n < bits_; ++n)
            if (level((double(n) - 0.5) * bitMs_) == 1 && level((double(n) + 0.5) * bitMs_) == 0)
                return double(n) * bitMs_;
        return -1;
    }

private:
    const std::vector<std::uint8_t>& sent_;
    double bitMs_;
    long bits_;
};

} // namespace

std::vector<HeardByte> MisSample(const std::vector<std::uint8_t>& sent, long txBaud, long rxBaud,
                                 std::mt19937& rng) {
    std::vector<HeardByte> heard;
    if (txBaud <= 0 || rxBaud <= 0)
        return heard;
    const SentLine line(sent, txBaud);
    const double bitMs = 1000.0 / double(rxBaud);
    std::uniform_real_distribution<double> late(0.0, bitMs / 16);
    for (double t = 0;;) {
        const double edge = line.nextFall(t);
        if (edge < 0)
            break;
        const double start = edge + late(rng);
        if (line.level(start + bitMs / 2) != 0) { // a glitch, not a start bit
            t = start + bitMs / 2;
            continue;
        }
        std::uint8_t value = 0;
        for (int i = 0; i < 8; ++i)
            value |= std::uint8_t(line.level(start + (1.5 + i) * bitMs) << i);
        t = start + 9.5 * bitMs;
        heard.push_back({value, t});
    }
    return heard;
}

long TerminalBaud(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return long(t.c_ospeed);
}

} // namespace sim
