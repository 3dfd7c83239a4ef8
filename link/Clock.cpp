#include "Clock.h"

#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

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
    void sleepUntil(qint64 until) override {
        using namespace std::chrono;
        const steady_clock::time_point end{duration_cast<steady_clock::duration>(nanoseconds(until))};
#ifdef Q_OS_LINUX
        // The thread's timer slack (50 us by default) would be added to every such sleep.
        const int slack = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
        ::prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0);
        std::this_thread::sleep_until(end);
        if (slack > 0)
            ::prctl(PR_SET_TIMERSLACK, slack, 0, 0, 0);
#else
        std::this_thread::sleep_until(end);
#endif
    }
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
