#pragma once
// Fault injection for the virtual controller: which answers (or requests, on the master side) are lost,
// damaged, cut short or preceded by noise. Everything is counted and, given the same seed and the same
// sequence of frames, repeats byte for byte.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

struct FaultOptions {
    int drop = 0;        // every Nth frame is not sent at all (0 = never)
    int corrupt = 0;     // every Nth frame goes out with a wrong CRC
    int truncate = 0;    // every Nth frame is cut short
    int noise = 0;       // every Nth frame is preceded by random bytes
    bool silent = false; // nothing is ever sent
    // A table 4 write is acknowledged but the record stays as it was (a controller whose memory did not
    // take it): only reading it back tells.
    bool forgetWrites = false;
    std::uint32_t seed = 1;
};

struct FaultCounters {
    int frames = 0; // frames that were due to go out (1-based index of the last one)
    int dropped = 0;
    int corrupted = 0;
    int truncated = 0;
    int noised = 0;
};

// "(injected: dropped D corrupt C truncated T noise N)", for the totals lines.
std::string InjectedText(const FaultCounters& counters);

class FaultInjector {
public:
    // avoidByte is never produced as a noise byte: it is the start byte the receiver hunts for, so noise
    // stays noise instead of turning into a false frame start.
    FaultInjector(const FaultOptions& options, std::uint8_t avoidByte);

    // Applies the faults due for the next frame. frame is the complete frame (start byte .. CRC), preamble
    // the bytes that go ahead of it. Returns the bytes to put on the line (empty: nothing goes out) and a
    // short note of what was done ("" when nothing).
    Bytes apply(const Bytes& preamble, const Bytes& frame, std::string* note);

    const FaultCounters& counters() const { return counters_; }
    const FaultOptions& options() const { return options_; }

private:
    static bool due(int every, int index) { return every > 0 && index % every == 0; }

    FaultOptions options_;
    std::uint8_t avoid_;
    std::mt19937 rng_;
    FaultCounters counters_;
};

} // namespace sim
