// The command line's cost beyond the line: `rmz47 read` is started as a process against the virtual
// controller at 1200 bit/s (no turnaround of its own), and its wall time from the start to its end minus
// the line time of what crossed the line (the tool's requests with their 3-byte preamble and the
// controller's answers as the simulator logs them, 10 bits a byte) is the program's start, its port
// open, its waits and its end. Then the same for a read started right after one killed mid-exchange, which
// first lets the line fall quiet. Prints median, p90 and worst of both.
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

struct Timed {
    double wallMs = 0;
    double beyondMs = 0;
};

// One `rmz47 read` from its start to its end; false when it failed.
bool TimedRead(bench::Sim& sim, const QProcessEnvironment& env, const QString& port, Timed& t) {
    const qsizetype from = sim.output().size();
    QProcess tool;
    tool.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    tool.start(QStringLiteral(RMZ47_PATH), {QStringLiteral("read"), QStringLiteral("--port"), port});
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0) {
        std::fprintf(stderr, "cli_read_bench: read failed: %s\n", tool.readAllStandardError().constData());
        return false;
    }
    t.wallMs = double(timer.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();
    const double lineMs = double(LoggedLineBytes(sim.output(), from)) * 10000.0 / proto::kControllerBaud;
    t.beyondMs = t.wallMs - lineMs;
    return true;
}

// A read killed as soon as the controller has its first request, so that the answer comes after it.
void KilledRead(bench::Sim& sim, const QProcessEnvironment& env, const QString& port) {
    const qsizetype from = sim.output().size();
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(RMZ47_PATH), {QStringLiteral("read"), QStringLiteral("--port"), port});
    while (!sim.output().mid(from).contains(" rx ") && sim.proc.waitForReadyRead(30000)) {
    }
    tool.kill();
    tool.waitForFinished(30000);
}

void Summary(const char* what, int runs, const std::vector<Timed>& timed, const char* note = "") {
    std::vector<double> wall, beyond;
    for (const Timed& t : timed) {
        wall.push_back(t.wallMs);
        beyond.push_back(t.beyondMs);
    }
    std::printf("rmz47 read %s%d runs: wall median %.1f ms; beyond the line median %.1f ms, p90 %.1f ms, "
                "worst %.1f ms%s\n",
                what, runs, bench::Percentile(wall, 0.5), bench::Percentile(beyond, 0.5),
                bench::Percentile(beyond, 0.9), bench::Percentile(beyond, 1.0), note);
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
    // The stamps of the port's holders in the benchmark's own folder.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    std::vector<Timed> usual, afterKill;
    for (int i = 0; i < runs; ++i) {
        Timed t;
        if (!TimedRead(sim, env, com1, t))
            return 1;
        usual.push_back(t);
        std::printf("run %2d: wall %.1f ms, beyond the line %.1f ms\n", i + 1, t.wallMs, t.beyondMs);
    }
    // The next read after one killed mid-exchange first lets the line fall quiet.
    for (int i = 0; i < runs; ++i) {
        KilledRead(sim, env, com1);
        Timed t;
        if (!TimedRead(sim, env, com1, t))
            return 1;
        afterKill.push_back(t);
        std::printf("after a killed run %2d: wall %.1f ms, beyond the line %.1f ms\n", i + 1, t.wallMs,
                    t.beyondMs);
    }
    Summary("over ", runs, usual, " (target <= 30 ms)");
    Summary("after a killed run, over ", runs, afterKill);
    return 0;
}
