// The flow request recogniser, slot matching and the answer bytes; the request as the controller builds
// it and as a reader that plays no flow computer decodes it, and every frame of a line read by one that only
// listens.
#include "FlowFrames.h"
#include "Crc16.h"
#include "FlowRequestReader.h"
#include "ProtoTestBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace proto;

namespace {

struct Slot {
    std::uint8_t addr, nitka;
};

FlowSlots settingsWith(std::vector<Slot> list) {
    FlowSlots s;
    s.ImitFlIndex = std::uint8_t(list.size() - 1);
    for (std::size_t i = 0; i < list.size(); ++i) {
        s.ImitAddr[i] = list[i].addr;
        s.ImitNitka[i] = list[i].nitka;
    }
    return s;
}

// Input as the loop sees it: a pause (polls that bring nothing) followed by bytes arriving together.
struct Chunk {
    std::uint32_t pauseMs;
    const char* bytes;
};

// Feeds the chunks; returns, per completed request, the matched slot (-1 when no slot matches).
std::vector<int> run(const FlowSlots& s, std::vector<Chunk> chunks, std::uint32_t startMs = 1000) {
    FlowRecogniser r;
    std::uint32_t now = startMs;
    std::vector<int> out;
    for (const Chunk& c : chunks) {
        if (c.pauseMs) {
            now += c.pauseMs;
            r.idle(now);
        }
        for (std::uint8_t b : Hex(c.bytes))
            if (r.feed(b, now, s))
                out.push_back(MatchSlot(r.buffer.data(), s));
    }
    return out;
}

Frame answerFor(const char* request, int slot, const FlowSlots& s, std::uint32_t elapsedMs, float* volume) {
    const Frame req = Hex(request);
    std::array<std::uint8_t, kFlowAnswerSize> a{};
    *volume = BuildFlowAnswer(std::span<const std::uint8_t, kFlowRequestSize>(req.data(), kFlowRequestSize),
                              a, slot, s, elapsedMs);
    return Frame(a.begin(), a.end());
}

} // namespace

TEST(FlowRecogniser, RequestPatterns) {
    const FlowSlots one = settingsWith({{1, 1}});
    struct Row {
        const char* name;
        FlowSlots s;
        std::vector<Chunk> in;
        std::vector<int> expect;
    };
    FlowSlots secondInactive = one;
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
    const FlowSlots one = settingsWith({{1, 1}});
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

TEST(FlowAnswer, AnswersByteForByteInBothByteOrders) {
    FlowSlots s; // slot 1: address 1, run 1, 3600 m3/h
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
        float v = 0;
        EXPECT_EQ(answerFor("AA010706014E45", 0, s, 10000, &v), Hex(row.answer)) << (row.msb ? "msb" : "lsb");
        EXPECT_EQ(v, 10.0f);
    }
}

