// End to end in the process, offscreen: the imitation on a real serial port object over a pseudo-terminal,
// with the controller's side played by the test itself and by the virtual controller.
#include "EscapeHook.h"
#include "FlowAnswer.h"
#include "HexBytes.h"
#include "ImitFixture.h"
#include "ImitLoop.h"
#include "Imitunit.h"
#include "Now_opros.h"
#include "NumText.h"
#include "Protocol.h"
#include "Pty.h"
#include "QtPort.h"
#include "RecordingLinkUi.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cstring>
#include <termios.h>
#include <thread>

namespace {

float decodeSingle(const QByteArray& a, int at, bool msbFirst) {
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i) {
        const quint32 b = quint8(a[at + i]);
        bits |= msbFirst ? b << (24 - 8 * i) : b << (8 * i);
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// The tool's side: the fixture window with the Escape hook, and the link on a QtPort whose COM1 is the
// given device (through the settings file's "ports" section).
struct PtyRig {
    StopControl stopControl;
    QtPort port;
    Link link;
    ImitSettings imit;
    ImitTestWindow window{stopControl};
    EscapeHook hook{stopControl};
    QTemporaryDir dir;
    RecordingLinkUi linkUi;

    explicit PtyRig(const QString& device) {
        const QString settings = dir.filePath(QStringLiteral("marvil.ini"));
        EXPECT_TRUE(WriteCom1Settings(settings, device, 1, "\r\n"));
        EXPECT_TRUE(OpenCom1(link, port, linkUi, settings));
        UpdateStatusLabels(window, link);
        window.widget.show();
    }
    QString text(const char* name) const { return window.text(QLatin1String(name)); }
};

speed_t ptySpeed(int fd) {
    termios t{};
    tcgetattr(fd, &t);
    return cfgetospeed(&t);
}

} // namespace

TEST(ImitPty, TwoSlotsAt9600AnsweredUntilEscape) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << "no pseudo-terminal";
    PtyRig rig(pty.slavePath());
    ASSERT_TRUE(rig.port.isOpen()) << rig.linkUi.openErrors.join(u'\n').toStdString();
    ImitSettings& imit = rig.imit;
    imit.ImitFlIndex = 1;
    imit.ImitSpeedIndex = 7; // 9600 bit/s
    imit.ImitAddr = {1, 2, 3};
    imit.ImitNitka = {1, 2, 3};
    imit.ImitRashod = {3600, 100, 3600};
    imit.ImitMsbFirst = {true, false, true};

    // An Escape before the start is forgotten by the set-up.
    QTest::keyClick(&rig.window.widget, Qt::Key_Escape);
    ASSERT_EQ(rig.stopControl.StopRequested, 1);

    struct Exchange {
        int slot; // 0, 1, or -1 for a request that must go unanswered
        QByteArray request;
        QByteArray reply; // FF and the answer
    };
    std::vector<Exchange> script;
    for (int i = 0; i < 12; ++i)
        script.push_back({i % 2, i % 2 ? Hex("AA020706020000") : Hex("AA010706014E45"), {}});
    script.insert(script.begin() + 3, Exchange{-1, Hex("AA030706030000"), {}});    // slot 3 is not active
    script.insert(script.begin() + 6, Exchange{0, Hex("5513AA010706014E45"), {}}); // noise ahead

