#pragma once
// Time sources of the link: a 32-bit millisecond tick that wraps after about 49.7 days (all time-outs
// and the imitated volume use unsigned 32-bit differences of it) and a high-resolution counter with its
// frequency (the RTS hold times). Tests drive a manual clock instead of the system clock.
#include <QtGlobal>

class Clock {
public:
    virtual ~Clock() = default;
    virtual quint32 tickMs() = 0;
    virtual qint64 perfCounter() = 0;
    virtual qint64 perfFrequency() = 0;
};

// The high-resolution counter in microseconds (monotonic).
qint64 MonotonicUs(Clock& clock);

// Monotonic system clock (steady_clock); perfFrequency is 1e9 (nanoseconds).
Clock& SystemClock();
