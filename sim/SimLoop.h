#pragma once
// The virtual controller's main loop: it takes the tool's bytes as they would arrive on the line, lets
// the controller side answer table requests after the turnaround, polls the imitated flow computers on
// the master side, and sleeps until the next of these falls due or the tool writes.
#include "SimField.h"
#include "SimLine.h"
#include "SimOptions.h"

#include <csignal>
#include <deque>
#include <optional>
#include <utility>

namespace sim {

class SimLoop {
public:
    SimLoop(const Options& options, const Pty& pty);

    // Serves until `stop` is set (the signals in `waitMask` are let through only while waiting) or the
    // master side has made --count requests and seen their answer windows close.
    void run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);
    // The totals lines printed at exit.
    void printTotals();

private:
    struct Pending {
        double due;
        Bytes wire;
        std::string note;
    };

    void takeIncoming(double now);
    bool feedCollector(std::uint8_t b);
    void takeExchange(const SimController::Exchange& x, double due);
    void sendDueAnswers(double now);
    // One turn of the master side; false once --count requests are done.
    bool poll(double now);
    void startRequest(double now);
    void finishWindow(const SimMaster::Outcome& o, const Bytes& bytes);
    bool awaitingAnswer() const { return field_ ? field_->awaiting() : awaiting_; }
    // Field mode: one turn of the polling and the pulse output, an answer taken, the status line.
    void fieldTurn(double now);
    void fieldAnswer(const Bytes& answer, const Bytes& wire, double now);
    void showStatus(double now, bool final = false);
    double nextWake(double now) const;
    void wait(double wake, const sigset_t& waitMask);
    void readTool();
    void warnOnToolSpeed();
    void logLine(const char* dir, const Bytes& bytes, const std::string& meaning) const;

    const Options& opt_;
    const Pty& pty_;
    const double byteMs_;
    PacedWriter writer_;
    SimController controller_;
    const bool polling_;
    SimMaster poller_;

    std::deque<Pending> answers_;
    std::deque<std::pair<std::uint8_t, double>> incoming_; // bytes with the time they finish arriving
    double lastInDue_ = 0;
    int requests_ = 0;
    int answered_ = 0;
    long warnedBaud_;

    FlowAnswerCollector collector_;
    bool awaiting_ = false;
    double windowEnd_ = 0;
    PollPair asked_;
    long made_ = 0;
    double nextPoll_;
    // A master turns its line round before it talks again: a request that followed a late answer at once
    // would start while the flow computer still holds and then clears its end of the line.
    double quietUntil_ = 0;

    std::optional<FieldPoller> field_;
    double nextStatus_ = 0;
    std::string lastStatus_;
    const bool statusTty_;
};

} // namespace sim
