#pragma once
// Reads the controller's flow requests off the line without playing a flow computer: every request,
// whatever its address and run, with its checksum checked, so that a line monitor knows what the
// controller polls even when nobody answers. Bytes that belong to no request are counted as noise, and
// a request that stops for longer than the flow computer's idle time is reported cut short.
#include "FlowFrames.h"

#include <array>
#include <cstdint>

namespace proto {

struct FlowRead {
    enum class Kind : std::uint8_t {
        None,     // nothing finished with this byte
        Request,  // seven bytes AA addr 07 06 run crc crc (crcOk tells whether its checksum is right)
        CutShort, // a request began but fell silent for more than kFlowIdleMs
    };
    Kind kind = Kind::None;
    std::array<std::uint8_t, kFlowRequestSize> bytes{};
    int length = 0; // bytes held in `bytes`
    bool crcOk = false;
    int noiseBefore = 0; // bytes skipped since the previous result that were part of no request
};

class FlowRequestReader {
public:
    // One byte received at nowMs (the millisecond tick). A partial request older than the idle time is
    // given up first, as the flow computer would; that result wins over what the byte starts.
    FlowRead feed(std::uint8_t byte, std::uint32_t nowMs);
    // No byte by nowMs: a partial request silent for more than kFlowIdleMs is reported cut short.
    FlowRead idle(std::uint32_t nowMs);
    // Noise counted and not yet reported with a result; taken (and cleared) by the caller.
    int takeNoise();

private:
    // Places the byte after the bytes held; on a byte that breaks the pattern the held bytes are looked
    // at again from the next 0xAA, the rest counted as noise.
    FlowRead place(std::uint8_t byte);
    FlowRead cut();

    std::array<std::uint8_t, kFlowRequestSize> held_{};
    int count_ = 0;
    int noise_ = 0;
    std::uint32_t lastMs_ = 0;
};

} // namespace proto
