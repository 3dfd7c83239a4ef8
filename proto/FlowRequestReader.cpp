#include "FlowRequestReader.h"

#include "ControllerFrames.h"
#include "Crc16.h"

#include <algorithm>
#include <utility>

namespace proto {

bool FlowRequestReader::starts(std::uint8_t byte) const {
    if (byte == kFlowRequestStart)
        return true;
    return everyFrame_ && (byte == kFlowAnswerStart || byte == kRequestStart || byte == kAnswerStart);
}

// Whether `byte` may stand at position `pos` of the frame held: the start, the length and the function
// are fixed for the flow frames (address, run, data and checksum take any value); a controller frame has
// its address and a length that covers at least its header and checksum.
bool FlowRequestReader::fits(int pos, std::uint8_t byte) const {
    if (pos == 0)
        return starts(byte);
    switch (held_[0]) {
    case kFlowRequestStart:
        return pos == 2 ? byte == kFlowRequestLength : pos != 3 || byte == kFlowFunction;
    case kFlowAnswerStart:
        return pos == 2 ? byte == kFlowAnswerSize : pos != 3 || byte == (kFlowFunction | kAnswerBit);
    default:
        return pos == 1 ? byte == kControllerAddress : pos != 2 || byte >= kMinAnswerLength;
    }
}

int FlowRequestReader::length() const {
    switch (held_[0]) {
    case kFlowRequestStart:
        return kFlowRequestSize;
    case kFlowAnswerStart:
        return kFlowAnswerSize;
    default:
        return count_ > 2 ? held_[2] : 0;
    }
}

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
    // The preamble ahead of a frame: no noise when every frame is read.
    if (count_ == 0 && everyFrame_ && byte == kPreambleByte)
        return {};
    if (fits(count_, byte)) {
        held_[std::size_t(count_++)] = byte;
        if (count_ < length() || count_ < 3)
            return {};
        FlowRead r;
        r.kind = held_[0] == kFlowRequestStart ? FlowRead::Kind::Request : FlowRead::Kind::Frame;
        std::copy_n(held_.begin(), count_, r.bytes.begin());
        r.length = count_;
        r.crcOk = CrcMatches(std::span(held_.data(), std::size_t(count_)));
        r.noiseBefore = takeNoise();
        count_ = 0;
        return r;
    }
    // The pattern broke: the held start byte is noise; what follows it may hold the next start. A
    // pattern breaks within the first four bytes, so few are looked at again.
    std::array<std::uint8_t, 8> rest{};
    int n = 0;
    for (int i = 1; i < count_; ++i)
        rest[std::size_t(n++)] = held_[std::size_t(i)];
    rest[std::size_t(n++)] = byte;
    noise_ += count_ > 0 ? 1 : 0;
    count_ = 0;
    int i = 0;
    while (i < n && !starts(rest[std::size_t(i)])) {
        noise_ += everyFrame_ && rest[std::size_t(i)] == kPreambleByte ? 0 : 1;
        ++i;
    }
    FlowRead last;
    for (; i < n; ++i) {
        const FlowRead r = place(rest[std::size_t(i)]);
        if (r.kind != FlowRead::Kind::None)
            last = r; // a frame cannot finish twice within the few replayed
    }
    return last;
}

} // namespace proto