    std::atomic<bool> peerDone{false};
    speed_t speedDuring = 0;
    std::thread peer([&] {
        // Wait until the tool has re-opened its end at the imitation speed.
        for (int i = 0; i < 500 && ptySpeed(pty.masterFd()) != B9600; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        speedDuring = ptySpeed(pty.masterFd());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (Exchange& e : script) {
            // Two pieces: the tool assembles the request across reads.
            pty.write(e.request.left(3));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            pty.write(e.request.mid(3));
            if (e.slot >= 0)
                e.reply = pty.read(1 + proto::kFlowAnswerSize, 5000);
            // Past the answer's RTS hold (25 ms at 9600 bit/s), after which the tool discards its input.
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        peerDone = true;
        QMetaObject::invokeMethod(
            &rig.window.widget, [&] { QTest::keyClick(&rig.window.widget, Qt::Key_Escape); },
            Qt::QueuedConnection);
    });
    // A peer that got stuck must not hang the suite: stop after a generous minute.
    QTimer::singleShot(60000, &rig.window.widget, [&] { rig.stopControl.requestStop(); });
    RunImitation(rig.window, rig.link, imit, rig.stopControl);
    peer.join();
    ASSERT_TRUE(peerDone);
    EXPECT_EQ(speedDuring, speed_t(B9600));

    int answers[2] = {0, 0};
    float lastVolume[2] = {-1, -1};
    for (const Exchange& e : script) {
        if (e.slot < 0)
            continue;
        ASSERT_EQ(e.reply.size(), 1 + proto::kFlowAnswerSize) << "slot " << e.slot;
        EXPECT_EQ(quint8(e.reply[0]), 0xFF);
        QByteArray a = e.reply.mid(1);
        const bool msb = e.slot == 0;
        EXPECT_EQ(a.left(9), e.slot == 0 ? Hex("550117860145610000") : Hex("55021786020000C842"));
        EXPECT_EQ(a.mid(13, 4), Hex("00000000"));
        EXPECT_EQ(a.mid(9, 4), a.mid(17, 4));
        EXPECT_TRUE(proto::FrameCrc(reinterpret_cast<quint8*>(a.data()), std::size_t(a.size())));
        const float v = decodeSingle(a, 9, msb);
        EXPECT_GE(v, lastVolume[e.slot]); // the volume grows with the time since the start
        lastVolume[e.slot] = v;
        ++answers[e.slot];
    }
    EXPECT_EQ(rig.text("Answers1Label"), QStringLiteral("Ответов : %1").arg(answers[0]));
    EXPECT_EQ(rig.text("Answers2Label"), QStringLiteral("Ответов : %1").arg(answers[1]));
    EXPECT_EQ(rig.text("CurrentTotal1Label"),
              QStringLiteral("Объем газа за сегодня : ") + FormatNumber(lastVolume[0], 3));
    EXPECT_EQ(rig.text("CurrentTotal2Label"),
              QStringLiteral("Объем газа за сегодня : ") + FormatNumber(lastVolume[1], 3));
    EXPECT_EQ(rig.text("Rashod1Label"), QStringLiteral("Расход = 1,000 м3/с"));
    EXPECT_EQ(rig.text("Rashod2Label"), QStringLiteral("Расход = 0,028 м3/с"));
    EXPECT_EQ(rig.text("Answers3Label"), QString());

    // Back at the controller's speed, on the same port.
    EXPECT_TRUE(rig.port.isOpen());
    EXPECT_EQ(rig.link.LineSpeed(), 1200);
    EXPECT_EQ(ptySpeed(pty.masterFd()), speed_t(B1200));
    EXPECT_EQ(rig.text("TypeConnectLabel"), QStringLiteral(" скор.1200"));
    EXPECT_EQ(rig.text("PortLabel"), QStringLiteral("Порт COM1"));
    EXPECT_FALSE(rig.window.stopMode);
    EXPECT_FALSE(rig.window.panelShown());
}

TEST(ImitPty, VirtualControllerPollsTwoSlots) {
    QProcess proc;
    QString device;
    ASSERT_TRUE(StartSim(
        proc, QStringLiteral(RMZ47_SIM_PATH),
        {"--poll", "1:1,2:2:lsb", "--baud", "9600", "--period", "250", "--count", "20", "--quiet"}, &device));

    PtyRig rig(device);
    ASSERT_TRUE(rig.port.isOpen()) << rig.linkUi.openErrors.join(u'\n').toStdString();
    rig.imit.ImitFlIndex = 1;
    rig.imit.ImitSpeedIndex = 7;
    rig.imit.ImitAddr = {1, 2, 3};
    rig.imit.ImitNitka = {1, 2, 3};
    rig.imit.ImitMsbFirst = {true, false, true};
    // The controller stops after its 20 requests; then the Stop button ends the imitation. A controller
    // that hangs is stopped after a generous minute.
    bool simFinished = false;
    QObject::connect(&proc, &QProcess::finished, &rig.window.widget, [&] {
        simFinished = true;
        rig.window.clickClose();
    });
    QTimer::singleShot(60000, &rig.window.widget, [&] { rig.stopControl.requestStop(); });
    RunImitation(rig.window, rig.link, rig.imit, rig.stopControl);
    ASSERT_TRUE(simFinished) << "the virtual controller did not finish its polls";
    const QByteArray out = proc.readAllStandardOutput();
    EXPECT_TRUE(out.contains("totals: sent 20 good 20 bad 0 missing 0")) << out.toStdString();
    EXPECT_EQ(rig.text("Answers1Label"), QStringLiteral("Ответов : 10"));
    EXPECT_EQ(rig.text("Answers2Label"), QStringLiteral("Ответов : 10"));
    EXPECT_EQ(rig.link.LineSpeed(), 1200);
}
