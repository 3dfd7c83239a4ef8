#include "FrameHunter.h"

#include "ControllerFrames.h"

#include <algorithm>

namespace proto {

FrameHunter::FrameHunter(std::uint8_t startByte, std::span<std::uint8_t> buffer)
    : start_(startByte), buffer_(buffer) {}

void FrameHunter::reset() {
    count_ = 0;
    seenFF_ = false;
    noise_ = 0;
}

HuntStep FrameHunter::feed(std::uint8_t byte) {
    if (count_ == 0) {
        // The start byte counts only directly behind a 0xFF; the time-out clock ignores everything else.
        if (byte == start_ && seenFF_ && !buffer_.empty()) {
            buffer_[0] = byte;
            count_ = 1;
            seenFF_ = false;
            return HuntStep::Taken;
        }
        seenFF_ = byte == kPreambleByte;
        if (!seenFF_)
            ++noise_;
        return HuntStep::Skipped;
    }
    if (count_ == 1) {
        if (byte == kPreambleByte && buffer_.size() > 1) {
            buffer_[1] = byte;
            count_ = 2;
            return HuntStep::Taken;
        }
        // A false start: hunting again from the next byte, which needs its own 0xFF ahead of it.
        count_ = 0;
        noise_ += 2;
        return HuntStep::Skipped;
    }
    if (full())
        return HuntStep::Dropped;
    buffer_[std::size_t(count_++)] = byte;
    return complete() ? HuntStep::Complete : HuntStep::Taken;
}

std::span<const std::uint8_t> FrameHunter::frame() const {
    const int n = complete() ? std::min(frameLength(), count_) : count_;
    return std::span<const std::uint8_t>(buffer_.data(), std::size_t(n));
}

} // namespace proto
