#pragma once
// The flow computer's side of its serial protocol as the imitation plays it: the controller's 7-byte
// flow request recognised byte by byte, matched to an imitated slot, and the 23-byte answer carrying
// the slot's flow and the volume since the imitation started.
//
// Request (controller -> flow computer): AA addr 07 06 run crcLo crcHi. The CRC is not verified.
// Answer  (flow computer -> controller), sent after one FF byte:
//   55 addr 17 86 run | flow m3/h | volume m3 | 00 00 00 00 | volume m3 | crcLo crcHi
// Each 4-byte field is an IEEE 754 single in the slot's byte order; the CRC (CRC-16/MODBUS, low byte
// first) covers the bytes as they go on the line.
#include "ImitSettings.h"

#include <QtGlobal>
#include <array>

struct Link;

constexpr int kFlowRequestSize = 7;
constexpr int kFlowAnswerSize = 23;
constexpr quint8 kFlowRequestStart = 0xAA;
constexpr quint8 kFlowAnswerStart = 0x55;
constexpr quint8 kFlowRequestLength = 0x07;
constexpr quint8 kFlowFunction = 0x06;
// A partial request is abandoned after this much silence (ms): more than 250 ms, not 250 itself.
constexpr quint32 kFlowIdleMs = 250;

// Byte-by-byte recogniser of a flow request for one of the active slots (slot numbers 0..ImitFlIndex).
struct FlowRecogniser {
    int count = 0;                                 // request bytes accepted so far, 0..7
    std::array<quint8, kFlowRequestSize> buffer{}; // the request bytes
    quint32 lastByteMs = 0;                        // millisecond tick of the last byte received

    void reset() { count = 0; }
    bool complete() const { return count == kFlowRequestSize; }

    // One received byte; true when it completed a request. A byte that breaks the pattern drops the
    // partial request together with itself (it is not tried again as a start byte). After a complete
    // request the next byte starts over.
    bool feed(quint8 byte, quint32 nowMs, const ImitSettings& imit);
    // A poll that brought no byte: abandons a partial request after more than 250 ms of silence.
    // The difference is taken in unsigned 32 bits, so the tick's wrap does not matter.
    void idle(quint32 nowMs);
    // Milliseconds until idle() would abandon the partial request (0 when it would now); -1 when
    // nothing is partial.
    int msUntilIdle(quint32 nowMs) const;
};

// Active slot (0-based) whose address and run number both equal the request's, lowest first; -1 when none.
int MatchSlot(const quint8* request, const ImitSettings& imit);

// The answer of slot `slot` to `request` after `elapsedMs` ms of imitation (an unsigned 32-bit tick
// difference). Fills answer[0..22] and returns the volume as sent, for the display.
float BuildAnswer(const quint8* request, quint8* answer, int slot, const ImitSettings& imit,
                  quint32 elapsedMs);

// Volume in m3 at flow (m3/h, as sent in single precision) after elapsedMs ms, rounded once to single.
float ImitVolume(float flow, quint32 elapsedMs);

// True when the flow goes on the line as a finite single and the volume stays finite for every
// elapsed time the 32-bit tick can express (about 49.7 days).
bool FlowFitsAnswer(double rashod);

// RTS hold for an answer of `length` bytes after its FF byte: 10 bits per byte plus one bit, in ticks
// of a counter running at `frequency` Hz, at `baud` bit/s.
quint64 AnswerHoldTicks(int length, int baud, qint64 frequency);

// Puts an answer on the line: purge, RTS up (whatever RtsControl says; a refusal is ignored), FF and
// the answer, RTS held for the hold time at link.LineSpeed on the high-resolution counter (busy wait),
// RTS down, output drained, purge. Nothing happens without an open port.
void SendAnswer(Link& link, const quint8* answer, int length = kFlowAnswerSize);
