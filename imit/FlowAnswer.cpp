#include "FlowAnswer.h"

#include "Now_opros.h"
#include "Protocol.h"

#include <cmath>
#include <cstring>

// Arithmetic of the imitated volume is done in the 80-bit extended format, as all the tool's
// floating-point work; the wizard already depends on that precision.
static_assert(sizeof(long double) > sizeof(double), "80-bit long double expected");

namespace {

// Halfway between FLT_MAX and 2^128: anything of smaller magnitude rounds to a finite single.
constexpr long double kSingleLimit = 0x1.ffffffp127L;

bool fitsSingle(long double v) {
    return std::fabs(v) < kSingleLimit;
}

bool isActive(int slot, const ImitSettings& imit) {
    return slot <= int(imit.ImitFlIndex) && slot < 3;
}

bool activeAddr(quint8 b, const ImitSettings& imit) {
    for (int s = 0; s < 3; ++s)
        if (isActive(s, imit) && imit.ImitAddr[s] == b)
            return true;
    return false;
}

bool activeNitka(quint8 b, const ImitSettings& imit) {
    for (int s = 0; s < 3; ++s)
        if (isActive(s, imit) && imit.ImitNitka[s] == b)
            return true;
    return false;
}

// Stores a single at offset in the slot's byte order.
void putSingle(quint8* at, float value, bool msbFirst) {
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        const int shift = msbFirst ? 24 - 8 * i : 8 * i;
        at[i] = quint8(bits >> shift);
    }
}

} // namespace

bool FlowRecogniser::feed(quint8 byte, quint32 nowMs, const ImitSettings& imit) {
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
        count = activeAddr(byte, imit) ? 2 : 0;
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
        count = activeNitka(byte, imit) ? 5 : 0;
        return false;
    default: // 5 or 6: the CRC bytes, taken as they come
        buffer[count] = byte;
        ++count;
        return count == kFlowRequestSize;
    }
}

void FlowRecogniser::idle(quint32 nowMs) {
    if (count != 0 && quint32(nowMs - lastByteMs) > kFlowIdleMs)
        count = 0;
}

int FlowRecogniser::msUntilIdle(quint32 nowMs) const {
    if (count == 0 || complete())
        return -1;
    const quint32 since = nowMs - lastByteMs;
    return since > kFlowIdleMs ? 0 : int(kFlowIdleMs + 1 - since);
}

int MatchSlot(const quint8* request, const ImitSettings& imit) {
    for (int s = 0; s < 3; ++s)
        if (isActive(s, imit) && imit.ImitAddr[s] == request[1] && imit.ImitNitka[s] == request[4])
            return s;
    return -1;
}

float ImitVolume(float flow, quint32 elapsedMs) {
    // m3/h over elapsedMs: E x (F / 3600) x 0.001, rounded to single once at the end.
    const long double v = (long double)elapsedMs * ((long double)flow / 3600.0L) * 0.001L;
    if (std::isnan(v)) // no time yet at an infinite flow: nothing has flowed
        return 0.0f;
    if (!fitsSingle(v))
        return v > 0 ? HUGE_VALF : -HUGE_VALF;
    return float(v);
}

bool FlowFitsAnswer(double rashod) {
    if (!fitsSingle(rashod)) // NaN fails here too
        return false;
    // The volume grows with the elapsed time; the longest the 32-bit tick difference can express
    // is 2^32 - 1 ms.
    return std::isfinite(ImitVolume(float(rashod), 0xFFFFFFFFu));
}

float BuildAnswer(const quint8* request, quint8* answer, int slot, const ImitSettings& imit,
                  quint32 elapsedMs) {
    answer[0] = kFlowAnswerStart;
    answer[1] = request[1];
    answer[2] = kFlowAnswerSize;
    answer[3] = quint8(request[3] | 0x80);
    answer[4] = request[4];
    const double rashod = imit.ImitRashod[slot];
    const float flow = fitsSingle(rashod) ? float(rashod) : (rashod > 0 ? HUGE_VALF : -HUGE_VALF);
    const float volume = ImitVolume(flow, elapsedMs);
    const bool msb = imit.ImitMsbFirst[slot];
    putSingle(answer + 5, flow, msb);
    putSingle(answer + 9, volume, msb);
    putSingle(answer + 13, 0.0f, msb);
    putSingle(answer + 17, volume, msb);
    answer[21] = answer[22] = 0;
    FrameCrc(answer, kFlowAnswerSize);
    return volume;
}

quint64 AnswerHoldTicks(int length, int baud, qint64 frequency) {
    // 10 bits per byte (start, 8 data, stop) for the FF and the answer, plus one bit time so that
    // RTS drops after the last stop bit has left the line.
    return BitTimeTicks(10 * (length + 1) + 1, baud, frequency);
}

void SendAnswer(Link& link, const quint8* answer, int length) {
    Port* port = link.port;
    if (port == nullptr || !port->isOpen())
        return;
    Clock& clock = link.clock ? *link.clock : SystemClock();
    const qint64 frequency = link.PerfFrequency > 0 ? link.PerfFrequency : clock.perfFrequency();
    const quint64 hold = AnswerHoldTicks(length, link.LineSpeed, frequency);

    port->purge();
    port->setRts(true); // a device without modem lines refuses; the answer goes out all the same
    const qint64 start = clock.perfCounter();
    const quint8 preamble = 0xFF;
    port->write(&preamble, 1);
    port->write(answer, length);
    HoldTicks(clock, start, hold);
    port->setRts(false);
    // The purge below would otherwise throw away answer bytes still queued for the transmitter.
    port->drain();
    port->purge();
}
