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
#include "FlowAnswer.h"
#include "FuzzSupport.h"
#include "Protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstring>

namespace {

bool active(int slot, const ImitSettings& s) { return slot < 3 && slot <= int(s.ImitFlIndex); }

// The model of the recogniser: what the request bytes may be, position by position.
bool fits(int pos, quint8 b, const ImitSettings& s) {
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
    quint8 bytes[kFlowRequestSize]{};
    quint32 last = 0;

    bool feed(quint8 b, quint32 now, const ImitSettings& s) {
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
    void idle(quint32 now) {
        if (count > 0 && now - last > kFlowIdleMs)
            count = 0;
    }
};

// A gap code of the input as milliseconds of silence before the next byte: mostly short gaps, a dense
// band around the 250 ms limit, and a few long ones up to the tick's wrap.
quint32 gapMs(quint8 code) {
    if (code < 200)
        return code;
    if (code < 250)
        return 240u + (code - 200u); // 240..289 ms: both sides of the limit
    static const quint32 longGaps[] = {1000u, 65536u, 0x80000000u, 0xFFFFFF06u, 0xFFFFFFFFu, 0u};
    return longGaps[code - 250];
}

float singleAt(const quint8* at, bool msbFirst) {
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= quint32(at[i]) << (msbFirst ? 24 - 8 * i : 8 * i);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool sameSingle(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void checkAnswer(const FlowRecogniser& r, const ImitSettings& s, quint32 elapsed) {
    const quint8* req = r.buffer.data();
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

    quint8 answer[kFlowAnswerSize + 8];
    std::memset(answer, 0xEE, sizeof answer);
    const float volume = BuildAnswer(req, answer, slot, s, elapsed);
    for (std::size_t i = kFlowAnswerSize; i < sizeof answer; ++i)
        Require(answer[i] == 0xEE); // nothing written past the answer
    Require(answer[0] == 0x55 && answer[1] == req[1] && answer[2] == kFlowAnswerSize && answer[3] == 0x86 &&
            answer[4] == req[4]);
    const quint16 crc = Crc16Modbus(answer, kFlowAnswerSize - 2);
    Require(answer[21] == (crc & 0xFF) && answer[22] == (crc >> 8));

    const bool msb = s.ImitMsbFirst[std::size_t(slot)];
    const float flow = singleAt(answer + 5, msb);
    const double rashod = s.ImitRashod[std::size_t(slot)];
    Require(!std::isnan(flow));
    if (FlowFitsAnswer(rashod)) {
        // A flow the settings accept goes out as its single and its volume stays finite.
        Require(sameSingle(flow, float(rashod)));
        Require(std::isfinite(volume));
    }
    Require(sameSingle(singleAt(answer + 9, msb), volume));
    Require(sameSingle(singleAt(answer + 17, msb), volume));
    Require(singleAt(answer + 13, msb) == 0.0f);
    Require(!std::isnan(volume));
    Require(volume == 0.0f || std::signbit(volume) == std::signbit(flow));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);

    ImitSettings s;
    s.ImitFlIndex = in.ConsumeIntegral<quint8>(); // the form only sets 0..2; anything above means all three
    for (int i = 0; i < 3; ++i) {
        s.ImitAddr[std::size_t(i)] = in.ConsumeIntegral<quint8>();
        s.ImitNitka[std::size_t(i)] = in.ConsumeIntegral<quint8>();
        s.ImitMsbFirst[std::size_t(i)] = in.ConsumeBool();
        // Mostly flows the form would take; now and then anything a double can hold.
        s.ImitRashod[std::size_t(i)] = in.ConsumeBool() ? in.ConsumeFloatingPoint<double>()
                                                        : double(in.ConsumeIntegralInRange<qint32>(-100000, 100000)) / 8;
    }
    const quint32 start = in.ConsumeIntegral<quint32>();

    FlowRecogniser r;
    Model m;
    quint32 now = start;
    while (in.remaining_bytes() > 0) {
        const quint8 b = in.ConsumeBytes<quint8>(1)[0];
        const quint32 gap = gapMs(in.ConsumeIntegral<quint8>());
        if (gap > 0) {
            // Two polls in the silence: one half way, one at its end, as the loop polls while it waits.
            for (const quint32 t : {now + gap / 2, now + gap}) {
                const int until = r.msUntilIdle(t);
                const bool partial = r.count > 0 && r.count < kFlowRequestSize;
                const quint32 since = t - r.lastByteMs;
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
            Require(r.msUntilIdle(now) == -1);
            checkAnswer(r, s, now - start);
        }
    }
    return 0;
}
