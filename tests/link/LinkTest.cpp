// The serial link on the fake port and the manual clock: the exact bytes, purges and RTS hold of a send,
// the frame hunting and time-outs of a receive, and the open/close rules.
#include "FakePort.h"
#include "Now_opros.h"
#include "Pty.h"
#include "RecordingLinkUi.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Kind = FakePort::Kind;

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out += char(b);
    return out;
}

// A controller answer of n bytes (33 FF n ...) as it comes on the line, behind one 0xFF byte.
QByteArray answerFrame(int n) {
    QByteArray f = bytes({0xFF, 0x33, 0xFF, n});
    for (int i = 3; i < n; ++i)
        f += char(0x40 + i);
    return f;
}

struct LinkFixture : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock{1000};
    FakePort port{clock};
    Link link;

    LinkFixture() {
        link.setPort(&port);
        link.setClock(&clock);
        link.setPerfFrequency(clock.perfFrequency());
        link.setPortNumber(1);
        link.setSettingsPath(dir.filePath(QStringLiteral("marvil.ini")));
        OpenError e;
        port.open(QStringLiteral("/dev/ttyS0"), 1200, &e);
        port.clearCalls();
    }

    int receive(bool pump = false) { return ReceiveFrame(link, 500, 500, 0x33, pump); }
    QByteArray answer(int n) const {
        return QByteArray(reinterpret_cast<const char*>(link.AnswerBuffer().data()), n);
    }
    std::vector<Kind> kinds() const {
        std::vector<Kind> out;
        for (const auto& c : port.calls)
            if (c.kind != Kind::Read && c.kind != Kind::Wait)
                out.push_back(c.kind);
        return out;
    }
};

// ---- ReceiveFrame -------------------------------------------------------------------------------------

struct ReceiveFrameTest : LinkFixture {};

TEST_F(ReceiveFrameTest, CompleteFrameReturnsAsSoonAsItsLastByteIsIn) {
    const QByteArray f = answerFrame(10);
    port.arrive(1100, f.left(4));
    port.arrive(1200, f.mid(4, 6));
    port.arrive(1650, f.mid(10)); // 450 ms after the previous byte: within the next time-out
    EXPECT_EQ(receive(), 10);
    EXPECT_EQ(clock.tickMs(), 1650u);
    EXPECT_EQ(answer(10), f.mid(1));
}

TEST_F(ReceiveFrameTest, HuntingRules) {
    struct Case {
        const char* name;
        QByteArray in;
        int result;
        QByteArray stored;
    };
    const QByteArray tail = bytes({0x06, 0xA1, 0xA2, 0xA3});
    const Case cases[] = {
        {"plain", bytes({0xFF, 0x33, 0xFF}) + tail, 6, bytes({0x33, 0xFF}) + tail},
        {"noise before", bytes({0x00, 0x33, 0x12, 0xFF, 0xFF, 0x33, 0xFF}) + tail, 6,
         bytes({0x33, 0xFF}) + tail},
        // FF 33 then not FF: hunting restarts at the next byte, the breaking byte itself is not examined.
        {"broken after start", bytes({0xFF, 0x33, 0x33, 0xFF, 0x33, 0xFF}) + tail, 6,
         bytes({0x33, 0xFF}) + tail},
        {"break byte is FF-less", bytes({0xFF, 0x33, 0x00, 0x33, 0xFF}) + tail, 0, {}},
        {"break byte FF not used", bytes({0xFF, 0x33, 0xFE, 0x33, 0xFF, 0x33, 0xFF}) + tail, 6,
         bytes({0x33, 0xFF}) + tail},
        {"FF 33 33 FF", bytes({0xFF, 0x33, 0x33, 0xFF}) + tail, 0, {}},
        {"extra bytes behind", bytes({0xFF, 0x33, 0xFF}) + tail + bytes({0xEE, 0xEE, 0xEE}), 6,
         bytes({0x33, 0xFF}) + tail},
    };
    for (const auto& c : cases) {
        ManualClock clk(5000);
        FakePort p(clk);
        Link l;
        l.setPort(&p);
        l.setClock(&clk);
        OpenError e;
        p.open(QStringLiteral("x"), 1200, &e);
        p.arrive(5010, c.in);
        EXPECT_EQ(ReceiveFrame(l, 500, 500, 0x33, false), c.result) << c.name;
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(l.AnswerBuffer().data()), c.stored.size()),
                  c.stored)
            << c.name;
    }
}

