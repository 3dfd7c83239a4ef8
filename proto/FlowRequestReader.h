#pragma once
// Reads the controller's flow requests off the line without playing a flow computer: every request,
// whatever its address and run, with its checksum checked, so that a line monitor knows what the
// controller polls even when nobody answers. Bytes that belong to no request are counted as noise, and
// a request that stops for longer than the flow computer's idle time is reported cut short. Told to, it
// reads every frame of the line the same way: the flow computers' answers and the controller's table
// frames too, for a reader that only listens.
#include "FlowFrames.h"

#include <array>
#include <cstdint>

namespace proto {

struct FlowRead {
    enum class Kind : std::uint8_t {
        None,     // nothing finished with this byte
        Request,  // seven bytes AA addr 07 06 run crc crc (crcOk tells whether its checksum is right)
        CutShort, // a frame began but fell silent for more than kFlowIdleMs
        Frame,    // every frame read: a flow answer or a controller frame, whole (crcOk as for a request)
    };
    Kind kind = Kind::None;
    std::array<std::uint8_t, 255> bytes{}; // the longest frame a one-byte length allows
    int length = 0;                        // bytes held in `bytes`
    bool crcOk = false;
    int noiseBefore = 0; // bytes skipped since the previous result that were part of no request
};

class FlowRequestReader {
public:
    // everyFrame: the flow answers (55 addr 17 86 ...) and the controller's frames (CC or 33, FF, N ...)
    // are read too, and the 0xFF bytes between frames are no noise (they lead the frames).
    explicit FlowRequestReader(bool everyFrame = false) : everyFrame_(everyFrame) {}

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
    bool starts(std::uint8_t byte) const;
    bool fits(int pos, std::uint8_t byte) const;
    // The length of the frame held, once its first bytes tell it (0 before).
    int length() const;

    bool everyFrame_ = false;
    std::array<std::uint8_t, 255> held_{};
    int count_ = 0;
    int noise_ = 0;
    std::uint32_t lastMs_ = 0;
};

} // namespace proto
