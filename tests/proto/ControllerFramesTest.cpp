// Controller frames as values: CRC, request builders, answer parsing in the order of its checks, the
// controller's own answers, the line-speed table.
#include "ControllerFrames.h"
#include "Crc16.h"
#include "LineSpeed.h"
#include "ProtoTestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace proto;

namespace {

// An answer 33 FF N fn ... with its CRC (data bytes zero, byte 7 = N - 10), in a 300-byte buffer as the
// receiver leaves it.
Frame Answer(int n, std::uint8_t fn = 0x81, int countByte = -1) {
    Frame a(300, 0);
    a[0] = 0x33;
    a[1] = 0xFF;
    a[2] = std::uint8_t(n);
    a[3] = fn;
    if (n > 7)
        a[7] = std::uint8_t(countByte >= 0 ? countByte : n - 10);
    FrameCrc(a.data(), a.size());
    return a;
}

Frame Flipped(Frame a, std::size_t at) {
    a[at] ^= 0x01;
    return a;
}

} // namespace

TEST(Crc, CheckValueAndReadRequestVectors) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x4B37);
    EXPECT_EQ(Crc16Modbus(nullptr, 0), 0xFFFF);

    struct Row {
        std::uint8_t table;
        const char* frame;
    };
    const Row rows[] = {
        {0, "CCFF0A01000000FF3E2B"}, {7, "CCFF0A01000700FF8FEA"}, {4, "CCFF0A01000400FF7FEA"}};
    for (const Row& row : rows) {
        Frame r(600, 0);
        ASSERT_EQ(BuildReadRequest(r, row.table), 10u);
        // Fill: the first call writes the CRC and reports it was missing, the second finds it.
        EXPECT_FALSE(FrameCrc(r.data(), 8 + 2));
        EXPECT_EQ(Frame(r.begin(), r.begin() + 10), Hex(row.frame)) << int(row.table);
        EXPECT_TRUE(FrameCrc(r.data(), 10));
    }
    Frame tooSmall(9, 0x5A);
    EXPECT_EQ(BuildReadRequest(tooSmall, 0), 0u);
    EXPECT_EQ(tooSmall, Frame(9, 0x5A));
}

TEST(Crc, FrameCrcStaysInsideTheFrameAndTheBuffer) {
    // Guard bytes around a 12-byte window; FrameCrc may look at the window only.
    Frame mem(32, 0xA5);
    std::uint8_t* frame = mem.data() + 10;
    struct Row {
        std::uint8_t lengthByte;
        std::size_t size;
    };
    const Row refused[] = {{0, 12}, {1, 12}, {4, 12}, {13, 12}, {255, 12}, {10, 9}};
    for (const Row& row : refused) {
        std::fill(mem.begin(), mem.end(), std::uint8_t(0xA5));
        frame[2] = row.lengthByte;
        EXPECT_FALSE(FrameCrc(frame, row.size)) << int(row.lengthByte);
        for (std::size_t i = 0; i < mem.size(); ++i) {
            if (i != 12) { // the length byte itself
                ASSERT_EQ(mem[i], 0xA5) << "byte " << i << " written for N " << int(row.lengthByte);
            }
        }
    }
    std::uint8_t tiny[2] = {0xCC, 0xFF};
    EXPECT_FALSE(FrameCrc(tiny, 2));

    // The shortest frame: N = 5, CRC over bytes 0..2 into bytes 3 and 4.
    std::fill(mem.begin(), mem.end(), std::uint8_t(0xA5));
    frame[2] = 5;
    EXPECT_FALSE(FrameCrc(frame, 5));
    const std::uint16_t crc = Crc16Modbus(frame, 3);
    EXPECT_EQ(frame[3], crc & 0xFF);
    EXPECT_EQ(frame[4], crc >> 8);
    EXPECT_EQ(frame[5], 0xA5);
}

