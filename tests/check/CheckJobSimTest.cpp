// The check job against the virtual controller over a pseudo-terminal. In field mode the controller polls
// each step's imitation, and the count entered for a step is what its output emitted meanwhile (its
// status lines on stderr).
#include "CheckJob.h"
#include "CheckSteps.h"
#include "CheckView.h"
#include "FakeView.h"
#include "Now_opros.h"
#include "QtPort.h"
#include "RecordingLinkUi.h"
#include "SimProcess.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class CheckTestView : public FakeView, public CheckView {
public:
    void showCheckProgress(int, const CheckStepResult&, std::optional<double>) override {}
    void showCheckWait(const QString&, int) override {}
    std::optional<qint64> askCountedPulses(int, const CheckStepResult&) override { return count(); }
    void showCheckStep(int, const CheckStepResult&, CheckVerdict verdict) override { verdicts << verdict; }
    bool askUseController(const QString&, const CheckPlan&) override { return false; }
    bool askNextStep(int) override { return true; }
    void showCheckEnd(const CheckRecord& record) override { ended = record; }
    std::function<std::optional<qint64>()> count;
    QList<CheckVerdict> verdicts;
    std::optional<CheckRecord> ended;
};

class CheckAgainstSim : public ::testing::Test {
protected:
    void start(const QStringList& simArgs) {
        const QString com1 = dir.filePath(QStringLiteral("com1")),
                      ini = dir.filePath(QStringLiteral("m.ini"));
        ASSERT_TRUE(StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), QStringList{"--link", com1} + simArgs));
        ASSERT_TRUE(WriteCom1Settings(ini, com1));
        ASSERT_TRUE(OpenCom1(link, port, linkUi, ini));
        view.onScreen = false;
        plan.runCount = 2;
        plan.speedIndex = 7; // 9600 bit/s, as table 4 below has the runs
        plan.output = {1.0, 0.1, 0.1};
        plan.tolerance = 0;
        // Low flow, then high: the second step's first answers are larger than the first step's last.
        plan.steps = {CheckStep{{360, 360, 0}, CheckStep::Target::Pulses, 2},
                      CheckStep{{7200, 3600, 0}, CheckStep::Target::Pulses, 6}};
    }
    void TearDown() override {
        ClosePort(link);
        sim.terminate();
        sim.waitForFinished(10000);
    }
    // The pulses emitted once the output owes none. The status line is rewritten at most once a second:
    // the one read two seconds after the step knows its last answer.
    qint64 emittedWhenDone() {
        static const QRegularExpression status(QStringLiteral(R"(output pulses (\d+) held back 0\D[^\n]*$)"));
        for (int i = 0; i < 100; ++i) {
            QTest::qWait(i == 0 ? 2000 : 100);
            err += QString::fromLocal8Bit(sim.readAllStandardError());
            if (const auto m = status.match(err.trimmed()); m.hasMatch())
                return m.captured(1).toLongLong();
        }
        return -1;
    }

    QTemporaryDir dir;
    QProcess sim;
    QString err;
    QtPort port;
    Link link;
    RecordingLinkUi linkUi;
    StopControl stopControl;
    CfgContext cfg;
    CheckPlan plan;
    CheckTestView view;
};

TEST_F(CheckAgainstSim, RisingFlowCountedFromTheOutputPassesWithNoTolerance) {
    // Runs 1:1 and 2:1 at 9600 bit/s polled every second, 1 s answer time-out, 1 m3 a pulse, 0.1 s each.
    start({"--quiet", "--field", "--table4",
           "02 0A 0A 64 00 00 00 80 3F 64 00 01 01 0B 02 01 0B 03 01 0B 51 01 01"});
    qint64 before = 0;
    view.count = [&]() -> std::optional<qint64> {
        const qint64 emitted = emittedWhenDone();
        return emitted - std::exchange(before, emitted);
    };
    // A step that never ends is stopped and fails below.
    QTimer::singleShot(120000, &view.widget, [this] { stopControl.requestStop(); });
    const CheckRecord record =
        RunCheck(view, link, stopControl, cfg, plan, std::nullopt,
                 [](const CheckRecord& r) { return QStringList{VerdictText(OverallVerdict(r))}; });

    EXPECT_EQ(record.controller.fields.value("FlCount").toObject().value("value").toInt(), 2);
    ASSERT_EQ(record.steps.size(), 2);
    for (int s = 0; s < 2; ++s) {
        EXPECT_GE(record.steps[s].expectedPulses, plan.steps[s].pulses) << s;
        EXPECT_EQ(record.steps[s].countedPulses, record.steps[s].expectedPulses) << s;
    }
    // The counters went on: the second step's volume added to the first's.
    EXPECT_NEAR(record.steps[1].totalM3, record.steps[0].totalM3 + record.steps[1].volumeM3, 1e-9);
    EXPECT_EQ(view.verdicts, (QList<CheckVerdict>{CheckVerdict::Pass, CheckVerdict::Pass}));
    // The main window's pulses line counted as in the imitation; the line is back at the controller's
    // speed; what `finished` returns is told last, in one warning.
    EXPECT_TRUE(view.text("PulsesLabel")
                    .contains(QStringLiteral("импульсов : %1,").arg(qint64(record.steps[1].totalM3))));
    EXPECT_EQ(link.LineSpeed(), 1200);
    EXPECT_EQ(view.told.back().text, QStringLiteral("Не удалось сохранить:\nгоден"));
}

// A controller that does not answer its tables ends the job before any step; the Stop button during a
// step aborts the check. Neither has a verdict; only a check that ran hears of its end.
TEST_F(CheckAgainstSim, EndsWithoutVerdict) {
    for (const bool known : {false, true}) {
        start({"--silent"});
        QTimer::singleShot(500, &view.widget, [this] { stopControl.requestStop(); });
        const CheckRecord record = RunCheck(view, link, stopControl, cfg, plan,
                                            known ? std::optional(CheckController{}) : std::nullopt);
        EXPECT_TRUE(record.aborted);
        EXPECT_EQ(record.steps.size(), known ? 1 : 0);
        EXPECT_EQ(view.ended.has_value(), known);
        EXPECT_EQ(OverallVerdict(record), CheckVerdict::None);
        TearDown();
    }
}

} // namespace
