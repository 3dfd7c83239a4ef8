// The imitation loop on the fake port and a manual clock: set-up, answers and display, the requests
// that go unanswered, stopping and the restore.
#include "ImitLoop.h"
#include "FakePort.h"
#include "FlowAnswer.h"
#include "HexBytes.h"
#include "ImitFixture.h"
#include "Imitunit.h"
#include "Now_opros.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <cstring>

namespace {

struct Rig {
    StopControl stopControl;
    StoppingClock clock;
    FakePort port;
    Link link;
    ImitSettings imit;
    ImitTestWindow window;

    explicit Rig(quint32 startMs = 100000) : clock(startMs, &stopControl), port(clock), window(stopControl) {
        link.setPort(&port);
        link.setClock(&clock);
        link.setPerfFrequency(1000000);
        link.setPortNumber(1);
        OpenPort(link);
        UpdateStatusLabels(window, link);
        port.clearCalls();
    }
    void stopAt(quint32 ms) {
        clock.armed = true;
        clock.stopAtMs = ms;
    }
    QString text(const char* name) const { return window.text(QLatin1String(name)); }
    // The answers written, each behind its FF byte.
    std::vector<QByteArray> answers() const {
        std::vector<QByteArray> out;
        for (const auto& c : port.calls)
            if (c.kind == FakePort::Kind::Write && c.data.startsWith('\xFF'))
                out.push_back(c.data.mid(1));
        return out;
    }
};

} // namespace

TEST(ImitLoop, AnswersAndShowsOneSlotAcrossTheTickWrap) {
    // The imitation starts 5 s before the 32-bit tick wraps and the request comes 10 s later.
    Rig rig(0xFFFFFFFFu - 4999);
    rig.imit.ImitSpeedIndex = 7; // 9600 bit/s
    const quint32 start = rig.clock.tickMs();
    rig.stopControl.StopRequested = 1; // an Escape before the start does not stop the imitation
    rig.port.arrive(start + 10000, Hex("AA010706014E45"));
    rig.port.actualBaudValue = 9400; // the adapter's clock cannot divide down to 9600 within 2 %
    struct During {
        QString speed, close;
        bool panelShown = false;
        bool hidden2 = false, hidden3 = false;
        bool wakes = false;
    } during;
    rig.port.onWrite = [&](const QByteArray& bytes) {
        if (bytes.size() != proto::kFlowAnswerSize + 1)
            return;
        during = {rig.text("TypeConnectLabel"),
                  rig.window.closeText(),
                  rig.window.panelShown(),
                  rig.window.boxHidden("FlGroupBox2"),
                  rig.window.boxHidden("FlGroupBox3"),
                  bool(rig.stopControl.onStopRequested)};
        rig.stopControl.requestStop(); // the Stop button while the answer goes out
    };
    RunImitation(rig.window, rig.link, rig.imit, rig.stopControl);

    EXPECT_EQ(during.speed, QStringLiteral(" скор.9600"));
    EXPECT_EQ(during.close, QStringLiteral("&Stop"));
    EXPECT_TRUE(during.panelShown);
    EXPECT_TRUE(during.hidden2);
    EXPECT_TRUE(during.hidden3);
    EXPECT_TRUE(during.wakes); // a stop wakes the running loop at once

    const auto answers = rig.answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], Hex("550117860145610000412000000000000041200000D7CD"));
    EXPECT_EQ(rig.text("Answers1Label"), QStringLiteral("Ответов : 1"));
    EXPECT_EQ(rig.text("CurrentTotal1Label"), QStringLiteral("Объем газа за сегодня : 10,000"));
    EXPECT_EQ(rig.text("Rashod1Label"), QStringLiteral("Расход = 1,000 м3/с"));
    EXPECT_EQ(rig.text("SpeedNoticeLabel"),
              QStringLiteral("Адаптер не дает 9600 бит/с: порт работает на 9400 бит/с"));
    EXPECT_EQ(rig.text("PortStateLabel"), QString());
    // Inactive slots: labels cleared at the set-up and left empty.
    EXPECT_EQ(rig.text("Answers2Label"), QString());
    EXPECT_EQ(rig.text("Rashod3Label"), QString());
    EXPECT_EQ(LastImitRun().ImitStartTick, start);

    // Restore: compact window, close kind, 1200 bit/s, status labels.
    EXPECT_FALSE(rig.window.panelShown());
    EXPECT_FALSE(rig.window.stopMode);
    EXPECT_EQ(rig.window.closeText(), QStringLiteral("&Close"));
    EXPECT_EQ(rig.link.LineSpeed(), 1200);
    EXPECT_EQ(rig.port.openedBaud(), 1200);
    EXPECT_EQ(rig.text("TypeConnectLabel"), QStringLiteral(" скор.1200"));
    EXPECT_FALSE(bool(rig.stopControl.onStopRequested)); // the loop's wake-up hook is gone again
    std::vector<qint32> opens;
    for (const auto& c : rig.port.calls)
        if (c.kind == FakePort::Kind::Open)
            opens.push_back(c.baud);
    EXPECT_EQ(opens, (std::vector<qint32>{9600, 1200}));
}

