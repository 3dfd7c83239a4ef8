#pragma once
// The checksum every frame on the line carries, the controller's and the flow computer's alike: two bytes
// at the end of the frame, low byte first, over everything from the start byte to the byte before them.
#include <cstddef>
#include <cstdint>
#include <span>

namespace proto {

// CRC-16/MODBUS: width 16, poly 0xA001 reflected, init 0xFFFF, no final xor; "123456789" -> 0x4B37.
std::uint16_t Crc16Modbus(const std::uint8_t* data, std::size_t n);

// True when the frame (exactly its bytes, the CRC included) ends in the CRC of the bytes before it.
// Frames shorter than 3 bytes carry no CRC: false.
bool CrcMatches(std::span<const std::uint8_t> frame);

// Check-or-fill over a frame whose length N is byte 2: true when bytes N-2, N-1 hold the CRC of bytes
// 0..N-3. Otherwise writes it there and returns false. A frame with N < 5, or with N larger than size
// (the bytes available), is refused: false, nothing written.
bool FrameCrc(std::uint8_t* frame, std::size_t size);

} // namespace proto
