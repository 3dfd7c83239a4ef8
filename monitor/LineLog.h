#pragma once
// The line monitor without its window: takes the tap's events (only queuing them, since the tap delivers
// right after a transmission and before the answer is awaited), and later turns them into rows, counts
// them per job and per run, and keeps what the diagnosis needs.
#include "FlowFrames.h"
#include "FlowRequestReader.h"
#include "FrameMeaning.h"
#include "LineRow.h"
#include "LineTap.h"

#include <QStringList>
#include <deque>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace monitor {

struct Counters {
    int requests = 0;
    int answers = 0;
    int badCrc = 0;
    int cutShort = 0;
    int noiseBytes = 0;
    int timeouts = 0;
    int notImitated = 0;
    bool operator==(const Counters&) const = default;
};

enum class JobKind : quint8 { Configure, Imitation };

using RunKey = std::pair<quint8, quint8>; // flow-computer address, run number
QString RunName(const RunKey& run);       // "адрес 1, нитка 2"

struct JobCounters {
    JobKind kind = JobKind::Configure;
    qint64 startUs = 0;
    Counters total;
    std::map<RunKey, Counters> runs; // imitation: per run the controller polls
};

// What the diagnosis watches during the current job.
struct JobWatch {
    qint64 lastByteInUs = -1;  // last byte read from the line
    qint64 lastRequestUs = -1; // last flow request recognised
    bool bytesSinceRequest = false;
    int echoes = 0;
    int controllerBadCrc = 0; // the controller's frames with a wrong checksum
    std::set<RunKey> notImitated;
    bool running = true; // the job still runs (the silence on a line nobody polls means nothing)
};

// Diagnosis bounds: silence during the imitation, and bytes without a request.
constexpr qint64 kNoBytesUs = 10'000'000;
constexpr qint64 kNoRequestUs = 5'000'000;
constexpr int kRepeatedBadCrc = 3;
// Jobs whose counters are kept (the oldest go first).
constexpr int kJobsKept = 20;

class LineLog : public LineObserver {
public:
    // wallOffsetMs: time of day (ms since the epoch) minus the tap's monotonic time in ms.
    explicit LineLog(qint64 wallOffsetMs = 0) : wallOffsetMs_(wallOffsetMs) {}

    void lineEvents(const std::vector<LineEvent>& events) override;
    // Decodes what was queued into rows (taken by takeRows), counters and the diagnosis' state; with
    // nowUs past a partial flow request's idle time, that request is reported cut short.
    void process(qint64 nowUs);
    std::vector<LineRow> takeRows();
    bool hasQueued() const { return !queue_.empty(); }

    // The runs the tool imitates (for the answers' byte order and the requests not imitated); may be null.
    void setFlowSlots(const proto::FlowSlots* flowSlots) { flowSlots_ = flowSlots; }
    // A line the tool only listens to: every frame read off it (the flow computers' answers and the
    // controller's table frames too), the answers' floats in the byte order given per run (true: most
    // significant first, as for the runs not named), no run blamed for not being imitated. The counters
    // start as one job.
    void listenOnly(std::map<RunKey, bool> byteOrders, qint64 nowUs);
    // The byte order a run's answers are read in while listening.
    bool msbFirst(const RunKey& run) const;
    // A job starts: its counters and the diagnosis begin from zero.
    void beginJob(JobKind kind, qint64 nowUs);
    // The job ended: its counters stay, the silence rules no longer apply.
    void endJob(qint64 nowUs);
    void resetCounters();

    const std::deque<JobCounters>& jobs() const { return jobs_; }
    // The diagnosis of the current job in plain words, one line each.
    QStringList diagnosis(qint64 nowUs) const;

private:
    void handle(const LineEvent& e);
    void handleFrame(const LineEvent& e);
    void handleBytesIn(const LineEvent& e, int echo);
    void handleFlowRead(const proto::FlowRead& r, qint64 timeUs);
    void handleHeard(const QByteArray& bytes, bool crcOk, qint64 timeUs);
    void resetReader() { reader_ = proto::FlowRequestReader(listenOnly_); }
    void addRow(const LineEvent& e, const Meaning& m, const QByteArray& bytes, RowCause cause);
    void addFault(qint64 timeUs, LineDirection d, const QString& text, const QByteArray& bytes = {},
                  RowCause cause = RowCause::Other);
    void noise(qint64 timeUs, LineDirection d, int bytes);
    void notImitated(qint64 timeUs, const RunKey& run, const QByteArray& bytes);
    void enterRole(LineRole role, qint64 timeUs);
    void startJob(JobKind kind, qint64 timeUs);
    JobCounters& job(qint64 timeUs);
    void count(qint64 timeUs, int Counters::*field, int n = 1, const RunKey* run = nullptr);
    bool imitated(const RunKey& run) const;

    qint64 wallOffsetMs_;
    std::vector<LineEvent> queue_;
    std::vector<LineRow> rows_;
    qint64 lastRowUs_ = -1;
    LineRole role_ = LineRole::Unknown;
    AskedTable asked_;
    QByteArray sent_; // the tool's last transmission, as far as its echo has not come back
    proto::FlowRequestReader reader_;
    const proto::FlowSlots* flowSlots_ = nullptr;
    std::map<RunKey, bool> byteOrders_;
    bool listenOnly_ = false;
    std::deque<JobCounters> jobs_;
    JobWatch watch_;
};

} // namespace monitor
