// Field mode: the pulse output's arithmetic, the polling schedule against a manual clock, what a receiver
// at the wrong speed hears, and the program polling its configured runs at their speeds over a
// pseudo-terminal whose end the test switches between speeds like the tool does.
#include "SimField.h"
#include "CfgRecord.h"
#include "Pty.h"
#include "SimOptions.h"
#include "SimProcess.h"
#include "SimTestBytes.h"
#include "SimUart.h"

#include <QSerialPort>
#include <QThread>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace sim;

namespace {

struct PulseRow {
    const char* what;
    float v;
    int nagCs, pauseCs;
    std::vector<std::pair<double, double>> credits; // (m3, at ms)
    double at;                                      // the output looked at then
    std::int64_t emitted, held;
};

TEST(FieldPulses, VolumeToPulsesWithinTheRateOfPulseAndPause) {
    const PulseRow rows[] = {
        {"below one pulse", 1.0f, 10, 10, {{0.999, 0}}, 5000, 0, 0},
        {"remainders add up across answers", 1.0f, 10, 10, {{0.6, 0}, {0.6, 1000}}, 5000, 1, 0},
        {"one pulse per V, emitted at once", 0.5f, 10, 10, {{2.0, 0}}, 0, 1, 3},
        {"a pulse every pulse plus pause", 0.5f, 10, 10, {{2.0, 0}}, 599, 3, 1},
        {"all out in time", 0.5f, 10, 10, {{2.0, 0}}, 600, 4, 0},
        {"2 s pulse, 1 s pause: one in 3 s", 1.0f, 200, 100, {{10.0, 0}}, 9000, 4, 6},
        {"an idle output does not save up turns", 1.0f, 50, 50, {{1.0, 0}, {3.0, 60000}}, 61000, 3, 1},
        {"no pulse length: nothing held back", 1.0f, 0, 0, {{7.5, 0}}, 0, 7, 0},
        {"V 0: no pulses", 0.0f, 10, 10, {{7.5, 0}}, 9000, 0, 0},
        {"V negative: no pulses", -1.0f, 10, 10, {{7.5, 0}}, 9000, 0, 0},
    };
    for (const PulseRow& r : rows) {
        SCOPED_TRACE(r.what);
        PulseEmitter out;
        out.configure(r.v, r.nagCs, r.pauseCs);
        for (const auto& [m3, t] : r.credits) {
            out.advance(t);
            out.credit(m3, t);
        }
        out.advance(r.at);
        EXPECT_EQ(out.emitted(), r.emitted);
        EXPECT_EQ(out.heldBack(), r.held);
    }
}

// 2 runs: addresses 5 and 6, runs 2 and 1, 3200 and 19200 bit/s; pulse and pause 0.1 s; period 1 s; V 1 m3;
// answer time-out 0.2 s; 2 attempts; run 2 sends its floats low byte first.
const char* const kTwoRuns = "02 0A 0A 64 00 00 00 80 3F 14 00 05 02 04 06 01 0F 03 01 0B 21 00 01";

TEST(FieldPolling, AsksEachRunItsAttemptsAndPausesForTheTool) {
    FieldPoller p(ReadFieldConfig(H(kTwoRuns), 3), 0);
    ASSERT_EQ(p.config().runs.size(), 2u);
    EXPECT_EQ(p.config().runs[0].baud, 3200);
    EXPECT_EQ(p.config().runs[1].baud, 19200);
    EXPECT_FALSE(p.config().runs[1].pair.msbFirst);
    std::vector<int> asked;
    double t = 0;
    for (int i = 0; i < 6; ++i) {
        auto a = p.due(t);
        ASSERT_TRUE(a);
        asked.push_back(a->run);
        p.sent(t);
        t = p.windowEnd();
        p.windowClosed(t);
        t = p.nextWake();
    }
    EXPECT_EQ(asked, (std::vector<int>{0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(p.runs()[0].unanswered, 4);
    p.toolTalked(t);
    EXPECT_FALSE(p.due(t + kToolQuietMs - 1));
    EXPECT_TRUE(p.due(t + kToolQuietMs));
}

// A new table 4 counts at once: the run count, the speeds and V of the write, the output's counts kept;
// the status names the version's kind, the arithmetic is the same.
TEST(FieldPolling, ANewConfigurationCountsAtOnce) {
    FieldPoller p(ReadFieldConfig(H(kTwoRuns), 3), 0);
    p.due(0);
    p.sent(0);
    FlowAnswerCheck good{true, "", 3600.0f, 2.5f};
    p.answered(good, 10);
    EXPECT_EQ(p.output().due(), 2);
    Bytes oneRun = H(kTwoRuns);
    oneRun[0] = 1;
    oneRun[5] = 0, oneRun[6] = 0, oneRun[7] = 0, oneRun[8] = 0x3F; // V 0.5 m3
    p.reconfigure(ReadFieldConfig(oneRun, 2), 20);
    EXPECT_EQ(p.config().runs.size(), 1u);
    EXPECT_EQ(p.runs()[0].volume, 2.5f) << "the same flow computer keeps its figures";
    good.volume = 3.5f;
    ASSERT_TRUE(p.due(20));
    p.sent(20);
    p.answered(good, 30);
    EXPECT_EQ(p.output().due(), 2 + 3) << "0.5 m3 left over and 1 m3 more, at 0.5 m3 a pulse";
    // Rounds a period apart, counted from the first request of each, also of the first after a pause.
    EXPECT_EQ(p.nextWake(), 20 + 1000);
    p.toolTalked(40);
    ASSERT_TRUE(p.due(40 + kToolQuietMs));
    p.sent(40 + kToolQuietMs);
    p.answered(good, 50 + kToolQuietMs);
    EXPECT_EQ(p.nextWake(), 40 + kToolQuietMs + 1000);
    EXPECT_NE(FieldStatus(p, 30).find("field v2 (by volume)"), std::string::npos);
    EXPECT_NE(FieldStatus(FieldPoller(ReadFieldConfig(oneRun, 3), 0), 0).find("v3 (by flow)"),
              std::string::npos);
}

TEST(FieldLine, AReceiverAtAnotherSpeedHearsOtherBytesTheSameForTheSameSeed) {
    const Bytes request = H("AA 01 07 06 01 4E 45");
    auto heard = [&](long tx, long rx, std::uint32_t seed) {
        std::mt19937 rng(seed);
        Bytes b;
        for (const HeardByte& h : MisSample(request, tx, rx, rng))
            b.push_back(h.byte);
        return b;
    };
    EXPECT_EQ(heard(9600, 9600, 1), request);
    for (auto [tx, rx] : {std::pair{9600L, 1200L}, {1200L, 9600L}, {9600L, 7680L}}) {
        SCOPED_TRACE(std::to_string(tx) + " heard at " + std::to_string(rx));
        EXPECT_NE(heard(tx, rx, 1), request);
        EXPECT_EQ(heard(tx, rx, 5), heard(tx, rx, 5));
    }
}

// Reads the line at `baud` for `ms` and tells whether `frame` came through whole.
bool HeardAt(QSerialPort& port, qint32 baud, const Bytes& frame, int ms) {
    port.setBaudRate(baud);
    port.clear();
    QByteArray got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        port.waitForReadyRead(50);
        got += port.readAll();
    }
    return got.contains(QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())));
}

TEST(FieldProgram, PollsTheConfiguredRunsAtTheirSpeeds) {
    QProcess proc;
    QString device;
    ASSERT_TRUE(StartSim(proc, QStringLiteral(RMZ47_SIM_PATH), {"--field", "--table4", kTwoRuns}, &device));
    QSerialPort port(device);
    ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
    const Bytes run1 = WithCrc(H("AA 05 07 06 02")), run2 = WithCrc(H("AA 06 07 06 01"));
    // 3200 has no termios constant: the port sets it as a custom rate.
    EXPECT_TRUE(HeardAt(port, 3200, run1, 3000));
    EXPECT_FALSE(HeardAt(port, 3200, run2, 3000));
    EXPECT_TRUE(HeardAt(port, 19200, run2, 3000));
    EXPECT_FALSE(HeardAt(port, 19200, run1, 3000));
    proc.terminate();
    ASSERT_TRUE(proc.waitForFinished(10000));
    // Two attempts for each run in turn, none answered.
    QStringList order;
    for (const QByteArray& line : proc.readAllStandardOutput().split('\n'))
        if (line.contains("flow request"))
            order << QString::fromLatin1(line.mid(line.indexOf("run "), 5));
    ASSERT_GE(order.size(), 8);
    EXPECT_EQ(order.mid(0, 8).join(','), "run 1,run 1,run 2,run 2,run 1,run 1,run 2,run 2");
}

// Field mode's own record goes through the configuration form as it is, in every version's size.
TEST(FieldOptions, TheDefaultRecordIsOneTheFormTakes) {
    for (std::string version : {"0", "1", "2", "3"}) {
        char* argv[] = {version.data(), const_cast<char*>("--field"), const_cast<char*>("--soft-version"),
                        version.data()};
        const Bytes t = ParseOptions(4, argv).state.table4;
        CfgContext cfg;
        cfg.SoftVersion = quint8(std::stoi(version));
        cfg.record.decode(t.data(), int(t.size()));
        CfgFormValues form;
        RecordToForm(cfg, form);
        EXPECT_NO_THROW(FormToRecordChecked(cfg, form)) << "version " << version;
        EXPECT_EQ(int(t.size()), proto::ConfigReadSize(cfg.SoftVersion));
    }
}

// Rewritten after a carriage return, the status must never wrap: a wrapped copy stays behind at every
// rewrite and scrolls everything else off the terminal. 80 columns hold both runs; 40 see the row cut.
TEST(FieldProgram, StatusOnATerminalKeepsToOneRowOfItsWidth) {
    PtyPair terminal;
    const QByteArray tty = terminal.slavePath().toLocal8Bit();
    QProcess proc;
    proc.setChildProcessModifier([tty] { ::dup2(::open(tty.constData(), O_WRONLY | O_NOCTTY), 2); });
    for (auto [columns, shows] : {std::pair{80, "run 2: 0.000 m3, 0 answers"}, std::pair{40, "..."}}) {
        winsize w{24, static_cast<unsigned short>(columns), 0, 0};
        ASSERT_EQ(::ioctl(terminal.masterFd(), TIOCSWINSZ, &w), 0);
        if (proc.state() == QProcess::NotRunning) {
            ASSERT_TRUE(StartSim(proc, QStringLiteral(RMZ47_SIM_PATH), {"--field", "--quiet"}));
        }
        terminal.read(1 << 20, 1200); // rows written before the resize
        QList<QByteArray> rows = terminal.read(1 << 20, 2200).replace("\033[K", "").split('\r');
        rows.removeAll(QByteArray());
        ASSERT_FALSE(rows.isEmpty());
        for (const QByteArray& row : rows)
            EXPECT_LT(row.size(), columns) << row.toStdString();
        EXPECT_TRUE(rows.last().contains(shows)) << rows.last().toStdString();
    }
    proc.terminate();
    EXPECT_TRUE(proc.waitForFinished(10000));
}

} // namespace
