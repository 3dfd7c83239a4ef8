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
