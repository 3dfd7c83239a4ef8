#include "ConfigRecord.h"

#include "FlowFrames.h"

#include <algorithm>
#include <cstring>

namespace proto {

ConfigImage ConfigImage::Factory() {
    static constexpr Bytes kFactory = {
        0x01,                   // one run
        0x0A, 0x0A,             // pulse and pause 0.1 s
        0x2C, 0x01,             // polling period 3 s
        0x00, 0x00, 0xC8, 0x42, // 100 m3 a pulse
        0x64, 0x00,             // answer time-out 1 s
        0x01, 0x01, 0x02,       // run 1: address 1, run 1, 1200 bit/s
        0x02, 0x01, 0x02,       // run 2: address 2
        0x03, 0x01, 0x02,       // run 3: address 3
        0x51, 0x01, 0x01,       // every run high byte first; 5 attempts
    };
    ConfigImage image;
    image.b_ = kFactory;
    return image;
}

void ConfigImage::overlay(std::span<const std::uint8_t> bytes) {
    const std::size_t n = std::min(bytes.size(), b_.size());
    if (n > 0)
        std::memcpy(b_.data(), bytes.data(), n);
}

float ConfigImage::v() const {
    return DecodeFloat(&b_[kV], false);
}

void ConfigImage::setV(float m3) {
    EncodeFloat(&b_[kV], m3, false);
}

} // namespace proto
