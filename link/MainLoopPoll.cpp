#include "MainLoopPoll.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#ifdef RMZ_HAVE_GLIB
#include <glib.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>
#endif

namespace mainloop {

#ifdef RMZ_HAVE_GLIB

bool Usable() {
    // Qt's glib dispatcher runs the main thread in the default context; other threads get contexts of
    // their own, and QT_NO_GLIB or another platform gives a dispatcher without glib.
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return false;
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

namespace {

// The context's descriptors with one more slot at the end for ours. A wait inside a handler dispatched
// from a wait has its own array; small ones stay on the stack.
class PollSet {
public:
    // Asks the context what to poll; returns how many of its descriptors are in front of ours.
    int query(GMainContext* context, int priority, int* timeoutMs) {
        for (;;) {
            const int n = g_main_context_query(context, priority, timeoutMs, data(), capacity() - 1);
            if (n < capacity())
                return n;
            spill_.resize(std::size_t(n) + 8);
        }
    }
    GPollFD* data() { return spill_.empty() ? local_.data() : spill_.data(); }

private:
    int capacity() const { return spill_.empty() ? int(local_.size()) : int(spill_.size()); }
    std::array<GPollFD, 16> local_{};
    std::vector<GPollFD> spill_;
};

// Woken by input, the wait tells the dispatcher's listeners that the thread is awake only when it is next
// called (or the application's loop tells them itself): the answer to that input goes out first.
bool g_awakeOwed = false;

int PollTimeout(int sourcesMs, const QDeadlineTimer& deadline) {
    const qint64 left = std::max<qint64>(0, deadline.remainingTime());
    return sourcesMs < 0 ? int(left) : int(std::min<qint64>(sourcesMs, left));
}

} // namespace

PollOutcome Wait(int fd, int timeoutMs, const std::function<bool()>& ended) {
    GMainContext* const context = g_main_context_default();
    QAbstractEventDispatcher* const dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher && std::exchange(g_awakeOwed, false))
        emit dispatcher->awake();
    if (!dispatcher || !g_main_context_acquire(context))
        return PollOutcome::Unavailable;
    const QDeadlineTimer deadline(std::max(0, timeoutMs), Qt::PreciseTimer);
    PollSet set;
    PollOutcome outcome = PollOutcome::TimedOut;
    for (;;) {
        int priority = 0, sourcesMs = -1;
        g_main_context_prepare(context, &priority);
        const int n = set.query(context, priority, &sourcesMs);
        GPollFD* const fds = set.data();
        fds[n] = GPollFD{fd, G_IO_IN | G_IO_HUP | G_IO_ERR, 0};
        const int pollMs = PollTimeout(sourcesMs, deadline);
        // Listeners flush what they buffered (the X connection's requests) before the thread sleeps.
        if (pollMs != 0)
            emit dispatcher->aboutToBlock();
        g_poll(fds, guint(n + 1), pollMs);
        // The input is taken before anything else is dispatched; sources found ready now stay ready and
        // are served by the next wait or the application's loop.
        const bool broken = (fds[n].revents & (G_IO_HUP | G_IO_ERR | G_IO_NVAL)) != 0;
        if (broken || (fds[n].revents & G_IO_IN) != 0) {
            g_awakeOwed = pollMs != 0;
            outcome = broken ? PollOutcome::HungUp : PollOutcome::Readable;
            break;
        }
        if (pollMs != 0)
            emit dispatcher->awake();
        if (g_main_context_check(context, priority, fds, n))
            g_main_context_dispatch(context);
        if (ended()) {
            outcome = PollOutcome::Ended;
            break;
        }
        if (deadline.hasExpired())
            break;
    }
    g_main_context_release(context);
    return outcome;
}

#else

bool Usable() {
    return false;
}

PollOutcome Wait(int, int, const std::function<bool()>&) {
    return PollOutcome::Unavailable;
}

#endif

} // namespace mainloop
