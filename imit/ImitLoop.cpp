// The imitation loop: set-up of the port and the main window, answering the controller's flow requests
// until the operator stops it, and the way back to the controller's 1200 bit/s.
#include "ImitLoop.h"

#include "DeviceWatch.h"
#include "FlowAnswer.h"
#include "JobCommon.h"
#include "JobView.h"
#include "Logging.h"
#include "Now_opros.h"
#include "NumText.h"
#include "PortRecovery.h"
#include "PortRevival.h"
#include "Protocol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <charconv>

namespace {

ImitRunState g_run;

// How long after an answer the loop waits on the port alone before it serves the windows again while it
// waits: a controller that polls its runs back to back sends its next request within this time.
constexpr int kBriefWaitMs = 5;

// Waits up to timeoutMs for request bytes while the windows go on: their events (painting, clicks, the
// Esc key, the Stop button) are dispatched during the wait, and a stop request ends it at once. Nothing
// spins: the wait sleeps in the event loop until the port, the deadline or the stop wakes it.
class RequestWait {
public:
    RequestWait(JobView& view, Link& link, StopControl& stopControl)
        : link_(link), stopControl_(stopControl), revival_(view, link) {
        stopControl_.onStopRequested = [this] {
            link_.wake();
            if (idle_)
                idle_->quit();
        };
    }
    ~RequestWait() { stopControl_.onStopRequested = nullptr; }

    void wait(int timeoutMs) {
        // A device that went away: sleep until its folders change or a retry is due, then try it.
        if (revival_.lost()) {
            idle(timeoutMs, revival_.wakeSource());
            revival_.retry();
            return;
        }
        if (link_.portOpen()) {
            link_.waitForInput(timeoutMs, true);
            return;
        }
        // No port (none chosen, or the open failed): nothing can arrive, the windows still need their
        // events until the operator stops the imitation.
        idle(timeoutMs, nullptr);
    }

    // Right after an answer the controller's next request is due within milliseconds. The windows' pending
    // events are served first; then the wait blocks on the port alone, so that the request meets no event
    // dispatch on its way to the answer. False when there is no port to wait on (the caller waits as usual).
    bool waitBriefly(int timeoutMs) {
        QCoreApplication::processEvents();
        if (stopControl_.StopRequested || revival_.lost() || !link_.portOpen())
            return false;
        link_.waitForInput(timeoutMs, false);
        return true;
    }

private:
    void idle(int timeoutMs, DeviceWatch* devices) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (devices)
            QObject::connect(devices, &DeviceWatch::changed, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        idle_ = &loop;
        if (!stopControl_.StopRequested)
            loop.exec();
        idle_ = nullptr;
    }

    Link& link_;
    StopControl& stopControl_;
    QEventLoop* idle_ = nullptr;
    PortRevival revival_;
};

// The run's texts: the digits on the stack, written in place behind the caption, with the locale's
// separator looked up once a run. They are made between a request and its answer, where the caches are
// cold after the wait.
QString FlowText(double rashod, const QString& separator) {
    // m3/s from the flow as entered, not from its single-precision copy on the line.
    QString text;
    WithNumber(text, u"Расход = ", rashod / 3600.0, 3, separator);
    return text + QStringLiteral(" м3/с");
}

// A run's answer count and volume. The window keeps the texts it shows until the run's next answer, so
// two sets written in turn never meet a text still in use: once both have grown to size, an answer makes
// its texts without allocating.
class RunTexts {
public:
    RunDisplay next(int answers, float volume, const QString& flow, const QString& separator) {
        Texts& t = sets_[std::size_t(turn_ ^= 1)];
        char count[16];
        const char* countEnd = std::to_chars(count, count + sizeof count, answers).ptr;
        WithCaption(t.answers, u"Ответов : ", std::string_view(count, std::size_t(countEnd - count)),
                    separator);
        WithNumber(t.volume, u"Объем газа за сегодня : ", volume, 3, separator);
        return {flow, t.answers, t.volume};
    }

private:
    struct Texts {
        QString answers, volume;
    };
    std::array<Texts, 2> sets_;
    int turn_ = 0;
};

// One imitation run: read a request, answer it, show it; again until the operator stops.
class ImitationLoop {
public:
    ImitationLoop(JobView& view, Link& link, ImitSettings& imit, StopControl& stopControl, Clock& clock,
                  const ImitAnswerHook& afterAnswer, const ImitVolumeStart& start)
        : view_(view), link_(link), imit_(imit), stopControl_(stopControl), clock_(clock),
          afterAnswer_(afterAnswer), start_(start), waiter_(view, link, stopControl) {}

    void run() {
        // No discard between the passes: the read-back of an answer is recognised by the echo filter, and
        // a request that follows it closely is kept.
        while (!stopped()) {
            request_.reset();
            if (!readRequest() || answer())
                break;
        }
    }

private:
    // The flow's text follows the settings; it is made again only when they change.
    const QString& flowText(int slot) {
        FlowShown& shown = flows_[std::size_t(slot)];
        if (shown.text.isNull() || shown.rashod != imit_.ImitRashod[slot]) {
            shown.rashod = imit_.ImitRashod[slot];
            shown.text = FlowText(shown.rashod, separator_);
        }
        return shown.text;
    }

    // A close of the main window asks the loop to stop too; the window closes after the restore.
    bool stopped() const { return stopControl_.StopRequested != 0; }

