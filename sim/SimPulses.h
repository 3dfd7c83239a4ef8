#pragma once
// The controller's pulse output: one pulse for every V m3 of gas that the flow computers reported, each
// pulse Nag long and followed by a pause of Pause before the next may start, so that a counter on the
// output sees them apart. Pulses that are due faster than that wait their turn and are counted as held
// back. No I/O and no clock of its own: the caller passes the time in.
#include <cstdint>

namespace sim {

class PulseEmitter {
public:
    // V in m3 a pulse, pulse and pause in hundredths of a second (as the configuration stores them).
    // Counts and the volume not yet worth a pulse are kept: a new configuration takes effect from here.
    void configure(float v, int nagCs, int pauseCs);

    // Gas that flowed (m3), reported at nowMs. A pulse that becomes due while the output is idle starts
    // at once; otherwise it follows the last one after its pulse and pause.
    void credit(long double m3, double nowMs);
    // Emits the pulses whose turn came by nowMs.
    void advance(double nowMs);

    std::int64_t due() const { return due_; } // pulses the volume is worth so far
    std::int64_t emitted() const { return emitted_; }
    std::int64_t heldBack() const { return due_ - emitted_; }
    // Shortest time from one pulse's start to the next (ms): pulse plus pause.
    double cycleMs() const { return cycleMs_; }
    // False while V is not a positive number: no pulses are due, the gas is only counted.
    bool active() const { return v_ > 0; }

private:
    long double v_ = 0;
    double cycleMs_ = 0;
    long double rest_ = 0; // m3 not yet worth a pulse
    std::int64_t due_ = 0;
    std::int64_t emitted_ = 0;
    double nextStartMs_ = 0; // earliest start of the next pulse
};

} // namespace sim
