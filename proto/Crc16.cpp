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
    if (CrcMatches({frame, n}))
        return true;
    const std::uint16_t crc = Crc16Modbus(frame, n - 2);
    frame[n - 2] = std::uint8_t(crc & 0xFF); // low byte first on the wire
    frame[n - 1] = std::uint8_t(crc >> 8);
    return false;
}

bool CheckAnswer(std::uint8_t* frame, std::size_t size, int count) {
    if (frame == nullptr || size < 3 || count < 0)
        return false;
    // The receiver returns the length byte once the frame is complete and less when it gave up, so a
    // count below the length byte is a frame cut short.
    if (count < int(frame[2]))
        return false;
    return FrameCrc(frame, size);
}

} // namespace proto
