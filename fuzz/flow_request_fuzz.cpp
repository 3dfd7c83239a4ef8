// Arbitrary bytes from the controller's line, with arbitrary silences between them, through the
// imitation's flow-request recogniser; every complete request is matched to a slot and answered.
//
// Input layout (FuzzedDataProvider): the slot settings and the start tick come from the back, then the
// line bytes are taken from the front and one gap code per byte from the back. So a seed is the request
// bytes, followed by the gap codes in reverse, followed by the settings in reverse.
//
// Besides the invariants of each piece (count in 0..7, an answer only for a matching active slot, a
// valid answer CRC), the recogniser is checked against a model written from its contract: a request
// is AA, an active address, 07, 06, an active run number and two CRC bytes taken as they come; a
// byte that breaks the pattern is dropped with the partial request; more than 250 ms of silence
// abandons a partial request.
#include "Crc16.h"
#include "FlowFrames.h"
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>

using namespace proto;

namespace {

bool active(int slot, const FlowSlots& s) {
    return slot < 3 && slot <= int(s.ImitFlIndex);
}

// The model of the recogniser: what the request bytes may be, position by position.
bool fits(int pos, std::uint8_t b, const FlowSlots& s) {
    switch (pos) {
    case 0:
        return b == 0xAA;
    case 2:
        return b == 0x07;
    case 3:
        return b == 0x06;
    case 1:
    case 4:
        for (int slot = 0; slot < 3; ++slot)
            if (active(slot, s) && (pos == 1 ? s.ImitAddr[slot] : s.ImitNitka[slot]) == b)
                return true;
        return false;
    default:
        return true;
    }
}

struct Model {
    int count = 0;
    std::uint8_t bytes[kFlowRequestSize]{};
    std::uint32_t last = 0;

