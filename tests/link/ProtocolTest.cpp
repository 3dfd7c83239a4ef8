// Controller frames: CRC, request completion and exchange, answer checks, line-speed table.
#include "FakePort.h"
#include "RecordingLinkUi.h"
#include "Protocol.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

QByteArray Frame(const Link& link, int n) {
    return QByteArray(reinterpret_cast<const char*>(link.RequestBuffer.data()), n);
}

// An answer 33 FF N fn ... with its CRC (data bytes zero, byte 7 = N - 10).
QByteArray Answer(int n, quint8 fn = 0x81) {
    QByteArray a(n, '\0');
    a[0] = char(0x33);
    a[1] = char(0xFF);
    a[2] = char(n);
    a[3] = char(fn);
    if (n > 7)
        a[7] = char(n - 10);
    FrameCrc(reinterpret_cast<quint8*>(a.data()), std::size_t(a.size()));
    return a;
}

void PutAnswer(Link& link, const QByteArray& a) {
    link.AnswerBuffer.fill(0);
    std::memcpy(link.AnswerBuffer.data(), a.constData(), std::size_t(a.size()));
}

} // namespace

TEST(Crc, CheckValueAndReadRequestVectors) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const quint8*>(digits), 9), 0x4B37);
    EXPECT_EQ(Crc16Modbus(nullptr, 0), 0xFFFF);

    struct Row {
        quint8 table;
        const char* frame;
    };
    const Row rows[] = {{0, "CCFF0A01000000FF3E2B"}, {7, "CCFF0A01000700FF8FEA"}, {4, "CCFF0A01000400FF7FEA"}};
    for (const Row& row : rows) {
        Link link;
        BuildReadRequest(link, row.table);
        // Fill: the first call writes the CRC and reports it was missing, the second finds it.
        EXPECT_FALSE(FrameCrc(link.RequestBuffer.data(), 8 + 2));
        EXPECT_EQ(Frame(link, 10), Hex(row.frame)) << int(row.table);
        EXPECT_TRUE(FrameCrc(link.RequestBuffer.data(), 10));
    }
}

TEST(Crc, FrameCrcStaysInsideTheFrameAndTheBuffer) {
    // Guard bytes around a 12-byte window; FrameCrc may look at the window only.
    std::vector<quint8> mem(32, 0xA5);
    quint8* frame = mem.data() + 10;
    struct Row {
        quint8 lengthByte;
        std::size_t size;
    };
    const Row refused[] = {{0, 12}, {1, 12}, {4, 12}, {13, 12}, {255, 12}, {10, 9}};
    for (const Row& row : refused) {
        std::fill(mem.begin(), mem.end(), quint8(0xA5));
        frame[2] = row.lengthByte;
        EXPECT_FALSE(FrameCrc(frame, row.size)) << int(row.lengthByte);
        for (std::size_t i = 0; i < mem.size(); ++i) {
            if (i != 12) { // the length byte itself
                ASSERT_EQ(mem[i], 0xA5) << "byte " << i << " written for N " << int(row.lengthByte);
            }
        }
    }
    quint8 tiny[2] = {0xCC, 0xFF};
    EXPECT_FALSE(FrameCrc(tiny, 2));

    // The shortest frame: N = 5, CRC over bytes 0..2 into bytes 3 and 4.
    std::fill(mem.begin(), mem.end(), quint8(0xA5));
    frame[2] = 5;
    EXPECT_FALSE(FrameCrc(frame, 5));
    const quint16 crc = Crc16Modbus(frame, 3);
    EXPECT_EQ(frame[3], crc & 0xFF);
    EXPECT_EQ(frame[4], crc >> 8);
    EXPECT_EQ(frame[5], 0xA5);
}

