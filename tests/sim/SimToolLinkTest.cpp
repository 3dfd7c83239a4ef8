// The tool's own serial link against the simulator, through a settings file that maps COM1 to the
// simulator's link: the way the demo runs. With RTS switching on, the tool holds the line for the request's
// transmit time and then discards its input queue, so an answer that came back faster than a real line
// would allow is lost; the simulator's pacing is what makes these exchanges pass.
#include "SimController.h"
#include "SimTestBytes.h"

#include "Clock.h"
#include "Now_opros.h"
#include "Protocol.h"
#include "QtPort.h"

#include <QFile>
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
    QString shown;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString com1 = dir.filePath(QStringLiteral("com1"));
        sim.start(QStringLiteral(RMZ47_SIM_PATH), {"--link", com1, "--soft-version", "2", "--quiet"});
        ASSERT_TRUE(sim.waitForStarted(kWaitMs));
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (!sim.canReadLine() && std::chrono::steady_clock::now() < end)
            sim.waitForReadyRead(100);
        ASSERT_TRUE(sim.readLine().startsWith("PTY "));

        link.settingsPath = dir.filePath(QStringLiteral("marvil.ini"));
        QFile f(link.settingsPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[rs 232]\nCOM Port=1\nRTS=1\n[ports]\nCOM1=" + com1.toLocal8Bit() + "\n");
        f.close();
        link.port = &port;
        link.clock = &SystemClock();
        link.PerfFrequency = SystemClock().perfFrequency();
        link.showOpenError = [this](const QString& t) { shown = t; };
        LoadSettings(link);
        ASSERT_EQ(link.PortNumber, 1);
        ASSERT_EQ(PortDeviceName(link, 1), com1);
        OpenPort(link);
        ASSERT_TRUE(link.portOpen()) << shown.toStdString();
    }
    void TearDown() override {
        ClosePort(link);
        sim.terminate();
        sim.waitForFinished(kWaitMs);
    }
    sim::Bytes answerData(int count) {
        return sim::Bytes(link.AnswerBuffer.begin() + kAnswerDataOffset, link.AnswerBuffer.begin() + count - 2);
    }
};

} // namespace

TEST_F(ToolAgainstSim, ReadsTheTablesAndWritesTheRecordWithAndWithoutRts) {
    for (int rts : {1, 0}) {
        SCOPED_TRACE("RTS switching " + std::to_string(rts));
        link.RtsControl = rts;
        const sim::Bytes record = H("03 14 1E 58 02 00 00 48 43 F4 01 05 02 0B 06 01 02 07 03 02 00 00 01");

        BuildReadRequest(link, 0);
        int n = Transact(link, nullptr, false);
        ASSERT_TRUE(ReadAnswerOk(link, n)) << "count " << n;
        EXPECT_EQ(answerData(n)[3], 2);  // the software version

        ASSERT_TRUE(BuildWriteRequest(link, 4, record.data(), int(record.size())));
        n = Transact(link, nullptr, false);
        ASSERT_TRUE(AnswerPassesCommonChecks(link, n, kFnWriteTable)) << "count " << n;
        EXPECT_EQ(n, 10);

        BuildReadRequest(link, 4);
        n = Transact(link, nullptr, true);
        ASSERT_TRUE(ReadAnswerOk(link, n)) << "count " << n;
        EXPECT_EQ(answerData(n), record);
    }
}
