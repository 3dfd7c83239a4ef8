// The controller's tables as the configure job reads and writes them: acceptance of the identification,
// state and configuration answers, the write body and frame by version, and the version text.
#include "CfgRecord.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using AnswerBytes = std::array<quint8, kAnswerBufferSize>;

// A read answer 33 FF N 81 00 00 00 count data.. CRC in `a`; returns the count ReceiveFrame would have
// returned for it.
int PutReadAnswer(AnswerBytes& a, const std::vector<quint8>& data, int countByte = -1) {
    a.fill(0xEE);
    const int n = int(data.size()) + 10;
    a[0] = 0x33;
    a[1] = 0xFF;
    a[2] = quint8(n);
    a[3] = 0x81;
    a[4] = a[5] = a[6] = 0;
    a[7] = quint8(countByte < 0 ? int(data.size()) : countByte);
    std::copy(data.begin(), data.end(), a.begin() + 8);
    proto::FrameCrc(a.data(), a.size());
    return n;
}

// The answer in `a` as ReadTable parses it.
proto::ParsedAnswer Parsed(const AnswerBytes& a, int count) {
    return proto::CheckAnswer(a, count, proto::kFnReadTable);
}

// PutReadAnswer, then the parse.
proto::ParsedAnswer ReadAnswer(AnswerBytes& a, const std::vector<quint8>& data, int countByte = -1) {
    return Parsed(a, PutReadAnswer(a, data, countByte));
}

std::vector<quint8> Bytes(int n, quint8 first = 0x10) {
    std::vector<quint8> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[std::size_t(i)] = quint8(first + i);
    return v;
}

} // namespace

TEST(TableAcceptance, IdentificationNeedsFourteenDataBytes) {
    AnswerBytes a;
    CfgContext cfg;
    auto data = Bytes(13);
    EXPECT_FALSE(AcceptIdentAnswer(ReadAnswer(a, data), cfg));
    data = Bytes(14);
    data[3] = 3;
    ASSERT_TRUE(AcceptIdentAnswer(ReadAnswer(a, data), cfg));
    EXPECT_EQ(cfg.SoftVersion, 3);
    EXPECT_TRUE(cfg.PulsesByFlow());
    // Data count byte disagreeing with the length, and a zero count, are refused.
    EXPECT_FALSE(AcceptIdentAnswer(ReadAnswer(a, Bytes(14), 15), cfg));
    EXPECT_FALSE(AcceptIdentAnswer(ReadAnswer(a, Bytes(14), 0), cfg));
}

TEST(TableAcceptance, StateAnswerMustCarryItsStateByte) {
    AnswerBytes a;
    bool configured = true;
    // Four data bytes end before the state byte: refused instead of reading the CRC as the state.
    EXPECT_FALSE(AcceptStateAnswer(ReadAnswer(a, {0, 0, 0, 0}), &configured));
    ASSERT_TRUE(AcceptStateAnswer(ReadAnswer(a, {9, 9, 9, 9, 0}), &configured));
    EXPECT_TRUE(configured);
    ASSERT_TRUE(AcceptStateAnswer(ReadAnswer(a, {0, 0, 0, 0, 1, 0}), &configured));
    EXPECT_FALSE(configured);
    // A frame cut short by the time-out is no answer.
    const int n = PutReadAnswer(a, {0, 0, 0, 0, 0});
    EXPECT_FALSE(AcceptStateAnswer(Parsed(a, n - 1), &configured));
}

TEST(TableAcceptance, ConfigurationSizeFollowsTheVersion) {
    struct Row {
        quint8 version;
        int size;
        bool accepted;
    };
    const Row rows[] = {{0, 21, true}, {1, 21, true},  {1, 23, false}, {1, 20, false},
                        {2, 23, true}, {2, 21, false}, {3, 23, true},  {7, 22, false}};
    for (const Row& row : rows) {
        AnswerBytes a;
        CfgContext cfg;
        cfg.SoftVersion = row.version;
        auto data = Bytes(row.size, 0x01);
        const bool ok = AcceptCfgAnswer(ReadAnswer(a, data), cfg);
        EXPECT_EQ(ok, row.accepted) << "version " << int(row.version) << " size " << row.size;
        if (ok) {
            CfgRecord expected;
            expected.decode(data.data(), row.size);
            EXPECT_EQ(cfg.record, expected);
        } else {
            EXPECT_EQ(cfg.record, CfgRecord{}) << "a refused answer leaves the record alone";
        }
    }
}

TEST(ConfigurationWrite, BodyAndFrameByVersion) {
    for (quint8 version : {quint8(1), quint8(2)}) {
        CfgContext cfg;
        cfg.SoftVersion = version;
        quint8 body[23];
        const int count = BuildCfgWriteBody(cfg, body);
        const int expectedCount = version >= 2 ? 23 : 20;
        ASSERT_EQ(count, expectedCount);
        EXPECT_TRUE(std::equal(body, body + count, CfgRecord{}.encode().begin()));

        Link link;
        ASSERT_TRUE(BuildWriteRequest(link, 4, body, count));
        proto::FrameCrc(link.RequestBuffer().data(), link.RequestBuffer().size());
        const auto& r = link.RequestBuffer();
        const int n = 26 + count;
        EXPECT_EQ(r[2], n); // 49 or 46
        EXPECT_EQ(r[3], 0x02);
        for (int i = 4; i <= 20; ++i)
            EXPECT_EQ(r[i], 0) << i;
        EXPECT_EQ(r[21], 4);
        EXPECT_EQ(r[22], 0);
        EXPECT_EQ(r[23], count);
        EXPECT_TRUE(std::equal(body, body + count, r.begin() + 24));
        const quint16 crc = proto::Crc16Modbus(r.data(), std::size_t(n - 2));
        EXPECT_EQ(r[n - 2], crc & 0xFF);
        EXPECT_EQ(r[n - 1], crc >> 8);
    }
}

TEST(VersionText, EndingFollowsPulsesByFlow) {
    EXPECT_EQ(VersionMessage(3), QStringLiteral("Версия ПО 3 (выдача импульсов по расходу)"));
    EXPECT_EQ(VersionMessage(2), QStringLiteral("Версия ПО 2 (выдача импульсов по объему)"));
    EXPECT_EQ(VersionMessage(4), QStringLiteral("Версия ПО 4 (выдача импульсов по объему)"));
    EXPECT_EQ(VersionMessage(255), QStringLiteral("Версия ПО 255 (выдача импульсов по объему)"));
}
