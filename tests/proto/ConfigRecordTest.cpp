// The configuration record's bytes: where each field stands, and how much of it each software version
// sends and takes back.
#include "ConfigRecord.h"
#include "ProtoTestBytes.h"

#include <gtest/gtest.h>

namespace {

using proto::ConfigImage;

Frame Image(const ConfigImage& r, int n = proto::kConfigRecordSize) {
    return Frame(r.bytes().begin(), r.bytes().begin() + n);
}

// Every field with bytes unlike its neighbours', so that a field at a wrong offset or in the wrong byte
// order shows.
ConfigImage Distinct() {
    ConfigImage r;
    r.setFlCount(3);
    r.setNag(200);
    r.setPause(55);
    r.setPeriod(0xBEEF);
    r.setV(0.375f);
    r.setAnswer(0x1234);
    for (int i = 0; i < proto::kConfigRuns; ++i) {
        r.setAddr(i, std::uint8_t(7 + i));
        r.setNitka(i, std::uint8_t(4 + i));
        r.setSpeed(i, std::uint8_t(0x12 - 5 * i));
        r.setFlags(i, proto::RunFlags(i != 1, i == 0 ? 10 : 0));
    }
    return r;
}

} // namespace

TEST(ConfigImage, FieldsStandWhereTheControllerKeepsThem) {
    EXPECT_EQ(Image(Distinct()), Hex("03 C8 37 EFBE 0000C03E 3412 070412 08050D 090608 A1 00 01"));
    EXPECT_EQ(Image(ConfigImage::Factory()),
              Hex("01 0A 0A 2C01 0000C842 6400 010102 020102 030102 51 01 01"));
    const ConfigImage factory = ConfigImage::Factory();
    EXPECT_EQ(factory.v(), 100.0f);
    EXPECT_EQ(proto::FlagAttempts(factory.flags(0)), 5);
    EXPECT_TRUE(proto::FlagMsbFirst(factory.flags(0)));
}

TEST(ConfigImage, EachVersionSendsAndTakesItsShare) {
    struct Row {
        int version, read, write;
        bool byteOrder, attempts, byFlow;
    };
    const Row rows[] = {
        {0, 21, 20, false, false, false}, {1, 21, 20, false, false, false}, {2, 23, 23, true, false, false},
        {3, 23, 23, true, true, true},    {4, 23, 23, true, true, false},
    };
    const ConfigImage sent = Distinct();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        EXPECT_EQ(proto::ConfigReadSize(row.version), row.read);
        EXPECT_EQ(proto::ConfigWriteSize(row.version), row.write);
        EXPECT_TRUE(proto::IsConfigReadSize(row.read));
        EXPECT_EQ(proto::CarriesByteOrder(row.version), row.byteOrder);
        EXPECT_EQ(proto::CarriesAttempts(row.version), row.attempts);
        EXPECT_EQ(proto::PulsesByFlow(row.version), row.byFlow);
        // Read over the factory settings: the flag bytes the version does not send keep theirs.
        ConfigImage read = ConfigImage::Factory();
        const Frame answer = Image(sent, row.read);
        read.overlay(answer);
        ConfigImage expected = sent;
        for (int i = row.read - proto::kConfigSizeWithoutFlags; i < proto::kConfigRuns; ++i)
            expected.setFlags(i, ConfigImage::Factory().flags(i));
        EXPECT_EQ(read, expected);
        // Written back, the share the version takes carries every field as it was read.
        ConfigImage back;
        back.overlay(Image(read, row.write));
        EXPECT_EQ(Image(back, row.write), Frame(answer.begin(), answer.begin() + row.write));
        EXPECT_EQ(back.period(), 0xBEEF);
        EXPECT_EQ(back.v(), 0.375f);
        EXPECT_EQ(back.speed(2), 0x08);
    }
    for (int n : {0, 20, 22, 24})
        EXPECT_FALSE(proto::IsConfigReadSize(n)) << n;
    // Bytes past the record are not taken.
    ConfigImage longer;
    longer.overlay(Cat({Image(sent), Hex("EE EE")}));
    EXPECT_EQ(longer, sent);
}
