#include "FlowRequestReader.h"

#include "Crc16.h"

#include <utility>

namespace proto {

namespace {

// Whether `byte` may stand at position `pos` of a request: the start, the length and the function are
// fixed; address, run and checksum take any value.
bool fits(int pos, std::uint8_t byte) {
    switch (pos) {
    case 0:
        return byte == kFlowRequestStart;
    case 2:
        return byte == kFlowRequestLength;
    case 3:
        return byte == kFlowFunction;
    default:
        return true;
    }
}

} // namespace

FlowRead FlowRequestReader::feed(std::uint8_t byte, std::uint32_t nowMs) {
    FlowRead gone = idle(nowMs);
    lastMs_ = nowMs;
    FlowRead now = place(byte);
    if (gone.kind != FlowRead::Kind::None) {
        // The byte only started something (a request needs seven): its noise waits for the next result.
        noise_ += now.noiseBefore;
        return gone;
    }
    return now;
}

FlowRead FlowRequestReader::idle(std::uint32_t nowMs) {
    if (count_ == 0 || std::uint32_t(nowMs - lastMs_) <= kFlowIdleMs)
        return {};
    return cut();
}

int FlowRequestReader::takeNoise() {
    return std::exchange(noise_, 0);
}

FlowRead FlowRequestReader::cut() {
    FlowRead r;
    r.kind = FlowRead::Kind::CutShort;
    r.bytes = held_;
    r.length = count_;
    r.noiseBefore = takeNoise();
    count_ = 0;
    return r;
}

FlowRead FlowRequestReader::place(std::uint8_t byte) {
    if (fits(count_, byte)) {
        held_[std::size_t(count_++)] = byte;
        if (count_ < kFlowRequestSize)
            return {};
        FlowRead r;
        r.kind = FlowRead::Kind::Request;
        r.bytes = held_;
        r.length = kFlowRequestSize;
        r.crcOk = CrcMatches(held_);
        r.noiseBefore = takeNoise();
        count_ = 0;
        return r;
    }
    // The pattern broke: the held start byte is noise; what follows it may hold the next start.
    std::array<std::uint8_t, kFlowRequestSize + 1> rest{};
    int n = 0;
    for (int i = 1; i < count_; ++i)
        rest[std::size_t(n++)] = held_[std::size_t(i)];
    rest[std::size_t(n++)] = byte;
    noise_ += count_ > 0 ? 1 : 0;
    count_ = 0;
    int i = 0;
    while (i < n && rest[std::size_t(i)] != kFlowRequestStart) {
        ++noise_;
        ++i;
    }
    FlowRead last;
    for (; i < n; ++i) {
        const FlowRead r = place(rest[std::size_t(i)]);
        if (r.kind != FlowRead::Kind::None)
            last = r; // seven bytes cannot finish twice within the at most seven replayed
    }
    return last;
}

} // namespace proto