TEST(ImitLoop, TwoSlotsAndTheRequestsThatGoUnanswered) {
    Rig rig;
    ImitSettings& imit = rig.imit;
    imit.ImitFlIndex = 1;
    imit.ImitAddr = {1, 2, 3};
    imit.ImitNitka = {1, 2, 3};
    imit.ImitRashod = {3600, 100, 50};
    imit.ImitMsbFirst = {true, false, true};
    const quint32 t0 = rig.clock.tickMs();
    rig.port.arrive(t0 + 1000, Hex("AA010706014E45")); // slot 1
    rig.port.arrive(t0 + 2000, Hex("AA030706030000")); // slot 3 is not active
    rig.port.arrive(t0 + 3000, Hex("AA010706020000")); // address of slot 1, run of slot 2
    rig.port.arrive(t0 + 4000, Hex("AA0207"));         // slot 2, then 300 ms of silence
    rig.port.arrive(t0 + 4300, Hex("06020000"));
    rig.port.arrive(t0 + 5000, Hex("13AA0207")); // slot 2 with noise, 200 ms gap
    rig.port.arrive(t0 + 5200, Hex("06020000"));
    rig.port.arrive(t0 + 36000, Hex("AA010706014E45")); // slot 1 again
    // A two-wire line: each answer comes back, split and late, with the next request right behind it.
    rig.port.onWrite = [&](const QByteArray& bytes) {
        const quint32 now = rig.clock.tickMs();
        const bool first = rig.answers().size() == 1;
        rig.port.arrive(now + 8, bytes.left(5));
        rig.port.arrive(now + 40, bytes.mid(5) + (first ? Hex("AA020706020000") : QByteArray()));
    };
    rig.stopAt(t0 + 40000);
    RunImitation(rig.window, rig.link, imit, rig.stopControl);

    auto answers = rig.answers();
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[1].mid(1, 1), Hex("02")); // the request right behind the echo was answered
    answers.erase(answers.begin() + 1);
    // Slot 2 at 5.2 s: 100 m3/h (42C80000) and 100 x 5.2 / 3600 m3, least significant byte first.
    const float v2 = proto::ImitVolume(100.0f, 5200);
    quint32 bits;
    std::memcpy(&bits, &v2, 4);
    EXPECT_EQ(answers[1].mid(5, 4), Hex("0000C842"));
    EXPECT_EQ(quint8(answers[1][9]), quint8(bits)); // low byte first
    EXPECT_EQ(answers[1].mid(13, 4), Hex("00000000"));
    EXPECT_EQ(answers[1].mid(9, 4), answers[1].mid(17, 4));
    EXPECT_EQ(answers[2].mid(9, 4), Hex("42100000")); // 36 s at 3600 m3/h: 36 m3

    EXPECT_EQ(rig.text("Answers1Label"), QStringLiteral("Ответов : 2"));
    EXPECT_EQ(rig.text("CurrentTotal1Label"), QStringLiteral("Объем газа за сегодня : 36,000"));
    EXPECT_EQ(rig.text("Answers2Label"), QStringLiteral("Ответов : 2"));
    EXPECT_EQ(rig.text("CurrentTotal2Label"), QStringLiteral("Объем газа за сегодня : 0,144"));
    EXPECT_EQ(rig.text("Rashod2Label"), QStringLiteral("Расход = 0,028 м3/с"));
    EXPECT_EQ(rig.text("Answers3Label"), QString());
    EXPECT_FALSE(rig.window.boxHidden("FlGroupBox2"));
    EXPECT_TRUE(rig.window.boxHidden("FlGroupBox3"));
    EXPECT_EQ(LastImitRun().ImitAnswers, (std::array<qint32, 3>{2, 2, 0}));

    // Between the answers nothing is purged: the only discards start each send and each open.
    EXPECT_EQ(rig.port.count(FakePort::Kind::Purge), 4 + 2);
}

