#pragma once
// What a receiver makes of a line that runs at another speed than its own: the bytes a UART at one speed
// samples from bytes sent back to back at another (8 data bits, no parity, one stop bit, least significant
// bit first), and the speed the tool's end of the pseudo-terminal is set to.
#include <cstdint>
#include <random>
#include <vector>

namespace sim {

// Line time of one byte at baud (ms): 10 bits, start, 8 data and stop.
inline double ByteMs(long baud) {
    return 10000.0 / double(baud);
}

struct HeardByte {
    std::uint8_t byte;
    double atMs; // when the receiver delivers it (the middle of its stop bit), from the first start bit
};

// The receiver waits for a falling edge, which its 16-times clock sees up to a sixteenth of its bit late
// (drawn from rng: the same seed gives the same bytes), checks the start bit in its middle, samples eight
// data bits and the stop bit at its own bit time, and delivers the byte whatever the stop bit was (a raw
// port passes a byte with a framing error on). Then it waits for the next high-to-low edge.
std::vector<HeardByte> MisSample(const std::vector<std::uint8_t>& sent, long txBaud, long rxBaud,
                                 std::mt19937& rng);

// The speed of a terminal's input side as its driver holds it, custom rates (set through BOTHER) included;
// 0 when it cannot be read.
long TerminalBaud(int fd);

} // namespace sim
