#pragma once
// Field mode of the virtual RMZ-47: the controller as it works on site. From its stored configuration
// (table 4) it polls the configured flow computers in turn at their own line speeds, asks each up to its
// number of attempts, waits its answer time-out for each answer, and turns the volume they report into
// output pulses. A tool that talks to the controller pauses the polling; 10 s after its last table request
// the polling goes on. No I/O here: the loop moves the bytes and passes the time in.
#include "ConfigRecord.h"
#include "SimMaster.h"
#include "SimPulses.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

// The polling stays off this long after the tool's last clean table request (ms).
constexpr double kToolQuietMs = 10000;
// Silence the controller keeps after an answer before it asks again: the flow computer that just
// answered drops its transmitter and clears its line first.
constexpr double kTurnaroundMs = 100;

struct FieldRun {
    PollPair pair; // address, run number and float byte order of the run's flow computer
    long baud = 0; // line speed toward it
};

// What table 4 tells the polling and the pulse output.
struct FieldConfig {
    int softVersion = 3;
    std::vector<FieldRun> runs; // 1..3
    double periodMs = 0;        // from the start of one polling round to the next
    double answerMs = 0;        // wait for an answer after the request's line time
    int attempts = 5;           // requests to a flow computer before it counts as silent this round
    float v = 0;                // m3 a pulse
    int nagCs = 0, pauseCs = 0; // pulse and pause, hundredths of a second
    bool byFlow() const { return proto::PulsesByFlow(softVersion); }
};
// Reads table 4 (21 or 23 bytes) as the controller of that software version reads it: a run count outside
// 1..3 is one run; a speed code it does not know is 1200; below version 2 every flow computer sends its
// floats high byte first; the number of attempts is in the run-1 flags from version 3 on (2..10), else 5.
FieldConfig ReadFieldConfig(const Bytes& table4, int softVersion);

// One run's figures as the controller saw them.
struct RunFigures {
    int answers = 0;    // answers accepted
    int unanswered = 0; // requests whose answer did not come or was bad
    float flow = 0;     // m3/h of the last accepted answer
    float volume = 0;   // m3 of the last accepted answer
};

class FieldPoller {
public:
    FieldPoller(const FieldConfig& config, double nowMs);
    // A new table 4 takes effect at once: a request in flight is dropped, the round starts again, a run
    // that still names the same flow computer keeps its figures, the output keeps its counts.
    void reconfigure(const FieldConfig& config, double nowMs);
    // A clean table request of the tool: the polling pauses (a request in flight is dropped, not counted).
    void toolTalked(double nowMs);

    struct Ask {
        int run = 0; // 0-based
        FieldRun target;
        Bytes frame;
    };
    // The request due at nowMs, if any. The loop puts it on the line and calls sent() with the time its
    // last byte leaves.
    std::optional<Ask> due(double nowMs);
    void sent(double lastByteMs);
    bool awaiting() const { return awaiting_; }
    double windowEnd() const { return windowEnd_; }
    const PollPair& asked() const { return config_.runs[std::size_t(run_)].pair; }
    int current() const { return run_; } // the run asked last (0-based)
    // The answer to the request in flight came whole (checked against what was asked) or its window closed.
    void answered(const FlowAnswerCheck& check, double nowMs);
    void windowClosed(double nowMs);
    // When the loop must look again (a request falls due or a window closes).
    double nextWake() const;
    bool paused(double nowMs) const { return nowMs < pausedUntil_; }

    const FieldConfig& config() const { return config_; }
    const std::vector<RunFigures>& runs() const { return figures_; }
    PulseEmitter& output() { return output_; }
    const PulseEmitter& output() const { return output_; }

private:
    void nextRun(double nowMs);
    void startRound(double nowMs);

    FieldConfig config_;
    std::vector<RunFigures> figures_;
    PulseEmitter output_;
    int run_ = 0;
    int attempt_ = 0;
    bool awaiting_ = false;
    double windowEnd_ = 0;
    double roundStart_ = 0;
    double nextAsk_ = 0;
    double pausedUntil_ = 0;
};

// "field v3 (by flow): ..." with the output and every run, for the status line and the totals.
std::string FieldStatus(const FieldPoller& poller, double nowMs);
// The status for one row of a terminal `columns` wide: the output's pulses and each run's volume and
// answers (the flows and the line details stay in FieldStatus), cut short with "..." where the row ends,
// so that rewriting it after a carriage return never leaves a wrapped copy behind.
std::string FieldStatusRow(const FieldPoller& poller, double nowMs, std::size_t columns);
// The log line of an accepted answer: the run, its flow and volume, the output's counts.
std::string FieldAnswerLine(const FieldPoller& poller, int run);

} // namespace sim
