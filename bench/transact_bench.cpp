// Per-exchange cost of Transact beyond the line: the tool reads table 0 from the virtual controller at
// 1200 bit/s over a pseudo-terminal (the simulator paces both directions at 10 bits a byte and answers
// with no turnaround of its own), and the time of each exchange minus the line time of the request
// (3 preamble bytes + 10) and of the answer (3 preamble bytes + the frame) is the overhead: the tool's
// send, purges, waits and frame collection, plus the simulator's own scheduling. Prints median and p99
// for the three ways the tool runs an exchange.
//
//   transact_bench [exchanges per mode]      (default 30)
#include "BenchLinkUi.h"
#include "BenchSupport.h"
#include "Settings.h"

#include "Now_opros.h"
#include "Protocol.h"
#include "QtPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    QTemporaryDir dir;
    const QString com1 = dir.filePath(QStringLiteral("com1"));
    bench::Sim sim;
    if (!sim.startOrSay("transact_bench", com1, {"--quiet", "--answer-delay", "0", "--baud", "1200"}))
        return 2;
    QtPort port;
    Link link;
    link.setSettingsPath(dir.filePath(QStringLiteral("marvil.ini")));
    {
        QFile f(link.settingsPath());
        if (!f.open(QIODevice::WriteOnly))
            return 2;
        f.write("[rs 232]\nCOM Port=1\nRTS=0\n[ports]\nCOM1=" + com1.toLocal8Bit() + "\n");
    }
    link.setPort(&port);
    link.setClock(&SystemClock());
    link.setPerfFrequency(SystemClock().perfFrequency());
    bench::StderrLinkUi linkUi("transact_bench");
    link.setUi(&linkUi);
    LoadSettings(link);
    link.setLineSpeed(proto::kControllerBaud);
    OpenPort(link);
    if (!link.portOpen())
        return 2;

    const double byteMs = 10000.0 / proto::kControllerBaud; // start, 8 data, stop
    struct Mode {
        const char* name;
        int rts;
        bool pump;
    } modes[] = {
        {"RTS off, windows served during the wait (table reads)", 0, true},
        {"RTS off, blocking wait (table write)", 0, false},
        {"RTS switched, windows served during the wait", 1, true},
    };
    int failures = 0;
    double worstMedian = 0;
    std::printf("transact_bench: table 0 reads at %d bit/s, %d exchanges per mode\n", proto::kControllerBaud,
                exchanges);
    for (const Mode& mode : modes) {
        link.setRtsControl(mode.rts);
        std::vector<double> overheadMs;
        double lineMs = 0;
        for (int i = -2; i < exchanges; ++i) { // two to warm up
            BuildReadRequest(link, 0);
            const auto t0 = std::chrono::steady_clock::now();
            const Reply reply = Exchange(link, nullptr, mode.pump);
            const auto t1 = std::chrono::steady_clock::now();
            const int n = reply.count;
            if (!reply.ok()) {
                ++failures;
                continue;
            }
            lineMs = double(3 + proto::kReadRequestLength + 3 + n) * byteMs;
            if (i >= 0)
                overheadMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count() - lineMs);
        }
        const double median = bench::Percentile(overheadMs, 0.5);
        worstMedian = std::max(worstMedian, median);
        std::printf("  %-55s line %.1f ms, overhead median %.2f ms, p99 %.2f ms, min %.2f ms (%zu ok)\n",
                    mode.name, lineMs, median, bench::Percentile(overheadMs, 0.99),
                    bench::Percentile(overheadMs, 0.0), overheadMs.size());
    }
    std::printf("transact_bench: worst median overhead %.2f ms (target under 2 ms), %d failed exchanges\n",
                worstMedian, failures);
    ClosePort(link);
    return failures == 0 ? 0 : 1;
}
