#pragma once
// Finds the controller's answer in the bytes of the line, one byte at a time: a frame is taken only when
// 0xFF, the start byte and 0xFF came in a row, then collected up to its length byte. Byte rules only:
// the caller reads the port and keeps the time-outs.
//
//   FrameHunter h(kAnswerStart, buffer);
//   for each byte b: if (h.feed(b) is Taken or Complete) the silence clock starts again;
//   h.complete() -> the frame is in (h.frameLength() bytes); on a time-out h.count() is what came.
#include <cstddef>
#include <cstdint>
#include <span>

namespace proto {

enum class HuntStep {
    Skipped,  // looked at while hunting and thrown away (noise, a preamble byte, a false start)
    Taken,    // stored: part of a frame that is not complete yet
    Complete, // stored, and the frame holds at least 3 bytes and its length byte's worth
    Dropped,  // the buffer is full: the byte is lost
};

class FrameHunter {
public:
    // Frames are stored from buffer[0]; the buffer's size bounds the bytes kept.
    FrameHunter(std::uint8_t startByte, std::span<std::uint8_t> buffer);

    HuntStep feed(std::uint8_t byte);
    // Hunting again from scratch, the noise count cleared.
    void reset();

    // Bytes stored so far. Bytes that follow a complete frame are stored too (up to the buffer's size)
    // and never change what the frame is.
    int count() const { return count_; }
    bool complete() const { return count_ >= 3 && count_ >= buffer_[2]; }
    bool full() const { return std::size_t(count_) == buffer_.size(); }
    // The frame's length byte once 3 bytes are in (what the receiver reports for a complete frame), else 0.
    int frameLength() const { return count_ >= 3 ? buffer_[2] : 0; }
    // The frame as far as it goes: its length byte's worth when complete, else what was stored.
    std::span<const std::uint8_t> frame() const;
    // Bytes thrown away that were neither a 0xFF nor part of the frame: noise, and both bytes of a
    // false start (the start byte and the byte that was not 0xFF behind it).
    int noiseSkipped() const { return noise_; }

private:
    std::uint8_t start_;
    std::span<std::uint8_t> buffer_;
    int count_ = 0;
    bool seenFF_ = false;
    int noise_ = 0;
};

} // namespace proto
