// The controller protocol on the link: request completion and exchange over the fake port.
#include "Protocol.h"
#include "FakePort.h"
#include "HexBytes.h"
#include "PortRecovery.h"
#include "Pty.h"
#include "RecordingLinkUi.h"
#include "SerialDevices.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// An answer 33 FF N fn ... with its CRC (data bytes zero, byte 7 = N - 10).
QByteArray Answer(int n, quint8 fn = 0x81) {
    QByteArray a(n, '\0');
    a[0] = char(0x33);
    a[1] = char(0xFF);
    a[2] = char(n);
    a[3] = char(fn);
    if (n > 7)
        a[7] = char(n - 10);
    proto::FrameCrc(reinterpret_cast<quint8*>(a.data()), std::size_t(a.size()));
    return a;
}

} // namespace

TEST(LinkNames, AnswerChecksAndBuildersOnTheLinkBuffers) {
    // The frame logic is rmz_proto's (tests/proto); here only that the typed layer's check reaches it.
    Link link;
    const QByteArray ack = Answer(10, 0x82);
    const std::span<const quint8> bytes(reinterpret_cast<const quint8*>(ack.constData()),
                                        std::size_t(ack.size()));
    EXPECT_TRUE(proto::CheckAnswer(bytes, 10, 0).ok());
    EXPECT_FALSE(proto::CheckAnswer(bytes, 10, proto::kFnReadTable).ok());
    EXPECT_TRUE(proto::CheckAnswer(bytes, 10, proto::kFnWriteTable).ok());
    EXPECT_TRUE(proto::IsWriteAck(bytes));

    // A count that is no count, or data that are not there, is refused with the buffer untouched.
    std::vector<quint8> big(300, 1);
    link.RequestBuffer().fill(0x5A);
    EXPECT_FALSE(BuildWriteRequest(link, 4, big.data(), 230));
    EXPECT_FALSE(BuildWriteRequest(link, 4, big.data(), -1));
    EXPECT_FALSE(BuildWriteRequest(link, 4, nullptr, 3));
    EXPECT_EQ(link.RequestBuffer()[0], 0x5A);
    EXPECT_TRUE(BuildWriteRequest(link, 4, nullptr, 0));
    EXPECT_EQ(link.RequestBuffer()[2], 26);
}

class LinkExchange : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.open("fake", 1200, nullptr));
        link.setPort(&port);
        link.setClock(&clock);
        link.setRtsControl(0);
        port.clearCalls();
    }
    // Scripts `bytes` to arrive `afterMs` after the request went out.
    void AnswerWith(const QByteArray& bytes, quint32 afterMs) {
        port.onWrite = [this, bytes, afterMs](const QByteArray& w) {
            if (w.size() > 3) // the frame, not the preamble
                port.arrive(clock.tickMs() + afterMs, bytes);
        };
    }

    ManualClock clock{1000};
    FakePort port{clock};
    Link link;
};

TEST_F(LinkExchange, RequestGetsAddressAndCrcAfterThePreamble) {
    BuildReadRequest(link, 0);
    link.RequestBuffer()[1] = 0x12;
    ASSERT_TRUE(SendRequest(link, nullptr));
    EXPECT_EQ(port.written(), Hex("FFFFFF") + Hex("CCFF0A01000000FF3E2B"));

    // Only a request start byte gets the controller address.
    port.clearCalls();
    BuildReadRequest(link, 0);
    link.RequestBuffer()[0] = 0x55;
    link.RequestBuffer()[1] = 0x12;
    ASSERT_TRUE(SendRequest(link, nullptr));
    EXPECT_EQ(port.written().mid(3, 2), Hex("5512"));
}

TEST_F(LinkExchange, ZeroLengthIsABadRequestAndNothingIsSent) {
    QObject owner;
    RecordingLinkUi ui;
    link.setUi(&ui);
    BuildReadRequest(link, 0);
    link.RequestBuffer()[2] = 0;
    EXPECT_EQ(Transact(link, &owner, false), 0);
    EXPECT_EQ(ui.badRequests, 1);
    EXPECT_EQ(ui.lastOwner, &owner);
    EXPECT_EQ(port.count(FakePort::Kind::Write), 0);
    EXPECT_EQ(port.count(FakePort::Kind::Read), 0) << "no answer is waited for";

    link.setUi(nullptr); // without one the refusal is silent but the same
    EXPECT_FALSE(SendRequest(link, &owner));
}

TEST_F(LinkExchange, TransactReturnsTheAnswerCount) {
    BuildReadRequest(link, 7);
    AnswerWith(Hex("FF") + Answer(15) + Hex("0000"), 120);
    EXPECT_EQ(Transact(link, nullptr, false), 15);
    EXPECT_TRUE(proto::CheckAnswer(link.AnswerBuffer(), 15, proto::kFnReadTable).ok());
}

TEST_F(LinkExchange, FiveHundredMillisecondsForTheFirstByteAndBetweenBytes) {
    const QByteArray a = Hex("FF") + Answer(10);
    struct Row {
        quint32 firstAfter; // ms after the request
        quint32 gap;        // between the first 6 bytes and the rest
        int result;
    };
    const Row rows[] = {{450, 0, 10}, {700, 0, 0}, {100, 450, 10}, {100, 700, 5}};
    for (const Row& row : rows) {
        Link fresh;
        fresh.setPort(&port);
        fresh.setClock(&clock);
        fresh.setRtsControl(0);
        BuildReadRequest(fresh, 0);
        port.onWrite = [&](const QByteArray& w) {
            if (w.size() <= 3)
                return;
            port.arrive(clock.tickMs() + row.firstAfter, a.left(6));
            port.arrive(clock.tickMs() + row.firstAfter + row.gap, a.mid(6));
        };
        EXPECT_EQ(Transact(fresh, nullptr, false), row.result) << row.firstAfter << " " << row.gap;
        // Let whatever is still scripted pass before the next row.
        clock.advanceMs(5000);
        port.purge();
    }
}

