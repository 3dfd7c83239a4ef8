// The imitation job end to end: the virtual controller polls the imitated flow computers over the
// pseudo-terminal and checks every answer; the tool runs its real loop in its real main window. Noise on
// the line costs no answer, and a controller that goes away in the middle neither crashes nor hangs the
// tool: Stop still ends the imitation and the port goes back to the controller's 1200 bit/s.
#include "ConfigureTestDriver.h"
#include "E2eSupport.h"

#include "ImitLoop.h"
#include "Imitunit.h"
#include "Protocol.h"
#include "UiCommon.h"

#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>

namespace {

struct Totals {
    int sent = -1, good = -1, bad = -1, missing = -1, noise = -1;
};

Totals ParseTotals(const QByteArray& out) {
    Totals t;
    static const QRegularExpression re(QStringLiteral(
        R"(totals: sent (\d+) good (\d+) bad (\d+) missing (\d+) \(injected: dropped \d+ corrupt \d+ truncated \d+ noise (\d+)\))"));
    const auto m = re.match(QString::fromLocal8Bit(out));
    if (m.hasMatch())
        t = {m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
             m.captured(5).toInt()};
    return t;
}

class ImitationOverBadLine : public ToolOnSim {
protected:
    void SetUp() override {
        ToolOnSim::SetUp();
        imitSettings.ImitFlIndex = 1;
        imitSettings.ImitAddr = {1, 2, 3};
        imitSettings.ImitNitka = {1, 1, 1};
        imitSettings.ImitRashod = {3600.0, 36.0, 0.0};
        imitSettings.ImitMsbFirst = {true, false, true};
        imitSettings.ImitSpeedIndex = 7; // 9600
    }

    void clickStop() {
        ASSERT_TRUE(form->inStopMode()) << "CloseBtn is not the Stop button";
        button("CloseBtn")->click();
    }
    // Runs the imitation until it ends; the poller (paused at its start) is let go once the loop listens.
    void runImitation() {
        program->imit = imitSettings;
        QTimer::singleShot(0, [this] { sim->resume(); });
        Watchdog dog(120000, [this] { program->stopControl.requestStop(); });
        RunImitation(*form, program->link, program->imit, program->stopControl);
    }
    void expectBackToTheController() {
        EXPECT_FALSE(bool(program->stopControl.onStopRequested)); // the loop has ended
        EXPECT_FALSE(form->inStopMode());
        EXPECT_EQ(form->height(), form->heights().CompactHeight);
        EXPECT_EQ(program->link.LineSpeed(), proto::kControllerBaud);
        EXPECT_EQ(form->findChild<QLabel*>("TypeConnectLabel")->text(),
                  SpeedStatusText(proto::kControllerBaud));
    }
    // A table read through the re-opened port (opened again by the read itself where it was lost):
    // answered, and the simulator (at 1200) saw the tool's end at its own speed.
    void expectControllerAnswersAt1200(SimRun& controller) {
        const Reply reply = ReadTable(program->link, form.get(), 0);
        EXPECT_TRUE(reply.ok()) << "count " << reply.count;
        EXPECT_TRUE(program->link.portOpen());
        const QByteArray out = controller.stop();
        EXPECT_FALSE(out.contains("the tool's end runs at")) << out.toStdString();
        EXPECT_EQ(controller.countLines("read table 0"), 1);
    }

    ImitSettings imitSettings;
    ModalScript script; // no dialog is expected unless a test says so
};

TEST_F(ImitationOverBadLine, NoiseOnTheLineCostsNoAnswer) {
    // The tool discards its input as its answer ends; the poller's turnaround (--gap) keeps a request that
    // follows a late answer out of that discard. A real controller polls a run every 1 to 10 s; the
    // turnaround here leaves room for a sanitizer build on a busy machine.
    startSim({"--poll", "1:1,2:1:lsb", "--baud", "9600", "--period", "200", "--gap", "100", "--count", "30",
              "--noise", "3"},
             true);
    startTool();
    // The poller ends after its 30 requests; a controller takes its place on the line, then Stop.
    QObject::connect(&sim->process(), &QProcess::finished, [this] {
        spare = launch({});
        clickStop();
    });
    runImitation();

    EXPECT_TRUE(script.done());
    EXPECT_TRUE(script.boxes.empty());
    const QByteArray out = sim->output();
    const Totals t = ParseTotals(out);
    EXPECT_EQ(t.sent, 30) << out.toStdString();
    EXPECT_EQ(t.good, 30) << out.toStdString();
    EXPECT_EQ(t.bad, 0);
    EXPECT_EQ(t.missing, 0);
    EXPECT_EQ(t.noise, 10);
    EXPECT_EQ(LastImitRun().ImitAnswers, (std::array<qint32, 3>{15, 15, 0}));
    EXPECT_EQ(form->findChild<QLabel*>("Answers2Label")->text(), QStringLiteral("Ответов : 15"));
    // Both byte orders decoded by the poller to the flows entered.
    EXPECT_TRUE(out.contains("flow 3600.000 m3/h")) << out.toStdString();
    EXPECT_TRUE(out.contains("flow 36.000 m3/h"));
    expectBackToTheController();
    ASSERT_NE(spare, nullptr);
    expectControllerAnswersAt1200(*spare);
}

// The controller dies in the middle of the imitation and the operator presses Stop later. The stop
// leaves the lost port to come back: no box, COM1 kept and the settings file untouched; once a
// controller is back, the next exchange opens the port again and talks to it at 1200.
TEST_F(ImitationOverBadLine, ControllerKilledMidImitationThenStopAndReopen) {
    startSim({"--poll", "1:1", "--baud", "9600", "--period", "50"}, true);
    startTool();
    const QString settingsBefore = readSettings();
    bool killed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (killed || LastImitRun().ImitAnswers[0] < 5)
            return;
        killed = true;
        sim->kill();
        // Its link goes with it, as a pulled adapter's udev link does: the freed pseudo-terminal number
        // may be taken at once by another program's, which a dangling link would then reach.
        QFile::remove(com1());
        // Some time on the dead line (the loop must keep waiting quietly), then Stop.
        QTimer::singleShot(1500, [this] { clickStop(); });
    });
    watch.start(20);
    runImitation();
    watch.stop();

    EXPECT_TRUE(killed);
    EXPECT_GE(LastImitRun().ImitAnswers[0], 5);
    EXPECT_TRUE(script.boxes.empty()) << script.boxes[0].caption.toStdString();
    expectBackToTheController();
    EXPECT_EQ(program->link.PortNumber(), 1);
    EXPECT_EQ(readSettings(), settingsBefore);

    spare = launch({});
    ASSERT_NE(spare, nullptr);
    expectControllerAnswersAt1200(*spare);
}

