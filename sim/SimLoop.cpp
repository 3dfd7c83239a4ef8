#include "SimLoop.h"

#include "ControllerFrames.h"
#include "SimUart.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

namespace sim {

namespace {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Losing requests is the controller's fault to play; the master side only damages what it sends.
FaultOptions masterFaults(const FaultOptions& faults) {
    FaultOptions f = faults;
    f.drop = 0;
    f.silent = false;
    f.seed = faults.seed + 1; // its own noise, not a copy of the controller side's
    return f;
}

// The width of the terminal on fd, read at every rewrite so that a resized window is followed; 80 when the
// terminal does not say.
std::size_t terminalColumns(int fd) {
    winsize w{};
    return ::ioctl(fd, TIOCGWINSZ, &w) == 0 && w.ws_col > 0 ? w.ws_col : 80;
}

} // namespace

SimLoop::SimLoop(const Options& options, const Pty& pty)
    : opt_(options), pty_(pty), byteMs_(ByteMs(options.baud)), writer_(pty.master, byteMs_),
      controller_(options.state, options.faults), polling_(!options.poll.empty()),
      poller_(polling_ ? options.poll : std::vector<PollPair>{PollPair{}}, masterFaults(options.faults)),
      warnedBaud_(options.baud), nextPoll_(nowMs() + double(options.period)), statusTty_(::isatty(2) == 1) {
    if (!options.field)
        return;
    field_.emplace(ReadFieldConfig(options.state.table4, options.state.softVersion), nowMs());
    // The tool hears what the controller sends at the speed its own end is set to.
    writer_.hearWith([fd = pty.slave] { return TerminalBaud(fd); }, options.baud, options.faults.seed + 2);
}

void SimLoop::run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
    while (!stop) {
        const double now = nowMs();
        takeIncoming(now);
        sendDueAnswers(now);
        writer_.service(now);
        if (polling_ && !poll(now))
            break;
        if (field_)
            fieldTurn(now);
        wait(nextWake(now), waitMask);
    }
}

void SimLoop::takeIncoming(double now) {
    while (!incoming_.empty() && incoming_.front().second <= now) {
        const auto [b, due] = incoming_.front();
        incoming_.pop_front();
        if (awaitingAnswer() && feedCollector(b))
            continue;
        // Everything else may be a table request of the tool.
        for (const auto& x : controller_.feed(b, std::int64_t(due)))
            takeExchange(x, due);
    }
}

bool SimLoop::feedCollector(std::uint8_t b) {
    if (collector_.feed(b)) {
        const Bytes& answer = collector_.answer();
        Bytes wire(1 + answer.size(), proto::kPreambleByte); // as it came: the FF ahead of the answer
        std::copy(answer.begin(), answer.end(), wire.begin() + 1);
        if (field_)
            fieldAnswer(answer, wire, nowMs());
        else
            finishWindow(poller_.answerComplete(answer, asked_), wire);
        return true;
    }
    return collector_.started(); // part of the flow answer
}

void SimLoop::takeExchange(const SimController::Exchange& x, double due) {
    ++requests_;
    // The tool was talking to the controller, not answering the poll: what it sent does not make the
    // poll's answer window "bad".
    if (awaiting_ && !collector_.started() && x.crcGood)
        collector_.reset();
    logLine("rx", x.request, x.decision.meaning);
    if (field_ && x.crcGood) {
        // The tool talks to the controller: the polling keeps off the line, and a new table 4 counts at once.
        if (x.decision.stateChanged)
            field_->reconfigure(ReadFieldConfig(controller_.state().table4, controller_.state().softVersion),
                                due);
        field_->toolTalked(due);
    }
    if (x.decision.stateChanged && !opt_.statePath.empty()) {
        std::string err;
        if (!SaveState(opt_.statePath, controller_.state(), &err))
            std::fprintf(stderr, "rmz47-sim: %s\n", err.c_str());
    }
    if (x.decision.answer)
        answers_.push_back({due + double(opt_.answerDelay), x.wire, x.fault});
}

