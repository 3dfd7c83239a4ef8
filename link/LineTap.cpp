#include "LineTap.h"

#include "Clock.h"
#include "LineTrace.h"
#include "Logging.h"

bool LineTap::tracing() {
    return lcLink().isDebugEnabled();
}

void LineTap::setObserver(LineObserver* observer, Clock* clock) {
    deliver();
    observer_ = observer;
    clock_ = clock;
}

void LineTap::record(LineEventKind kind, LineDirection direction, const quint8* data, qint64 n, int count,
                     proto::AnswerOutcome outcome) {
    if (!active())
        return;
    const qint64 us = MonotonicUs(clock_ ? *clock_ : SystemClock());
    QByteArray bytes;
    if (data && n > 0)
        bytes = QByteArray(reinterpret_cast<const char*>(data), n);
    pending_.push_back({kind, direction, us, std::move(bytes), count, outcome});
}

void LineTap::deliver() {
    if (pending_.empty())
        return;
    std::vector<LineEvent> events;
    events.swap(pending_);
    if (tracing())
        for (const LineEvent& e : events)
            qCDebug(lcLink).noquote() << TraceLine(e);
    if (observer_)
        observer_->lineEvents(events);
}
