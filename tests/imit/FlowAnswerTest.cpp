// The flow request recogniser, slot matching, the answer bytes and the answer's way onto the line.
#include "FlowAnswer.h"
#include "FakePort.h"
#include "Now_opros.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <cmath>
#include <vector>

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

struct Slot {
    quint8 addr, nitka;
};

ImitSettings settingsWith(std::vector<Slot> list) {
    ImitSettings s;
    s.ImitFlIndex = quint8(list.size() - 1);
    for (std::size_t i = 0; i < list.size(); ++i) {
        s.ImitAddr[i] = list[i].addr;
        s.ImitNitka[i] = list[i].nitka;
    }
    return s;
}

// Input as the loop sees it: a pause (polls that bring nothing) followed by bytes arriving together.
struct Chunk {
    quint32 pauseMs;
    const char* bytes;
};

// Feeds the chunks; returns, per completed request, the matched slot (-1 when no slot matches).
std::vector<int> run(const ImitSettings& s, std::vector<Chunk> chunks, quint32 startMs = 1000) {
    FlowRecogniser r;
    quint32 now = startMs;
    std::vector<int> out;
    for (const Chunk& c : chunks) {
        if (c.pauseMs) {
            now += c.pauseMs;
            r.idle(now);
        }
        for (char ch : hex(c.bytes))
            if (r.feed(quint8(ch), now, s))
                out.push_back(MatchSlot(r.buffer.data(), s));
    }
    return out;
}

} // namespace

TEST(FlowRecogniser, RequestPatterns) {
    const ImitSettings one = settingsWith({{1, 1}});
    struct Row {
        const char* name;
        ImitSettings s;
        std::vector<Chunk> in;
        std::vector<int> expect;
    };
    ImitSettings secondInactive = one;
    secondInactive.ImitAddr[1] = 2;
    const std::vector<Row> rows = {
        {"plain request", one, {{0, "AA0107060 14E45"}}, {0}},
        {"noise ahead of the start byte", one, {{0, "13AA01070601 4E45"}}, {0}},
        {"second AA taken as address and rejected", one, {{0, "AAAA010706014E45"}}, {}},
        {"second AA is the address of an active slot",
         settingsWith({{1, 1}, {0xAA, 1}}),
         {{0, "13AAAA070601 0000"}},
         {1}},
        {"AA AA 01 with an address-170 slot: 01 is no length",
         settingsWith({{1, 1}, {0xAA, 1}}),
         {{0, "AAAA010706014E45"}},
         {}},
        {"a breaking byte is not tried again as start byte", one, {{0, "AA01AA010706014E45"}}, {}},
        {"a breaking byte does not lose the next request",
         one,
         {{0, "AA01AA010706014E45"}, {0, "AA010706014E45"}},
         {0}},
        {"wrong length byte", one, {{0, "AA0108060 14E45"}}, {}},
        {"wrong function", one, {{0, "AA010705014E45"}}, {}},
        {"run number of no active slot", one, {{0, "AA010706024E45"}}, {}},
        {"address of an inactive slot", secondInactive, {{0, "AA020706014E45"}}, {}},
        {"address of one slot, run of another: complete but unmatched",
         settingsWith({{1, 1}, {2, 2}}),
         {{0, "AA010706024E45"}},
         {-1}},
        {"each slot with its own pair",
         settingsWith({{1, 1}, {2, 2}, {3, 3}}),
         {{0, "AA010706010000AA020706020000AA030706030000"}},
         {0, 1, 2}},
        {"two slots with the same pair: the lower answers",
         settingsWith({{7, 1}, {5, 1}, {5, 1}}),
         {{0, "AA050706010000"}},
         {1}},
        {"checksum is not verified", one, {{0, "AA010706010000"}}, {0}},
        {"back to back requests", one, {{0, "AA010706014E45AA010706014E45"}}, {0, 0}},
        {"300 ms gap drops the partial request", one, {{0, "AA0107"}, {300, "06014E45"}}, {}},
        {"200 ms gap keeps it", one, {{0, "AA0107"}, {200, "06014E45"}}, {0}},
        {"exactly 250 ms keeps it", one, {{0, "AA0107"}, {250, "06014E45"}}, {0}},
        {"251 ms drops it", one, {{0, "AA0107"}, {251, "06014E45"}}, {}},
        {"gap before the last CRC byte", one, {{0, "AA010706014E"}, {300, "45"}}, {}},
        {"after a drop a new request is recognised", one, {{0, "AA0107"}, {300, "AA010706014E45"}}, {0}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(run(row.s, row.in), row.expect) << row.name;
}

TEST(FlowRecogniser, IdleRuleAcrossTheTickWrap) {
    const ImitSettings one = settingsWith({{1, 1}});
    // The first bytes arrive 100 ms before the 32-bit tick wraps.
    EXPECT_EQ(run(one, {{0, "AA0107"}, {200, "06014E45"}}, 0xFFFFFFFFu - 99), std::vector<int>{0});
    EXPECT_EQ(run(one, {{0, "AA0107"}, {300, "06014E45"}}, 0xFFFFFFFFu - 99), std::vector<int>{});

    FlowRecogniser r;
    EXPECT_EQ(r.msUntilIdle(5), -1);
    r.feed(0xAA, 0xFFFFFFF0u, one);
    EXPECT_EQ(r.msUntilIdle(0xFFFFFFF0u), 251);
    EXPECT_EQ(r.msUntilIdle(0x00000010u), 219); // 32 ms later, across the wrap
    EXPECT_EQ(r.msUntilIdle(0xFFFFFFF0u + 251), 0);
    r.idle(0xFFFFFFF0u + 250);
    EXPECT_EQ(r.count, 1);
    r.idle(0xFFFFFFF0u + 251);
    EXPECT_EQ(r.count, 0);
}

TEST(FlowAnswer, WorkedAnswersByteForByte) {
    const QByteArray request = hex("AA010706014E45");
    ImitSettings s; // slot 1: address 1, run 1, 3600 m3/h
    struct Row {
        bool msb;
        const char* answer;
    };
    const Row rows[] = {
        {true, "550117860145610000412000000000000041200000D7CD"},
        {false, "5501178601000061450000204100000000000020 41B021"},
    };
    for (const Row& row : rows) {
        s.ImitMsbFirst[0] = row.msb;
        quint8 answer[kFlowAnswerSize];
        const float v =
            BuildAnswer(reinterpret_cast<const quint8*>(request.constData()), answer, 0, s, 10000);
        EXPECT_EQ(v, 10.0f);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(answer), kFlowAnswerSize).toHex(' ').toUpper(),
                  hex(row.answer).toHex(' ').toUpper())
            << (row.msb ? "msb first" : "lsb first");
    }
}

