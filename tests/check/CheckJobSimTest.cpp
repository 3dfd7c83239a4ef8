// The check job against the virtual controller in field mode over a pseudo-terminal: the controller is
// read, each step's imitation is answered by the controller's own polling, and the count entered for a
// step is what the controller's output emitted during it, as its status lines on stderr tell.
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
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Two runs (1:1 and 2:1) at 9600 bit/s polled every second with a 1 s answer time-out, 1 m3 a pulse,
// pulse and pause 0.1 s.
const QString kTable4 =
    QStringLiteral("02 0A 0A 64 00 00 00 80 3F 64 00 01 01 0B 02 01 0B 03 01 0B 51 01 01");

class CheckTestView : public FakeView, public CheckView {
public:
    CheckTestView() { onScreen = false; }
    void showCheckProgress(int, const CheckStepResult&, std::optional<double>) override { ++progress; }
    void showCheckWait(const QString& text, int) override { waits += !text.isEmpty(); }
    std::optional<qint64> askCountedPulses(int step, const CheckStepResult&) override { return count(step); }
    void showCheckStep(int, const CheckStepResult&, CheckVerdict verdict) override { verdicts << verdict; }
    bool askNextStep(int) override { return true; }
    void showCheckEnd(const CheckRecord& record) override { ended = record; }

    std::function<std::optional<qint64>(int step)> count = [](int) { return std::nullopt; };
    int progress = 0, waits = 0;
    QList<CheckVerdict> verdicts;
    std::optional<CheckRecord> ended;
};

class CheckAgainstSim : public ::testing::Test {
protected:
    void start(const QStringList& simArgs) {
        ASSERT_TRUE(dir.isValid());
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [this] { shell.requestStop(); });
        const QString com1 = dir.filePath(QStringLiteral("com1"));
        ASSERT_TRUE(
            StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), QStringList{"--link", com1, "--quiet"} + simArgs));
        const QString settings = dir.filePath(QStringLiteral("marvil.ini"));
        ASSERT_TRUE(WriteCom1Settings(settings, com1));
        ASSERT_TRUE(OpenCom1(link, port, linkUi, settings));
    }
    void TearDown() override {
        ClosePort(link);
        sim.terminate();
        sim.waitForFinished(10000);
    }

    // The pulses the controller's output has emitted once it owes none. The status line is rewritten at
    // most once a second, so the one read after two seconds already knows the step's last answer.
    qint64 emittedWhenDone() {
        static const QRegularExpression status(QStringLiteral(R"(output pulses (\d+) held back (\d+))"));
        QTest::qWait(2000);
        for (int i = 0; i < 100; ++i, QTest::qWait(100)) {
            stderrText += QString::fromLocal8Bit(sim.readAllStandardError());
            QRegularExpressionMatch last;
            for (auto it = status.globalMatch(stderrText); it.hasNext();)
                last = it.next();
            if (last.hasMatch() && last.captured(2) == QStringLiteral("0"))
                return last.captured(1).toLongLong();
        }
        ADD_FAILURE() << "the output never caught up: " << stderrText.right(400).toStdString();
        return -1;
    }

    CheckPlan twoSteps() const {
        CheckPlan plan;
        plan.runCount = 2;
        plan.speedIndex = 7; // 9600 bit/s, as table 4 has the runs
        plan.output = {1.0, 0.1, 0.1};
        plan.steps = {CheckStep{{1800, 1800, 1800}, CheckStep::Target::Pulses, 12},
                      CheckStep{{3600, 3600, 3600}, CheckStep::Target::Pulses, 6}};
        return plan;
    }

    QTemporaryDir dir;
    QProcess sim;
    QString stderrText;
    QtPort port;
    Link link;
    RecordingLinkUi linkUi;
    Shell shell;
    CfgContext cfg;
    CheckTestView view;
    QTimer watchdog;
};

TEST_F(CheckAgainstSim, TwoStepsCountedFromTheOutputPass) {
    start({"--field", "--table4", kTable4});
    const CheckPlan plan = twoSteps();
    qint64 before = 0;
    view.count = [&](int) {
        const qint64 emitted = emittedWhenDone();
        return emitted - std::exchange(before, emitted);
    };
    QStringList saved;
    watchdog.start(120000); // a step that never ends is stopped, and fails below
    const CheckRecord record =
        RunCheck(view, link, shell, cfg, plan, std::nullopt, [&](const CheckRecord& r) {
            saved << VerdictText(OverallVerdict(r));
            return QStringList{QStringLiteral("журнал")};
        });

    EXPECT_EQ(record.controller.softVersion, 3);
    EXPECT_EQ(record.controller.configured, true);
    EXPECT_EQ(record.controller.fields.value("FlCount").toObject().value("value").toInt(), 2);
    ASSERT_EQ(record.steps.size(), 2);
    for (int s = 0; s < 2; ++s) {
        EXPECT_GE(record.steps[s].expectedPulses, plan.steps[s].pulses) << s;
        EXPECT_LE(std::abs(StepDifference(record.steps[s])), plan.tolerance) << s;
    }
    EXPECT_EQ(view.verdicts, (QList<CheckVerdict>{CheckVerdict::Pass, CheckVerdict::Pass}));
    EXPECT_FALSE(record.aborted);
    EXPECT_EQ(saved, QStringList{QStringLiteral("годен")});
    ASSERT_TRUE(view.ended);
    EXPECT_EQ(view.ended->steps, record.steps);
    EXPECT_EQ(view.waits, 2);
    EXPECT_GE(view.progress, 4);
    // The main window's panels counted the last step as the imitation does, and the line is back at the
    // controller's speed; the failed save came last, in one warning.
    EXPECT_TRUE(view.text("PulsesLabel")
                    .contains(QStringLiteral("ожидается импульсов : %1").arg(record.steps[1].expectedPulses)))
        << view.text("PulsesLabel").toStdString();
    EXPECT_EQ(link.LineSpeed(), 1200);
    EXPECT_FALSE(view.stopMode);
    ASSERT_FALSE(view.told.empty());
    EXPECT_EQ(view.told.back().text, QStringLiteral("Не удалось сохранить:\nжурнал"));
}

// A check that stops before its verdict: a controller that does not answer its tables, and the Stop
// button during a step. Neither has a verdict; only a check that ran hears of its end.
TEST_F(CheckAgainstSim, EndsWithoutVerdict) {
    struct Row {
        bool known;
        int steps;
        bool endShown;
    };
    for (const Row& row : {Row{false, 0, false}, Row{true, 1, true}}) {
        start({"--silent"});
        view.ended.reset();
        watchdog.start(500); // the Stop button during the step
        const std::optional<CheckController> known =
            row.known ? std::optional<CheckController>(CheckController{}) : std::nullopt;
        const CheckRecord record = RunCheck(view, link, shell, cfg, twoSteps(), known);
        EXPECT_TRUE(record.aborted) << row.known;
        EXPECT_EQ(record.steps.size(), row.steps) << row.known;
        EXPECT_EQ(view.ended.has_value(), row.endShown) << row.known;
        EXPECT_EQ(OverallVerdict(record), CheckVerdict::None) << row.known;
        TearDown();
    }
}

} // namespace
