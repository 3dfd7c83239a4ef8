#include "SimPulses.h"

#include <algorithm>
#include <cmath>

namespace sim {

void PulseEmitter::configure(float v, int nagCs, int pauseCs) {
    // NaN and negative volumes a pulse give no pulses rather than a division by nothing.
    v_ = v > 0 && std::isfinite(v) ? (long double)v : 0.0L;
    cycleMs_ = 10.0 * double(std::max(0, nagCs) + std::max(0, pauseCs));
}

void PulseEmitter::credit(long double m3, double nowMs) {
    if (!(m3 > 0) || !active())
        return;
    if (heldBack() == 0)
        nextStartMs_ = std::max(nextStartMs_, nowMs); // an idle output starts the next pulse at once
    rest_ += m3;
    const long double whole = std::floor(rest_ / v_);
    due_ += std::int64_t(whole);
    rest_ -= whole * v_;
}

void PulseEmitter::advance(double nowMs) {
    if (cycleMs_ <= 0) { // no pulse length at all: nothing holds a pulse back
        emitted_ = due_;
        return;
    }
    while (heldBack() > 0 && nextStartMs_ <= nowMs) {
        ++emitted_;
        nextStartMs_ += cycleMs_;
    }
}

} // namespace sim
