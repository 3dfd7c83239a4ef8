// imitate and listen as the installed program runs them: imitate against the virtual controller in the
// field, listen on a line a peer writes; their JSON lines read back as a script would.
#include "Crc16.h"
#include "FlowFrames.h"
#include "Pty.h"
#include "SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <termios.h>

namespace {

struct Proc : QProcess {
    ~Proc() override {
        kill();
        waitForFinished();
    }
};

class CliLine : public ::testing::Test {
protected:
    // nohup: started as nohup starts it, with hang-ups ignored.
    void start(Proc& tool, const QStringList& args, bool nohup = false) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("RMZ47_SETTINGS"), dir.filePath(QStringLiteral("marvil.ini")));
        env.insert(QStringLiteral("RMZ47_DATA_DIR"), dir.path());
        env.remove(QStringLiteral("DISPLAY"));
        tool.setProcessEnvironment(env);
        if (nohup)
            tool.start(QStringLiteral("nohup"), QStringList{QStringLiteral(RMZ47_PATH)} + args);
        else
            tool.start(QStringLiteral(RMZ47_PATH), args);
        ASSERT_TRUE(tool.waitForStarted());
    }
    // Its JSON lines once it ended with status 0; the last one is the summary.
    static QList<QJsonObject> finish(Proc& tool, int timeoutMs = 60000) {
        EXPECT_TRUE(tool.waitForFinished(timeoutMs));
        EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        QList<QJsonObject> lines;
        for (const QByteArray& line : tool.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        EXPECT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.isEmpty() ? QString() : lines.back()[QStringLiteral("kind")].toString(),
                  QStringLiteral("summary"));
        return lines;
    }
    QTemporaryDir dir;
};

// The field controller polls runs 1:1 and 2:1 at 9600 bit/s; the imitation ends by its time, by a signal
// or at the pulses due, and its answer lines add up to its summary.
TEST_F(CliLine, ImitateAnswersTheFieldControllerUntilItIsToldToEnd) {
    struct Case {
        QStringList args;
        int signal; // sent once three answers were printed; 0 for none
        const char* ended;
        bool nohup = false; // the hang-up is ignored: three more answers, then SIGTERM ends it
    };
    const Case cases[] = {
        {{"--for", "8s"}, 0, "for"},  {{}, SIGTERM, "signal"},
        {{}, SIGINT, "signal"},       {{}, SIGHUP, "signal"},
        {{}, SIGHUP, "signal", true}, {{"--pulse-value", "1", "--pulses", "30"}, 0, "pulses"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.signal ? strsignal(c.signal) : c.ended) + (c.nohup ? " under nohup" : ""));
        Proc sim, tool;
        QString device;
        ASSERT_TRUE(StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), {"--field", "--quiet"}, &device));
        // Held until the tool listens at 9600 bit/s, so that its first request is not lost.
        ::kill(pid_t(sim.processId()), SIGSTOP);
        start(tool,
              QStringList{"imitate", "--port", device, "--run", "1:1:3600", "--run", "2:1:36000:lsb",
                          "--speed", "9600", "--json"} +
                  c.args,
              c.nohup);
        QThread::msleep(1500);
        ::kill(pid_t(sim.processId()), SIGCONT);
        const auto waitForAnswers = [&tool](int n) {
            while (tool.state() == QProcess::Running && tool.peek(1 << 20).count("\"kind\":\"answer\"") < n)
                tool.waitForReadyRead(1000);
        };
        if (c.signal) {
            waitForAnswers(3);
            ::kill(pid_t(tool.processId()), c.signal);
        }
        if (c.nohup) {
            waitForAnswers(6);
            ASSERT_EQ(tool.state(), QProcess::Running);
            ::kill(pid_t(tool.processId()), SIGTERM);
        }
        const QList<QJsonObject> lines = finish(tool);
        ASSERT_GE(lines.size(), 4);
        const QJsonObject summary = lines.back();
        EXPECT_EQ(summary[QStringLiteral("ended")].toString(), QString::fromLatin1(c.ended));
        const QJsonArray runs = summary[QStringLiteral("runs")].toArray();
        ASSERT_EQ(runs.size(), 2);
        for (const QJsonValue& run : runs) {
            const int address = run[QStringLiteral("address")].toInt();
            const auto of = std::count_if(lines.begin(), lines.end() - 1, [&](const QJsonObject& o) {
                return o[QStringLiteral("address")].toInt() == address;
            });
            EXPECT_EQ(run[QStringLiteral("answers")].toInt(), of) << address;
            EXPECT_GT(run[QStringLiteral("volume")].toDouble(), 0) << address;
        }
        if (c.args.contains(QStringLiteral("--pulses"))) {
            EXPECT_GE(summary[QStringLiteral("expected_pulses")].toInt(), 30);
        }
    }
}