TEST(AnswerChecks, RunInOrder) {
    Link link;
    const QByteArray ok = Answer(11); // one data byte

    PutAnswer(link, ok);
    EXPECT_TRUE(ReadAnswerOk(link, 11));
    EXPECT_FALSE(ReadAnswerOk(link, 0)) << "a zero count is no answer whatever the buffer holds";
    EXPECT_FALSE(ReadAnswerOk(link, 10)) << "a correct frame cut short by the time-out";

    // Length byte 5: refused before the CRC is looked at, so its wrong CRC bytes stay as they came
    // (a CRC check would have overwritten them).
    QByteArray five = Hex("33FF0581EEEE");
    PutAnswer(link, five);
    EXPECT_FALSE(AnswerFrameValid(link, 5));
    EXPECT_EQ(link.AnswerBuffer[3], 0x81);
    EXPECT_EQ(link.AnswerBuffer[4], 0xEE);

    // A wrong CRC fails CheckAnswer (which overwrites the frame's CRC bytes; nobody uses it afterwards).
    QByteArray bad = ok;
    bad[8] = char(bad[8] ^ 0x01);
    PutAnswer(link, bad);
    EXPECT_FALSE(ReadAnswerOk(link, 11));

    // Function code: a read is answered by 0x81 only.
    PutAnswer(link, Answer(10, 0x82));
    EXPECT_TRUE(AnswerFrameValid(link, 10));
    EXPECT_FALSE(AnswerPassesCommonChecks(link, 10, kFnReadTable));
    EXPECT_TRUE(AnswerPassesCommonChecks(link, 10, kFnWriteTable));
    PutAnswer(link, Answer(10, 0x01));
    EXPECT_FALSE(AnswerPassesCommonChecks(link, 10, kFnReadTable));
}

TEST(AnswerChecks, ReadDataCount) {
    Link link;
    struct Row {
        int n;
        int countByte;
        bool ok;
    };
    const Row rows[] = {{11, 1, true}, {10, 0, false}, {12, 1, false}, {12, 3, false}, {255, 245, true}, {9, 255, false}};
    for (const Row& row : rows) {
        QByteArray a = Answer(row.n);
        a[7] = char(row.countByte);
        FrameCrc(reinterpret_cast<quint8*>(a.data()), std::size_t(a.size()));
        PutAnswer(link, a);
        EXPECT_EQ(ReadAnswerOk(link, row.n), row.ok) << row.n << " " << row.countByte;
    }
}

TEST(AnswerChecks, WriteAcknowledgement) {
    Link link;
    PutAnswer(link, Answer(10, 0x82));
    EXPECT_TRUE(AnswerFrameValid(link, 10));
    EXPECT_TRUE(WriteAnswerIsAck(link));
    PutAnswer(link, Answer(11, 0x82));
    EXPECT_TRUE(AnswerFrameValid(link, 11));
    EXPECT_FALSE(WriteAnswerIsAck(link)) << "valid frame, wrong length: a failed write";
    PutAnswer(link, Answer(10, 0x81));
    EXPECT_FALSE(WriteAnswerIsAck(link));
}

TEST(Requests, WriteRequestLayoutAndLimit) {
    Link link;
    const quint8 data[3] = {7, 8, 9};
    link.RequestBuffer.fill(0x5A);
    ASSERT_TRUE(BuildWriteRequest(link, 4, data, 3));
    FrameCrc(link.RequestBuffer.data(), link.RequestBuffer.size());
    QByteArray expected = Hex("CCFF1D02") + QByteArray(17, '\0') + Hex("040003070809");
    const quint16 crc = Crc16Modbus(reinterpret_cast<const quint8*>(expected.constData()), 27);
    expected += char(crc & 0xFF);
    expected += char(crc >> 8);
    EXPECT_EQ(Frame(link, 29), expected);
    EXPECT_EQ(link.RequestBuffer[29], 0x5A);

    // 229 data bytes make N = 255; one more does not fit the length byte.
    std::vector<quint8> big(300, 1);
    EXPECT_TRUE(BuildWriteRequest(link, 4, big.data(), 229));
    EXPECT_EQ(link.RequestBuffer[2], 255);
    link.RequestBuffer.fill(0x5A);
    EXPECT_FALSE(BuildWriteRequest(link, 4, big.data(), 230));
    EXPECT_FALSE(BuildWriteRequest(link, 4, big.data(), -1));
    EXPECT_EQ(link.RequestBuffer[0], 0x5A);
}

