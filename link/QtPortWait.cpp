// QtPort's waits for input: blocking in poll() without dispatching events, or in a kept event loop that
// serves the application's windows meanwhile.
#include "QtPort.h"

#include "MainLoopPoll.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <optional>
#include <utility>

void QtPort::sleepWait(int timeoutMs, bool pumpMessages) {
    if (timeoutMs <= 0)
        return;
    if (!pumpMessages) {
        QThread::msleep(ulong(timeoutMs));
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    QEventLoop* outer = loop_;
    loop_ = &loop;
    loop.exec();
    loop_ = outer;
}

bool QtPort::waitForInput(int timeoutMs, bool pumpMessages) {
    if (pumpMessages && wakePending_) {
        wakePending_ = false;
        return usable() && serial_.bytesAvailable() > 0;
    }
    if (!usable() || !pullQueued()) {
        // A closed or lost port, or one that reports a fault, has nothing to wait for, but the caller's
        // time-out still has to pass without burning the processor.
        sleepWait(timeoutMs, pumpMessages);
        return false;
    }
    if (serial_.bytesAvailable() > 0)
        return true;
    if (timeoutMs <= 0)
        return false;

    if (!pumpMessages) {
        // Blocks in poll() on the descriptor: no window message is dispatched meanwhile.
        if (serial_.waitForReadyRead(timeoutMs))
            return true;
        if (serial_.error() == QSerialPort::TimeoutError)
            serial_.clearError();
        else
            noteError();
        return usable() && serial_.bytesAvailable() > 0;
    }

    return pumpedWait(timeoutMs);
}

bool QtPort::pumpedWait(int timeoutMs) {
    if (mainloop::Usable()) {
        if (const std::optional<bool> input = polledWait(timeoutMs))
            return *input;
    }
    return loopWait(timeoutMs);
}

bool QtPort::loopWait(int timeoutMs) {
    // The imitation waits here between every two requests: the loop, its timer and their connections
    // are made once and kept, so that the way from a request's bytes to its answer stays short. A wait
    // inside a wait (an event handler that waits for input itself) gets loop and timer of its own.
    QEventLoop* const outer = inputLoop_;
    QEventLoop* const outerAny = loop_;
    std::optional<QEventLoop> nestedLoop;
    std::optional<QTimer> nestedTimer;
    QEventLoop& loop = outer ? nestedLoop.emplace() : waitLoop_;
    QTimer& timer = outer ? nestedTimer.emplace() : waitTimer_;
    if (outer) {
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    }
    const bool failedBefore = std::exchange(waitFailed_, false);
    timer.start(timeoutMs);
    loop_ = inputLoop_ = &loop;
    loop.exec();
    loop_ = outerAny;
    inputLoop_ = outer;
    timer.stop();
    wakePending_ = false;
    // Any error ends the wait (see the constructor); whether the device is gone is decided here, outside
    // QSerialPort's own notification.
    const bool failed = std::exchange(waitFailed_, failedBefore);
    // What ended this wait ends the one it interrupted too, as it would have had it been alone.
    if (outer && (failed || lost_ || serial_.bytesAvailable() > 0)) {
        waitFailed_ = waitFailed_ || failed;
        outer->quit();
    }
    if (failed || lost_)
        noteError();
    return usable() && serial_.bytesAvailable() > 0;
}

std::optional<bool> QtPort::polledWait(int timeoutMs) {
    // Wake() marks the wake as pending while no event loop of this port runs; the poll looks at it after
    // each dispatch, as it looks at errors, a loss and input that a wait inside this one took.
    QEventLoop* const outerAny = std::exchange(loop_, nullptr);
    const bool failedBefore = std::exchange(waitFailed_, false);
    const quint64 inputsBefore = inputs_;
    ++polledWaits_;
    const mainloop::PollOutcome outcome = mainloop::Wait(fd(), timeoutMs, [&] {
        return wakePending_ || waitFailed_ || !usable() || serial_.bytesAvailable() > 0 ||
               inputs_ != inputsBefore;
    });
    --polledWaits_;
    loop_ = outerAny;
    wakePending_ = false;
    const bool failed = std::exchange(waitFailed_, failedBefore || (polledWaits_ > 0 && waitFailed_));
    if (failed || lost_)
        noteError();
    switch (outcome) {
    case mainloop::PollOutcome::Unavailable:
        return std::nullopt; // another thread holds the main context
    case mainloop::PollOutcome::Readable:
        // Left in the descriptor: read() takes it with one system call.
        ++inputs_;
        return usable();
    case mainloop::PollOutcome::HungUp:
        // QSerialPort's own read tells a device that is gone from a passing fault.
        ++inputs_;
        return pullQueued() && serial_.bytesAvailable() > 0;
    default:
        break;
    }
    return usable() && (serial_.bytesAvailable() > 0 || inputs_ != inputsBefore);
}

void QtPort::wake() {
    if (loop_)
        loop_->quit();
    else
        wakePending_ = true;
}