TEST(AnswerParse, EachOutcomeFromItsBytesInTheOrderOfTheChecks) {
    enum Kind { Frame_, Read, Write };
    struct Row {
        const char* name;
        Frame bytes;
        int count;
        Kind kind;
        AnswerOutcome expect;
    };
    using O = AnswerOutcome;
    Frame five = Hex("33FF0581EEEE");
    five.resize(300, 0);
    const Row rows[] = {
        {"read answer with one data byte", Answer(11), 11, Read, O::Ok},
        {"a zero count is no answer whatever the buffer holds", Answer(11), 0, Read, O::Silence},
        {"a correct frame cut short by the time-out", Answer(11), 10, Read, O::CutShort},
        {"length byte 5: refused before its wrong CRC is looked at", five, 5, Read, O::BadLength},
        {"a changed data byte", Flipped(Answer(11), 8), 11, Read, O::BadCrc},
        {"a cut frame is cut short even with a wrong CRC", Flipped(Answer(11), 8), 9, Read, O::CutShort},
        {"a read is answered by 0x81 only", Answer(10, 0x82), 10, Read, O::WrongFunction},
        {"the frame checks alone take any function", Answer(10, 0x82), 10, Frame_, O::Ok},
        {"the request's own function is no answer", Answer(10, 0x01), 10, Read, O::WrongFunction},
        {"no data", Answer(10, 0x81, 0), 10, Read, O::WrongCount},
        {"count byte below N - 10", Answer(12, 0x81, 1), 12, Read, O::WrongCount},
        {"count byte above N - 10", Answer(12, 0x81, 3), 12, Read, O::WrongCount},
        {"the longest read answer", Answer(255, 0x81, 245), 255, Read, O::Ok},
        {"too short to carry data", Answer(9, 0x81, 255), 9, Read, O::WrongCount},
        {"write acknowledgement", Answer(10, 0x82), 10, Write, O::Ok},
        {"valid frame, wrong length: a failed write", Answer(11, 0x82), 11, Write, O::WrongCount},
        {"a write answered as a read", Answer(10, 0x81), 10, Write, O::WrongFunction},
    };
    for (const Row& row : rows) {
        const ParsedAnswer p = row.kind == Read    ? ParseReadAnswer(row.bytes, row.count)
                               : row.kind == Write ? ParseWriteAnswer(row.bytes, row.count)
                                                   : ParseAnswerFrame(row.bytes, row.count);
        EXPECT_EQ(p.outcome, row.expect) << row.name;
        if (p.ok() && row.kind == Read) {
            EXPECT_EQ(p.data.size(), std::size_t(row.count - 10)) << row.name;
            EXPECT_EQ(p.data.data(), row.bytes.data() + 8) << row.name;
        }
    }
    // A write is tried again only while the frame itself did not come whole and sound.
    for (O o : {O::Silence, O::BadLength, O::CutShort, O::BadCrc})
        EXPECT_TRUE(IsFrameFault(o));
    for (O o : {O::Ok, O::WrongFunction, O::WrongCount})
        EXPECT_FALSE(IsFrameFault(o));
}

TEST(Requests, WriteRequestLayoutAndLimit) {
    Frame r(600, 0x5A);
    const Frame data = {7, 8, 9};
    ASSERT_EQ(BuildWriteRequest(r, 4, data), 29u);
    FrameCrc(r.data(), r.size());
    Frame expected = Cat({Hex("CCFF1D02"), Frame(17, 0), Hex("040003070809")});
    const std::uint16_t crc = Crc16Modbus(expected.data(), 27);
    expected.push_back(std::uint8_t(crc & 0xFF));
    expected.push_back(std::uint8_t(crc >> 8));
    EXPECT_EQ(Frame(r.begin(), r.begin() + 29), expected);
    EXPECT_EQ(r[29], 0x5A);

    // 229 data bytes make N = 255; one more does not fit the length byte, nor does a short buffer.
    const Frame big(300, 1);
    EXPECT_EQ(BuildWriteRequest(r, 4, std::span(big).first(229)), 255u);
    EXPECT_EQ(r[2], 255);
    std::fill(r.begin(), r.end(), std::uint8_t(0x5A));
    EXPECT_EQ(BuildWriteRequest(r, 4, std::span(big).first(230)), 0u);
    EXPECT_EQ(BuildWriteRequest(std::span(r).first(28), 4, data), 0u);
    EXPECT_EQ(r[0], 0x5A);
}

TEST(ControllerAnswers, BuiltAnswersPassTheToolsChecks) {
    Frame buf(300, 0xEE);
    const Frame ident = Hex("2F 01 00 03 00 00 00 00 00 00 00 00 00 00");
    ASSERT_EQ(BuildTableAnswer(buf, kFnReadTable, ident), 24u);
    EXPECT_EQ(Frame(buf.begin(), buf.begin() + 8), Hex("33 FF 18 81 00 00 00 0E"));
    const ParsedAnswer read = ParseReadAnswer(buf, 24);
    ASSERT_TRUE(read.ok());
    EXPECT_TRUE(std::equal(read.data.begin(), read.data.end(), ident.begin(), ident.end()));

    std::fill(buf.begin(), buf.end(), std::uint8_t(0xEE));
    ASSERT_EQ(BuildTableAnswer(buf, kFnWriteTable, {}), 10u);
    EXPECT_TRUE(ParseWriteAnswer(buf, 10).ok());
    EXPECT_EQ(buf[10], 0xEE) << "nothing past the frame";
    EXPECT_EQ(BuildTableAnswer(buf, kFnReadTable, Frame(246, 0)), 0u) << "N would pass 255";
    EXPECT_EQ(BuildTableAnswer(std::span(buf).first(23), kFnReadTable, ident), 0u);
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