TEST(LineSpeeds, TableAndFallbacks) {
    const int baud[11] = {600, 1200, 2400, 3200, 4800, 6400, 7680, 9600, 12800, 19200, 38400};
    const int code[11] = {1, 2, 3, 4, 6, 8, 10, 11, 13, 15, 18};
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(SpeedIndexToBaud(i), baud[i]);
        EXPECT_EQ(SpeedIndexToCode(i), code[i]);
        EXPECT_EQ(SpeedCodeToIndex(code[i]), i);
    }
    for (int index : {-1, 11, 1000}) {
        EXPECT_EQ(SpeedIndexToBaud(index), 1200) << index;
        EXPECT_EQ(SpeedIndexToCode(index), 2) << index;
    }
    for (int c : {0, 5, 7, 9, 12, 14, 16, 17, 19, 255, -3})
        EXPECT_EQ(SpeedCodeToIndex(c), 1) << c;
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.open("fake", 1200, nullptr));
        link.port = &port;
        link.clock = &clock;
        link.RtsControl = 0;
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

TEST_F(Exchange, RequestGetsAddressAndCrcAfterThePreamble) {
    BuildReadRequest(link, 0);
    link.RequestBuffer[1] = 0x12;
    ASSERT_TRUE(SendRequest(link, nullptr));
    EXPECT_EQ(port.written(), Hex("FFFFFF") + Hex("CCFF0A01000000FF3E2B"));

    // Only a request start byte gets the controller address.
    port.clearCalls();
    BuildReadRequest(link, 0);
    link.RequestBuffer[0] = 0x55;
    link.RequestBuffer[1] = 0x12;
    ASSERT_TRUE(SendRequest(link, nullptr));
    EXPECT_EQ(port.written().mid(3, 2), Hex("5512"));
}

TEST_F(Exchange, ZeroLengthIsABadRequestAndNothingIsSent) {
    QObject owner;
    RecordingLinkUi ui;
    link.ui = &ui;
    BuildReadRequest(link, 0);
    link.RequestBuffer[2] = 0;
    EXPECT_EQ(Transact(link, &owner, false), 0);
    EXPECT_EQ(ui.badRequests, 1);
    EXPECT_EQ(ui.lastOwner, &owner);
    EXPECT_EQ(port.count(FakePort::Kind::Write), 0);
    EXPECT_EQ(port.count(FakePort::Kind::Read), 0) << "no answer is waited for";

    link.ui = nullptr; // without one the refusal is silent but the same
    EXPECT_FALSE(SendRequest(link, &owner));
}

TEST_F(Exchange, TransactReturnsTheAnswerCount) {
    BuildReadRequest(link, 7);
    AnswerWith(Hex("FF") + Answer(15) + Hex("0000"), 120);
    EXPECT_EQ(Transact(link, nullptr, false), 15);
    EXPECT_TRUE(ReadAnswerOk(link, 15));
}

TEST_F(Exchange, FiveHundredMillisecondsForTheFirstByteAndBetweenBytes) {
    const QByteArray a = Hex("FF") + Answer(10);
    struct Row {
        quint32 firstAfter; // ms after the request
        quint32 gap;        // between the first 6 bytes and the rest
        int result;
    };
    const Row rows[] = {{450, 0, 10}, {700, 0, 0}, {100, 450, 10}, {100, 700, 5}};
    for (const Row& row : rows) {
        Link fresh;
        fresh.port = &port;
        fresh.clock = &clock;
        fresh.RtsControl = 0;
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

TEST_F(Exchange, PumpMessagesIsPassedThrough) {
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
