#pragma once
// Table 4 of the controller, its configuration record, as bytes: the one place that knows where each
// field stands, how wide it is, and how much of the record a controller of each software version sends
// and takes. The tool's configuration, the virtual controller and the line monitor all read it here.
// 23 bytes; multi-byte fields little-endian and unaligned; times in hundredths of a second.
#include <array>
#include <cstdint>
#include <span>

namespace proto {

constexpr int kConfigRecordSize = 23;
constexpr int kConfigRuns = 3;

// The three flag bytes close the record; every other field stands before them.
constexpr int kConfigSizeWithoutFlags = 20;

// Versions 0 and 1 send 21 bytes and take only the first 20 back: their flag bytes are never written.
constexpr int ConfigReadSize(int softVersion) {
    return softVersion >= 2 ? kConfigRecordSize : kConfigSizeWithoutFlags + 1;
}
constexpr int ConfigWriteSize(int softVersion) {
    return softVersion >= 2 ? kConfigRecordSize : kConfigSizeWithoutFlags;
}
// Whether a table of n bytes is the record of some version.
constexpr bool IsConfigReadSize(int n) {
    return n == ConfigReadSize(0) || n == ConfigReadSize(2);
}
// From version 2 on each run's flag byte carries its flow computer's float byte order; from version 3 on
// run 1's also carries the polling attempts.
constexpr bool CarriesByteOrder(int softVersion) {
    return softVersion >= 2;
}
constexpr bool CarriesAttempts(int softVersion) {
    return softVersion >= 3;
}
// Version 3 emits its pulses by flow rate, every other version by volume.
constexpr bool PulsesByFlow(int softVersion) {
    return softVersion == 3;
}

// A run's flag byte: bit 0 set when the run's flow computer sends its floats high byte first ("inverse"),
// and in run 1's byte the attempts at a silent flow computer in bits 4..7. The other bits are written 0.
constexpr std::uint8_t kFlagMsbFirst = 0x01;
constexpr int kAttemptsShift = 4;
constexpr int kMinAttempts = 2;
constexpr int kMaxAttempts = 10;
constexpr bool FlagMsbFirst(std::uint8_t flags) {
    return (flags & kFlagMsbFirst) != 0;
}
constexpr int FlagAttempts(std::uint8_t flags) {
    return flags >> kAttemptsShift;
}
constexpr std::uint8_t RunFlags(bool msbFirst, int attempts = 0) {
    return std::uint8_t((msbFirst ? kFlagMsbFirst : 0) | (attempts << kAttemptsShift));
}

// The record's bytes with its fields by name. A new image is all zero; Factory() is what a controller
// holds as delivered. `run` is 0-based.
class ConfigImage {
public:
    using Bytes = std::array<std::uint8_t, kConfigRecordSize>;
    static ConfigImage Factory();

    // Lays `bytes` over the image from offset 0; the fields past their end keep their values, bytes past
    // the record are ignored.
    void overlay(std::span<const std::uint8_t> bytes);
    const Bytes& bytes() const { return b_; }

    std::uint8_t flCount() const { return b_[kFlCount]; } // runs served, 1..3
    std::uint8_t nag() const { return b_[kNag]; }         // pulse duration
    std::uint8_t pause() const { return b_[kPause]; }     // pause between pulses
    std::uint16_t period() const { return u16(kPeriod); } // polling period
    float v() const;                                      // m3 a pulse, IEEE 754 single
    std::uint16_t answer() const { return u16(kAnswer); } // answer time-out
    std::uint8_t addr(int run) const { return b_[runByte(run, 0)]; }
    std::uint8_t nitka(int run) const { return b_[runByte(run, 1)]; } // run number in the flow computer
    std::uint8_t speed(int run) const { return b_[runByte(run, 2)]; } // LineSpeedTable code
    std::uint8_t flags(int run) const { return b_[kFlags + std::size_t(run)]; }

    void setFlCount(std::uint8_t n) { b_[kFlCount] = n; }
    void setNag(std::uint8_t cs) { b_[kNag] = cs; }
    void setPause(std::uint8_t cs) { b_[kPause] = cs; }
    void setPeriod(std::uint16_t cs) { setU16(kPeriod, cs); }
    void setV(float m3);
    void setAnswer(std::uint16_t cs) { setU16(kAnswer, cs); }
    void setAddr(int run, std::uint8_t a) { b_[runByte(run, 0)] = a; }
    void setNitka(int run, std::uint8_t n) { b_[runByte(run, 1)] = n; }
    void setSpeed(int run, std::uint8_t code) { b_[runByte(run, 2)] = code; }
    void setFlags(int run, std::uint8_t f) { b_[kFlags + std::size_t(run)] = f; }

    bool operator==(const ConfigImage&) const = default;

private:
    // Offsets; each run has address, run number and speed in three bytes from kRuns on.
    static constexpr std::size_t kFlCount = 0, kNag = 1, kPause = 2, kPeriod = 3, kV = 5, kAnswer = 9,
                                 kRuns = 11, kFlags = kConfigSizeWithoutFlags;
    static constexpr std::size_t runByte(int run, int field) {
        return kRuns + 3 * std::size_t(run) + std::size_t(field);
    }
    std::uint16_t u16(std::size_t at) const { return std::uint16_t(b_[at] | b_[at + 1] << 8); }
    void setU16(std::size_t at, std::uint16_t x) {
        b_[at] = std::uint8_t(x);
        b_[at + 1] = std::uint8_t(x >> 8);
    }

    Bytes b_{};
};

} // namespace proto
