// Soak run of the imitation: the virtual controller polls three imitated flow computers at 38400 bit/s
// for a long run of requests against the tool's real imitation loop in its real main window (offscreen,
// real serial port over the simulator's pseudo-terminal). Prints the figures and checks:
//   - the poller's totals: every request answered, every answer good (start, address, run, length,
//     function, CRC), none missing;
//   - the tool's answer counters add up to the requests, per slot as the poller spread them;
//   - the tool's resident memory at the end is within 1 MiB of what it was when the line monitor's ring
//     filled (the monitor records from the start); with --echo, where it does not record, of what it was
//     after the first 1,000 requests.
// Exit code 0 when all hold.
//
//   soak [--count N] [--period MS] [--gap MS] [--log FILE] [--echo] [--monitor]
//   (defaults: 100000 requests, 10 ms between request starts, 2 ms of silence after each answer before the
//   next request; --log keeps the simulator's exchange lines, for short runs; --echo makes the simulator
//   send back every byte the tool writes, as a two-wire line does, and counts the read-backs the tool
//   recognised; --monitor also opens the line monitor's window: its ring fills either way, and the memory
//   then stays flat)
#include "BenchLinkUi.h"
#include "BenchSupport.h"

#include "ImitLoop.h"
#include "Imitunit.h"
#include "Main.h"
#include "MonitorWindow.h"
#include "Program.h"
#include "Protocol.h"
#include "QtPort.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Counts the tool's own answers it read back and dropped.
struct EchoCount : LineObserver {
    long readBacks = 0, bytes = 0;
    void lineEvents(const std::vector<LineEvent>& events) override {
        for (const LineEvent& e : events)
            if (e.kind == LineEventKind::Echo) {
                ++readBacks;
                bytes += e.count;
            }
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    long count = 100000, period = 10, gap = 2;
    QString logPath;
    bool echo = false;
    bool withMonitor = false; // the line monitor open (not with --echo: the tap has one observer)
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (!std::strcmp(argv[i], "--echo"))
            echo = true;
        else if (!std::strcmp(argv[i], "--monitor"))
            withMonitor = true;
        else if (!std::strcmp(argv[i], "--count") && ++i)
            count = std::max(3L, std::atol(value));
        else if (!std::strcmp(argv[i], "--period") && ++i)
            period = std::max(1L, std::atol(value));
        else if (!std::strcmp(argv[i], "--gap") && ++i)
            gap = std::max(0L, std::atol(value));
        else if (!std::strcmp(argv[i], "--log") && ++i)
            logPath = QString::fromLocal8Bit(value);
    }
    // At 38400 bit/s a request is 7 bytes (1.8 ms) and an answer 24 (6.3 ms, which the tool also holds
    // RTS for): 10 ms between request starts leaves the tool a little under 2 ms to turn round. When an
    // answer comes late the next request follows it after the gap.
    const long baud = 38400;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("com1"));
    const QString settings = dir.filePath(QStringLiteral("marvil.ini"));
    {
        QFile f(settings);
        if (!f.open(QIODevice::WriteOnly))
            return 2;
        f.write("[rs 232]\nCOM Port=1\nRTS=1\n[ports]\nCOM1=" + link.toLocal8Bit() + "\n");
    }
    bench::Sim poller;
    QStringList pollArgs = {"--poll",   "1:1,2:2,3:3:lsb",       "--baud",    QString::number(baud),
                            "--period", QString::number(period), "--gap",     QString::number(gap),
                            "--count",  QString::number(count),  "--timeout", "200"};
    if (logPath.isEmpty())
        pollArgs << "--quiet";
    if (echo)
        pollArgs << "--echo";
    if (!poller.start(link, pollArgs, true)) {
        std::fprintf(stderr, "soak: the simulator did not start: %s\n", poller.output().constData());
        return 2;
    }

    QtPort port;
    Program program(port, SystemClock(), settings);
    bench::StderrLinkUi linkUi("soak");
    program.link.setUi(&linkUi);
    TMainForm form(program);
    form.show();
    MonitorHookup monitor(form, program.link, &program.imit);
    if (withMonitor)
        monitor.open();
    // In the monitor's place: the tap tells one observer.
    EchoCount echoes;
    if (echo)
        program.link.tap().setObserver(&echoes, nullptr);
    if (!program.link.portOpen()) {
        std::fprintf(stderr, "soak: COM1 did not open\n");
        return 2;
    }
    program.imit.ImitFlIndex = 2;
    program.imit.ImitAddr = {1, 2, 3};
    program.imit.ImitNitka = {1, 2, 3};
    program.imit.ImitRashod = {3600.0, 120.5, 0.25};
    program.imit.ImitMsbFirst = {true, true, false};
    program.imit.ImitSpeedIndex = 10; // 38400

    const auto answered = [] {
        const auto& a = LastImitRun().ImitAnswers;
        return long(a[0]) + a[1] + a[2];
    };
    long rssAfter1000 = -1, rssEnd = -1, rssStart = bench::RssKb();
    long rssRingFull = -1; // when the monitor's ring filled (before that it grows by design)
    double cpuStart = 0, cpuEnd = 0;
    long nextReport = 10000;
    const auto t0 = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point tEnd;
    bench::Sim controller; // takes the poller's place so that Stop finds a controller at 1200

    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const long n = answered();
        if (rssAfter1000 < 0 && n >= 1000) {
            rssAfter1000 = bench::RssKb();
            cpuStart = CpuSeconds();
        }
        const int rows = echo ? 0 : monitor.lineMonitor().model().rowCount();
        if (rssRingFull < 0 && rows > 0 && rows >= monitor.lineMonitor().model().capacity()) {
            rssRingFull = bench::RssKb();
            std::fprintf(stderr, "soak: %ld answered, the monitor's ring full, rss %ld KiB\n", n,
                         rssRingFull);
        }
        if (n >= nextReport) {
            std::fprintf(stderr, "soak: %ld answered, rss %ld KiB, %d monitor rows\n", n, bench::RssKb(),
                         rows);
            nextReport += 10000;
        }
    });
    sampler.start(100);
    QObject::connect(&poller.proc, &QProcess::finished, [&] {
        tEnd = std::chrono::steady_clock::now();
        rssEnd = bench::RssKb();
        cpuEnd = CpuSeconds();
        if (!controller.start(link, {"--quiet"}))
            std::fprintf(stderr, "soak: no controller for the way back\n");
        program.stopControl.requestStop();
    });
    QTimer::singleShot(0, [&] { poller.resume(); });
    RunImitation(form, program.link, program.imit, program.stopControl);
    sampler.stop();

    const QByteArray out = poller.stop();
    if (!logPath.isEmpty()) {
        QFile log(logPath);
        if (log.open(QIODevice::WriteOnly))
            log.write(out);
    }
    static const QRegularExpression re(
        QStringLiteral(R"(totals: sent (\d+) good (\d+) bad (\d+) missing (\d+))"));
    const auto m = re.match(QString::fromLocal8Bit(out));
    const long sent = m.hasMatch() ? m.captured(1).toLong() : -1,
               good = m.hasMatch() ? m.captured(2).toLong() : -1,
               bad = m.hasMatch() ? m.captured(3).toLong() : -1,
               missing = m.hasMatch() ? m.captured(4).toLong() : -1;
    const auto& per = LastImitRun().ImitAnswers;
    const double seconds = std::chrono::duration<double>(tEnd - t0).count();

    std::printf(
        "soak: %ld requests polled at %ld bit/s, %ld ms apart (%ld ms of silence after an answer), over "
        "three slots in %.0f s (%.1f requests/s)\n",
        sent, baud, period, gap, seconds, seconds > 0 ? double(sent) / seconds : 0.0);
    std::printf("soak: poller totals: sent %ld good %ld bad %ld missing %ld\n", sent, good, bad, missing);
    std::printf("soak: tool answer counters: %d + %d + %d = %ld\n", per[0], per[1], per[2], answered());
    std::printf("soak: resident memory: %ld KiB at start, %ld KiB after 1000 requests, %ld KiB at the end "
                "(%+ld KiB)\n",
                rssStart, rssAfter1000, rssEnd, rssEnd - rssAfter1000);
    if (rssRingFull > 0)
        std::printf(
            "soak: resident memory with the monitor's ring full: %ld KiB when it filled, %ld KiB at the end "
            "(%+ld KiB)\n",
            rssRingFull, rssEnd, rssEnd - rssRingFull);
    if (echo)
        std::printf("soak: read back and dropped as echo: %ld answers, %ld bytes\n", echoes.readBacks,
                    echoes.bytes);
    std::printf("soak: tool processor time after the first 1000 requests: %.1f s (%.1f %% of one core)\n",
                cpuEnd - cpuStart, seconds > 0 ? 100.0 * (cpuEnd - cpuStart) / seconds : 0.0);

    // The poller spreads its requests round-robin over the three slots, starting with the first.
    bool ok = true;
    const auto check = [&](bool holds, const char* what) {
        std::printf("soak: %-62s %s\n", what, holds ? "ok" : "FAILED");
        ok = ok && holds;
    };
    check(sent == count, "all requests were sent");
    check(good == sent && bad == 0 && missing == 0, "every request answered, every answer good");
    check(answered() == sent, "tool answer counters equal the requests");
    check(per[0] == (sent + 2) / 3 && per[1] == (sent + 1) / 3 && per[2] == sent / 3, "per slot as polled");
    if (echo) // the echo counter holds the tap in the monitor's place
        check(rssAfter1000 > 0 && rssEnd - rssAfter1000 <= 1024,
              "memory at the end within 1 MiB of after 1000");
    else if (rssRingFull > 0)
        check(rssEnd - rssRingFull <= 1024, "memory at the end within 1 MiB of the monitor's ring full");
    else
        std::printf("soak: the monitor's ring did not fill: its memory not checked\n");
    check(program.link.LineSpeed() == proto::kControllerBaud && program.link.portOpen(),
          "port back at 1200 after Stop");
    controller.stop();
    return ok ? 0 : 1;
}
