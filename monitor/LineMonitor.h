#pragma once
// The line monitor at work without its window: observes a link's tap, decodes what came every so often
// (the tap's delivery itself only queues), and moves the new rows into the table model in one batch,
// unless paused. The window, a benchmark or a test attaches it alike.
#include "LineLog.h"
#include "RowModel.h"

#include <QObject>
#include <QTimer>

class Link;
class Clock;

namespace monitor {

// How often the queued events become rows: ten batches a second keep the table live without a repaint
// per frame.
constexpr int kBatchMs = 100;

class LineMonitor : public QObject {
    Q_OBJECT
public:
    explicit LineMonitor(Clock& clock, int capacity = kRowsKept, QObject* parent = nullptr);
    ~LineMonitor() override;

    void attach(Link& link);
    void detach();

    // Decodes what was queued and hands the rows to the model (or holds them while paused).
    void flush();
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    void clearRows();
    // A job starts (its counters and diagnosis begin from zero) or ends (its counters stay).
    void job(JobKind kind, bool starts);
    qint64 nowUs() const;

    LineLog& log() { return log_; }
    RowModel& model() { return model_; }
    const RowModel& model() const { return model_; }

signals:
    // After every batch: counters and the diagnosis may have changed.
    void updated();

private:
    Clock& clock_;
    Link* link_ = nullptr;
    LineLog log_;
    RowModel model_;
    std::vector<LineRow> held_; // rows that came while paused (no more than the ring holds)
    bool paused_ = false;
    QTimer timer_;
};

} // namespace monitor
