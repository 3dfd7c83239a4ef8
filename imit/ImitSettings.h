#pragma once
// What the imitated flow computers are: up to three slots (address, run number, flow, byte order) and
// the line speed. Lives in memory for the program run; a confirmed controller configuration rewrites the
// run layout. The slots are what the flow frames need; the speed is the imitation's own.
#include "ExpectedPulses.h"
#include "FlowFrames.h"

#include <QtGlobal>

struct ImitSettings : proto::FlowSlots {
    qint32 ImitSpeedIndex = 1; // LineSpeedTable row (1 = 1200)
    // The controller's pulse output, for the pulses the imitation should produce there.
    PulseOutput output;
};