// The controller dies and another one is on the line before Stop: the imitation's end re-opens the port
// at 1200 by itself, without a box.
TEST_F(ImitationOverBadLine, ControllerKilledAndReplacedBeforeStop) {
    startSim({"--poll", "1:1,2:1:lsb", "--baud", "9600", "--period", "50"}, true);
    startTool();
    bool killed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (killed || LastImitRun().ImitAnswers[1] < 3)
            return;
        killed = true;
        sim->kill();
        QTimer::singleShot(1000, [this] {
            spare = launch({});
            QTimer::singleShot(200, [this] { clickStop(); });
        });
    });
    watch.start(20);
    runImitation();
    watch.stop();

    EXPECT_TRUE(killed);
    EXPECT_TRUE(script.boxes.empty());
    expectBackToTheController();
    EXPECT_EQ(program->link.PortNumber(), 1);
    ASSERT_NE(spare, nullptr);
    expectControllerAnswersAt1200(*spare);
}

} // namespace

namespace {

// The controller's end goes away in the middle of the imitation, as a pulled adapter does, and a new one
// appears behind the same mapped link: the loop opens it again by itself at the imitation's speed and
// answers on, its counts going on from where they were; no box, the port number and the file untouched.
TEST_F(ImitationOverBadLine, DeviceBackBehindTheSameLinkIsAnsweredAgain) {
    const QStringList poller = {"--poll", "1:1", "--baud", "9600", "--period", "50"};
    startSim(poller, true);
    startTool();
    const QString settingsBefore = readSettings();
    int atKill = -1;
    QString lostTip, backTip; // the port panel's tooltip while the device is away, and once it is back
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const int answers = LastImitRun().ImitAnswers[0];
        const QString tip = form->findChild<QLabel*>("PortLabel")->toolTip();
        if (form->findChild<QLabel*>("PortStateLabel")->text().endsWith(QStringLiteral("ждем устройство")))
            lostTip = tip;
        if (atKill < 0 && answers >= 5) {
            atKill = answers;
            sim->kill();
            // Some time without the device (the loop waits quietly), then it is back.
            QTimer::singleShot(700, [&] { spare = launch(poller); });
        } else if (atKill >= 0 && spare && answers >= atKill + 5) {
            backTip = tip;
            watch.stop();
            clickStop();
        }
    });
    watch.start(20);
    runImitation();
    watch.stop();

    ASSERT_GE(atKill, 5);
    EXPECT_GE(LastImitRun().ImitAnswers[0], atKill + 5);
    EXPECT_TRUE(script.boxes.empty());
    const QString notice = form->findChild<QLabel*>("PortStateLabel")->text();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Порт потерян в "))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("открыт снова в "))) << notice.toStdString();
    EXPECT_TRUE(lostTip.contains(QStringLiteral(" (потеряно: "))) << lostTip.toStdString();
    EXPECT_EQ(backTip,
              QStringLiteral("Устройство: %1 → %2").arg(com1(), QFileInfo(com1()).canonicalFilePath()));
    EXPECT_EQ(form->findChild<QLabel*>("Answers1Label")->text(),
              QStringLiteral("Ответов : %1").arg(LastImitRun().ImitAnswers[0]));
    expectBackToTheController();
    EXPECT_EQ(program->link.PortNumber(), 1);
    EXPECT_EQ(readSettings(), settingsBefore);
    ASSERT_NE(spare, nullptr);
    const Totals t = ParseTotals(spare->stop());
    EXPECT_GE(t.good, 5) << "the new controller got answers";
}

} // namespace
