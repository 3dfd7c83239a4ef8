#pragma once
// What the controller's pulse output should have done during an imitation: the pulses expected from the
// volume the imitated runs reported, and whether the output can follow their flow at all. No widgets.
#include <QString>
#include <QtGlobal>

// The controller's output as far as the tool knows it (read from a configured controller, written to it,
// or entered by the operator).
struct PulseOutput {
    double v = 0;      // gas volume per pulse, m3; 0 while unknown
    double pulseS = 0; // pulse duration, s; 0 while unknown
    double pauseS = 0; // pause after a pulse, s; 0 while unknown
    bool knowsV() const;
    bool knowsTiming() const;
};

// From a configuration record: V in m3 (single precision), pulse and pause in hundredths of a second.
PulseOutput OutputFromRecord(float v, quint8 nag, quint8 pause);

struct PulseExpectation {
    double totalM3 = 0; // the volumes of the active runs together
    bool vKnown = false;
    qint64 pulses = 0;   // whole pulses the output should have emitted for totalM3
    double ratePerS = 0; // pulses per second the runs' total flow needs
    bool timingKnown = false;
    double maxRatePerS = 0;   // one pulse and one pause after another
    bool fallsBehind = false; // the flow needs more pulses per second than the output can emit
};

// totalM3: the sum of the volumes on screen; totalFlowM3h: the sum of the active runs' flows.
PulseExpectation ExpectPulses(const PulseOutput& out, double totalM3, double totalFlowM3h);

// The text under the imitated runs, in the window's words.
QString PulseSummaryText(const PulseExpectation& e);
