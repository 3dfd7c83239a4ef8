#include "SimFaults.h"

namespace sim {

std::string InjectedText(const FaultCounters& c) {
    return "(injected: dropped " + std::to_string(c.dropped) + " corrupt " + std::to_string(c.corrupted) +
           " truncated " + std::to_string(c.truncated) + " noise " + std::to_string(c.noised) + ")";
}

FaultInjector::FaultInjector(const FaultOptions& options, std::uint8_t avoidByte)
    : options_(options), avoid_(avoidByte), rng_(options.seed) {}

Bytes FaultInjector::apply(const Bytes& preamble, const Bytes& frame, std::string* note) {
    const int k = ++counters_.frames;
    std::string what;
    auto add = [&what](const char* s) {
        if (!what.empty())
            what += ", ";
        what += s;
    };
    if (options_.silent || due(options_.drop, k)) {
        ++counters_.dropped;
        if (note)
            *note = options_.silent ? "silent" : "dropped";
        return {};
    }
    Bytes f = frame;
    if (due(options_.corrupt, k) && f.size() >= 2) {
        // Any non-zero change of a CRC byte makes the CRC wrong.
        f.back() ^= std::uint8_t(1 + rng_() % 255);
        ++counters_.corrupted;
        add("corrupt CRC");
    }
    if (due(options_.truncate, k) && f.size() >= 2) {
        // Keep 1 .. size-1 bytes: always a frame start, never the whole frame.
        f.resize(1 + rng_() % (f.size() - 1));
        ++counters_.truncated;
        add("truncated");
    }
    Bytes out;
    if (due(options_.noise, k)) {
        const int n = 1 + int(rng_() % 8);
        for (int i = 0; i < n; ++i) {
            std::uint8_t b = std::uint8_t(rng_());
            if (b == avoid_)
                b ^= 0x01;
            out.push_back(b);
        }
        ++counters_.noised;
        add("noise");
    }
    out.insert(out.end(), preamble.begin(), preamble.end());
    out.insert(out.end(), f.begin(), f.end());
    if (note)
        *note = what;
    return out;
}

} // namespace sim
