// imitate: the window's imitation loop against a console view, told of each answer once it is out.
#include "CliCommand.h"
#include "CliJob.h"
#include "CliOptions.h"
#include "CliOutput.h"
#include "CliSignals.h"
#include "ConsoleView.h"
#include "StatusLine.h"

#include "CfgJson.h"
#include "ExpectedPulses.h"
#include "ImitLoop.h"
#include "JobCommon.h"
#include "LineLog.h"
#include "Now_opros.h"
#include "NumText.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTimer>

#include <vector>

namespace {

ImitSettings SettingsFrom(const ImitateOptions& options) {
    const ImitSettings defaults;
    ImitSettings imit;
    imit.ImitFlIndex = quint8(qMax(options.runs.size(), qsizetype(1)) - 1);
    for (int s = 0; s < options.runs.size() && s < proto::kFlowSlots; ++s) {
        const ImitateRun& run = options.runs[s];
        const auto i = std::size_t(s);
        imit.ImitAddr[i] = run.address;
        imit.ImitNitka[i] = run.run;
        imit.ImitRashod[i] = run.flowM3h;
        imit.ImitMsbFirst[i] = run.msbFirst.value_or(defaults.ImitMsbFirst[i]);
    }
    imit.ImitSpeedIndex = options.speedIndex.value_or(defaults.ImitSpeedIndex);
    imit.output.v = options.pulseValue.value_or(0);
    return imit;
}

enum class Ended { Operator, Duration, Target, Signal };

QString EndedName(Ended ended) {
    switch (ended) {
    case Ended::Duration:
        return QStringLiteral("for");
    case Ended::Target:
        return QStringLiteral("pulses");
    case Ended::Signal:
        return QStringLiteral("signal");
    case Ended::Operator:
        break;
    }
    return QStringLiteral("stop");
}

// Why the run ended, in the summary's words.
QString EndedReason(Ended ended) {
    switch (ended) {
    case Ended::Duration:
        return QStringLiteral("по времени");
    case Ended::Target:
        return QStringLiteral("цель достигнута");
    case Ended::Signal:
        return QStringLiteral("по сигналу");
    case Ended::Operator:
        break;
    }
    return QStringLiteral("остановлена");
}

// The imitation's console: answers are counted as the loop reports them, once each has gone out; the
// printing waits for the next turn of the event loop.
class ImitConsole : public ConsoleView {
public:
    ImitConsole(const ImitateOptions& options, const ImitSettings& imit, Link& link, StopControl& stopControl)
        : options_(options), imit_(imit), link_(link), stopControl_(stopControl) {
        pending_.reserve(64);
        flusher_.setSingleShot(true);
        flusher_.setInterval(0);
        QObject::connect(&flusher_, &QTimer::timeout, [this] { flush(); });
        ticker_.setInterval(1000);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { status_.show(statusText()); });
        if (status_.enabled())
            ticker_.start();
    }

    void tell(Notice kind, const QString& caption, const QString& text) override {
        status_.clear();
        ConsoleView::tell(kind, caption, text);
    }
    void showLineSpeed(int baud) override {
        if (link_.portOpen())
            return;
        // The loop would wait on no port until stopped: it ends at its first wait.
        failure_ = QStringLiteral("порт не открыт на скорости %1 бит/с").arg(baud);
        QTimer::singleShot(0, [this] { end(Ended::Operator); });
    }
    void showImitPanel(int runs) override {
        if (runs == 0)
            flush();
    }
    void showLinkNotice(LinkNotice, const QString& text) override {
        if (!text.isEmpty())
            tell(Notice::Warning, {}, text);
    }

    // The loop's word after each answer: true ends the run there, at the pulses asked for.
    bool answered(const ImitAnswer& answer);
    void end(Ended why) {
        if (ended_ == Ended::Operator)
            ended_ = why;
        stopControl_.requestStop();
    }
    const QString& failure() const { return failure_; }
    void summary(qint64 elapsedMs);

private:
    struct Shown {
        int slot;
        qint64 wallMs;
        qint64 answers;
        float volume;
    };
    struct Tally {
        qint64 answers = 0;
        float volume = 0;
    };

    int runs() const { return qMin(int(imit_.ImitFlIndex) + 1, proto::kFlowSlots); }
    monitor::RunKey key(int slot) const {
        return {imit_.ImitAddr[std::size_t(slot)], imit_.ImitNitka[std::size_t(slot)]};
    }
    PulseExpectation expectation() const {
        double volume = 0, flow = 0;
        for (int s = 0; s < runs(); ++s) {
            volume += tally_[std::size_t(s)].volume;
            flow += imit_.ImitRashod[std::size_t(s)];
        }
        return ExpectPulses(imit_.output, volume, flow);
    }
    void flush();
    // A run's answers and volume; brief: "1:2" for its address and run, the volume's caption left out.
    QString runText(int slot, bool brief = false) const;
    QString statusText() const;

    const ImitateOptions& options_;
    const ImitSettings& imit_;
    Link& link_;
    StopControl& stopControl_;
    std::vector<Shown> pending_;
    std::array<Tally, proto::kFlowSlots> tally_{};
    QTimer flusher_, ticker_;
    StatusLine status_;
    Ended ended_ = Ended::Operator;
    QString failure_;
};

