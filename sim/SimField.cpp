#include "SimField.h"

#include "ConfigRecord.h"
#include "LineSpeed.h"
#include "SimUart.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kDefaultAttempts = 5;

} // namespace

FieldConfig ReadFieldConfig(const Bytes& table4, int softVersion) {
    FieldConfig c;
    c.softVersion = softVersion;
    // A 21-byte table has no flags for runs 2 and 3: they read as 0 and are not used.
    proto::ConfigImage t;
    t.overlay(table4);
    c.nagCs = t.nag();
    c.pauseCs = t.pause();
    c.periodMs = 10.0 * t.period();
    c.answerMs = 10.0 * t.answer();
    c.v = t.v();
    if (proto::CarriesAttempts(softVersion))
        c.attempts = std::clamp(proto::FlagAttempts(t.flags(0)), proto::kMinAttempts, proto::kMaxAttempts);
    else
        c.attempts = kDefaultAttempts;
    const int count = t.flCount() >= 1 && t.flCount() <= proto::kConfigRuns ? t.flCount() : 1;
    for (int r = 0; r < count; ++r) {
        FieldRun run;
        run.pair.addr = t.addr(r);
        run.pair.run = t.nitka(r);
        run.baud = proto::SpeedIndexToBaud(proto::SpeedCodeToIndex(t.speed(r)));
        run.pair.msbFirst = !proto::CarriesByteOrder(softVersion) || proto::FlagMsbFirst(t.flags(r));
        c.runs.push_back(run);
    }
    return c;
}

FieldPoller::FieldPoller(const FieldConfig& config, double nowMs) {
    reconfigure(config, nowMs);
}

void FieldPoller::reconfigure(const FieldConfig& config, double nowMs) {
    std::vector<RunFigures> kept(config.runs.size());
    for (std::size_t r = 0; r < kept.size() && r < figures_.size(); ++r) {
        const PollPair& was = config_.runs[r].pair;
        const PollPair& now = config.runs[r].pair;
        if (was.addr == now.addr && was.run == now.run)
            kept[r] = figures_[r];
    }
    config_ = config;
    figures_ = std::move(kept);
    output_.configure(config.v, config.nagCs, config.pauseCs);
    awaiting_ = false;
    startRound(nowMs);
}

void FieldPoller::toolTalked(double nowMs) {
    pausedUntil_ = nowMs + kToolQuietMs;
    if (awaiting_) { // the request in flight is asked again once the polling goes on, as the same attempt
        awaiting_ = false;
        --attempt_;
        nextAsk_ = nowMs;
    }
}

void FieldPoller::startRound(double nowMs) {
    nextAsk_ = nowMs;
    run_ = 0;
    attempt_ = 0;
}

std::optional<FieldPoller::Ask> FieldPoller::due(double nowMs) {
    if (awaiting_ || paused(nowMs) || nowMs < nextAsk_)
        return std::nullopt;
    if (run_ == 0 && attempt_ == 0)
        roundStart_ = nowMs; // a round counts from its first request, also after a pause
    Ask a;
    a.run = run_;
    a.target = config_.runs[std::size_t(run_)];
    a.frame = BuildFlowRequest(a.target.pair);
    ++attempt_;
    awaiting_ = true;
    windowEnd_ = 1e300; // until sent() says when the request has left
    return a;
}

void FieldPoller::sent(double lastByteMs) {
    const double byteMs = ByteMs(config_.runs[std::size_t(run_)].baud);
    windowEnd_ = lastByteMs + FlowAnswerLineMs(byteMs) + config_.answerMs;
}

void FieldPoller::answered(const FlowAnswerCheck& check, double nowMs) {
    awaiting_ = false;
    RunFigures& f = figures_[std::size_t(run_)];
    if (!check.ok) {
        ++f.unanswered;
        if (attempt_ < config_.attempts) {
            nextAsk_ = nowMs + kTurnaroundMs;
            return;
        }
        nextRun(nowMs);
        return;
    }
    ++f.answers;
    // The flow computer counts its volume up from its own start: a smaller value means it started over.
    const long double gained = check.volume >= f.volume ? (long double)check.volume - f.volume : check.volume;
    f.flow = check.flow;
    f.volume = check.volume;
    output_.credit(gained, nowMs);
    nextRun(nowMs);
}

