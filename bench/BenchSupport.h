#pragma once
// Shared pieces of the benchmarks: the virtual controller program as a child process, the resident
// memory of this process, percentiles.
#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

#ifndef RMZ47_SIM_PATH
#error "RMZ47_SIM_PATH must name the rmz47-sim program"
#endif

namespace bench {

// Resident set size of this process in KiB (/proc/self/statm, second field, in pages).
inline long RssKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The start-up benchmark's report of a program whose window is shown: its resident memory, then the end.
inline void ReportShownAndQuit() {
    std::printf("shown rss_kb=%ld\n", RssKb());
    std::fflush(stdout);
    QCoreApplication::quit();
}

// The value below which a share p (0..1) of the sorted samples lie (nearest rank).
inline double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    std::size_t i = std::size_t(p * double(v.size()) + 0.5);
    i = i == 0 ? 0 : i - 1;
    return v[std::min(i, v.size() - 1)];
}

// rmz47-sim with its tool end linked at `link`. With pause the process is stopped as soon as it printed
// its PTY line, so that a poller sends nothing before the tool listens (resume() lets it go).
class Sim {
public:
    ~Sim() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(10000);
        }
    }
    bool start(const QString& link, QStringList args, bool pause = false) {
        args << QStringLiteral("--link") << link;
        proc.start(QStringLiteral(RMZ47_SIM_PATH), args);
        if (!proc.waitForStarted(20000))
            return false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!out.contains('\n') && std::chrono::steady_clock::now() < end &&
               proc.state() == QProcess::Running)
            if (proc.waitForReadyRead(20))
                out += proc.readAllStandardOutput();
        if (pause && proc.state() == QProcess::Running)
            ::kill(pid_t(proc.processId()), SIGSTOP);
        return out.startsWith("PTY ");
    }
    // start(), with a message naming `program` when the simulator does not start.
    bool startOrSay(const char* program, const QString& link, const QStringList& args) {
        if (start(link, args))
            return true;
        std::fprintf(stderr, "%s: the simulator did not start\n", program);
        return false;
    }
    void resume() { ::kill(pid_t(proc.processId()), SIGCONT); }
    QByteArray stop() {
        if (proc.state() != QProcess::NotRunning) {
            proc.terminate();
            proc.waitForFinished(20000);
        }
        out += proc.readAllStandardOutput();
        return out;
    }
    QByteArray output() {
        out += proc.readAllStandardOutput();
        return out;
    }

    QProcess proc;
    QByteArray out;
};

} // namespace bench
