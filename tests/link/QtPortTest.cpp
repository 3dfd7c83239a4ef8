// The link over a real serial device driver: a pseudo-terminal pair stands in for the line, the test
// plays the controller on its master side. Waits are generous; nothing here asserts how long a step took.
#include "QtPort.h"
#include "Now_opros.h"
#include "Pty.h"
#include "RecordingLinkUi.h"
#include "SimProcess.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out += char(b);
    return out;
}

// The line's 0xFF and an 8-byte frame.
const QByteArray kAnswer = bytes({0xFF, 0x33, 0xFF, 0x08, 0x81, 0x00, 0x12, 0x34, 0x56});

// Writes `data` to the master side every `periodMs` until stopped, so that a reader that purges first
// still sees a whole copy however the threads are scheduled.
class RepeatingPeer {
public:
    RepeatingPeer(int fd, QByteArray data, int periodMs)
        : thread_([this, fd, data, periodMs] {
              while (!stop_) {
                  if (::write(fd, data.constData(), size_t(data.size())) < 0)
                      return;
                  std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
              }
          }) {}
    ~RepeatingPeer() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double threadCpuMs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct PtyLinkTest : ::testing::Test {
    PtyPair pty;
    QTemporaryDir dir;
    QtPort port;
    Link link;
    RecordingLinkUi ui;
    QStringList& shown = ui.openErrors;

    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available";
        ASSERT_TRUE(dir.isValid());
        const QString settings = dir.filePath(QStringLiteral("marvil.ini"));
        ASSERT_TRUE(WriteCom1Settings(settings, pty.slavePath()));
        ASSERT_TRUE(OpenCom1(link, port, ui, settings));
    }

    QByteArray request(int n) {
        for (int i = 0; i < n; ++i)
            link.RequestBuffer()[std::size_t(i)] = quint8(0xCC + i);
        return QByteArray(reinterpret_cast<const char*>(link.RequestBuffer().data()), n);
    }
};

TEST_F(PtyLinkTest, SentFrameArrivesBehindThreeFFBytes) {
    for (int rts : {1, 0}) {
        link.setRtsControl(rts); // the pty refuses RTS; the hold is still run and the bytes still go out
        const QByteArray frame = request(10);
        SendFrame(link, 10);
        EXPECT_EQ(pty.read(13, 5000), bytes({0xFF, 0xFF, 0xFF}) + frame) << "rts " << rts;
        EXPECT_TRUE(pty.readUntilQuiet(100, 1000).isEmpty());
    }
}

TEST_F(PtyLinkTest, AnswerFromThePeerIsReceivedDispatchingEventsOnlyWhenPumping) {
    for (bool pump : {false, true}) {
        bool dispatched = false;
        QObject scope; // an event still queued at the end dies with it
        QTimer::singleShot(0, &scope, [&] { dispatched = true; });
        RepeatingPeer peer(pty.masterFd(), kAnswer, 200);
        EXPECT_EQ(ReceiveFrame(link, 5000, 5000, 0x33, pump), 8);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(link.AnswerBuffer().data()), 8), kAnswer.mid(1));
        EXPECT_EQ(dispatched, pump);
    }
}

TEST_F(PtyLinkTest, RequestAndAnswerRoundTrip) {
    link.setRtsControl(0);
    const QByteArray frame = request(10);
    std::thread peer([&] {
        if (pty.read(13, 5000) == bytes({0xFF, 0xFF, 0xFF}) + frame) {
            // Answer repeatedly: the receive starts with a purge that may come after the first copy.
            for (int i = 0; i < 20; ++i) {
                pty.write(kAnswer);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    });
    SendFrame(link, 10);
    const int got = ReceiveFrame(link, 5000, 5000, 0x33, false);
    peer.join();
    EXPECT_EQ(got, 8);
}

TEST_F(PtyLinkTest, WaitingForAnAnswerThatDoesNotComeUsesNoProcessor) {
    for (bool pump : {false, true}) {
        const double before = threadCpuMs();
        EXPECT_EQ(ReceiveFrame(link, 1000, 1000, 0x33, pump), 0);
        // A polling loop would use the whole second; a blocked wait a few milliseconds.
        EXPECT_LT(threadCpuMs() - before, 300.0) << "pump " << pump;
    }
}

TEST_F(PtyLinkTest, PeerClosingMidWaitIsSurvivedAndTheNextOpenReportsTheLoss) {
    for (bool pump : {true, false}) {
        SCOPED_TRACE(pump);
        // The port is reached through a link that goes away with the device, as a udev name does when an
        // adapter is pulled. (The freed /dev/pts/N itself may be taken at once by another process's pty.)
        PtyPair peer;
        ASSERT_TRUE(peer.ok());
        const QString device = dir.filePath(QStringLiteral("ttyRMZ"));
        QFile::remove(device);
        ASSERT_TRUE(QFile::link(peer.slavePath(), device));
        QFile f(link.settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[ports]\nCOM1=" + device.toLocal8Bit() + "\n");
        f.close();
        link.setPortNumber(1);
        shown.clear();
        OpenPort(link);
        ASSERT_TRUE(link.portOpen());

        std::thread closer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            peer.closeMaster();
        });
        const double before = threadCpuMs();
        EXPECT_EQ(ReceiveFrame(link, 1500, 1500, 0x33, pump), 0);
        closer.join();
        EXPECT_LT(threadCpuMs() - before, 750.0); // no spinning on the hung-up descriptor
        EXPECT_TRUE(port.lost());

        // The tool goes on: a send is silently lost, a receive times out.
        SendFrame(link, 10);
        EXPECT_EQ(ReceiveFrame(link, 100, 100, 0x33, pump), 0);

        // The device is gone: reopening reports it and forgets the port.
        QFile::remove(device);
        OpenPort(link);
        EXPECT_FALSE(link.portOpen());
        EXPECT_EQ(link.PortNumber(), 0);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].contains(QStringLiteral("No such file"))) << shown[0].toStdString();
    }
}

