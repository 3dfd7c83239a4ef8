#include "Clock.h"

#include <chrono>

namespace {

// steady_clock is monotonic: a change of the wall clock must not stretch or cut a time-out.
class SteadyClock : public Clock {
public:
    quint32 tickMs() override {
        using namespace std::chrono;
        // Only the low 32 bits are kept: every user of the tick works on unsigned 32-bit differences.
        return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    qint64 perfCounter() override {
        using namespace std::chrono;
        return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
    }
    qint64 perfFrequency() override { return 1000000000; }
};

} // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

qint64 MonotonicUs(Clock& clock) {
    const qint64 frequency = clock.perfFrequency();
    if (frequency <= 0)
        return 0;
    const qint64 ticks = clock.perfCounter();
    // Whole seconds and the remainder apart, so that a nanosecond counter does not overflow the product.
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}
