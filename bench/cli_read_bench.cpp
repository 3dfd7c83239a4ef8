// The command line's cost beyond the line: `rmz47 read` is started as a process against the virtual
// controller at 1200 bit/s (no turnaround of its own), and its wall time from the start to its end minus
// the line time of what crossed the line (the tool's requests with their 3-byte preamble and the
// controller's answers as the simulator logs them, 10 bits a byte) is the program's start, its port
// open, its waits and its end. Prints median, p90 and worst.
//
//   cli_read_bench [runs]      (default 15)
#include "BenchSupport.h"

#include "LineSpeed.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

constexpr int kRequestPreamble = 3; // the tool's 0xFF bytes before each request, not in the log

// Bytes the simulator logged on its lines "hh:mm:ss.mmm rx|tx HH HH ...  what" since `from`.
qint64 LoggedLineBytes(const QByteArray& log, qsizetype from) {
    qint64 bytes = 0;
    for (const QByteArray& line : log.mid(from).split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 3 || (words[1] != "rx" && words[1] != "tx"))
            continue;
        if (words[1] == "rx")
            bytes += kRequestPreamble;
        for (qsizetype i = 2; i < words.size() && words[i].size() == 2; ++i)
            ++bytes;
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir dir;
    const QString com1 = dir.filePath(QStringLiteral("com1"));
    bench::Sim sim;
    if (!sim.startOrSay("cli_read_bench", com1, {"--answer-delay", "0", "--baud", "1200"}))
        return 2;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("RMZ47_SETTINGS"), dir.filePath(QStringLiteral("marvil.ini")));
    env.insert(QStringLiteral("RMZ47_DATA_DIR"), dir.path());
    env.remove(QStringLiteral("DISPLAY"));
    const double byteMs = 10000.0 / proto::kControllerBaud;
    std::vector<double> wall, beyond;
    for (int i = 0; i < runs; ++i) {
        const qsizetype from = sim.output().size();
        QProcess tool;
        tool.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        tool.start(QStringLiteral(RMZ47_PATH), {QStringLiteral("read"), QStringLiteral("--port"), com1});
        if (!tool.waitForFinished(30000) || tool.exitCode() != 0) {
            std::fprintf(stderr, "cli_read_bench: read failed: %s\n",
                         tool.readAllStandardError().constData());
            return 1;
        }
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
        const qint64 bytes = LoggedLineBytes(sim.output(), from);
        wall.push_back(ms);
        beyond.push_back(ms - double(bytes) * byteMs);
        std::printf("run %2d: wall %.1f ms, line %lld bytes = %.1f ms, beyond the line %.1f ms\n", i + 1, ms,
                    static_cast<long long>(bytes), double(bytes) * byteMs, beyond.back());
    }
    std::printf("rmz47 read over %d runs: wall median %.1f ms; beyond the line median %.1f ms, p90 %.1f ms, "
                "worst %.1f ms (target <= 30 ms)\n",
                runs, bench::Percentile(wall, 0.5), bench::Percentile(beyond, 0.5),
                bench::Percentile(beyond, 0.9), bench::Percentile(beyond, 1.0));
    return 0;
}
