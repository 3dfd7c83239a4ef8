// The subcommands' command lines as the values their jobs get.
#include "CliOptions.h"

#include <gtest/gtest.h>

namespace {

template <typename T> T Parsed(const QStringList& args) {
    const ParsedCommand parsed = ParseSubcommand(QStringList{"rmz47"} + args);
    if (const auto* print = std::get_if<CliPrint>(&parsed))
        ADD_FAILURE() << print->text.toStdString();
    return std::holds_alternative<T>(parsed) ? std::get<T>(parsed) : T{};
}

TEST(CliOptionsTest, DurationsAndSpeedsTakeTheirUnits) {
    const struct {
        const char* duration;
        qint64 ms;
    } durations[] = {{"250ms", 250}, {"90s", 90000}, {"1.5min", 90000}, {"0,5s", 500}, {"2h", 7200000}};
    for (const auto& d : durations) {
        SCOPED_TRACE(d.duration);
        const ListenOptions o = Parsed<ListenOptions>({"listen", "--for", d.duration, "--speed", "38400"});
        EXPECT_EQ(o.forMs, d.ms);
        EXPECT_EQ(o.speedIndex, 10);
    }
}

TEST(CliOptionsTest, RunsOrdersAndCountsKeepEveryField) {
    const ImitateOptions imitate =
        Parsed<ImitateOptions>({"imitate", "--run", "7:2:120,5:lsb", "--run", "8:3:1e3", "--pulses", "40",
                                "--pulse-value", "0.01", "--com", "2"});
    ASSERT_EQ(imitate.runs.size(), 2);
    EXPECT_EQ(imitate.runs[0].address, 7);
    EXPECT_EQ(imitate.runs[0].run, 2);
    EXPECT_DOUBLE_EQ(imitate.runs[0].flowM3h, 120.5);
    EXPECT_EQ(imitate.runs[0].msbFirst, false);
    EXPECT_DOUBLE_EQ(imitate.runs[1].flowM3h, 1000);
    EXPECT_EQ(imitate.runs[1].msbFirst, std::nullopt); // the imitation's default
    EXPECT_EQ(imitate.pulses, 40);
    EXPECT_EQ(imitate.pulseValue, 0.01);
    EXPECT_EQ(imitate.port.com, 2);

    const ListenOptions listen = Parsed<ListenOptions>({"listen", "--order", "5:1:lsb", "-p", "ttyUSB1"});
    ASSERT_EQ(listen.orders.size(), 1);
    EXPECT_EQ(listen.orders[0].address, 5);
    EXPECT_FALSE(listen.orders[0].msbFirst);
    EXPECT_EQ(listen.port.device, QStringLiteral("ttyUSB1"));

    const CheckOptions check =
        Parsed<CheckOptions>({"check", "plan.json", "--counted", "12,0,7", "--report", "r.pdf"});
    EXPECT_EQ(check.plan, QStringLiteral("plan.json"));
    EXPECT_EQ(check.counted, (QList<qint64>{12, 0, 7}));
    EXPECT_EQ(check.report, QStringLiteral("r.pdf"));

    const WriteOptions write = Parsed<WriteOptions>({"write", "kp.json", "--yes"});
    EXPECT_EQ(write.file, QStringLiteral("kp.json"));
    EXPECT_TRUE(write.yes);
}

} // namespace
