#pragma once
// The flow computer's side of its serial protocol: the controller's 7-byte flow request, recognised byte
// by byte for the flow computers being played, and the 23-byte answer carrying a run's flow and the
// volume since the start. The controller's side (the request, decoding a single) is here too.
//
// Request (controller -> flow computer): AA addr 07 06 run crcLo crcHi. The imitation does not verify
// the CRC.
// Answer  (flow computer -> controller), sent after one FF byte:
//   55 addr 17 86 run | flow m3/h | volume m3 | 00 00 00 00 | volume m3 | crcLo crcHi
// Each 4-byte field is an IEEE 754 single in the run's byte order; the CRC covers the bytes as they go
// on the line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace proto {

constexpr int kFlowRequestSize = 7;
constexpr int kFlowAnswerSize = 23;
constexpr std::uint8_t kFlowRequestStart = 0xAA;
constexpr std::uint8_t kFlowAnswerStart = 0x55;
constexpr std::uint8_t kFlowRequestLength = 0x07;
constexpr std::uint8_t kFlowFunction = 0x06;
// A partial request is abandoned after this much silence (ms): more than 250 ms, not 250 itself.
constexpr std::uint32_t kFlowIdleMs = 250;
constexpr int kFlowSlots = 3;

// The flow computers being played: up to three slots, slot s active when s <= ImitFlIndex.
struct FlowSlots {
    std::uint8_t ImitFlIndex = 0; // active slots - 1 (anything above 2: all three)
    std::array<std::uint8_t, kFlowSlots> ImitAddr{1, 2, 3};
    std::array<std::uint8_t, kFlowSlots> ImitNitka{1, 1, 1};
    std::array<double, kFlowSlots> ImitRashod{3600.0, 3600.0, 3600.0}; // m3/h
    std::array<bool, kFlowSlots> ImitMsbFirst{true, true, true};
};

// Byte-by-byte recogniser of a flow request for one of the active slots.
struct FlowRecogniser {
    int count = 0;                                       // request bytes accepted so far, 0..7
    std::array<std::uint8_t, kFlowRequestSize> buffer{}; // the request bytes
    std::uint32_t lastByteMs = 0;                        // millisecond tick of the last byte received

    void reset() { count = 0; }
    bool complete() const { return count == kFlowRequestSize; }

    // One received byte; true when it completed a request. A byte that breaks the pattern drops the
    // partial request together with itself (it is not tried again as a start byte). After a complete
    // request the next byte starts over.
    bool feed(std::uint8_t byte, std::uint32_t nowMs, const FlowSlots& slots);
    // A poll that brought no byte: abandons a partial request after more than 250 ms of silence.
    // The difference is taken in unsigned 32 bits, so the tick's wrap does not matter.
    void idle(std::uint32_t nowMs);
    // Milliseconds until idle() would abandon the partial request (0 when it would now); -1 when
    // nothing is partial.
    int msUntilIdle(std::uint32_t nowMs) const;
};

// Active slot (0-based) whose address and run number both equal the request's, lowest first; -1 when none.
int MatchSlot(const std::uint8_t* request, const FlowSlots& slots);

// The answer of slot `slot` to `request` after `elapsedMs` ms (an unsigned 32-bit tick difference),
// its volume going on from startM3. Fills all 23 bytes and returns the volume as sent, for the display.
float BuildFlowAnswer(std::span<const std::uint8_t, kFlowRequestSize> request,
                      std::span<std::uint8_t, kFlowAnswerSize> answer, int slot, const FlowSlots& slots,
                      std::uint32_t elapsedMs, float startM3 = 0.0f);

// Volume in m3 at flow (m3/h, as sent in single precision) after elapsedMs ms, rounded once to single.
float ImitVolume(float flow, std::uint32_t elapsedMs);
// The same volume added to startM3, an earlier answer's volume, and rounded once: a counter that went on
// from there. Never below startM3 for a flow that is not negative.
float ImitVolumeFrom(float startM3, float flow, std::uint32_t elapsedMs);

// True when the flow goes on the line as a finite single and the volume stays finite for every
// elapsed time the 32-bit tick can express (about 49.7 days).
bool FlowFitsAnswer(double rashod);

// A single in 4 bytes, most significant byte first when msbFirst, and back.
void EncodeFloat(std::uint8_t* at, float value, bool msbFirst);
float DecodeFloat(const std::uint8_t* at, bool msbFirst);

// The controller's request for run `run` of the flow computer at `addr`, CRC included.
std::array<std::uint8_t, kFlowRequestSize> BuildFlowRequest(std::uint8_t addr, std::uint8_t run);

// What a 7-byte flow request asks, for a reader that plays no flow computer (a line monitor): empty when
// the bytes are not AA addr 07 06 run; crcOk tells whether its CRC is right.
struct FlowRequestFields {
    std::uint8_t addr = 0;
    std::uint8_t run = 0;
    bool crcOk = false;
};
std::optional<FlowRequestFields> DecodeFlowRequest(std::span<const std::uint8_t> request);

// What a flow answer (the 23 bytes behind its FF) turned out to be, in the order of the checks.
enum class FlowAnswerOutcome {
    Ok,
    WrongSize,     // not 23 bytes
    WrongStart,    // byte 0 not 0x55
    WrongLength,   // byte 2 not 0x17
    WrongFunction, // byte 3 not 0x86
    BadCrc,
    ReservedNotZero, // bytes 13..16 not zero
    VolumeMismatch,  // bytes 17..20 not the volume of bytes 9..12
};
struct FlowAnswerFields {
    FlowAnswerOutcome outcome = FlowAnswerOutcome::WrongSize;
    std::uint8_t addr = 0; // set from byte 1 on, once the start byte was right
    std::uint8_t run = 0;  // byte 4, likewise
    float flow = 0;        // m3/h, when Ok
    float volume = 0;      // m3 since the start, when Ok
};
// Reads an answer in the byte order of the flow computer it came from. The address and run are left to
// the caller, who knows what was asked.
FlowAnswerFields DecodeFlowAnswer(std::span<const std::uint8_t> answer, bool msbFirst);

} // namespace proto
