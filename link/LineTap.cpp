#include "LineTap.h"

#include "Clock.h"

void LineTap::setObserver(LineObserver* observer, Clock* clock) {
    deliver();
    observer_ = observer;
    clock_ = clock;
}

void LineTap::record(LineEventKind kind, LineDirection direction, const quint8* data, qint64 n, int count) {
    if (!observer_)
        return;
    const qint64 us = clock_ ? MonotonicUs(*clock_) : 0;
    QByteArray bytes;
    if (data && n > 0)
        bytes = QByteArray(reinterpret_cast<const char*>(data), n);
    pending_.push_back({kind, direction, us, std::move(bytes), count});
}

void LineTap::deliver() {
    if (!observer_ || pending_.empty())
        return;
    std::vector<LineEvent> events;
    events.swap(pending_);
    observer_->lineEvents(events);
}
