// The imitation loop: set-up of the port and the main window, answering the controller's flow requests
// until the operator stops it, and the way back to the controller's 1200 bit/s.
#include "FlowAnswer.h"
#include "Imitunit.h"
#include "Now_opros.h"
#include "NumText.h"
#include "Protocol.h"
#include "UiCommon.h"

#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace {

ImitRunState g_run;

void setLabel(QWidget* form, const QString& name, const QString& text) {
    if (auto* l = form->findChild<QLabel*>(name))
        l->setText(text);
}

void setVisible(QWidget* form, const QString& name, bool visible) {
    if (auto* w = form->findChild<QWidget*>(name))
        w->setVisible(visible);
}

QString slotName(const char* pattern, int slot) {
    return QString::fromLatin1(pattern).arg(slot + 1);
}

// Waits up to timeoutMs for request bytes while the windows go on: their events (painting, clicks, the
// Esc key, the Stop button) are dispatched during the wait, and a stop request ends it at once. Nothing
// spins: the wait sleeps in the event loop until the port, the deadline or the stop wakes it.
class RequestWait {
public:
    RequestWait(Link& link, Shell& shell) : link_(link), shell_(shell), previous_(shell.onStopRequested) {
        shell_.onStopRequested = [this] {
            if (link_.port)
                link_.port->wake();
            if (idle_)
                idle_->quit();
        };
    }
    ~RequestWait() { shell_.onStopRequested = previous_; }

    void wait(int timeoutMs) {
        if (link_.portOpen()) {
            link_.port->waitForInput(timeoutMs, true);
            return;
        }
        // No port (none chosen, or the open failed): nothing can arrive, the windows still need their
        // events until the operator stops the imitation.
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        idle_ = &loop;
        if (!shell_.StopRequested)
            loop.exec();
        idle_ = nullptr;
    }

private:
    Link& link_;
    Shell& shell_;
    std::function<void()> previous_;
    QEventLoop* idle_ = nullptr;
};

// The wait, the answers and the display; the restore when the loop is left.
void runLoop(QWidget* mainForm, Link& link, ImitSettings& imit, Shell& shell, Clock& clock) {
    // The restore runs however the loop is left.
    struct Restore {
        QWidget* form;
        Link& link;
        Shell& shell;
        ~Restore() {
            SetMainFormHeight(form, shell.CompactHeight);
            SetCloseButtonKind(form, true);
            link.LineSpeed = kControllerBaud;
            OpenPort(link);
            UpdateStatusLabels(form, link);
            shell.ImitRunning = false;
        }
    } restore{mainForm, link, shell};
    shell.ImitRunning = true;

    {
        RequestWait waiter(link, shell);
        // A close of the main window asks the loop to stop; the window closes after the restore.
        const auto stopped = [&] { return shell.StopRequested != 0 || shell.CloseRequested; };
        FlowRecogniser request;
        quint8 answer[kFlowAnswerSize];

        while (!stopped()) {
            if (link.portOpen())
                link.port->purge();
            request.reset();
            bool complete = false;
            while (!stopped()) {
                quint8 byte = 0;
                const qint64 got = link.port ? link.port->read(&byte, 1) : -1;
                if (got < 0 && link.port)
                    link.port->clearError();
                const quint32 now = clock.tickMs();
                if (got == 1) {
                    if (request.feed(byte, now, imit)) {
                        complete = true;
                        break;
                    }
                    continue; // drain what is queued before waiting
                }
                request.idle(now);
                const int untilIdle = request.msUntilIdle(now);
                waiter.wait(untilIdle < 0 ? kImitIdleWaitMs : untilIdle);
            }
            if (!complete)
                break;

            const int slot = MatchSlot(request.buffer.data(), imit);
            if (slot < 0)
                continue;
            // Elapsed time as an unsigned 32-bit difference: after about 49.7 days it starts again from 0.
            const quint32 elapsed = clock.tickMs() - g_run.ImitStartTick;
            const float volume = BuildAnswer(request.buffer.data(), answer, slot, imit, elapsed);

            ++g_run.ImitAnswers[slot];
            setLabel(mainForm, slotName("Answers%1Label", slot),
                     QStringLiteral("Ответов : ") + QString::number(g_run.ImitAnswers[slot]));
            setLabel(mainForm, slotName("CurrentTotal%1Label", slot),
                     QStringLiteral("Объем газа за сегодня : ") + FormatNumber(volume, 3));
            // m3/s from the flow as entered, not from its single-precision copy on the line.
            setLabel(mainForm, slotName("Rashod%1Label", slot),
                     QStringLiteral("Расход = ") + FormatNumber(imit.ImitRashod[slot] / 3600.0, 3) +
                         QStringLiteral(" м3/с"));

            SendAnswer(link, answer);
        }
    }
}

} // namespace

const ImitRunState& LastImitRun() {
    return g_run;
}

void RunImitation(QWidget* mainForm, Link& link, ImitSettings& imit, Shell& shell) {
    Clock& clock = link.clock ? *link.clock : SystemClock();

    // Set-up.
    link.LineSpeed = SpeedIndexToBaud(imit.ImitSpeedIndex);
    OpenPort(link);
    setLabel(mainForm, QStringLiteral("TypeConnectLabel"), SpeedStatusText(link.LineSpeed));
    for (int s = 0; s < 3; ++s) {
        setLabel(mainForm, slotName("Answers%1Label", s), QString());
        setLabel(mainForm, slotName("CurrentTotal%1Label", s), QString());
        setLabel(mainForm, slotName("Rashod%1Label", s), QString());
    }
    setVisible(mainForm, QStringLiteral("FlGroupBox1"), true);
    setVisible(mainForm, QStringLiteral("FlGroupBox2"), imit.ImitFlIndex != 0);
    setVisible(mainForm, QStringLiteral("FlGroupBox3"), imit.ImitFlIndex != 0 && imit.ImitFlIndex != 1);
    SetMainFormHeight(mainForm, shell.FullHeight);
    SetCloseButtonKind(mainForm, false);
    shell.StopRequested = 0;
    shell.CloseRequested = false;
    g_run.ImitAnswers = {0, 0, 0};
    g_run.ImitStartTick = clock.tickMs();

    runLoop(mainForm, link, imit, shell, clock);

    // A close of the main window during the imitation waited for the port to be given back.
    if (shell.CloseRequested)
        mainForm->close();
}
