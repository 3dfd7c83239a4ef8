// The controller's output under the imitation: expected pulses and rate from the output values, the
// warning when the output cannot follow, where the output values come from, and the dialog's entries.
#include "ExpectedPulses.h"
#include "ImitFixture.h"
#include "Imitunit.h"
#include "Program.h"
#include "PulseWatch.h"

#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct PulseRow {
    const char* what;
    float v;
    quint8 nag, pause; // hundredths of a second; 0 + 0: unknown
    double totalM3, flowM3h;
    qint64 pulses;
    double rate; // pulses per second
    bool behind;
    const char* says; // part of the text
};

const PulseRow kPulseRows[] = {
    {"one pulse per 10 m3, 36 m3/h", 10.0f, 10, 10, 25.0, 36.0, 2, 0.001, false,
     "ожидается импульсов : 2, частота 0,001 имп/с"},
    {"a float tenth counts whole", 0.1f, 10, 10, 10.0, 360.0, 100, 1.0, false, "ожидается импульсов : 100"},
    {"exactly the output's limit", 0.1f, 10, 10, 0.0, 1800.0, 0, 5.0, false, "частота 5,000 имп/с."},
    {"above it falls behind", 0.1f, 10, 10, 0.0, 2160.0, 0, 6.0, true, "позволяет не более 5,000 имп/с"},
    {"long pulse and pause", 1.0f, 200, 100, 3.0, 3600.0, 3, 1.0, true, "Выход не успевает"},
    {"timing unknown", 1.0f, 0, 0, 3.0, 3600.0, 3, 1.0, false, "неизвестна: успевает ли выход"},
    {"volume unknown", 0.0f, 10, 10, 12.5, 3600.0, 0, 0.0, false,
     "Цена импульса неизвестна: прочитайте конфигурацию"},
};

TEST(ExpectedPulses, FromTheOutputValues) {
    for (const PulseRow& r : kPulseRows) {
        SCOPED_TRACE(r.what);
        const PulseExpectation e = ExpectPulses(OutputFromRecord(r.v, r.nag, r.pause), r.totalM3, r.flowM3h);
        EXPECT_EQ(e.pulses, r.pulses);
        EXPECT_NEAR(e.ratePerS, r.rate, 1e-6);
        EXPECT_EQ(e.fallsBehind, r.behind);
        EXPECT_TRUE(PulseSummaryText(e).contains(QString::fromUtf8(r.says)))
            << PulseSummaryText(e).toStdString();
    }
}

TEST(ExpectedPulses, SumOfTheShownVolumesOfTheActiveRuns) {
    ImitSettings imit;
    imit.ImitFlIndex = 1; // two runs
    imit.ImitRashod = {3600.0, 7200.0, 99999.0};
    imit.output = OutputFromRecord(2.0f, 10, 10);
    FakeView window;
    PulseWatchView watch(window, imit);
    watch.showImitPanel(2);
    EXPECT_TRUE(
        window.text("PulsesLabel").contains(QStringLiteral("объем газа 0,000 м3, ожидается импульсов : 0")));
    watch.showRun(0, {QString(), QString(), QStringLiteral("Объем газа за сегодня : 3,500")});
    watch.showRun(1, {QString(), QString(), QStringLiteral("Объем газа за сегодня : 7,000")});
    watch.showRun(2,
                  {QString(), QString(), QStringLiteral("Объем газа за сегодня : 1000,000")}); // not active
    watch.showImitPanel(0); // the end of the imitation shows what was still waiting for the event loop
    // 10,5 m3 at 2 m3 a pulse; 10800 m3/h is 1,5 pulses a second.
    EXPECT_EQ(window.text("PulsesLabel"),
              QStringLiteral(
                  "Выход контроллера : объем газа 10,500 м3, ожидается импульсов : 5, частота 1,500 имп/с."));
    EXPECT_FALSE(window.pulsesWarning);
}

TEST(ExpectedPulses, OutputValuesComeFromWhatTheControllerHolds) {
    using R = CfgJobReport::Result;
    CfgRecord read, written;
    read.V = 4.0f;
    written.V = 8.0f;
    // Table 7 said configured or not (nothing: unread); a controller not configured has no output values.
    const std::tuple<R, std::optional<bool>, double> rows[] = {
        {R::Cancelled, true, 4},    {R::Written, true, 8}, {R::WriteFailed, true, 4},
        {R::NoConfig, true, 1},     {R::NoState, {}, 1},   {R::Cancelled, false, 0},
        {R::WriteFailed, false, 0}, {R::Written, false, 8}};
    for (const auto& [result, configured, v] : rows) {
        ImitSettings imit;
        imit.output.v = 1; // known from an earlier job
        CfgJobReport report;
        std::tie(report.result, report.configured) = std::tie(result, configured);
        report.read = configured == true && result != R::NoConfig ? std::optional(read) : std::nullopt;
        report.written =
            result == R::Written || result == R::WriteFailed ? std::optional(written) : std::nullopt;
        TakeOutputParams(imit, report);
        EXPECT_EQ(imit.output.v, v) << int(result);
    }
}

TEST(ExpectedPulses, DialogPrefillsTheOutputAndRefusesAValueNotAboveZero) {
    ImitSettings imit;
    imit.output = OutputFromRecord(2.5f, 10, 20);
    OnNextModal([&imit](QWidget* w) {
        EXPECT_EQ(w->findChild<QLineEdit*>("OutVEdit")->text(), QStringLiteral("2,500"));
        w->findChild<QLineEdit*>("OutVEdit")->setText(QStringLiteral("0"));
        w->findChild<QLineEdit*>("Rashod1Edit")->setText(QStringLiteral("100"));
        OnNextModal([](QWidget* box) { static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click(); });
        w->findChild<QPushButton*>("BitBtn1")->click();
        // Refused before the take-over: the flow entered has not reached the record.
        EXPECT_EQ(imit.ImitRashod[0], 3600.0);
        w->findChild<QLineEdit*>("OutVEdit")->setText(QString()); // unknown
        w->findChild<QLineEdit*>("OutNagEdit")->setText(QStringLiteral("0.3"));
        w->findChild<QPushButton*>("BitBtn1")->click();
    });
    QWidget parent;
    ASSERT_TRUE(EditImitSettings(imit, &parent));
    EXPECT_EQ(imit.ImitRashod[0], 100.0);
    EXPECT_FALSE(imit.output.knowsV());
    EXPECT_DOUBLE_EQ(imit.output.pulseS, 0.3);
}

} // namespace