TEST_F(LinkExchange, PumpMessagesIsPassedThrough) {
    // With pumping on, an event posted before the exchange is dispatched while the answer is awaited.
    for (bool pump : {false, true}) {
        bool dispatched = false;
        QTimer::singleShot(0, [&] { dispatched = true; });
        BuildReadRequest(link, 0);
        port.onWrite = nullptr; // no answer: the whole first time-out runs
        EXPECT_EQ(Transact(link, nullptr, pump), 0);
        EXPECT_EQ(dispatched, pump);
        QCoreApplication::processEvents();
    }
}

// The device pulled under the configure job: the exchanges fail as on a silent line, the loss is told
// once on the tap, and the first exchange after the replug opens the same device again, quietly. Until
// its node is made anew, the dead one is not opened again.
TEST_F(LinkExchange, PulledDeviceFailsLikeSilenceAndTheNextExchangeTakesItBack) {
    struct PortEvents : LineObserver {
        void lineEvents(const std::vector<LineEvent>& events) override {
            for (const LineEvent& e : events)
                if (e.kind == LineEventKind::PortLost || e.kind == LineEventKind::PortBack)
                    seen.push_back(e);
        }
        std::vector<LineEvent> seen;
    } events;
    link.tap().setObserver(&events, &clock);
    RecordingLinkUi ui;
    link.setUi(&ui);
    QTemporaryDir dev;
    const QString node = dev.filePath(QStringLiteral("ttyUSB7"));
    const auto makeNode = [&] {
        QFile::remove(node);
        QFile f(node);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };
    makeNode();
    link.setPortNumber(2);
    link.mapPortDevice(2, node);
    OpenPort(link);
    port.clearCalls();

    port.lostDevice = true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        BuildReadRequest(link, 0);
        const Reply lost = Exchange(link, nullptr, false);
        EXPECT_EQ(lost.count, 0);
        EXPECT_EQ(lost.fault, LinkFault::PortLost) << "a lost device is no silent controller";
        if (attempt == 0)
            EXPECT_EQ(port.count(FakePort::Kind::Open), 0) << "the old node is the dead device";
        else if (attempt == 1)
            makeNode(); // plugged in again, but busy
        port.failOpen = attempt < 2;
    }
    EXPECT_EQ(port.count(FakePort::Kind::Write), 0);
    ASSERT_EQ(events.seen.size(), 1u);
    EXPECT_EQ(events.seen[0].kind, LineEventKind::PortLost);
    EXPECT_EQ(events.seen[0].bytes, QByteArray("Input/output error"));

    AnswerWith(Hex("FF") + Answer(15), 120);
    const Reply back = ReadTable(link, nullptr, 7);
    EXPECT_EQ(back.count, 15);
    EXPECT_TRUE(back.ok());
    EXPECT_EQ(port.openedDevice(), node);
    EXPECT_EQ(port.openedBaud(), 1200);
    EXPECT_TRUE(port.dtr());
    ASSERT_EQ(events.seen.size(), 2u);
    EXPECT_EQ(events.seen[1].kind, LineEventKind::PortBack);
    EXPECT_TRUE(ui.openErrors.empty());
    EXPECT_EQ(link.PortNumber(), 2);
}

// A device mapped by its short name (pts/N, as one writes ttyUSB0) is the node under /dev/ for the open,
// the link dialog's presence and the recovery alike: a node made anew under that name is taken back.
TEST_F(LinkExchange, ShortDeviceNameIsTheDeviceUnderDevAndComesBack) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(pty.slavePath().startsWith(QStringLiteral("/dev/")));
    const QString shortName = pty.slavePath().mid(5);
    link.setPortNumber(3);
    link.mapPortDevice(3, shortName);
    SystemDeviceSource system;
    const QList<DeviceChoice> choices = DeviceChoices(system, shortName);
    ASSERT_FALSE(choices.isEmpty());
    EXPECT_TRUE(choices[0].present) << choices[0].details.toStdString();
    OpenPort(link);
    EXPECT_EQ(port.openedDevice(), pty.slavePath());
    EXPECT_EQ(CurrentPortDevice(link), pty.slavePath());

    port.lostDevice = true;
    BuildReadRequest(link, 0);
    EXPECT_EQ(Exchange(link, nullptr, false).fault, LinkFault::PortLost);
    // The node's change time moves, as for a node the system made again (past the clock's coarse step).
    QThread::msleep(30);
    const QFile::Permissions mode = QFile::permissions(pty.slavePath());
    ASSERT_TRUE(QFile::setPermissions(pty.slavePath(), mode ^ QFile::ReadOther));
    QFile::setPermissions(pty.slavePath(), mode);
    AnswerWith(Hex("FF") + Answer(15), 120);
    EXPECT_TRUE(ReadTable(link, nullptr, 7).ok());
    EXPECT_EQ(port.openedDevice(), pty.slavePath());
}