// At 1200 baud a poll usually finds one byte: a read that ends right after the start byte must not skip
// the check of the 0xFF that follows it.
TEST_F(ReceiveFrameTest, SameRulesWhenBytesComeOneByOne) {
    const QByteArray in = bytes({0xFF, 0x33, 0x33, 0xFF, 0x33, 0xFF, 0x06, 1, 2, 3});
    for (int i = 0; i < in.size(); ++i)
        port.arrive(1010 + quint32(i), in.mid(i, 1));
    EXPECT_EQ(receive(), 6);
    EXPECT_EQ(answer(6), bytes({0x33, 0xFF, 0x06, 1, 2, 3}));
}

TEST_F(ReceiveFrameTest, PartialFrameEndsAfterNextTimeOutOfSilence) {
    port.arrive(1300, answerFrame(10).left(7)); // the line FF and six frame bytes
    EXPECT_EQ(ReceiveFrame(link, 500, 200, 0x33, false), 6);
    EXPECT_EQ(clock.tickMs(), 1300u + 201u);
}

// The first time-out runs from the call or from the last accepted start byte; noise does not extend it.
TEST_F(ReceiveFrameTest, FirstTimeOutClock) {
    port.arrive(1100, bytes({0x33, 0xFF, 0x06, 1, 2, 3})); // no 0xFF before the start byte
    for (quint32 t = 1150; t < 1600; t += 50)
        port.arrive(t, bytes({0x55}));
    EXPECT_EQ(receive(), 0);
    EXPECT_EQ(clock.tickMs(), 1000u + 501u);

    port.arrive(clock.tickMs() + 400, bytes({0xFF, 0x33}));
    const quint32 accepted = clock.tickMs() + 400;
    EXPECT_EQ(ReceiveFrame(link, 500, 100, 0x33, false), 1);
    EXPECT_EQ(clock.tickMs(), accepted + 101u); // count 1: the next time-out from the start byte
}

TEST_F(ReceiveFrameTest, OnlyTheRequestsOwnEchoIsDropped) {
    // The request's read-back, however split and late, before the answer or not at all (four-wire line);
    // an answer that came before the call is kept. Nothing is purged.
    const QByteArray answer = answerFrame(10);
    struct Row {
        int echoParts; // 0: no echo; 1: whole; 2: in two reads, the second late; 3: cut short
        quint32 answerAt;
    };
    for (const Row row : {Row{0, 1000}, Row{0, 1040}, Row{1, 1040}, Row{2, 1300}, Row{3, 1300}}) {
        link.RequestBuffer() = {0xCC, 0xFF, 0x0A, 0x01, 0x00, 0x00, 0x00, 0xFF, 0x3E, 0x2B};
        link.setRtsControl(0);
        SendFrame(link, 10);
        const QByteArray echo = port.written();
        clock.setMs(1000);
        if (row.echoParts == 1)
            port.arrive(1010, echo);
        if (row.echoParts == 2) {
            port.arrive(1010, echo.left(4));
            port.arrive(1250, echo.mid(4));
        }
        if (row.echoParts == 3)
            port.arrive(1010, echo.left(7) + char(0x99)); // a byte garbled: the rest is not echo either
        port.arrive(row.answerAt, answer);
        port.clearCalls();
        EXPECT_EQ(receive(), 10) << row.echoParts;
        EXPECT_EQ(this->answer(10), answer.mid(1)) << row.echoParts;
        EXPECT_EQ(port.count(Kind::Purge), 0);
        clock.advanceMs(1000);
    }
}

TEST_F(ReceiveFrameTest, AnswerBufferNeverTakesMoreThan300Bytes) {
    // A length byte above what arrives, and a flood in one read: stored up to the cap, nothing beyond.
    QByteArray flood = bytes({0xFF, 0x33, 0xFF});
    port.arrive(1010, flood);
    port.arrive(1020, QByteArray(1000, char(0xFE)));
    EXPECT_EQ(receive(), 0xFE);
    EXPECT_EQ(quint8(link.AnswerBuffer()[299]), 0xFE);
}

TEST_F(ReceiveFrameTest, TimeOutsAreRightAcrossTheTickWrap) {
    clock.setMs(0xFFFFFF00u);
    EXPECT_EQ(receive(), 0);
    EXPECT_EQ(clock.tickMs(), 0xFFFFFF00u + 501u); // 245 after the wrap, not at once

    clock.setMs(0xFFFFFFF0u);
    const QByteArray f = answerFrame(10);
    port.arrive(0xFFFFFFF0u + 10, f.left(5));
    port.arrive(0xFFFFFFF0u + 400, f.mid(5));
    EXPECT_EQ(receive(), 10);
}

TEST_F(ReceiveFrameTest, FailingReadsAreClearedAndTheLoopGoesOnToItsTimeOut) {
    port.failReads = true;
    port.arrive(1010, answerFrame(10));
    EXPECT_EQ(receive(), 0);
    EXPECT_EQ(clock.tickMs(), 1501u);
    EXPECT_GE(port.count(Kind::ClearError), 1);

    port.failReads = false;
    port.close(); // a closed port reads nothing either: the time-out still ends the call
    EXPECT_EQ(receive(), 0);
    EXPECT_EQ(clock.tickMs(), 2002u);
}

