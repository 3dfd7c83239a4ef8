#pragma once
// What the imitated flow computers are: up to three slots (address, run number, flow, byte order) and
// the line speed. Lives in memory for the program run; a confirmed controller configuration rewrites the
// run layout.
#include "ExpectedPulses.h"

#include <QtGlobal>
#include <array>

struct ImitSettings {
    quint8 ImitFlIndex = 0; // active slots - 1
    std::array<quint8, 3> ImitAddr{1, 2, 3};
    std::array<quint8, 3> ImitNitka{1, 1, 1};
    std::array<double, 3> ImitRashod{3600.0, 3600.0, 3600.0}; // m3/h
    std::array<bool, 3> ImitMsbFirst{true, true, true};
    qint32 ImitSpeedIndex = 1; // LineSpeedTable row (1 = 1200)
    // The controller's pulse output, for the pulses the imitation should produce there.
    PulseOutput output;
};
