// listen: a reader that takes no part in the line. The port is opened (RTS low, nothing is ever
// written), every byte read passes the link's tap, and the line monitor turns it into rows as the
// monitor window shows them.
#include "CliCommand.h"
#include "CliJob.h"
#include "CliOptions.h"
#include "CliOutput.h"
#include "CliSignals.h"
#include "ConsoleView.h"

#include "CfgJson.h"
#include "DeviceWatch.h"
#include "LineMonitor.h"
#include "Now_opros.h"
#include "NumText.h"
#include "PortRevival.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QThread>
#include <QTimer>

namespace {

// The byte order of the runs named on the command line; the others' answers are read most significant
// first, as the imitation's default has them.
std::map<monitor::RunKey, bool> ByteOrders(const QList<ListenOrder>& orders) {
    std::map<monitor::RunKey, bool> byRun;
    for (const ListenOrder& order : orders)
        byRun[{order.address, order.run}] = order.msbFirst;
    return byRun;
}

QString CauseName(monitor::RowCause cause) {
    using C = monitor::RowCause;
    switch (cause) {
    case C::ControllerRequest:
        return QStringLiteral("controller_request");
    case C::ControllerAnswer:
        return QStringLiteral("controller_answer");
    case C::FlowRequest:
        return QStringLiteral("flow_request");
    case C::FlowAnswer:
        return QStringLiteral("flow_answer");
    case C::BadCrc:
        return QStringLiteral("bad_crc");
    case C::CutShort:
        return QStringLiteral("cut_short");
    case C::Noise:
        return QStringLiteral("noise");
    case C::PortLost:
        return QStringLiteral("port_lost");
    case C::PortBack:
        return QStringLiteral("port_back");
    case C::Other:
        break;
    }
    return QStringLiteral("other");
}

QJsonObject RowJson(const monitor::LineRow& row, const monitor::LineLog& log) {
    QJsonObject o{{QStringLiteral("time"), IsoTime(row.wallMs)},
                  {QStringLiteral("bytes"), QString::fromLatin1(row.bytes.toHex())},
                  {QStringLiteral("kind"), CauseName(row.cause)},
                  {QStringLiteral("text"), row.meaning}};
    const auto frame =
        std::span(reinterpret_cast<const quint8*>(row.bytes.constData()), std::size_t(row.bytes.size()));
    const bool flowFrame = frame.size() == std::size_t(proto::kFlowRequestSize) ||
                           frame.size() == std::size_t(proto::kFlowAnswerSize);
    if (flowFrame && (frame[0] == proto::kFlowRequestStart || frame[0] == proto::kFlowAnswerStart)) {
        o.insert(QStringLiteral("address"), frame[1]);
        o.insert(QStringLiteral("run"), frame[4]);
    }
    if (row.cause == monitor::RowCause::FlowAnswer) {
        const auto f = proto::DecodeFlowAnswer(frame, log.msbFirst({frame[1], frame[4]}));
        o.insert(QStringLiteral("flow"), ShortestDecimal(f.flow));
        o.insert(QStringLiteral("volume"), ShortestDecimal(f.volume));
    }
    return o;
}

QJsonObject CountersJson(const monitor::Counters& c) {
    return {{QStringLiteral("requests"), c.requests},
            {QStringLiteral("answers"), c.answers},
            {QStringLiteral("bad_crc"), c.badCrc},
            {QStringLiteral("cut_short"), c.cutShort},
            {QStringLiteral("noise_bytes"), c.noiseBytes}};
}

QString CountersText(const monitor::Counters& c) {
    return QStringLiteral("запросов %1, ответов %2, неверных контрольных сумм %3, оборванных кадров %4, "
                          "байт шума %5")
        .arg(c.requests)
        .arg(c.answers)
        .arg(c.badCrc)
        .arg(c.cutShort)
        .arg(c.noiseBytes);
}

// How a listen ended: by --for, by a signal.
struct ListenEnd {
    qint64 elapsedMs = 0;
    bool byTime = false;
    QString name() const { return byTime ? QStringLiteral("for") : QStringLiteral("signal"); }
    QString reason() const { return byTime ? QStringLiteral("по времени") : QStringLiteral("по сигналу"); }
};

void PrintSummary(const monitor::JobCounters& job, const QStringList& diagnosis, const ListenEnd& end,
                  bool json) {
    const qint64 elapsedMs = end.elapsedMs;
    if (json) {
        QJsonArray runs;
        for (const auto& [run, counters] : job.runs) {
            QJsonObject o = CountersJson(counters);
            o.insert(QStringLiteral("address"), run.first);
            o.insert(QStringLiteral("run"), run.second);
            runs.append(o);
        }
        PrintJson({{QStringLiteral("kind"), QStringLiteral("summary")},
                   {QStringLiteral("seconds"), double(elapsedMs) / 1000},
                   {QStringLiteral("ended"), end.name()},
                   {QStringLiteral("reason"), end.reason()},
                   {QStringLiteral("total"), CountersJson(job.total)},
                   {QStringLiteral("runs"), runs},
                   {QStringLiteral("diagnosis"), QJsonArray::fromStringList(diagnosis)}});
        return;
    }
    PrintLine(QStringLiteral("Прослушивание окончено через %1 (%2).")
                  .arg(monitor::DurationText(elapsedMs), end.reason()));
    PrintLine(QStringLiteral("Всего: ") + CountersText(job.total));
    for (const auto& [run, counters] : job.runs)
        PrintLine(monitor::RunName(run) + QStringLiteral(": ") + CountersText(counters));
    for (const QString& line : diagnosis)
        PrintLine(line);
}

// Reads the line until stopped: every read passes the tap; a device that went away is waited for and
// opened again, as the imitation does.
class LineReading {
public:
    LineReading(Link& link, JobView& view) : link_(link), revival_(view, link) {}