void SimLoop::sendDueAnswers(double now) {
    while (!answers_.empty() && answers_.front().due <= now) {
        Pending p = std::move(answers_.front());
        answers_.pop_front();
        if (!p.wire.empty()) {
            ++answered_;
            writer_.enqueue(p.wire, std::max(p.due, now)); // a late loop must not squeeze the bytes together
        }
        logLine("tx", p.wire,
                p.wire.empty() ? "no answer (" + p.note + ")"
                               : (p.note.empty() ? "answer" : "answer (" + p.note + ")"));
    }
}

bool SimLoop::poll(double now) {
    if (awaiting_ && now >= windowEnd_)
        finishWindow(poller_.windowClosed(collector_), collector_.answer());
    if (!awaiting_ && opt_.count && made_ >= opt_.count)
        return false;
    if (!awaiting_ && now >= std::max(nextPoll_, quietUntil_) && writer_.empty() && answers_.empty())
        startRequest(now);
    return true;
}

void SimLoop::startRequest(double now) {
    const SimMaster::Request r = poller_.nextRequest();
    ++made_;
    asked_ = r.pair;
    const double end = r.wire.empty() ? now : writer_.enqueue(r.wire, now);
    logLine("tx", r.wire.empty() ? r.frame : r.wire,
            "flow request addr " + std::to_string(r.pair.addr) + " run " + std::to_string(r.pair.run) +
                (r.fault.empty() ? "" : " (" + r.fault + ")"));
    collector_.reset();
    awaiting_ = true;
    windowEnd_ = end + FlowAnswerLineMs(byteMs_) + double(opt_.timeout);
    while (nextPoll_ <= now)
        nextPoll_ += double(opt_.period);
}

void SimLoop::finishWindow(const SimMaster::Outcome& o, const Bytes& bytes) {
    logLine("rx", bytes, o.text);
    awaiting_ = false;
    quietUntil_ = nowMs() + double(opt_.gap);
}

double SimLoop::nextWake(double now) const {
    double wake = now + 1000;
    if (!incoming_.empty())
        wake = std::min(wake, incoming_.front().second);
    if (!answers_.empty())
        wake = std::min(wake, answers_.front().due);
    wake = std::min(wake, writer_.nextDue());
    if (polling_)
        wake = std::min(wake, awaiting_ ? windowEnd_ : std::max(nextPoll_, quietUntil_));
    if (field_)
        wake = std::min({wake, field_->nextWake(), nextStatus_});
    return wake;
}

void SimLoop::wait(double wake, const sigset_t& waitMask) {
    const double waitMs = std::max(0.0, wake - nowMs());
    timespec ts{time_t(waitMs / 1000), long(std::fmod(waitMs, 1000.0) * 1e6)};
    pollfd p{pty_.master, POLLIN, 0};
    const int r = ::ppoll(&p, 1, &ts, &waitMask);
    if (r > 0 && (p.revents & POLLIN))
        readTool();
    else if (r > 0 && (p.revents & (POLLHUP | POLLERR)))
        ::usleep(10000); // cannot happen while we hold the tool's end open; do not spin if it does
}

void SimLoop::readTool() {
    std::uint8_t buf[512];
    const ssize_t n = ::read(pty_.master, buf, sizeof buf);
    if (n <= 0)
        return;
    const double readAt = nowMs();
    // The tool's bytes take the time of the speed its end is set to; in field mode the controller follows it.
    const long toolBaud = field_ ? TerminalBaud(pty_.slave) : 0;
    const double inByteMs = toolBaud > 0 ? ByteMs(toolBaud) : byteMs_;
    if (!field_)
        warnOnToolSpeed();
    Bytes got(buf, buf + n);
    if (opt_.echo)
        writer_.writeAll(got);
    // Everything read is taken as arriving at the line speed, one byte time after the one before.
    for (std::uint8_t b : got) {
        lastInDue_ = std::max(readAt, lastInDue_) + inByteMs;
        incoming_.emplace_back(b, lastInDue_);
    }
}

