// Start-up of the tool against an empty Qt Widgets window in the same run: time from starting the process
// to its main window shown (the "shown" line that tool_window, the program with a probe, prints at the
// first turn of its event loop after the show), and its resident memory then. The tool runs with a
// settings file of its own whose COM1 is the virtual controller, so its start opens a real port. Runs are
// alternated so that both see the same machine; medians are printed with their ratio (target: the tool
// within 1.5 times the empty window).
//
//   startup_bench [runs]      (default 15)
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

struct Sample {
    double ms = -1;
    long rssKb = -1;
};

Sample RunOnce(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    const auto t0 = std::chrono::steady_clock::now();
    p.start(program, args);
    QByteArray out;
    Sample s;
    const auto end = t0 + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        if (!p.waitForReadyRead(50) && p.state() == QProcess::NotRunning)
            break;
        out += p.readAllStandardOutput();
        const int at = int(out.indexOf("shown rss_kb="));
        if (at >= 0 && out.indexOf('\n', at) > at) {
            s.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            s.rssKb = out.mid(at + 13, out.indexOf('\n', at) - at - 13).toLong();
            break;
        }
    }
    if (!p.waitForFinished(30000))
        p.kill();
    return s;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

    QTemporaryDir dir;
    const QString com1 = dir.filePath(QStringLiteral("com1"));
    bench::Sim sim;
    if (!sim.startOrSay("startup_bench", com1, {"--quiet"}))
        return 2;
    const QString settings = dir.filePath(QStringLiteral("marvil.ini"));
    QFile f(settings);
    if (!f.open(QIODevice::WriteOnly))
        return 2;
    f.write("[rs 232]\nCOM Port=1\nRTS=1\n[ports]\nCOM1=" + com1.toLocal8Bit() + "\n");
    f.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("RMZ47_SETTINGS"), settings);

    std::vector<double> toolMs, emptyMs, labelMs, toolKb, emptyKb, labelKb;
    int failures = 0;
    for (int i = -1; i < runs; ++i) { // one round to warm the caches
        const Sample e = RunOnce(QStringLiteral(EMPTY_WINDOW_PATH), {}, env);
        const Sample l = RunOnce(QStringLiteral(EMPTY_WINDOW_PATH), {QStringLiteral("--label")}, env);
        const Sample t = RunOnce(QStringLiteral(TOOL_WINDOW_PATH), {}, env);
        if (e.ms < 0 || l.ms < 0 || t.ms < 0) {
            ++failures;
            continue;
        }
        if (i < 0)
            continue;
        emptyMs.push_back(e.ms);
        labelMs.push_back(l.ms);
        toolMs.push_back(t.ms);
        emptyKb.push_back(double(e.rssKb));
        labelKb.push_back(double(l.rssKb));
        toolKb.push_back(double(t.rssKb));
    }
    const double tm = bench::Percentile(toolMs, 0.5), em = bench::Percentile(emptyMs, 0.5);
    const double tk = bench::Percentile(toolKb, 0.5), ek = bench::Percentile(emptyKb, 0.5);
    const double lm = bench::Percentile(labelMs, 0.5), lk = bench::Percentile(labelKb, 0.5);
    std::printf("startup_bench: %zu runs each, platform %s, medians\n", toolMs.size(),
                qPrintable(env.value(QStringLiteral("QT_QPA_PLATFORM"))));
    std::printf("  empty Qt Widgets window: shown after %.1f ms, resident %.0f KiB\n", em, ek);
    std::printf("  the same with one label: shown after %.1f ms, resident %.0f KiB\n", lm, lk);
    std::printf("  rmz47 main window      : shown after %.1f ms, resident %.0f KiB (COM1 opened)\n", tm, tk);
    std::printf(
        "startup_bench: tool / empty window: time %.2fx, memory %.2fx (target within 1.5x), %d failed runs\n",
        em > 0 ? tm / em : 0.0, ek > 0 ? tk / ek : 0.0, failures);
    std::printf("startup_bench: tool / window with one label: time %.2fx, memory %.2fx\n",
                lm > 0 ? tm / lm : 0.0, lk > 0 ? tk / lk : 0.0);
    sim.stop();
    return failures == 0 ? 0 : 1;
}
