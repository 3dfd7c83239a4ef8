// The tool's own serial link against the simulator, through a settings file that maps COM1 to the
// simulator's link: the way the demo runs. With RTS switching on, the tool holds the line for the request's
// transmit time and then discards its input queue, so an answer that came back faster than a real line
// would allow is lost; the simulator's pacing is what makes these exchanges pass.
#include "RecordingLinkUi.h"
#include "Settings.h"
#include "SimController.h"
#include "SimTestBytes.h"

#include "Clock.h"
#include "FlowAnswer.h"
#include "Now_opros.h"
#include "Protocol.h"
#include "QtPort.h"
#include "SimProcess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 10000;

struct ToolAgainstSim : ::testing::Test {
    QTemporaryDir dir;
    QProcess sim;
    QtPort port;
    Link link;
    RecordingLinkUi ui;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString com1 = dir.filePath(QStringLiteral("com1"));
        ASSERT_TRUE(StartSim(sim, QStringLiteral(RMZ47_SIM_PATH),
                             {"--link", com1, "--soft-version", "2", "--quiet"}));

        const QString settings = dir.filePath(QStringLiteral("marvil.ini"));
        ASSERT_TRUE(WriteCom1Settings(settings, com1));
        ASSERT_TRUE(OpenCom1(link, port, ui, settings));
        ASSERT_EQ(PortDeviceName(link, 1), com1);
    }
    void TearDown() override {
        ClosePort(link);
        sim.terminate();
        sim.waitForFinished(kWaitMs);
    }
    sim::Bytes answerData(int count) {
        return sim::Bytes(link.AnswerBuffer().begin() + proto::kAnswerDataOffset,
                          link.AnswerBuffer().begin() + count - 2);
    }
};

} // namespace

TEST_F(ToolAgainstSim, ReadsTheTablesAndWritesTheRecordWithAndWithoutRts) {
    for (int rts : {1, 0}) {
        SCOPED_TRACE("RTS switching " + std::to_string(rts));
        link.setRtsControl(rts);
        const sim::Bytes record = H("03 14 1E 58 02 00 00 48 43 F4 01 05 02 0B 06 01 02 07 03 02 00 00 01");

        BuildReadRequest(link, 0);
        Reply reply = Exchange(link, nullptr, false);
        int n = reply.count;
        ASSERT_TRUE(reply.ok()) << "count " << n;
        EXPECT_EQ(answerData(n)[3], 2); // the software version

        reply = WriteTable(link, nullptr, 4, record);
        n = reply.count;
        ASSERT_TRUE(reply.ok()) << "count " << n;
        EXPECT_EQ(n, 10);

        reply = ReadTable(link, nullptr, 4);
        n = reply.count;
        ASSERT_TRUE(reply.ok()) << "count " << n;
        EXPECT_EQ(answerData(n), record);
    }
}

// The tool's imitation pieces (recogniser, answer builder, answer send with its purges and RTS hold) on
// the flow-computer side, the simulator polling as the controller. Every answer must pass the
// simulator's checks, in both byte orders, at a speed other than 1200.
TEST(ToolImitationAgainstSim, EveryPollIsAnsweredAndPassesTheChecks) {
    QProcess sim;
    QString device;
    ASSERT_TRUE(StartSim(sim, QStringLiteral(RMZ47_SIM_PATH),
                         {"--poll", "1:1,2:3:lsb", "--baud", "9600", "--period", "100", "--count", "6"},
                         &device));
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(4 * kWaitMs);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QtPort port;
    Link link;
    link.setSettingsPath(dir.filePath(QStringLiteral("marvil.ini")));
    ASSERT_TRUE(WriteCom1Settings(link.settingsPath(), device, 0));
    link.setPort(&port);
    link.setClock(&SystemClock());
    link.setPerfFrequency(SystemClock().perfFrequency());
    LoadSettings(link);
    link.setLineSpeed(9600);
    OpenPort(link);
    ASSERT_TRUE(link.portOpen());

    ImitSettings imit;
    imit.ImitFlIndex = 1;
    imit.ImitAddr = {1, 2, 3};
    imit.ImitNitka = {1, 3, 1};
    imit.ImitRashod = {3600.0, 0.1, 0};
    imit.ImitMsbFirst = {true, false, true};
    proto::FlowRecogniser rec;
    const quint32 start = SystemClock().tickMs();
    int answered = 0;
    while (sim.state() != QProcess::NotRunning && std::chrono::steady_clock::now() < end) {
        quint8 b;
        if (port.read(&b, 1) != 1) {
            port.waitForInput(20, false);
            sim.waitForFinished(1);
            continue;
        }
        if (rec.feed(b, SystemClock().tickMs(), imit)) {
            const int slot = proto::MatchSlot(rec.buffer.data(), imit);
            rec.reset();
            if (slot < 0)
                continue;
            std::array<quint8, proto::kFlowAnswerSize> answer{};
            proto::BuildFlowAnswer(rec.buffer, answer, slot, imit, SystemClock().tickMs() - start);
            SendAnswer(link, answer.data());
            ++answered;
        }
    }
    if (sim.state() != QProcess::NotRunning) {
        ASSERT_TRUE(sim.waitForFinished(kWaitMs));
    }
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_EQ(answered, 6);
    const QString out = QString::fromLocal8Bit(sim.readAllStandardOutput());
    EXPECT_TRUE(out.contains("totals: sent 6 good 6 bad 0 missing 0")) << out.toStdString();
    EXPECT_TRUE(out.contains("flow 3600.000 m3/h")) << out.toStdString();
    EXPECT_TRUE(out.contains("flow 0.100 m3/h")) << out.toStdString();
    ClosePort(link);
}
