// The command line's figures, from the real rmz47 program as a child process:
// - listen on a saturated 38400 bit/s line (a peer writes flow requests and answers back to back, paced
//   at the line's speed): the child's processor time over its wall time, and the frames it missed;
// - imitate's turnaround (last request byte written -> first answer byte read) against the window's
//   imitation loop run in this process, round by round in turn, so that both meet the same machine.
// Prints its figures; asserts nothing.
#include "ImitLoop.h"
#include "JobView.h"
#include "Now_opros.h"
#include "PtyPeer.h"
#include "PulseWatch.h"
#include "QtPort.h"
#include "UiCommon.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>

#ifndef RMZ47_PATH
#error "RMZ47_PATH must name the rmz47 program"
#endif

namespace {

using namespace bench;

struct Child {
    pid_t pid = -1;
    int out = -1; // its standard output
};

// rmz47 with `args`, its standard output on a pipe, its standard error dropped.
Child Spawn(std::vector<std::string> args) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(pipeFds[0]);
        std::vector<char*> argv{const_cast<char*>(RMZ47_PATH)};
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(RMZ47_PATH, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

std::string ReadAll(int fd) {
    std::string text;
    char buf[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        text.append(buf, std::size_t(n));
    ::close(fd);
    return text;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A pseudo-terminal starts at 38400 bit/s, so its speed does not tell when the tool has opened it: the
// peer gives the tool this long (a child process starts Qt first).
void WaitForTool(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A process's processor time so far (user and system, /proc/PID/stat fields 14 and 15), in seconds.
double ProcessCpu(pid_t pid) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f)
        return 0;
    char text[1024] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    // The fields after the command's closing parenthesis: state is field 3.
    const char* at = std::strrchr(text, ')');
    unsigned long user = 0, system = 0;
    if (n == 0 || !at ||
        std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
        return 0;
    return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

void Listen(int seconds) {
    const int master = openMaster();
    const std::string slave = ptsname(master);
    const auto start = Steady::now();
    Child child = Spawn(
        {"listen", "--port", slave, "--speed", "38400", "--for", std::to_string(seconds) + "s", "--json"});
    std::string rows;
    std::thread reader([&] { rows = ReadAll(child.out); });
    WaitForTool(1500);
    // A flow request and its answer (FF, 23 bytes) in turn, each written when the line would have carried
    // the frame before it: 10 bits a byte at 38400 bit/s.
    const auto request = std::vector<unsigned char>{0xAA, 0x01, 0x07, 0x06, 0x01, 0x4E, 0x45};
    const auto answer =
        std::vector<unsigned char>{0xFF, 0x55, 0x01, 0x17, 0x86, 0x01, 0x45, 0x61, 0x00, 0x00, 0x40, 0xC2,
                                   0xC0, 0x83, 0x00, 0x00, 0x00, 0x00, 0x40, 0xC2, 0xC0, 0x83, 0xB6, 0x14};
    int written = 0;
    auto due = Steady::now();
    const double cpuAtTraffic = ProcessCpu(child.pid);
    const auto trafficStart = Steady::now();
    const auto stop = start + std::chrono::seconds(seconds) - std::chrono::milliseconds(700);
    while (Steady::now() < stop) {
        const auto& frame = written % 2 == 0 ? request : answer;
        if (::write(master, frame.data(), frame.size()) != ssize_t(frame.size()))
            break;
        ++written;
        due += std::chrono::microseconds(frame.size() * 10 * 1'000'000 / 38400);
        std::this_thread::sleep_until(due);
    }
    const double line = std::chrono::duration<double>(Steady::now() - start).count();
    const double traffic = std::chrono::duration<double>(Steady::now() - trafficStart).count();
    const double cpuInTraffic = ProcessCpu(child.pid) - cpuAtTraffic;
    rusage usage{};
    int status = 0;
    ::wait4(child.pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Steady::now() - start).count();
    reader.join();
    ::close(master);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const int requests = Count(rows, "\"kind\":\"flow_request\"");
    const int answers = Count(rows, "\"kind\":\"flow_answer\"");
    std::printf(
        "listen at 38400 bit/s: %d frames written in %.1f s, %d rows (%d requests, %d answers, %d other), "
        "%d missed, exit %d\n",
        written, line, Count(rows, "\"kind\":"), requests, answers,
        Count(rows, "\"kind\":") - requests - answers - 1, written - requests - answers,
        WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    std::printf("listen processor time %.3f s in %.2f s = %.2f %% of one core (start-up included); while the "
                "line was saturated %.3f s in %.2f s = %.2f %%\n",
                cpu, wall, 100.0 * cpu / wall, cpuInTraffic, traffic, 100.0 * cpuInTraffic / traffic);
}

// The window's loop in this process on its own pseudo-terminal, answering `requests` requests.
Latencies WindowRound(int requests, int pauseMs) {
    const int master = openMaster();
    QtPort port;
    Link link;
    link.setPort(&port);
    link.setClock(&SystemClock());
    link.setSettingsPath(QString());
    link.mapPortDevice(1, QString::fromLatin1(ptsname(master)));
    link.setPortNumber(1);
    ImitSettings imit;
    imit.ImitSpeedIndex = 10;
    StopControl stopControl;
    HeadlessView headless;
    PulseWatchView view(headless, imit);
    Latencies out;
    std::thread peer([&] {
        WaitForTool(300);
        out = poll(master, requests, pauseMs);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { stopControl.requestStop(); }, Qt::QueuedConnection);
    });
    RunImitation(view, link, imit, stopControl);
    peer.join();
    ClosePort(link);
    ::close(master);
    return out;
}

Latencies CommandRound(int requests, int pauseMs) {
    const int master = openMaster();
    Child child = Spawn({"imitate", "--port", ptsname(master), "--run", "1:1:3600", "--speed", "38400"});
    std::thread drain([&] { ReadAll(child.out); });
    WaitForTool(1500);
    Latencies out = poll(master, requests, pauseMs);
    ::kill(child.pid, SIGTERM);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    drain.join();
    ::close(master);
    return out;
}

void Append(Latencies& all, const Latencies& round) {
    all.us.insert(all.us.end(), round.us.begin(), round.us.end());
    all.missing += round.missing;
}

void Report(const char* who, Latencies& l) {
    std::sort(l.us.begin(), l.us.end());
    std::printf("%s: median %.1f us, p99 %.1f us over %zu answers, %d missed\n", who, percentile(l.us, 0.5),
                percentile(l.us, 0.99), l.us.size(), l.missing);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir; // the child's settings: never the user's own
    qputenv("RMZ47_SETTINGS", dir.filePath(QStringLiteral("marvil.ini")).toLocal8Bit());
    qputenv("RMZ47_DATA_DIR", dir.path().toLocal8Bit());
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    const int requests = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    Listen(10);
    Latencies window, command;
    for (int r = 0; r < rounds; ++r) {
        Append(window, WindowRound(requests, 25));
        Append(command, CommandRound(requests, 25));
    }
    std::printf("imitation turnaround at 38400 bit/s, %d rounds of %d requests in turn:\n", rounds, requests);
    Report("  window's loop (in process)", window);
    Report("  rmz47 imitate", command);
    return 0;
}