QByteArray Bytes(std::span<const std::uint8_t> frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

// A line that carries every kind of frame and fault once, with run 2:1 answering least significant first.
TEST_F(CliLine, ListenReadsEveryFrameAPeerPutsOnTheLine) {
    PtyPair line;
    ASSERT_TRUE(line.ok());
    Proc tool;
    start(tool, {"listen", "--port", line.slavePath(), "--speed", "9600", "--order", "2:1:lsb", "--for", "3s",
                 "--json"});
    termios t{};
    for (int i = 0; i < 200 && (tcgetattr(line.masterFd(), &t) != 0 || cfgetospeed(&t) != B9600); ++i)
        QThread::msleep(10);
    QThread::msleep(300); // past the open's own clearing of the queues
    proto::FlowSlots speakers;
    speakers.ImitFlIndex = 1;
    speakers.ImitRashod = {3600.0, 7200.0, 0};
    speakers.ImitMsbFirst = {true, false, true};
    std::array<std::uint8_t, proto::kFlowAnswerSize> answers[2];
    for (int s = 0; s < 2; ++s)
        proto::BuildFlowAnswer(proto::BuildFlowRequest(quint8(s + 1), 1), answers[s], s, speakers, 1000);
    QByteArray broken = Bytes(answers[0]);
    broken[22] = char(broken[22] ^ 1);
    QByteArray read("\xFF\xFF\xFF\xCC\xFF\x0A\x01\x00\x00\x00\xFF\x00\x00", 13);
    proto::FrameCrc(reinterpret_cast<std::uint8_t*>(read.data() + 3), 10);
    line.write(read + Bytes(proto::BuildFlowRequest(1, 1)) + "\xFF" + Bytes(answers[0]) +
               Bytes(proto::BuildFlowRequest(2, 1)) + "\xFF" + Bytes(answers[1]) + "\x13\x27\x11\xFF" +
               broken + "\xAA\x03\x07");
    const QList<QJsonObject> lines = finish(tool);
    QStringList kinds;
    for (const QJsonObject& o : lines)
        kinds << o[QStringLiteral("kind")].toString();
    EXPECT_EQ(kinds, (QStringList{"controller_request", "flow_request", "flow_answer", "flow_request",
                                  "flow_answer", "noise", "bad_crc", "cut_short", "summary"}));
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[0][QStringLiteral("bytes")].toString(), QString::fromLatin1(read.mid(3).toHex()));
    EXPECT_TRUE(lines[0][QStringLiteral("time")].toString().contains(
        QRegularExpression(R"(T\d\d:\d\d:\d\d\.\d{3})")));
    for (int i : {2, 4}) {
        EXPECT_EQ(lines[i][QStringLiteral("address")].toInt(), i / 2);
        EXPECT_EQ(lines[i][QStringLiteral("run")].toInt(), 1);
        EXPECT_DOUBLE_EQ(lines[i][QStringLiteral("flow")].toDouble(), 3600.0 * (i / 2)) << i;
        EXPECT_NEAR(lines[i][QStringLiteral("volume")].toDouble(), i / 2, 1e-6) << i;
    }
    const QJsonObject summary = lines.back();
    const QJsonObject total = summary[QStringLiteral("total")].toObject();
    EXPECT_EQ(total[QStringLiteral("requests")].toInt(), 3);
    EXPECT_EQ(total[QStringLiteral("answers")].toInt(), 2);
    EXPECT_EQ(total[QStringLiteral("bad_crc")].toInt(), 1);
    EXPECT_EQ(total[QStringLiteral("cut_short")].toInt(), 1);
    EXPECT_EQ(total[QStringLiteral("noise_bytes")].toInt(), 3);
    EXPECT_EQ(summary[QStringLiteral("runs")].toArray().size(), 2);
}

// A dropped session hangs listen up: it ends with its summary, unless nohup started it, when the hang-up
// is ignored and the rows go on.
TEST_F(CliLine, ListenEndsWithItsSummaryOnAHangUpUnlessNohup) {
    for (const bool nohup : {false, true}) {
        SCOPED_TRACE(nohup ? "nohup" : "hang-up");
        PtyPair line;
        ASSERT_TRUE(line.ok());
        Proc tool;
        start(tool, {"listen", "--port", line.slavePath(), "--json"}, nohup);
        const QByteArray request = Bytes(proto::BuildFlowRequest(1, 1));
        const auto rows = [&tool] { return tool.peek(1 << 20).count("\"kind\":\"flow_request\""); };
        // Written until a row shows that the tool reads the line.
        while (tool.state() == QProcess::Running && rows() == 0) {
            line.write(request);
            tool.waitForReadyRead(300);
        }
        ::kill(pid_t(tool.processId()), SIGHUP);
        if (nohup) {
            const auto before = rows();
            while (tool.state() == QProcess::Running && rows() == before) {
                line.write(request);
                tool.waitForReadyRead(300);
            }
            ASSERT_EQ(tool.state(), QProcess::Running);
            ::kill(pid_t(tool.processId()), SIGTERM);
        }
        const QList<QJsonObject> lines = finish(tool);
        EXPECT_GE(lines.size(), 2);
    }
}

} // namespace