TEST(FlowAnswer, FieldsAndVolume) {
    FlowSlots s = settingsWith({{1, 1}, {0x42, 3}});
    s.ImitRashod[1] = 0.1;
    float v = -1;
    const Frame a = answerFor("AA420706030000", 1, s, 0, &v);
    EXPECT_EQ(Frame(a.begin(), a.begin() + 5), Hex("5542178603"));
    // 0.1 m3/h is the single nearest to 0.1; no volume yet.
    EXPECT_EQ(Frame(a.begin() + 5, a.begin() + 21), Hex("3DCCCCCD000000000000000000000000"));
    EXPECT_TRUE(CrcMatches(a)); // the CRC covers the bytes as they are on the line
    EXPECT_EQ(DecodeFloat(&a[5], true), 0.1f);

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

TEST(FlowRequest, BuiltByTheControllerAndDecodedByAReader) {
    const auto built = BuildFlowRequest(1, 1);
    EXPECT_EQ(Frame(built.begin(), built.end()), Hex("AA 01 07 06 01 4E 45"));
    struct Row {
        const char* bytes;
        bool decoded;
        int addr, run;
        bool crcOk;
    };
    const Row rows[] = {
        {"AA 01 07 06 01 4E 45", true, 1, 1, true},   {"AA 42 07 06 03 00 00", true, 0x42, 3, false},
        {"AA 01 08 06 01 4E 45", false, 0, 0, false}, {"AA 01 07 05 01 4E 45", false, 0, 0, false},
        {"55 01 07 06 01 4E 45", false, 0, 0, false}, {"AA 01 07 06 01 4E", false, 0, 0, false},
    };
    for (const Row& row : rows) {
        const auto d = DecodeFlowRequest(Hex(row.bytes));
        ASSERT_EQ(d.has_value(), row.decoded) << row.bytes;
        if (d) {
            EXPECT_TRUE(d->addr == row.addr && d->run == row.run && d->crcOk == row.crcOk) << row.bytes;
        }
    }
}

TEST(FlowAnswer, DecodedByAReaderInTheOrderOfItsChecks) {
    using O = FlowAnswerOutcome;
    FlowSlots s;
    float v = 0;
    const Frame good = answerFor("AA010706014E45", 0, s, 10000, &v);
    struct Row {
        const char* name;
        std::size_t at;     // byte changed (past the end: none)
        std::uint8_t value; // its new value
        bool fixCrc;        // the CRC made right again
        O expect;
    };
    const Row rows[] = {
        {"as built", 99, 0, false, O::Ok},
        {"start byte", 0, 0x33, false, O::WrongStart},
        {"length byte before the CRC", 2, 0x18, false, O::WrongLength},
        {"function", 3, 0x06, true, O::WrongFunction},
        {"a flow byte", 5, 0x46, false, O::BadCrc},
        {"reserved bytes", 14, 0x01, true, O::ReservedNotZero},
        {"second volume", 20, 0x01, true, O::VolumeMismatch},
    };
    for (const Row& row : rows) {
        Frame a = good;
        if (row.at < a.size())
            a[row.at] = row.value;
        if (row.fixCrc)
            FrameCrc(a.data(), a.size());
        const FlowAnswerFields d = DecodeFlowAnswer(a, true);
        EXPECT_EQ(d.outcome, row.expect) << row.name;
        if (row.expect == O::Ok) {
            EXPECT_TRUE(d.addr == 1 && d.run == 1 && d.flow == 3600.0f && d.volume == 10.0f);
        }
    }
    EXPECT_EQ(DecodeFlowAnswer(Frame(good.begin(), good.end() - 1), true).outcome, O::WrongSize);
}

namespace {

Frame Sealed(const char* hex) {
    Frame f = Hex(hex);
    f.resize(f.size() + 2);
    FrameCrc(f.data(), f.size());
    return f;
}

} // namespace

// A reader that only listens: the preamble is no noise, a false start gives its bytes back to the hunt,
// and a frame that stops is cut at the idle time; told to read requests alone, it reads as before.
TEST(FlowRequestReader, EveryFrameOfALineApartFromItsNoise) {
    using K = FlowRead::Kind;
    struct Read {
        K kind;
        int length;
        bool crcOk;
    };
    struct Case {
        const char* name;
        bool everyFrame;
        Frame line;
        std::vector<Read> reads;
        int noise;
    };
    const Frame ack = Sealed("33 FF 0A 82 00 00 00 00");
    const Case cases[] = {
        {"table read behind its preamble",
         true,
         Cat({Hex("FF FF FF"), Sealed("CC FF 0A 01 00 04 00 FF")}),
         {{K::Frame, 10, true}},
         0},
        {"false flow answer start before a request",
         true,
         Hex("55 01 18 AA 01 07 06 01 4E 45"),
         {{K::Request, 7, true}},
         3},
        {"controller length below 6, then an acknowledgement",
         true,
         Cat({Hex("CC FF 05 FF"), ack}),
         {{K::Frame, 10, true}},
         2},
        {"acknowledgement with a flipped bit, then one cut",
         true,
         Cat({Frame(ack.begin(), ack.end() - 1), Hex("00 33 FF 0A 82")}),
         {{K::Frame, 10, false}, {K::CutShort, 4, false}},
         0},
        {"requests alone", false, Hex("FF 55 01 AA 01 07 06 01 4E 45"), {{K::Request, 7, true}}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlowRequestReader reader(c.everyFrame);
        std::vector<FlowRead> got;
        int noise = 0;
        for (std::uint8_t b : c.line)
            got.push_back(reader.feed(b, 0));
        got.push_back(reader.idle(1000));
        std::size_t next = 0;
        for (const FlowRead& r : got) {
            noise += r.noiseBefore;
            if (r.kind == K::None)
                continue;
            ASSERT_LT(next, c.reads.size());
            EXPECT_EQ(r.kind, c.reads[next].kind);
            EXPECT_EQ(r.length, c.reads[next].length);
            EXPECT_EQ(r.crcOk, c.reads[next].crcOk);
            ++next;
        }
        EXPECT_EQ(next, c.reads.size());
        EXPECT_EQ(noise + reader.takeNoise(), c.noise);
    }
}
