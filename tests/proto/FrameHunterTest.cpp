// The hunter for frames that start 0xFF, start byte, 0xFF: what it takes, what it skips as noise, and
// what the receiver would report when it stops (the length byte when complete, else the count).
#include "FrameHunter.h"
#include "ProtoTestBytes.h"

#include <gtest/gtest.h>

using namespace proto;

namespace {

struct Result {
    std::vector<HuntStep> lastOfEachRead;
    int reported;
    int count;
    int noise;
    bool operator==(const Result&) const = default;
};

Result Hunt(const std::vector<const char*>& reads) {
    Frame buffer(300, 0);
    FrameHunter h(0x33, buffer);
    Result r{};
    for (const char* read : reads) {
        HuntStep last = HuntStep::Skipped;
        for (std::uint8_t b : Hex(read))
            last = h.feed(b);
        r.lastOfEachRead.push_back(last);
    }
    r.reported = h.complete() ? h.frameLength() : h.count();
    r.count = h.count();
    r.noise = h.noiseSkipped();
    return r;
}

} // namespace

TEST(FrameHunter, TakesSkipsAndCounts) {
    using S = HuntStep;
    struct Row {
        const char* name;
        std::vector<const char*> reads;
        Result expect;
    };
    const Row rows[] = {
        {"a ten-byte frame behind its preamble",
         {"FFFFFF 33FF0A0102030405 0607"},
         {{S::Complete}, 10, 10, 0}},
        {"33 FF without a 0xFF ahead is never taken", {"33FF0A01000000FF3E2B"}, {{S::Skipped}, 0, 0, 8}},
        {"FF 33 and no FF behind it: hunting again at the next byte",
         {"FF3333FF33FF0A0102030405 0607"},
         {{S::Complete}, 10, 10, 2}},
        {"noise ahead of the preamble", {"1337FFFFFF33FF0A0102030405 0607"}, {{S::Complete}, 10, 10, 2}},
        {"the same frame however the reads split it",
         {"FF33", "FF0A0102", "0304050607"},
         {{S::Taken, S::Taken, S::Complete}, 10, 10, 0}},
        {"cut short after 6 of 10 bytes", {"FF33FF0A010203"}, {{S::Taken}, 6, 6, 0}},
        {"bytes behind a complete frame change nothing",
         {"FF33FF0A0102030405 0607 0809"},
         {{S::Complete}, 10, 12, 0}},
        {"a length byte below 3 completes at the third byte", {"FF33FF02"}, {{S::Complete}, 2, 3, 0}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Hunt(row.reads), row.expect) << row.name;
}

TEST(FrameHunter, FullBufferDropsAndResetStartsOver) {
    Frame buffer(12, 0);
    FrameHunter h(0x33, buffer);
    for (std::uint8_t b : Hex("FF33FFFF 010203040506070809"))
        EXPECT_NE(h.feed(b), HuntStep::Dropped);
    EXPECT_TRUE(h.full());
    EXPECT_FALSE(h.complete());
    EXPECT_EQ(h.feed(0x0A), HuntStep::Dropped);
    EXPECT_EQ(h.frame().size(), 12u);

    h.reset();
    EXPECT_EQ(h.count(), 0);
    EXPECT_EQ(h.feed(0x33), HuntStep::Skipped) << "a start byte needs its 0xFF again after a reset";
    EXPECT_EQ(h.noiseSkipped(), 1);
}