TEST(FlowAnswer, FieldsAndVolume) {
    ImitSettings s = settingsWith({{1, 1}, {0x42, 3}});
    s.ImitRashod[1] = 0.1;
    const QByteArray request = hex("AA420706030000");
    quint8 a[kFlowAnswerSize];
    BuildAnswer(reinterpret_cast<const quint8*>(request.constData()), a, 1, s, 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(a), 5).toHex(), QByteArray("5542178603"));
    // 0.1 m3/h is the single nearest to 0.1; no volume yet.
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(a + 5), 16).toHex().toUpper(),
              QByteArray("3DCCCCCD000000000000000000000000"));
    EXPECT_TRUE(FrameCrc(a, sizeof a)); // the CRC covers the bytes as they are on the line

    // The volume uses the flow as sent (single) and is rounded to single once.
    EXPECT_EQ(ImitVolume(3600.0f, 10000), 10.0f);
    EXPECT_EQ(ImitVolume(100.0f, 36000), 1.0f);
    EXPECT_EQ(ImitVolume(0.1f, 3600000), float((long double)0.1f));
    // 2^32 - 1 ms at 3600 m3/h: 4294967.295 m3, nearest single 4294967.5.
    EXPECT_EQ(ImitVolume(3600.0f, 0xFFFFFFFFu), 4294967.5f);
}