    bool feed(std::uint8_t b, std::uint32_t now, const FlowSlots& s) {
        last = now;
        if (count == kFlowRequestSize)
            count = 0;
        if (!fits(count, b, s)) {
            count = 0;
            return false;
        }
        bytes[count++] = b;
        return count == kFlowRequestSize;
    }
    // A complete request may be dropped by the silence too: the next byte starts over either way.
    void idle(std::uint32_t now) {
        if (count > 0 && now - last > kFlowIdleMs)
            count = 0;
    }
};

// A gap code of the input as milliseconds of silence before the next byte: mostly short gaps, a dense
// band around the 250 ms limit, and a few long ones up to the tick's wrap.
std::uint32_t gapMs(std::uint8_t code) {
    if (code < 200)
        return code;
    if (code < 250)
        return 240u + (code - 200u); // 240..289 ms: both sides of the limit
    static const std::uint32_t longGaps[] = {1000u, 65536u, 0x80000000u, 0xFFFFFF06u, 0xFFFFFFFFu, 0u};
    return longGaps[code - 250];
}

bool sameSingle(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void checkAnswer(const FlowRecogniser& r, const FlowSlots& s, std::uint32_t elapsed) {
    const std::uint8_t* req = r.buffer.data();
    const int slot = MatchSlot(req, s);
    Require(slot >= -1 && slot < 3);
    // The lowest active slot whose address and run number both match, or none.
    int expected = -1;
    for (int i = 2; i >= 0; --i)
        if (active(i, s) && s.ImitAddr[i] == req[1] && s.ImitNitka[i] == req[4])
            expected = i;
    Require(slot == expected);
    if (slot < 0)
        return;

    std::uint8_t answer[kFlowAnswerSize + 8];
    std::memset(answer, 0xEE, sizeof answer);
    const float volume = BuildFlowAnswer(
        r.buffer, std::span<std::uint8_t, kFlowAnswerSize>(answer, kFlowAnswerSize), slot, s, elapsed);
    for (std::size_t i = kFlowAnswerSize; i < sizeof answer; ++i)
        Require(answer[i] == 0xEE); // nothing written past the answer
    Require(answer[0] == 0x55 && answer[1] == req[1] && answer[2] == kFlowAnswerSize && answer[3] == 0x86 &&
            answer[4] == req[4]);
    const std::uint16_t crc = Crc16Modbus(answer, kFlowAnswerSize - 2);
    Require(answer[21] == (crc & 0xFF) && answer[22] == (crc >> 8));

    const bool msb = s.ImitMsbFirst[std::size_t(slot)];
    const float flow = DecodeFloat(answer + 5, msb);
    const double rashod = s.ImitRashod[std::size_t(slot)];
    Require(!std::isnan(flow));
    if (FlowFitsAnswer(rashod)) {
        // A flow the settings accept goes out as its single and its volume stays finite.
        Require(sameSingle(flow, float(rashod)));
        Require(std::isfinite(volume));
    }
    Require(sameSingle(DecodeFloat(answer + 9, msb), volume));
    Require(sameSingle(DecodeFloat(answer + 17, msb), volume));
    Require(DecodeFloat(answer + 13, msb) == 0.0f);
    Require(!std::isnan(volume));
    Require(volume == 0.0f || std::signbit(volume) == std::signbit(flow));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);

    FlowSlots s;
    s.ImitFlIndex =
        in.ConsumeIntegral<std::uint8_t>(); // the form only sets 0..2; anything above means all three
    for (int i = 0; i < 3; ++i) {
        s.ImitAddr[std::size_t(i)] = in.ConsumeIntegral<std::uint8_t>();
        s.ImitNitka[std::size_t(i)] = in.ConsumeIntegral<std::uint8_t>();
        s.ImitMsbFirst[std::size_t(i)] = in.ConsumeBool();
        // Mostly flows the form would take; now and then anything a double can hold.
        s.ImitRashod[std::size_t(i)] =
            in.ConsumeBool() ? in.ConsumeFloatingPoint<double>()
                             : double(in.ConsumeIntegralInRange<std::int32_t>(-100000, 100000)) / 8;
    }
    const std::uint32_t start = in.ConsumeIntegral<std::uint32_t>();

    FlowRecogniser r;
    Model m;
    std::uint32_t now = start;
    while (in.remaining_bytes() > 0) {
        const std::uint8_t b = in.ConsumeBytes<std::uint8_t>(1)[0];
        const std::uint32_t gap = gapMs(in.ConsumeIntegral<std::uint8_t>());
        if (gap > 0) {
            // Two polls in the silence: one half way, one at its end, as the loop polls while it waits.
            for (const std::uint32_t t : {now + gap / 2, now + gap}) {
                const int until = r.msUntilIdle(t);
                const bool partial = r.count > 0 && r.count < kFlowRequestSize;
                const std::uint32_t since = t - r.lastByteMs;
                if (!partial)
                    Require(until == -1);
                else if (since > kFlowIdleMs)
                    Require(until == 0);
                else
                    Require(until == int(kFlowIdleMs + 1 - since));
                r.idle(t);
                m.idle(t);
                Require(r.count == m.count);
            }
            now += gap;
        }

        const bool done = r.feed(b, now, s);
        const bool expectDone = m.feed(b, now, s);
        Require(r.count >= 0 && r.count <= kFlowRequestSize);
        Require(done == expectDone && r.count == m.count && done == r.complete());
        Require(r.lastByteMs == now);
        if (done) {
            Require(std::memcmp(r.buffer.data(), m.bytes, kFlowRequestSize) == 0);
            // A reader that plays no flow computer sees the same request, whatever its CRC.
            const auto fields = DecodeFlowRequest(r.buffer);
            Require(fields && fields->addr == r.buffer[1] && fields->run == r.buffer[4] &&
                    fields->crcOk == CrcMatches(r.buffer));
            Require(r.msUntilIdle(now) == -1);
            checkAnswer(r, s, now - start);
        }
    }
    return 0;
}
