#include "LineMonitor.h"

#include "Clock.h"
#include "Logging.h"
#include "Now_opros.h"

#include <QDateTime>
#include <iterator>
#include <utility>

namespace monitor {

namespace {
qint64 WallOffsetMs(Clock& clock) {
    return QDateTime::currentMSecsSinceEpoch() - MonotonicUs(clock) / 1000;
}
} // namespace

LineMonitor::LineMonitor(Clock& clock, int capacity, QObject* parent)
    : QObject(parent), clock_(clock), log_(WallOffsetMs(clock)), model_(capacity) {
    timer_.setInterval(kBatchMs);
    connect(&timer_, &QTimer::timeout, this, &LineMonitor::flush);
}

LineMonitor::~LineMonitor() {
    detach();
}

void LineMonitor::attach(Link& link) {
    if (link_ == &link)
        return;
    detach();
    link_ = &link;
    link.tap().setObserver(&log_, &clock_);
    timer_.start();
}

void LineMonitor::detach() {
    if (!link_)
        return;
    link_->tap().setObserver(nullptr, nullptr);
    link_ = nullptr;
    timer_.stop();
    flush();
}

qint64 LineMonitor::nowUs() const {
    return MonotonicUs(clock_);
}

void LineMonitor::flush() {
    log_.process(nowUs());
    std::vector<LineRow> rows = log_.takeRows();
    if (paused_) {
        held_.insert(held_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
        if (held_.size() > std::size_t(model_.capacity())) {
            const std::size_t dropped = held_.size() - std::size_t(model_.capacity());
            qCDebug(lcMonitor) << dropped << "rows dropped while paused";
            held_.erase(held_.begin(), held_.end() - model_.capacity());
        }
    } else {
        model_.appendRows(std::move(rows));
    }
    emit updated();
}

void LineMonitor::setPaused(bool paused) {
    paused_ = paused;
    // The rows held go with their storage: a long pause must not leave its buffer behind.
    if (!paused_)
        model_.appendRows(std::exchange(held_, {}));
}

void LineMonitor::job(JobKind kind, bool starts) {
    if (starts)
        log_.beginJob(kind, nowUs());
    else
        log_.endJob(nowUs());
    emit updated();
}

void LineMonitor::clearRows() {
    held_ = {};
    model_.clear();
}

} // namespace monitor
