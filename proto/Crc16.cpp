#include "Crc16.h"

namespace proto {

std::uint16_t Crc16Modbus(const std::uint8_t* data, std::size_t n) {
    std::uint16_t r = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? std::uint16_t((r >> 1) ^ 0xA001) : std::uint16_t(r >> 1);
    }
    return r;
}

bool CrcMatches(std::span<const std::uint8_t> frame) {
    const std::size_t n = frame.size();
    if (n < 3)
        return false;
    const std::uint16_t crc = Crc16Modbus(frame.data(), n - 2);
    return frame[n - 2] == (crc & 0xFF) && frame[n - 1] == (crc >> 8);
}

bool FrameCrc(std::uint8_t* frame, std::size_t size) {
    // The length byte sits at offset 2; a frame needs at least start, address, length and the two CRC
    // bytes. Anything shorter, or longer than the buffer holds, would make the CRC position point outside
    // the frame: refuse it untouched.
    if (frame == nullptr || size < 3)
        return false;
    const std::size_t n = frame[2];
    if (n < 5 || n > size)
        return false;
    // Computed once: a request or an answer being built arrives here with its CRC bytes still zero.
    const std::uint16_t crc = Crc16Modbus(frame, n - 2);
    const std::uint8_t lo = std::uint8_t(crc & 0xFF), hi = std::uint8_t(crc >> 8); // low byte first
    if (frame[n - 2] == lo && frame[n - 1] == hi)
        return true;
    frame[n - 2] = lo;
    frame[n - 1] = hi;
    return false;
}

} // namespace proto