    void run() {
        quint8 buffer[512];
        while (!stopped_) {
            if (revival_.lost()) {
                idle(kRetryMs);
                revival_.retry();
            } else if (link_.waitForInput(kWaitMs, true) && ReadLine(link_, buffer, sizeof buffer) > 0) {
                // A busy line is read in gulps rather than frame by frame: a row's time is off by no more
                // than this, and the wakeups stay few.
                QThread::msleep(kGatherMs);
            }
            link_.tap().deliver();
        }
    }
    void stop() {
        stopped_ = true;
        link_.wake();
        if (idle_)
            idle_->quit();
    }

private:
    // The monitor's batches and the stop need the event loop; bytes wake the wait at once.
    static constexpr int kWaitMs = 1000;
    static constexpr int kRetryMs = 1000;
    static constexpr int kGatherMs = 20;

    void idle(int timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        if (DeviceWatch* devices = revival_.wakeSource())
            QObject::connect(devices, &DeviceWatch::changed, &loop, &QEventLoop::quit);
        idle_ = &loop;
        if (!stopped_)
            loop.exec();
        idle_ = nullptr;
    }

    Link& link_;
    PortRevival revival_;
    QEventLoop* idle_ = nullptr;
    bool stopped_ = false;
};

} // namespace

int RunCliListen(const ListenOptions& options) {
    CliJob job(QStringLiteral("listen"));
    // Opened once, at the line's speed: a failure keeps its reason (absent, busy, no permission).
    const int baud = proto::SpeedIndexToBaud(options.speedIndex.value_or(proto::kFallbackSpeedIndex));
    if (const int opened = job.open(options.port, baud); opened != kExitDone)
        return opened;
    Link& link = job.link;
    monitor::LineMonitor lineMonitor(link.timeSource(), 10'000);
    lineMonitor.log().listenOnly(ByteOrders(options.orders), lineMonitor.nowUs());
    const monitor::RowModel& model = lineMonitor.model();
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        // One write a batch.
        QString lines;
        for (int i = first; i <= last; ++i)
            lines += (options.json ? JsonLine(RowJson(model.row(i), lineMonitor.log()))
                                   : monitor::RowLine(model.row(i))) +
                     QLatin1Char('\n');
        PrintOut(lines);
    });
    lineMonitor.attach(link);

    ConsoleView view;
    LineReading reading(link, view);
    StopOnSignals onSignal([&reading] { reading.stop(); });
    QTimer limit;
    limit.setSingleShot(true);
    // A coarse timer may end a long run 5 % early.
    limit.setTimerType(Qt::PreciseTimer);
    ListenEnd end;
    QObject::connect(&limit, &QTimer::timeout, [&reading, &end] {
        end.byTime = true;
        reading.stop();
    });
    if (options.forMs)
        limit.start(int(*options.forMs)); // within int: the option's bounds
    QElapsedTimer elapsed;
    elapsed.start();
    reading.run();

    lineMonitor.flush();
    const QStringList diagnosis = lineMonitor.log().diagnosis(lineMonitor.nowUs());
    lineMonitor.detach();
    const auto& jobs = lineMonitor.log().jobs();
    end.elapsedMs = elapsed.elapsed();
    PrintSummary(jobs.empty() ? monitor::JobCounters{} : jobs.back(), diagnosis, end, options.json);
    return kExitDone;
}