TEST(FlowAnswer, FlowsThatDoNotFitTheAnswerAreRefused) {
    EXPECT_TRUE(FlowFitsAnswer(3600.0));
    EXPECT_TRUE(FlowFitsAnswer(0.001));
    EXPECT_TRUE(FlowFitsAnswer(1e35));  // its volume after 49.7 days is still a finite single
    EXPECT_FALSE(FlowFitsAnswer(1e36)); // the volume would overflow before the tick wraps
    EXPECT_FALSE(FlowFitsAnswer(1e39)); // the flow itself would be sent as infinity
    EXPECT_FALSE(FlowFitsAnswer(std::nan("")));
    EXPECT_FALSE(FlowFitsAnswer(HUGE_VAL));

    // Such a flow may still sit in the settings after a refused take-over. Its volume has the flow's
    // sign, and at 0 ms (infinity times zero) nothing has flowed yet.
    EXPECT_EQ(ImitVolume(HUGE_VALF, 0), 0.0f);
    EXPECT_EQ(ImitVolume(-HUGE_VALF, 0), 0.0f);
    EXPECT_EQ(ImitVolume(HUGE_VALF, 1), HUGE_VALF);
    EXPECT_EQ(ImitVolume(-HUGE_VALF, 1), -HUGE_VALF);
}

TEST(SendAnswer, HoldTicksAt241BitTimes) {
    EXPECT_EQ(AnswerHoldTicks(23, 1200, 1000000000), 200833333u);
    EXPECT_EQ(AnswerHoldTicks(23, 9600, 1000000000), 25104166u);
    EXPECT_EQ(AnswerHoldTicks(23, 38400, 1000000000), 6276041u);
    EXPECT_EQ(AnswerHoldTicks(23, 9600, 1000000), 25104u);
}

TEST(SendAnswer, CallSequenceAndRtsHold) {
    struct Row {
        int rtsControl;
        bool refuseModemLines;
        int baud;
    };
    // RTS is switched for every answer whatever RtsControl says, and a refusal (pseudo-terminal) does
    // not stop the answer.
    const Row rows[] = {{1, false, 9600}, {0, false, 1200}, {1, true, 38400}};
    for (const Row& row : rows) {
        ManualClock clock(5000, 1000000);
        FakePort port(clock);
        port.refuseModemLines = row.refuseModemLines;
        Link link;
        link.port = &port;
        link.clock = &clock;
        link.PerfFrequency = 1000000;
        link.RtsControl = row.rtsControl;
        link.LineSpeed = row.baud;
        ASSERT_TRUE(port.open("/dev/fake", row.baud, nullptr));
        port.clearCalls();

        quint8 answer[kFlowAnswerSize];
        for (int i = 0; i < kFlowAnswerSize; ++i)
            answer[i] = quint8(i + 1);
        SendAnswer(link, answer);

        using K = FakePort::Kind;
        std::vector<K> kinds;
        for (const auto& c : port.calls)
            kinds.push_back(c.kind);
        const std::vector<K> expect = {K::Purge,  K::SetRts, K::Write, K::Write,
                                       K::SetRts, K::Drain,  K::Purge};
        ASSERT_EQ(kinds, expect) << row.baud;
        EXPECT_TRUE(port.calls[1].on);
        EXPECT_FALSE(port.calls[4].on);
        EXPECT_EQ(port.calls[2].data, QByteArray("\xFF", 1));
        EXPECT_EQ(port.calls[3].data, QByteArray(reinterpret_cast<const char*>(answer), kFlowAnswerSize));
        // The counter is read once as the start just after RTS goes up; RTS drops at the first read
        // that lies more than the hold time after it.
        const qint64 hold = AnswerHoldTicks(kFlowAnswerSize, row.baud, 1000000);
        const qint64 held = port.calls[4].perf - port.calls[1].perf;
        EXPECT_GT(held, hold) << row.baud;
        EXPECT_LE(held, hold + 2) << row.baud;
    }
}

TEST(SendAnswer, NothingWithoutAnOpenPort) {
    ManualClock clock;
    FakePort port(clock);
    Link link;
    link.clock = &clock;
    quint8 answer[kFlowAnswerSize] = {};
    SendAnswer(link, answer); // no port at all
    link.port = &port;        // a port that is not open
    SendAnswer(link, answer);
    EXPECT_TRUE(port.calls.empty());
}