void SimLoop::warnOnToolSpeed() {
    // A tool that runs its end at another speed would only see garbage on a real line: say so once per
    // change (custom rates such as 3200 cannot be read back and are not checked).
    termios lt{};
    if (::tcgetattr(pty_.slave, &lt) != 0)
        return;
    const long toolBaud = BaudOf(::cfgetospeed(&lt));
    if (toolBaud && toolBaud != opt_.baud && toolBaud != warnedBaud_ && !opt_.quiet) {
        std::printf(
            "-- the tool's end runs at %ld baud, the simulator at %ld: a real line would garble this\n",
            toolBaud, opt_.baud);
        std::fflush(stdout);
    }
    warnedBaud_ = toolBaud;
}

void SimLoop::fieldTurn(double now) {
    FieldPoller& f = *field_;
    if (f.awaiting() && now >= f.windowEnd()) {
        const int run = f.current();
        const SimMaster::Outcome o = poller_.windowClosed(collector_);
        f.windowClosed(now);
        logLine("rx", collector_.answer(), "run " + std::to_string(run + 1) + " " + o.text);
    }
    // One line: no request while the controller still talks or the tool's bytes are still arriving.
    if (!f.awaiting() && writer_.empty() && answers_.empty() && incoming_.empty()) {
        if (const auto ask = f.due(now)) {
            collector_.reset();
            f.sent(writer_.enqueue(ask->frame, now, ask->target.baud));
            logLine("tx", ask->frame,
                    "run " + std::to_string(ask->run + 1) + ": flow request addr " +
                        std::to_string(ask->target.pair.addr) + " run " +
                        std::to_string(ask->target.pair.run) + " at " + std::to_string(ask->target.baud) +
                        " bit/s");
        }
    }
    f.output().advance(now);
    showStatus(now);
}

void SimLoop::fieldAnswer(const Bytes& answer, const Bytes& wire, double now) {
    FieldPoller& f = *field_;
    const int run = f.current();
    const SimMaster::Outcome o = poller_.answerComplete(answer, f.asked());
    f.answered(o.check, now);
    f.output().advance(now);
    logLine("rx", wire,
            o.check.ok ? FieldAnswerLine(f, run) : "run " + std::to_string(run + 1) + " " + o.text);
}

void SimLoop::showStatus(double now, bool final) {
    if (now < nextStatus_ && !final)
        return;
    nextStatus_ = now + 1000; // at most once a second
    if (statusTty_) {
        const std::string row = FieldStatusRow(*field_, now, terminalColumns(2));
        std::fprintf(stderr, "\r%s\033[K%s", row.c_str(), final ? "\n" : "");
        return;
    }
    const std::string s = FieldStatus(*field_, now);
    if (s != lastStatus_ && !final)
        std::fprintf(stderr, "%s\n", s.c_str()); // a file keeps one line for every change
    lastStatus_ = s;
}

void SimLoop::logLine(const char* dir, const Bytes& bytes, const std::string& meaning) const {
    if (opt_.quiet)
        return;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm t{};
    localtime_r(&tv.tv_sec, &t);
    std::printf("%02d:%02d:%02d.%03ld %s %s  %s\n", t.tm_hour, t.tm_min, t.tm_sec, long(tv.tv_usec / 1000),
                dir, ToHex(bytes).c_str(), meaning.c_str());
    std::fflush(stdout);
}

void SimLoop::printTotals() {
    if (field_) {
        const double now = nowMs();
        showStatus(now, true);
        std::printf("%s\n", FieldStatus(*field_, now).c_str());
    }
    if (polling_)
        std::printf("%s%s\n", poller_.totalsLine().c_str(), awaiting_ ? ", 1 still awaited at exit" : "");
    if (requests_) {
        std::printf("controller: frames %d answered %d %s\n", requests_, answered_,
                    InjectedText(controller_.faults()).c_str());
    }
    if (writer_.lost())
        std::printf("lost %zu bytes: nobody was reading the pseudo-terminal\n", writer_.lost());
    std::fflush(stdout);
}

} // namespace sim
