#include "FlowFrames.h"

#include "Crc16.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// The imitated volume is computed in the 80-bit extended format, as all the tool's floating-point
// work; the wizard already depends on that precision.
static_assert(sizeof(long double) > sizeof(double), "80-bit long double expected");

namespace proto {

namespace {

// Halfway between FLT_MAX and 2^128: anything of smaller magnitude rounds to a finite single.
constexpr long double kSingleLimit = 0x1.ffffffp127L;

bool fitsSingle(long double v) {
    return std::fabs(v) < kSingleLimit;
}

bool isActive(int slot, const FlowSlots& slots) {
    return slot <= int(slots.ImitFlIndex) && slot < kFlowSlots;
}

bool activeAddr(std::uint8_t b, const FlowSlots& slots) {
    for (int s = 0; s < kFlowSlots; ++s)
        if (isActive(s, slots) && slots.ImitAddr[std::size_t(s)] == b)
            return true;
    return false;
}

bool activeNitka(std::uint8_t b, const FlowSlots& slots) {
    for (int s = 0; s < kFlowSlots; ++s)
        if (isActive(s, slots) && slots.ImitNitka[std::size_t(s)] == b)
            return true;
    return false;
}

} // namespace

bool FlowRecogniser::feed(std::uint8_t byte, std::uint32_t nowMs, const FlowSlots& slots) {
    lastByteMs = nowMs;
    if (count >= kFlowRequestSize)
        count = 0;
    switch (count) {
    case 0:
        if (byte == kFlowRequestStart) {
            buffer[0] = byte;
            count = 1;
        }
        return false;
    case 1:
        buffer[1] = byte;
        count = activeAddr(byte, slots) ? 2 : 0;
        return false;
    case 2:
        buffer[2] = byte;
        count = byte == kFlowRequestLength ? 3 : 0;
        return false;
    case 3:
        buffer[3] = byte;
        count = byte == kFlowFunction ? 4 : 0;
        return false;
    case 4:
        buffer[4] = byte;
        count = activeNitka(byte, slots) ? 5 : 0;
        return false;
    default: // 5 or 6: the CRC bytes, taken as they come
        buffer[std::size_t(count)] = byte;
        ++count;
        return count == kFlowRequestSize;
    }
}

void FlowRecogniser::idle(std::uint32_t nowMs) {
    if (count != 0 && std::uint32_t(nowMs - lastByteMs) > kFlowIdleMs)
        count = 0;
}

int FlowRecogniser::msUntilIdle(std::uint32_t nowMs) const {
    if (count == 0 || complete())
        return -1;
    const std::uint32_t since = nowMs - lastByteMs;
    return since > kFlowIdleMs ? 0 : int(kFlowIdleMs + 1 - since);
}

int MatchSlot(const std::uint8_t* request, const FlowSlots& slots) {
    for (int s = 0; s < kFlowSlots; ++s)
        if (isActive(s, slots) && slots.ImitAddr[std::size_t(s)] == request[1] &&
            slots.ImitNitka[std::size_t(s)] == request[4])
            return s;
    return -1;
}

float ImitVolume(float flow, std::uint32_t elapsedMs) {
    // m3/h over elapsedMs: E x (F / 3600) x 0.001, rounded to single once at the end.
    const long double v = (long double)elapsedMs * ((long double)flow / 3600.0L) * 0.001L;
    if (std::isnan(v)) // no time yet at an infinite flow: nothing has flowed
        return 0.0f;
    if (!fitsSingle(v))
        return v > 0 ? HUGE_VALF : -HUGE_VALF;
    return float(v);
}

float ImitVolumeFrom(float startM3, float flow, std::uint32_t elapsedMs) {
    if (startM3 == 0.0f)
        return ImitVolume(flow, elapsedMs);
    const long double v = (long double)elapsedMs * ((long double)flow / 3600.0L) * 0.001L;
    if (std::isnan(v))
        return startM3;
    const long double sum = (long double)startM3 + v;
    if (!fitsSingle(sum))
        return sum > 0 ? HUGE_VALF : -HUGE_VALF;
    return float(sum);
}

bool FlowFitsAnswer(double rashod) {
    if (!fitsSingle(rashod)) // NaN fails here too
        return false;
    // The volume grows with the elapsed time; the longest the 32-bit tick difference can express
    // is 2^32 - 1 ms.
    return std::isfinite(ImitVolume(float(rashod), 0xFFFFFFFFu));
}

void EncodeFloat(std::uint8_t* at, float value, bool msbFirst) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(bits >> (msbFirst ? 24 - 8 * i : 8 * i));
}

