#include "SimMaster.h"
#include "SimTestBytes.h"

#include <gtest/gtest.h>

using namespace sim;

namespace {

// 3600 m3/h, 10 s after the start: the volume is 10 m3. Written by hand, CRC from the test's own routine.
const Bytes kMsbBody = H("55 01 17 86 01 45 61 00 00 41 20 00 00 00 00 00 00 41 20 00 00");
const Bytes kLsbBody = H("55 01 17 86 01 00 00 61 45 00 00 20 41 00 00 00 00 00 00 20 41");

} // namespace

TEST(SimMasterFrames, RequestAndTheAnswersCrc) {
    EXPECT_EQ(BuildFlowRequest({1, 1, true}), H("AA 01 07 06 01 4E 45"));
    EXPECT_EQ(BuildFlowRequest({2, 3, false}), WithCrc(H("AA 02 07 06 03")));
    // The checksums of both byte orders' answers, reproduced by the test's CRC.
    EXPECT_EQ(WithCrc(kMsbBody), H("55 01 17 86 01 45 61 00 00 41 20 00 00 00 00 00 00 41 20 00 00 D7 CD"));
    EXPECT_EQ(WithCrc(kLsbBody), H("55 01 17 86 01 00 00 61 45 00 00 20 41 00 00 00 00 00 00 20 41 B0 21"));
}

TEST(SimMasterCheck, DecodesBothByteOrders) {
    const FlowAnswerCheck m = CheckFlowAnswer(WithCrc(kMsbBody), {1, 1, true});
    ASSERT_TRUE(m.ok) << m.problem;
    EXPECT_EQ(m.flow, 3600.0f);
    EXPECT_EQ(m.volume, 10.0f);
    const FlowAnswerCheck l = CheckFlowAnswer(WithCrc(kLsbBody), {1, 1, false});
    ASSERT_TRUE(l.ok) << l.problem;
    EXPECT_EQ(l.flow, 3600.0f);
    EXPECT_EQ(l.volume, 10.0f);
    // The lsb-first answer read as msb-first is a valid frame with the wrong numbers.
    const FlowAnswerCheck x = CheckFlowAnswer(WithCrc(kLsbBody), {1, 1, true});
    EXPECT_TRUE(x.ok);
    EXPECT_NE(x.flow, 3600.0f);
    // 0.1 m3/h as the nearest single, most significant byte first.
    const std::uint8_t tenth[] = {0x3D, 0xCC, 0xCC, 0xCD};
    EXPECT_EQ(DecodeFloat(tenth, true), 0.1f);
}

TEST(SimMasterCheck, EachDamageIsCaughtByItsCheck) {
    struct Row {
        int offset;
        std::uint8_t value;
        const char* problem; // start of the expected text
    };
    const Row rows[] = {
        {0, 0x33, "start byte"},
        {1, 0x02, "address 2"},
        {2, 0x18, "length"},
        {3, 0x06, "function"},
        {4, 0x02, "run 2"},
        {13, 0x01, "bytes 13..16"},
        {20, 0x01, "volume in bytes 17..20"},
    };
    for (const Row& r : rows) {
        Bytes body = kMsbBody;
        body[std::size_t(r.offset)] = r.value;
        const FlowAnswerCheck c = CheckFlowAnswer(WithCrc(body), {1, 1, true}); // CRC right, content wrong
        EXPECT_FALSE(c.ok) << r.offset;
        EXPECT_EQ(c.problem.rfind(r.problem, 0), 0u) << r.offset << ": " << c.problem;
    }
    Bytes badCrc = WithCrc(kMsbBody);
    badCrc[22] ^= 0x80;
    EXPECT_EQ(CheckFlowAnswer(badCrc, {1, 1, true}).problem, "bad CRC");
    EXPECT_FALSE(CheckFlowAnswer(Bytes(badCrc.begin(), badCrc.end() - 1), {1, 1, true}).ok);
}

TEST(SimMasterCollector, TakesTheAnswerBehindFFOnly) {
    FlowAnswerCollector c;
    c.reset();
    // Noise, then 55 without a 0xFF in front (no start), then FF 55 and the answer.
    Bytes line = H("13 55 01 FF");
    const Bytes answer = WithCrc(kMsbBody);
    line.insert(line.end(), answer.begin(), answer.end());
    int completeAt = -1;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (c.feed(line[i]) && completeAt < 0)
            completeAt = int(i);
    EXPECT_EQ(completeAt, int(line.size()) - 1);
    EXPECT_EQ(c.answer(), answer);
    EXPECT_EQ(c.received(), int(line.size()));
}

TEST(SimMasterPoller, PollsInTurnAndKeepsTotals) {
    SimMaster m({{1, 1, true}, {2, 3, false}}, {});
    const auto r1 = m.nextRequest(), r2 = m.nextRequest(), r3 = m.nextRequest();
    EXPECT_EQ(r1.wire, H("AA 01 07 06 01 4E 45"));
    EXPECT_EQ(r2.pair.addr, 2);
    EXPECT_FALSE(r2.pair.msbFirst);
    EXPECT_EQ(r3.pair.addr, 1);

    EXPECT_EQ(m.answerComplete(WithCrc(kMsbBody), r1.pair).kind, SimMaster::Outcome::Good);
    EXPECT_EQ(m.answerComplete(WithCrc(kMsbBody), r2.pair).kind, SimMaster::Outcome::Bad); // wrong address
    FlowAnswerCollector none;
    none.reset();
    EXPECT_EQ(m.windowClosed(none).kind, SimMaster::Outcome::Missing);
    FlowAnswerCollector junk;
    junk.reset();
    junk.feed(0x13);
    EXPECT_EQ(m.windowClosed(junk).kind, SimMaster::Outcome::Bad);

    const MasterTotals& t = m.totals();
    EXPECT_EQ(t.sent, 3);
    EXPECT_EQ(t.good, 1);
    EXPECT_EQ(t.bad, 2);
    EXPECT_EQ(t.missing, 1);
    EXPECT_EQ(m.totalsLine().rfind("totals: sent 3 good 1 bad 2 missing 1", 0), 0u);
}

TEST(SimMasterPoller, DamagedRequestsAvoidTheRequestStartInNoise) {
    SimMaster m({{1, 1, true}}, {.noise = 1, .seed = 3});
    for (int i = 0; i < 50; ++i) {
        const auto r = m.nextRequest();
        const std::size_t extra = r.wire.size() - r.frame.size();
        ASSERT_GE(extra, 1u);
        // A stray 0xAA would start a request that swallows the real one.
        EXPECT_EQ(std::count(r.wire.begin(), r.wire.begin() + std::ptrdiff_t(extra), 0xAA), 0);
        EXPECT_TRUE(std::equal(r.frame.begin(), r.frame.end(), r.wire.begin() + std::ptrdiff_t(extra)));
    }
}

TEST(SimMasterOptions, PollList) {
    std::vector<PollPair> p;
    std::string err;
    ASSERT_TRUE(ParsePollList("1:1,2:3:lsb,255:255:msb", p, &err)) << err;
    ASSERT_EQ(p.size(), 3u);
    EXPECT_TRUE(p[0].msbFirst);
    EXPECT_EQ(p[1].run, 3);
    EXPECT_FALSE(p[1].msbFirst);
    EXPECT_EQ(p[2].addr, 255);
    for (const char* bad : {"", "1", "0:1", "1:256", "1:1:mid", "1:1,", "a:1", "1:1:lsb:x", "-1:1", "1:+1"}) {
        EXPECT_FALSE(ParsePollList(bad, p, &err)) << bad;
        EXPECT_TRUE(p.empty()) << bad;
    }
}