    // Takes bytes until a request for an imitated run is complete; false when the operator stopped first.
    // Everything queued is read at once and fed to the recogniser byte by byte.
    bool readRequest() {
        while (!stopped()) {
            if (next_ == have_) {
                next_ = 0;
                have_ = int(qMax<qint64>(0, ReadLine(link_, input_.data(), qint64(input_.size()))));
            }
            const quint32 now = clock_.tickMs();
            if (next_ < have_) {
                while (next_ < have_)
                    if (request_.feed(input_[std::size_t(next_++)], now, imit_))
                        return true;
                continue; // drain what is queued before waiting
            }
            request_.idle(now);
            link_.tap().deliver();
            const int untilIdle = request_.msUntilIdle(now);
            const int waitMs = untilIdle < 0 ? kImitIdleWaitMs : untilIdle;
            const quint32 sinceAnswer = now - answeredMs_;
            if (answered_ && sinceAnswer < quint32(kBriefWaitMs) &&
                waiter_.waitBriefly(qMin(waitMs, kBriefWaitMs - int(sinceAnswer))))
                continue;
            answered_ = false;
            waiter_.wait(waitMs);
        }
        return false;
    }

    // True when the watcher of the answers ended the run at this one.
    bool answer() {
        const quint8* request = request_.buffer.data();
        link_.tap().record(LineEventKind::Frame, LineDirection::In, request, proto::kFlowRequestSize);
        const int slot = proto::MatchSlot(request, imit_);
        if (slot < 0) {
            link_.tap().record(LineEventKind::NotImitated, LineDirection::In, request,
                               proto::kFlowRequestSize);
            return false;
        }
        if (start_.fromFirstAnswer && !answeredOnce_)
            g_run.ImitStartTick = clock_.tickMs();
        answeredOnce_ = true;
        // Elapsed time as an unsigned 32-bit difference: after about 49.7 days it starts again from 0.
        const quint32 elapsed = clock_.tickMs() - g_run.ImitStartTick;
        std::array<quint8, proto::kFlowAnswerSize> answer;
        const float volume = proto::BuildFlowAnswer(request_.buffer, answer, slot, imit_, elapsed,
                                                    start_.m3[std::size_t(slot)]);
        ++g_run.ImitAnswers[slot];
        view_.showRun(slot, texts_[std::size_t(slot)].next(g_run.ImitAnswers[slot], volume, flowText(slot),
                                                           separator_));
        // The send starts with a purge of the port: what was read behind the request goes with it.
        next_ = have_ = 0;
        SendAnswer(link_, answer.data());
        answeredMs_ = clock_.tickMs();
        answered_ = true;
        return afterAnswer_ && afterAnswer_(ImitAnswer{slot, volume, elapsed});
    }

    JobView& view_;
    Link& link_;
    ImitSettings& imit_;
    StopControl& stopControl_;
    Clock& clock_;
    const ImitAnswerHook& afterAnswer_;
    const ImitVolumeStart& start_;
    bool answeredOnce_ = false;
    RequestWait waiter_;
    proto::FlowRecogniser request_;
    std::array<quint8, 512> input_{}; // read from the line, fed from next_ up to have_
    int next_ = 0, have_ = 0;
    // When the last answer went out: the brief wait on the port alone follows it.
    quint32 answeredMs_ = 0;
    bool answered_ = false;
    struct FlowShown {
        double rashod = 0;
        QString text;
    };
    std::array<FlowShown, 3> flows_;
    std::array<RunTexts, 3> texts_;
    const QString separator_ = DecimalSeparator();
};

void StartRun(JobView& view, Link& link, const ImitSettings& imit, StopControl& stopControl, Clock& clock) {
    link.setLineSpeed(proto::SpeedIndexToBaud(imit.ImitSpeedIndex));
    OpenPort(link);
    qCDebug(lcImit) << "started at" << link.LineSpeed() << "bit/s for" << qMin(imit.ImitFlIndex + 1, 3)
                    << "runs";
    view.showLineSpeed(link.LineSpeed());
    for (int s = 0; s < 3; ++s)
        view.showRun(s, RunDisplay{});
    view.showImitPanel(imit.ImitFlIndex + 1);
    view.setStopMode(true);
    stopControl.StopRequested = 0;
    g_run.ImitAnswers = {0, 0, 0};
    g_run.ImitStartTick = clock.tickMs();
}

} // namespace

const ImitRunState& LastImitRun() {
    return g_run;
}

void RunImitation(JobView& view, Link& link, ImitSettings& imit, StopControl& stopControl,
                  const ImitAnswerHook& afterAnswer, const ImitVolumeStart& start) {
    Clock& clock = link.timeSource();
    StartRun(view, link, imit, stopControl, clock);
    // The restore runs however the loop is left.
    struct Restore {
        JobView& view;
        Link& link;
        ~Restore() {
            view.showImitPanel(0);
            view.setStopMode(false);
            link.setLineSpeed(proto::kControllerBaud);
            // A device still away is left to come back: opening it now would fail, forget the port and
            // save that, undoing what the wait for the device kept. The next job opens it as usual.
            if (!NoticePortLoss(link))
                OpenPort(link);
            UpdateStatusLabels(view, link);
        }
    } restore{view, link};
    ImitationLoop(view, link, imit, stopControl, clock, afterAnswer, start).run();
    qCDebug(lcImit) << "ended; answers by run:" << g_run.ImitAnswers[0] << g_run.ImitAnswers[1]
                    << g_run.ImitAnswers[2];
}

RunDisplay RunDisplayOf(int answers, float volume, double rashod) {
    const QString separator = DecimalSeparator();
    return RunTexts().next(answers, volume, FlowText(rashod, separator), separator);
}
