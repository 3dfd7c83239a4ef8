// The program itself: started as a process, spoken to over its pseudo-terminal like the tool does.
#include "SimController.h"
#include "SimTestBytes.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace sim;

namespace {

// Generous: the machine is shared and the simulator paces its bytes at 1200 baud (8.3 ms a byte).
constexpr int kWaitMs = 10000;

class SimProcess {
public:
    ~SimProcess() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(kWaitMs);
        }
    }
    // Starts the simulator and reads its first line; the path of the tool's end is in pty.
    void start(const QStringList& args) {
        proc.start(QStringLiteral(RMZ47_SIM_PATH), args);
        ASSERT_TRUE(proc.waitForStarted(kWaitMs)) << qPrintable(proc.errorString());
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (!proc.canReadLine() && std::chrono::steady_clock::now() < end)
            proc.waitForReadyRead(100);
        ASSERT_TRUE(proc.canReadLine())
            << "no first line; stderr: " << proc.readAllStandardError().toStdString();
        const QByteArray line = proc.readLine().trimmed();
        ASSERT_TRUE(line.startsWith("PTY /dev/")) << line.toStdString();
        pty = QString::fromLocal8Bit(line.mid(4));
    }
    // SIGTERM, then the exit code (-1 when it did not end normally).
    int stop() {
        proc.terminate();
        if (!proc.waitForFinished(kWaitMs) || proc.exitStatus() != QProcess::NormalExit)
            return -1;
        return proc.exitCode();
    }
    QProcess proc;
    QString pty;
};

// The tool's end of the line: raw, 8N1, like the serial port the tool opens.
class Line {
public:
    explicit Line(const QString& path) {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (fd_ >= 0) {
            termios t{};
            ::tcgetattr(fd_, &t);
            ::cfmakeraw(&t);
            ::cfsetspeed(&t, B1200);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Line() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void write(const Bytes& b) { ASSERT_EQ(::write(fd_, b.data(), b.size()), ssize_t(b.size())); }
    // Reads until n bytes came or waitMs passed.
    Bytes read(std::size_t n, int waitMs = kWaitMs) {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (out.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(left.count())) <= 0)
                break;
            std::uint8_t buf[256];
            const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0)
                break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

private:
    int fd_ = -1;
};

const Bytes kPreamble = H("FF FF FF");

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes WriteT4(const Bytes& data) {
    Bytes f = {0xCC, 0xFF, std::uint8_t(26 + data.size()), 0x02};
    f.resize(21, 0);
    f.insert(f.end(), {0x04, 0x00, std::uint8_t(data.size())});
    return WithCrc(Cat(f, data));
}

} // namespace

TEST(SimProgram, AnswersTheToolsReadsAndWriteAndKeepsTheState) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("COM1");
    const QString state = dir.filePath("state.txt");
    const Bytes written = H("02 14 1E 58 02 00 00 48 43 F4 01 05 02 0B 06 01 02 07 03 02 30 00 01");
    {
        SimProcess sim;
        ASSERT_NO_FATAL_FAILURE(sim.start({"--link", link, "--state", state, "--unconfigured"}));
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.pty);
        Line line(link);
        ASSERT_TRUE(line.ok());
        struct Step {
            const char* what;
            Bytes request;
            Bytes answer;
        };
        const Step steps[] = {
            {"table 0", H("CC FF 0A 01 00 00 00 FF 3E 2B"),
             WithCrc(H("33 FF 18 81 00 00 00 0E 2F 01 00 03 00 00 00 00 00 00 00 00 00 00"))},
            {"table 7", H("CC FF 0A 01 00 07 00 FF 8F EA"),
             WithCrc(H("33 FF 12 81 00 00 00 08 00 00 00 00 01 00 00 00"))},
            {"table 4", H("CC FF 0A 01 00 04 00 FF 7F EA"),
             WithCrc(Cat(H("33 FF 21 81 00 00 00 17"),
                         H("01 0A 0A 2C 01 00 00 C8 42 64 00 01 01 02 02 01 02 03 01 02 51 01 01")))},
            {"write", WriteT4(written), WithCrc(H("33 FF 0A 82 00 00 00 00"))},
            {"table 4 again", H("CC FF 0A 01 00 04 00 FF 7F EA"),
             WithCrc(Cat(H("33 FF 21 81 00 00 00 17"), written))},
            {"table 7 again", H("CC FF 0A 01 00 07 00 FF 8F EA"),
             WithCrc(H("33 FF 12 81 00 00 00 08 00 00 00 00 00 00 00 00"))},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(s.what);
            const Bytes want = Cat(kPreamble, s.answer);
            line.write(Cat(kPreamble, s.request));
            EXPECT_EQ(ToHex(line.read(want.size())), ToHex(want));
        }
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_FALSE(QFileInfo(link).isSymLink()) << "link left behind";
        EXPECT_FALSE(QFileInfo::exists(link));
    }
    {
        // A second run with the same state file serves what the first one stored.
        SimProcess sim;
        ASSERT_NO_FATAL_FAILURE(sim.start({"--state", state}));
        Line line(sim.pty);
        line.write(Cat(kPreamble, H("CC FF 0A 01 00 04 00 FF 7F EA")));
        const Bytes want = Cat(kPreamble, WithCrc(Cat(H("33 FF 21 81 00 00 00 17"), written)));
        EXPECT_EQ(ToHex(line.read(want.size())), ToHex(want));
        EXPECT_EQ(sim.stop(), 0);
    }
}

