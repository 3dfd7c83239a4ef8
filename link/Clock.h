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
    // Sleeps, dispatching nothing, until the high-resolution counter is about at `until`: it may wake
    // somewhat late, so a caller that needs the exact moment sleeps to shortly before it and spins the
    // rest. A clock that cannot sleep returns at once.
    virtual void sleepUntil(qint64 until) { Q_UNUSED(until); }
};

// The high-resolution counter in microseconds (monotonic).
qint64 MonotonicUs(Clock& clock);

// Monotonic system clock (steady_clock); perfFrequency is 1e9 (nanoseconds).
Clock& SystemClock();
