// imitate: the window's imitation loop against a console view. The loop shows each answer's texts before
// the answer goes out; the view only notes them there and prints at the next turn of the event loop.
#include "CliCommand.h"
#include "CliOutput.h"
#include "CliSignals.h"
#include "StatusLine.h"

#include "ExpectedPulses.h"
#include "ImitLoop.h"
#include "LineLog.h"
#include "Now_opros.h"
#include "NumText.h"
#include "PulseWatch.h"
#include "UiCommon.h"

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

class ImitConsole : public NoticeView {
public:
    ImitConsole(const ImitateOptions& options, const ImitSettings& imit, Link& link, Shell& shell)
        : options_(options), imit_(imit), link_(link), shell_(shell) {
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
        NoticeView::tell(kind, caption, text);
    }
    void showLineSpeed(int baud) override {
        if (link_.portOpen())
            return;
        // The loop waits on no port until stopped: end it at its first wait.
        WarnLine(QStringLiteral("порт не открыт на скорости %1 бит/с").arg(baud));
        portFailed_ = true;
        QTimer::singleShot(0, [this] { end(Ended::Operator); });
    }
    void showImitPanel(int runs) override {
        if (runs == 0)
            flush();
    }
    void showRun(int slot, const RunDisplay& texts) override {
        // Called between a request and its answer: only noted.
        if (texts.answers.isEmpty() || slot < 0 || slot >= proto::kFlowSlots)
            return;
        pending_.push_back({slot, QDateTime::currentMSecsSinceEpoch(), texts.volume});
        if (!flusher_.isActive())
            flusher_.start();
    }
    void showLinkNotice(LinkNotice which, const QString& text) override {
        status_.clear();
        NoticeView::showLinkNotice(which, text);
    }

    void end(Ended why) {
        if (ended_ == Ended::Operator)
            ended_ = why;
        shell_.requestStop();
    }
    bool portFailed() const { return portFailed_; }
    void summary(qint64 elapsedMs);

private:
    struct Shown {
        int slot;
        qint64 wallMs;
        QString volume;
    };
    struct Tally {
        qint64 answers = 0;
        double volume = 0;
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
    QString runText(int slot) const;
    QString statusText() const;

    const ImitateOptions& options_;
    const ImitSettings& imit_;
    Link& link_;
    Shell& shell_;
    std::vector<Shown> pending_;
    std::array<Tally, proto::kFlowSlots> tally_{};
    QTimer flusher_, ticker_;
    StatusLine status_;
    Ended ended_ = Ended::Operator;
    bool portFailed_ = false;
};

void ImitConsole::flush() {
    flusher_.stop();
    for (const Shown& shown : pending_) {
        Tally& t = tally_[std::size_t(shown.slot)];
        ++t.answers;
        t.volume = ShownVolume(shown.volume);
        if (options_.json) {
            const monitor::RunKey run = key(shown.slot);
            PrintJson({{QStringLiteral("kind"), QStringLiteral("answer")},
                       {QStringLiteral("time"), IsoTime(shown.wallMs)},
                       {QStringLiteral("address"), run.first},
                       {QStringLiteral("run"), run.second},
                       {QStringLiteral("flow"), imit_.ImitRashod[std::size_t(shown.slot)]},
                       {QStringLiteral("answers"), t.answers},
                       {QStringLiteral("volume"), t.volume}});
        }
    }
    if (pending_.empty())
        return;
    pending_.clear();
    status_.show(statusText());
    if (options_.pulses && imit_.output.knowsV() && expectation().pulses >= *options_.pulses)
        end(Ended::Target);
}

QString ImitConsole::runText(int slot) const {
    const Tally& t = tally_[std::size_t(slot)];
    return QStringLiteral("%1: %2 %3, объем газа %4 м3")
        .arg(monitor::RunName(key(slot)))
        .arg(t.answers)
        .arg(RussianPlural(t.answers, u"ответ", u"ответа", u"ответов"), FormatNumber(t.volume, 3));
}

QString ImitConsole::statusText() const {
    QStringList parts;
    for (int s = 0; s < runs(); ++s)
        parts << runText(s);
    if (imit_.output.knowsV())
        parts << QStringLiteral("ожидается импульсов : %1").arg(expectation().pulses);
    return parts.join(QStringLiteral(" | "));
}

void ImitConsole::summary(qint64 elapsedMs) {
    flush();
    status_.clear();
    const PulseExpectation e = expectation();
    if (options_.json) {
        QJsonArray list;
        for (int s = 0; s < runs(); ++s)
            list.append(QJsonObject{{QStringLiteral("address"), key(s).first},
                                    {QStringLiteral("run"), key(s).second},
                                    {QStringLiteral("answers"), tally_[std::size_t(s)].answers},
                                    {QStringLiteral("volume"), tally_[std::size_t(s)].volume}});
        QJsonObject summary{{QStringLiteral("kind"), QStringLiteral("summary")},
                            {QStringLiteral("ended"), EndedName(ended_)},
                            {QStringLiteral("seconds"), double(elapsedMs) / 1000},
                            {QStringLiteral("runs"), list}};
        if (e.vKnown)
            summary.insert(QStringLiteral("expected_pulses"), e.pulses);
        PrintJson(summary);
        return;
    }
    PrintLine(QStringLiteral("Имитация окончена через %1.").arg(monitor::DurationText(elapsedMs)));
    for (int s = 0; s < runs(); ++s)
        PrintLine(runText(s));
    if (e.vKnown)
        PrintLine(PulseSummaryText(e));
}

} // namespace

int RunCliImitate(const ImitateOptions& options) {
    ImitSettings imit = SettingsFrom(options);
    Link link;
    QString message;
    if (const int opened = OpenCliLink(link, options.port, &message); opened != kExitDone) {
        WarnLine(message);
        return opened;
    }
    Shell shell;
    ImitConsole view(options, imit, link, shell);
    StopOnSignals onSignal([&view] { view.end(Ended::Signal); });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&view] { view.end(Ended::Duration); });
    if (options.forMs)
        limit.start(int(qMin<qint64>(*options.forMs, std::numeric_limits<int>::max())));
    QElapsedTimer elapsed;
    elapsed.start();
    RunImitation(view, link, imit, shell);
    view.summary(elapsed.elapsed());
    return view.portFailed() ? kExitPort : kExitDone;
}