float DecodeFloat(const std::uint8_t* at, bool msbFirst) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= std::uint32_t(at[i]) << (msbFirst ? 24 - 8 * i : 8 * i);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

float BuildFlowAnswer(std::span<const std::uint8_t, kFlowRequestSize> request,
                      std::span<std::uint8_t, kFlowAnswerSize> answer, int slot, const FlowSlots& slots,
                      std::uint32_t elapsedMs, float startM3) {
    answer[0] = kFlowAnswerStart;
    answer[1] = request[1];
    answer[2] = kFlowAnswerSize;
    answer[3] = std::uint8_t(request[3] | 0x80);
    answer[4] = request[4];
    const double rashod = slots.ImitRashod[std::size_t(slot)];
    const float flow = fitsSingle(rashod) ? float(rashod) : (rashod > 0 ? HUGE_VALF : -HUGE_VALF);
    const float volume = ImitVolumeFrom(startM3, flow, elapsedMs);
    const bool msb = slots.ImitMsbFirst[std::size_t(slot)];
    EncodeFloat(&answer[5], flow, msb);
    EncodeFloat(&answer[9], volume, msb);
    EncodeFloat(&answer[13], 0.0f, msb);
    EncodeFloat(&answer[17], volume, msb);
    answer[21] = answer[22] = 0;
    FrameCrc(answer.data(), kFlowAnswerSize);
    return volume;
}

std::array<std::uint8_t, kFlowRequestSize> BuildFlowRequest(std::uint8_t addr, std::uint8_t run) {
    std::array<std::uint8_t, kFlowRequestSize> f = {
        kFlowRequestStart, addr, kFlowRequestLength, kFlowFunction, run, 0, 0};
    FrameCrc(f.data(), f.size());
    return f;
}

std::optional<FlowRequestFields> DecodeFlowRequest(std::span<const std::uint8_t> request) {
    if (request.size() != std::size_t(kFlowRequestSize) || request[0] != kFlowRequestStart ||
        request[2] != kFlowRequestLength || request[3] != kFlowFunction)
        return std::nullopt;
    return FlowRequestFields{request[1], request[4], CrcMatches(request)};
}

FlowAnswerFields DecodeFlowAnswer(std::span<const std::uint8_t> a, bool msbFirst) {
    using O = FlowAnswerOutcome;
    FlowAnswerFields f;
    if (a.size() != std::size_t(kFlowAnswerSize))
        return f;
    if (a[0] != kFlowAnswerStart) {
        f.outcome = O::WrongStart;
        return f;
    }
    f.addr = a[1];
    f.run = a[4];
    if (a[2] != kFlowAnswerSize)
        f.outcome = O::WrongLength;
    else if (a[3] != (kFlowFunction | 0x80))
        f.outcome = O::WrongFunction;
    else if (!CrcMatches(a))
        f.outcome = O::BadCrc;
    else if (a[13] || a[14] || a[15] || a[16])
        f.outcome = O::ReservedNotZero;
    else if (!std::equal(a.begin() + 9, a.begin() + 13, a.begin() + 17))
        f.outcome = O::VolumeMismatch;
    else {
        f.outcome = O::Ok;
        f.flow = DecodeFloat(&a[5], msbFirst);
        f.volume = DecodeFloat(&a[9], msbFirst);
    }
    return f;
}

} // namespace proto