TEST(SimProgram, OptionsSetVersionAndRecordAndOldVersionsWrite20Bytes) {
    const Bytes t4 = H("01 0A 0A 2C 01 00 00 C8 42 64 00 01 01 02 02 01 02 03 01 02 A5"); // 21 bytes
    SimProcess sim;
    ASSERT_NO_FATAL_FAILURE(sim.start({"--soft-version=1", "--table4", QString::fromStdString(ToHex(t4))}));
    Line line(sim.pty);
    const struct {
        Bytes request, answer;
    } steps[] = {
        {H("CC FF 0A 01 00 00 00 FF 3E 2B"),
         WithCrc(H("33 FF 18 81 00 00 00 0E 2F 01 00 01 00 00 00 00 00 00 00 00 00 00"))},
        {H("CC FF 0A 01 00 04 00 FF 7F EA"), WithCrc(Cat(H("33 FF 1F 81 00 00 00 15"), t4))},
        {WriteT4(Bytes(20, 0x07)), WithCrc(H("33 FF 0A 82 00 00 00 00"))},
        // Byte 20 is not part of a version-1 write: it keeps its value.
        {H("CC FF 0A 01 00 04 00 FF 7F EA"),
         WithCrc(Cat(Cat(H("33 FF 1F 81 00 00 00 15"), Bytes(20, 0x07)), H("A5")))},
    };
    for (const auto& s : steps) {
        line.write(Cat(kPreamble, s.request));
        const Bytes want = Cat(kPreamble, s.answer);
        EXPECT_EQ(ToHex(line.read(want.size())), ToHex(want));
    }
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimProgram, EchoesTheToolAndStaysSilentWhenTold) {
    SimProcess sim;
    ASSERT_NO_FATAL_FAILURE(sim.start({"--echo", "--silent", "--baud", "9600"}));
    // Opened the way the tool opens its port, through QSerialPort, while the simulator holds its own handle.
    QSerialPort port(sim.pty);
    port.setBaudRate(9600);
    ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
    const QByteArray req = QByteArray::fromHex("FFFFFFCCFF0A01000000FF3E2B");
    port.write(req);
    ASSERT_TRUE(port.waitForBytesWritten(kWaitMs));
    QByteArray echo;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (echo.size() < req.size() && std::chrono::steady_clock::now() < end)
        if (port.waitForReadyRead(100))
            echo += port.readAll();
    EXPECT_EQ(echo.toHex(' '), req.toHex(' '));
    // Silent: the request is logged, no answer follows. Wait for its log line rather than for a time.
    QByteArray out;
    while (!out.contains("no answer (silent)") && std::chrono::steady_clock::now() < end) {
        sim.proc.waitForReadyRead(100);
        out += sim.proc.readAllStandardOutput();
    }
    EXPECT_TRUE(out.contains("read table 0")) << out.toStdString();
    EXPECT_TRUE(out.contains("no answer (silent)")) << out.toStdString();
    port.waitForReadyRead(300);
    EXPECT_TRUE(port.readAll().isEmpty());
    port.close();
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimProgram, PollsTheImitatedFlowComputersAndCountsTheAnswers) {
    SimProcess sim;
    ASSERT_NO_FATAL_FAILURE(
        sim.start({"--poll", "1:1,7:2:lsb,9:9", "--period", "50", "--timeout", "300", "--count", "3"}));
    Line line(sim.pty);
    ASSERT_TRUE(line.ok());
    // Addr 1 run 1, msb first: the answer of 3600 m3/h at 10 s.
    EXPECT_EQ(ToHex(line.read(7)), "AA 01 07 06 01 4E 45");
    line.write(H("FF 55 01 17 86 01 45 61 00 00 41 20 00 00 00 00 00 00 41 20 00 00 D7 CD"));
    // Addr 7 run 2, lsb first: 0.5 m3/h, volume 0.25 m3.
    EXPECT_EQ(ToHex(line.read(7)), ToHex(WithCrc(H("AA 07 07 06 02"))));
    line.write(Cat(H("FF"), WithCrc(H("55 07 17 86 02 00 00 00 3F 00 00 80 3E 00 00 00 00 00 00 80 3E"))));
    // Addr 9 run 9: the tool stays quiet.
    EXPECT_EQ(ToHex(line.read(7)), ToHex(WithCrc(H("AA 09 07 06 09"))));

    ASSERT_TRUE(sim.proc.waitForFinished(kWaitMs));
    EXPECT_EQ(sim.proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.proc.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(sim.proc.readAllStandardOutput());
    EXPECT_TRUE(out.contains("addr 1 run 1 flow 3600.000 m3/h volume 10.000 m3 (msb first)"))
        << out.toStdString();
    EXPECT_TRUE(out.contains("addr 7 run 2 flow 0.500 m3/h volume 0.250 m3 (lsb first)"))
        << out.toStdString();
    EXPECT_TRUE(out.contains("MISSING")) << out.toStdString();
    EXPECT_TRUE(out.contains("totals: sent 3 good 2 bad 0 missing 1")) << out.toStdString();
}

TEST(SimProgram, BadOptionsGiveUsageAndExitCode2) {
    const QStringList cases[] = {
        {"--bogus"},
        {"--baud"},
        {"--baud", "fast"},
        {"--soft-version", "256"},
        {"--table4", "01 02 03"},
        {"--poll", "0:1"},
        {"--count", "3"}, // counts poll requests: meaningless without --poll
        {"--echo=1"},
    };
    for (const QStringList& args : cases) {
        QProcess p;
        p.start(QStringLiteral(RMZ47_SIM_PATH), args);
        ASSERT_TRUE(p.waitForFinished(kWaitMs)) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("usage: rmz47-sim")) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty()) << args.join(' ').toStdString();
    }
}