TEST_F(ReceiveFrameTest, WaitsInsteadOfPollingAndPassesThePumpFlag) {
    port.arrive(1300, answerFrame(10));
    EXPECT_EQ(receive(), 10);
    int reads = port.count(Kind::Read), waits = port.count(Kind::Wait);
    EXPECT_LE(reads, 3);
    EXPECT_EQ(waits, 1);
    // Nothing arriving: one wait to the deadline, then the result.
    port.clearCalls();
    EXPECT_EQ(receive(), 0);
    EXPECT_EQ(port.count(Kind::Wait), 1);
}

TEST_F(ReceiveFrameTest, PendingEventsAreDispatchedOnlyWhenPumping) {
    bool dispatched = false;
    QObject scope; // an event still queued when the test ends dies with it
    QTimer::singleShot(0, &scope, [&] { dispatched = true; });
    port.arrive(1100, answerFrame(10));
    EXPECT_EQ(receive(false), 10);
    EXPECT_FALSE(dispatched);
    port.arrive(clock.tickMs() + 100, answerFrame(10));
    EXPECT_EQ(receive(true), 10);
    EXPECT_TRUE(dispatched);
}

// ---- SendFrame ----------------------------------------------------------------------------------------

struct SendFrameTest : LinkFixture {
    void fillRequest(int n) {
        for (int i = 0; i < n; ++i)
            link.RequestBuffer()[std::size_t(i)] = quint8(0xC0 + i);
    }
};

TEST(RtsHold, IsFrameAndPreambleInTenBitCharactersPlusOneBitAt1200Baud) {
    EXPECT_EQ(RtsHoldTicks(10, 1000000000), 109166666u); // 131 bit times: 109.17 ms
    EXPECT_EQ(RtsHoldTicks(10, 1000000), 109166u);
    EXPECT_EQ(RtsHoldTicks(1, 1200), 41u);
    // A fast counter does not wrap the count at 32 bits.
    EXPECT_EQ(RtsHoldTicks(255, 10000000000), 21508333333u);
}

TEST_F(SendFrameTest, WritesPreambleAndFrameAfterAPurgeWithRtsHeldPastTheDrain) {
    fillRequest(10);
    clock.perfStep = 1000;
    SendFrame(link, 10);
    EXPECT_EQ(port.written(), bytes({0xFF, 0xFF, 0xFF}) +
                                  QByteArray(reinterpret_cast<const char*>(link.RequestBuffer().data()), 10));
    const std::vector<Kind> expected = {Kind::Purge, Kind::SetRts, Kind::Write, Kind::Drain, Kind::SetRts};
    EXPECT_EQ(kinds(), expected);
    const auto& up = port.calls[1];
    const auto& down = port.calls[4];
    EXPECT_TRUE(up.on);
    EXPECT_FALSE(down.on);
    EXPECT_FALSE(port.rts());
    // Held for more than 131 bit times at 1200 baud, and no more than a few counter reads beyond.
    const qint64 hold = down.perf - up.perf;
    const qint64 wanted = qint64(RtsHoldTicks(10, clock.perfFrequency()));
    EXPECT_GT(hold, wanted);
    EXPECT_LE(hold, wanted + 3 * clock.perfStep);
    // The bytes were handed over while RTS was up, and most of the hold was slept.
    EXPECT_LE(port.calls[2].perf, up.perf + clock.perfStep);
    EXPECT_EQ(clock.sleeps, 1);
}

TEST_F(SendFrameTest, HoldUsesTheCounterFrequencyWhateverTheLineSpeed) {
    link.setLineSpeed(9600);
    link.setPerfFrequency(0); // not read yet: the clock's own frequency stands in
    clock.perfStep = 100;
    SendFrame(link, 255);
    const qint64 hold = port.calls[4].perf - port.calls[1].perf;
    EXPECT_GT(hold, qint64(RtsHoldTicks(255, 1000000)));
    EXPECT_LE(hold, qint64(RtsHoldTicks(255, 1000000)) + 300);
}

TEST_F(SendFrameTest, WithoutRtsSwitchingNoModemLineAndNoBusyWaitButStillDrained) {
    link.setRtsControl(0);
    fillRequest(5);
    const qint64 perfBefore = clock.perfNow();
    SendFrame(link, 5);
    const std::vector<Kind> expected = {Kind::Purge, Kind::Write, Kind::Drain};
    EXPECT_EQ(kinds(), expected);
    EXPECT_EQ(clock.perfNow(), perfBefore);
    EXPECT_EQ(port.written().size(), 8);
}