bool ImitConsole::answered(const ImitAnswer& answer) {
    if (answer.slot < 0 || answer.slot >= proto::kFlowSlots)
        return false;
    Tally& t = tally_[std::size_t(answer.slot)];
    ++t.answers;
    t.volume = answer.volume;
    if (options_.json)
        pending_.push_back({answer.slot, QDateTime::currentMSecsSinceEpoch(), t.answers, t.volume});
    // Printing waits for the next turn of the loop, and there is nothing to print without JSON or a
    // terminal.
    if ((options_.json || status_.enabled()) && !flusher_.isActive())
        flusher_.start();
    if (!options_.pulses || !imit_.output.knowsV() || expectation().pulses < *options_.pulses)
        return false;
    ended_ = Ended::Target;
    return true;
}

void ImitConsole::flush() {
    flusher_.stop();
    for (const Shown& shown : pending_) {
        const monitor::RunKey run = key(shown.slot);
        PrintJson({{QStringLiteral("kind"), QStringLiteral("answer")},
                   {QStringLiteral("time"), IsoTime(shown.wallMs)},
                   {QStringLiteral("address"), run.first},
                   {QStringLiteral("run"), run.second},
                   {QStringLiteral("flow"), imit_.ImitRashod[std::size_t(shown.slot)]},
                   {QStringLiteral("answers"), shown.answers},
                   {QStringLiteral("volume"), ShortestDecimal(shown.volume)}});
    }
    pending_.clear();
    if (status_.enabled())
        status_.show(statusText());
}

QString ImitConsole::runText(int slot, bool brief) const {
    const Tally& t = tally_[std::size_t(slot)];
    const monitor::RunKey run = key(slot);
    return QStringLiteral("%1: %2 %3, %4%5 м3")
        .arg(brief ? QStringLiteral("%1:%2").arg(run.first).arg(run.second) : monitor::RunName(run))
        .arg(t.answers)
        .arg(RussianPlural(t.answers, u"ответ", u"ответа", u"ответов"),
             brief ? QString() : QStringLiteral("объем газа "), FormatNumber(t.volume, 3));
}

QString ImitConsole::statusText() const {
    // The pulses first: the line is cut to the terminal's width from its end.
    QStringList parts;
    if (imit_.output.knowsV())
        parts << QStringLiteral("импульсов %1").arg(expectation().pulses);
    for (int s = 0; s < runs(); ++s)
        parts << runText(s, true);
    return parts.join(QStringLiteral(" | "));
}

void ImitConsole::summary(qint64 elapsedMs) {
    flush();
    status_.clear();
    const PulseExpectation e = expectation();
    if (options_.json) {
        QJsonArray list;
        for (int s = 0; s < runs(); ++s)
            list.append(
                QJsonObject{{QStringLiteral("address"), key(s).first},
                            {QStringLiteral("run"), key(s).second},
                            {QStringLiteral("answers"), tally_[std::size_t(s)].answers},
                            {QStringLiteral("volume"), ShortestDecimal(tally_[std::size_t(s)].volume)}});
        QJsonObject summary{{QStringLiteral("kind"), QStringLiteral("summary")},
                            {QStringLiteral("ended"), EndedName(ended_)},
                            {QStringLiteral("reason"), EndedReason(ended_)},
                            {QStringLiteral("seconds"), double(elapsedMs) / 1000},
                            {QStringLiteral("runs"), list}};
        if (e.vKnown)
            summary.insert(QStringLiteral("expected_pulses"), e.pulses);
        PrintJson(summary);
        return;
    }
    PrintLine(QStringLiteral("Имитация окончена через %1 (%2).")
                  .arg(monitor::DurationText(elapsedMs), EndedReason(ended_)));
    for (int s = 0; s < runs(); ++s)
        PrintLine(runText(s));
    if (e.vKnown)
        PrintLine(PulseSummaryText(e));
}

// The dialog accepts a run given twice; the controller's request for it is answered from the first of
// its slots, so the later flow never reaches the line. Said once, before the line is touched.
void WarnRepeatedRuns(const CliJob& job, const QList<ImitateRun>& runs) {
    for (int s = 1; s < runs.size(); ++s)
        for (int first = 0; first < s; ++first)
            if (runs[s].address == runs[first].address && runs[s].run == runs[first].run) {
                job.warn(QStringLiteral("нитка %1:%2 задана дважды: отвечает только первая (расход %3 м3/ч)")
                             .arg(runs[s].address)
                             .arg(runs[s].run)
                             .arg(FormatNumber(runs[first].flowM3h, 3)));
                break;
            }
}

} // namespace

int RunCliImitate(const ImitateOptions& options) {
    ImitSettings imit = SettingsFrom(options);
    CliJob job(QStringLiteral("imitate"));
    WarnRepeatedRuns(job, options.runs);
    if (const int opened = job.open(options.port); opened != kExitDone)
        return opened;
    StopControl stopControl;
    ImitConsole view(options, imit, job.link, stopControl);
    StopOnSignals onSignal([&view] { view.end(Ended::Signal); });
    QTimer limit;
    limit.setSingleShot(true);
    // A coarse timer may end a long run 5 % early.
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, [&view] { view.end(Ended::Duration); });
    if (options.forMs)
        limit.start(int(*options.forMs)); // within int: the option's bounds
    QElapsedTimer elapsed;
    elapsed.start();
    RunImitation(view, job.link, imit, stopControl,
                 [&view](const ImitAnswer& answer) { return view.answered(answer); });
    if (!view.failure().isEmpty())
        return job.fail(kExitPort, view.failure());
    view.summary(elapsed.elapsed());
    return kExitDone;
}
