#pragma once
#include "Clock.h"

// A clock that moves only when told. Each perfCounter() call also advances the counter by perfStep
// ticks, so that a busy wait on it ends after a known number of reads.
class ManualClock : public Clock {
public:
    explicit ManualClock(quint32 startMs = 0, qint64 frequency = 1000000) : ms_(startMs), freq_(frequency) {}
    quint32 tickMs() override { return ms_; }
    qint64 perfCounter() override {
        qint64 v = perf_;
        perf_ += perfStep;
        return v;
    }
    qint64 perfFrequency() override { return freq_; }
    // Nothing sleeps on a manual clock: the counter jumps to the end of the sleep.
    void sleepUntil(qint64 until) override {
        ++sleeps;
        perf_ = qMax(perf_, until);
    }

    void setMs(quint32 ms) { ms_ = ms; }
    // Moves the tick and the high-resolution counter forward together.
    void advanceMs(quint32 ms) {
        ms_ += ms;
        perf_ += qint64(ms) * freq_ / 1000;
    }
    void setPerf(qint64 v) { perf_ = v; }
    qint64 perfNow() const { return perf_; }

    qint64 perfStep = 1;
    int sleeps = 0;

private:
    quint32 ms_;
    qint64 perf_ = 0;
    qint64 freq_;
};