TEST_F(PtyLinkTest, DeviceLostWhileTheWindowsAreIdleDoesNotKeepTheEventLoopBusy) {
    pty.closeMaster();
    const double before = threadCpuMs();
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_LT(threadCpuMs() - before, 300.0);
    EXPECT_TRUE(port.lost());
    EXPECT_TRUE(link.portOpen()); // like a handle whose device went away: open until closed
    ClosePort(link);
    EXPECT_FALSE(port.lost());
}

TEST_F(PtyLinkTest, OpensAtTheControllerAndImitationSpeeds) {
    for (int baud : {600, 1200, 3200, 6400, 7680, 9600, 12800, 38400}) {
        link.setLineSpeed(baud);
        OpenPort(link);
        EXPECT_TRUE(link.portOpen()) << baud << ": "
                                     << (shown.empty() ? std::string() : shown.back().toStdString());
        // A pseudo-terminal keeps any speed as set; the driver's own value is what is read back.
        EXPECT_EQ(port.actualBaud(), baud);
    }
    EXPECT_TRUE(shown.empty());
}

TEST(QtPort, MissingDeviceGivesTheSystemText) {
    QtPort port;
    OpenError e;
    EXPECT_FALSE(port.open(QStringLiteral("/dev/rmz47-no-such-device"), 1200, &e));
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(e.systemText.contains(QStringLiteral("No such file"))) << e.systemText.toStdString();
    EXPECT_FALSE(e.accessDenied);
    quint8 buf[4];
    EXPECT_EQ(port.read(buf, 4), -1);
    EXPECT_EQ(port.write(buf, 4), -1);
}

TEST(QtPort, SecondOpenOfAPortInUseFailsWithoutTheAccessAdvice) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QtPort first, second;
    OpenError e;
    ASSERT_TRUE(first.open(pty.slavePath(), 1200, &e)) << e.systemText.toStdString();
    EXPECT_FALSE(second.open(pty.slavePath(), 1200, &e));
    EXPECT_EQ(e.systemText, QString::fromLocal8Bit(strerror(EBUSY))) << e.systemText.toStdString();
    EXPECT_FALSE(e.accessDenied); // busy is not cured by joining a group
    first.close();
    EXPECT_TRUE(second.open(pty.slavePath(), 1200, &e)) << e.systemText.toStdString();
}

// A port open on a pseudo-terminal, nothing else around it.
struct OpenQtPort : ::testing::Test {
    PtyPair pty;
    QtPort port;

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        OpenError e;
        ASSERT_TRUE(port.open(pty.slavePath(), 1200, &e)) << e.systemText.toStdString();
    }
};

TEST_F(OpenQtPort, WakeEndsAPumpedWait) {
    QTimer::singleShot(50, [&] { port.wake(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.waitForInput(60000, true));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(50));
    // Input already queued ends a wait at once.
    pty.write("x");
    EXPECT_TRUE(port.waitForInput(60000, true));
    EXPECT_TRUE(port.waitForInput(60000, false));
    quint8 c = 0;
    EXPECT_EQ(port.read(&c, 1), 1);
    EXPECT_EQ(c, 'x');
}

TEST_F(OpenQtPort, InputEndsAWaitAndTheWaitItInterrupted) {
    // The kept wait serves one wait after another; an event handler's own wait nests inside one.
    for (int round = 0; round < 3; ++round) {
        bool inner = false;
        QTimer::singleShot(20, [&] {
            QTimer::singleShot(20, [&] { pty.write("y"); });
            inner = port.waitForInput(60000, true);
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(port.waitForInput(10000, true)) << "round " << round;
        EXPECT_TRUE(inner) << "round " << round;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        quint8 c = 0;
        EXPECT_EQ(port.read(&c, 1), 1);
    }
}

TEST_F(OpenQtPort, PurgeDropsInputThatWaitedInTheDriver) {
    // A read found the queue empty; bytes that came well after it are purged all the same.
    quint8 buf[16];
    EXPECT_EQ(port.read(buf, sizeof buf), 0);
    pty.write("abc");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port.purge();
    EXPECT_FALSE(port.waitForInput(100, false));
}

TEST_F(OpenQtPort, InputAndAWindowEventTogetherEndTheWaitAndTheEventStillRuns) {
    // The input is taken first; the event that became due at the same moment is served afterwards.
    for (int round = 0; round < 3; ++round) {
        QObject receiver;
        std::atomic<bool> ran{false};
        std::thread peer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            QMetaObject::invokeMethod(
                &receiver, [&] { ran = true; }, Qt::QueuedConnection);
            pty.write("z");
        });
        EXPECT_TRUE(port.waitForInput(10000, true)) << "round " << round;
        peer.join();
        quint8 c = 0;
        for (int i = 0; i < 100 && port.read(&c, 1) == 0; ++i)
            port.waitForInput(100, false);
        EXPECT_EQ(c, 'z') << "round " << round;
        for (int i = 0; i < 100 && !ran; ++i)
            port.waitForInput(10, true);
        EXPECT_TRUE(ran) << "round " << round;
    }
}

} // namespace