void FieldPoller::windowClosed(double nowMs) {
    answered(FlowAnswerCheck{}, nowMs);
}

void FieldPoller::nextRun(double nowMs) {
    attempt_ = 0;
    if (++run_ < int(config_.runs.size())) {
        nextAsk_ = nowMs + kTurnaroundMs;
        return;
    }
    // The round is over: the next one starts a period after this one did, or at once when it is overdue.
    run_ = 0;
    nextAsk_ = std::max(roundStart_ + config_.periodMs, nowMs + kTurnaroundMs);
}

double FieldPoller::nextWake() const {
    if (awaiting_)
        return windowEnd_;
    return std::max(nextAsk_, pausedUntil_);
}

std::string FieldStatus(const FieldPoller& p, double nowMs) {
    const FieldConfig& c = p.config();
    const PulseEmitter& o = p.output();
    std::string s = "field v" + std::to_string(c.softVersion) + (c.byFlow() ? " (by flow)" : " (by volume)") +
                    ": output pulses " + std::to_string(o.emitted()) + " held back " +
                    std::to_string(o.heldBack()) + (o.active() ? "" : " (V not positive: no pulses)");
    for (std::size_t r = 0; r < p.runs().size(); ++r) {
        const RunFigures& f = p.runs()[r];
        const FieldRun& run = c.runs[r];
        s += " | run " + std::to_string(r + 1) + " " + std::to_string(run.pair.addr) + ":" +
             std::to_string(run.pair.run) + "@" + std::to_string(run.baud) + " flow " +
             NumberText("%.3f", f.flow) + " m3/h volume " + NumberText("%.3f", f.volume) + " m3 answers " +
             std::to_string(f.answers) + " unanswered " + std::to_string(f.unanswered);
    }
    if (p.paused(nowMs))
        s += " | polling paused: the tool talks to the controller";
    return s;
}

std::string FieldStatusRow(const FieldPoller& p, double nowMs, std::size_t columns) {
    const PulseEmitter& o = p.output();
    std::string s = "pulses " + std::to_string(o.emitted()) + " held " + std::to_string(o.heldBack()) +
                    (o.active() ? "" : " (V not positive)");
    for (std::size_t r = 0; r < p.runs().size(); ++r) {
        const RunFigures& f = p.runs()[r];
        s += " | run " + std::to_string(r + 1) + ": " + NumberText("%.3f", f.volume) + " m3, " +
             std::to_string(f.answers) + " answers";
        if (f.unanswered)
            s += ", " + std::to_string(f.unanswered) + " unanswered";
    }
    if (p.paused(nowMs))
        s += " | paused";
    // The last column stays free: a character there leaves the cursor waiting to wrap.
    const std::size_t room = columns > 4 ? columns - 1 : 3;
    if (s.size() > room)
        s = s.substr(0, room - 3) + "...";
    return s;
}

std::string FieldAnswerLine(const FieldPoller& p, int run) {
    const RunFigures& f = p.runs()[std::size_t(run)];
    const PulseEmitter& o = p.output();
    return "run " + std::to_string(run + 1) + ": flow " + NumberText("%.3f", f.flow) + " m3/h volume " +
           NumberText("%.3f", f.volume) + " m3; output pulses " + std::to_string(o.emitted()) +
           " held back " + std::to_string(o.heldBack()) + " (V " + NumberText("%g", p.config().v) +
           " m3, pulse " + NumberText("%.2f", p.config().nagCs / 100.0) + " s, pause " +
           NumberText("%.2f", p.config().pauseCs / 100.0) + " s)";
}

} // namespace sim