TEST(ImitLoop, EachImitationStartsItsCountsAndVolumeFromZeroAndShownTextsStayAsShown) {
    Rig rig;
    std::vector<QString> shown; // copies, as a window keeps them while the next answers are made
    rig.window.onShowRun = [&](int slot) {
        if (slot == 0 && !rig.text("Answers1Label").isEmpty())
            shown.insert(shown.end(), {rig.text("Answers1Label"), rig.text("CurrentTotal1Label")});
    };
    for (int round = 0; round < 2; ++round) {
        const quint32 t0 = rig.clock.tickMs();
        std::vector<QString> expected;
        for (int i = 1; i <= 3; ++i) {
            rig.port.arrive(t0 + 10000 * quint32(i), Hex("AA010706014E45"));
            expected.insert(expected.end(), {QStringLiteral("Ответов : %1").arg(i),
                                             QStringLiteral("Объем газа за сегодня : %1,000").arg(10 * i)});
        }
        rig.stopAt(t0 + 32000);
        shown.clear();
        RunImitation(rig.window, rig.link, rig.imit, rig.stopControl);
        EXPECT_EQ(shown, expected) << round;
        rig.clock.advanceMs(60000);
    }
}

TEST(ImitLoop, WithoutAPortTheLoopWaitsForStop) {
    Rig rig;
    rig.link.setPortNumber(0);
    ClosePort(rig.link);
    rig.port.clearCalls();
    // The wait dispatches the application's events: a timer plays the operator's Stop click.
    QTimer::singleShot(50, &rig.window.widget, [&] { rig.window.clickClose(); });
    RunImitation(rig.window, rig.link, rig.imit, rig.stopControl);
    EXPECT_GT(rig.port.count(FakePort::Kind::Read), 0);
    EXPECT_EQ(rig.port.count(FakePort::Kind::Read), rig.port.count(FakePort::Kind::ClearError));
    EXPECT_EQ(rig.port.count(FakePort::Kind::Write), 0);
    EXPECT_EQ(rig.port.count(FakePort::Kind::Open), 0);
    EXPECT_EQ(rig.link.LineSpeed(), 1200);
    EXPECT_FALSE(rig.window.stopMode);
}

TEST(ImitLoop, CancelledSettingsLeaveEverythingAsItWas) {
    Rig rig;
    const QString label = rig.text("Answers1Label");
    OnNextModal([&](QWidget* dialog) { dialog->findChild<QPushButton*>("BitBtn2")->click(); });
    RunImitationJob(rig.window, rig.link, rig.imit, rig.stopControl);
    EXPECT_TRUE(rig.port.calls.empty()); // the port was not touched
    EXPECT_EQ(rig.text("Answers1Label"), label);
    EXPECT_FALSE(rig.window.panelShown());
}