TEST_F(SendFrameTest, RefusedModemLinesAreIgnored) {
    port.refuseModemLines = true;
    fillRequest(10);
    SendFrame(link, 10);
    EXPECT_EQ(port.written().size(), 13);
    EXPECT_EQ(port.calls.back().kind, Kind::SetRts);
}

TEST_F(SendFrameTest, TheDriversRs485ModeSwitchesRtsWhereItHasOne) {
    port.hasRs485 = true;
    fillRequest(10);
    const qint64 perfBefore = clock.perfNow();
    SendFrame(link, 10);
    EXPECT_TRUE(port.driverSwitchesRts());
    EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Purge, Kind::Write, Kind::Drain}));
    EXPECT_EQ(clock.perfNow(), perfBefore); // nothing timed here
    link.setRtsControl(0);                  // RTS left alone: the driver must not raise it either
    SendFrame(link, 10);
    EXPECT_FALSE(port.driverSwitchesRts());
}

TEST_F(SendFrameTest, NothingIsSentWithoutAPortOrAFrameLength) {
    SendFrame(link, 0);
    SendFrame(link, 256);
    SendFrame(link, -1);
    EXPECT_TRUE(port.calls.empty());
    port.close();
    port.clearCalls();
    SendFrame(link, 10);
    EXPECT_TRUE(port.calls.empty());
    link.setPort(nullptr);
    SendFrame(link, 10);
    EXPECT_EQ(ReceiveFrame(link, 500, 500, 0x33, false), 0);
}

// ---- OpenPort / ClosePort -----------------------------------------------------------------------------

struct OpenPortTest : LinkFixture {
    RecordingLinkUi ui;
    QStringList& shown = ui.openErrors;
    OpenPortTest() {
        port.close();
        port.clearCalls();
        link.setUi(&ui);
    }
};

TEST_F(OpenPortTest, OpensTheMappedDeviceAtLineSpeedThenRaisesDtrAndPurges) {
    link.setPortNumber(3);
    link.setLineSpeed(6400);
    OpenPort(link);
    ASSERT_TRUE(link.portOpen());
    EXPECT_EQ(port.openedDevice(), PortDeviceName(link, 3));
    EXPECT_EQ(port.openedBaud(), 6400);
    EXPECT_TRUE(port.dtr());
    EXPECT_FALSE(port.rts());
    const std::vector<Kind> expected = {Kind::Open, Kind::SetDtr, Kind::Purge};
    EXPECT_EQ(kinds(), expected);
    EXPECT_TRUE(shown.empty());

    // Opening again closes first.
    port.clearCalls();
    OpenPort(link);
    EXPECT_EQ(port.calls.front().kind, Kind::Close);
    EXPECT_TRUE(link.portOpen());
}

TEST_F(OpenPortTest, PortZeroOnlyCloses) {
    link.setPortNumber(2);
    OpenPort(link);
    port.clearCalls();
    link.setPortNumber(0);
    OpenPort(link);
    const std::vector<Kind> expected = {Kind::Close};
    EXPECT_EQ(kinds(), expected);
    EXPECT_FALSE(link.portOpen());
    EXPECT_TRUE(shown.empty());
}

TEST_F(OpenPortTest, FailureShowsTheSystemTextAndForgetsThePort) {
    port.failOpen = true;
    port.openError = {QStringLiteral("No such file or directory"), false};
    link.setPortNumber(4);
    OpenPort(link);
    EXPECT_FALSE(link.portOpen());
    EXPECT_EQ(link.PortNumber(), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QStringLiteral("No such file or directory"));
    // Saved at once, so a port that failed is not tried again at the next start.
    QFile f(link.settingsPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[rs 232]\nCOM Port=0\nRTS=1\n"));
}

TEST_F(OpenPortTest, AccessDeniedAddsTheDialoutAdvice) {
    port.failOpen = true;
    port.openError = {QStringLiteral("Permission denied"), true};
    OpenPort(link);
    ASSERT_EQ(shown.size(), 1u);
    const QStringList lines = shown[0].split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Permission denied"));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("dialout")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Нет доступа к порту")));
}

// A device another program holds: the same box names that program.
TEST_F(OpenPortTest, BusyDeviceNamesItsHolder) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QProcess holder;
    holder.setStandardInputFile(pty.slavePath());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted());
    port.failOpen = true;
    port.openError = {QStringLiteral("Device or resource busy"), false, true};
    link.setPortNumber(2);
    link.mapPortDevice(2, pty.slavePath());
    OpenPort(link);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QStringLiteral("Порт занят программой sleep (pid %1).\n(Device or resource busy)")
                            .arg(holder.processId()));
    holder.kill();
    holder.waitForFinished();
}

} // namespace
