// How exactly `rmz47 listen --for` keeps its duration: the program is started on a quiet pseudo-terminal
// again and again, and the time its summary says really passed is compared with the time asked for.
// Prints the median and the worst overshoot (negative: ended early) in milliseconds; asserts nothing.
//
//   cli_for_bench [runs [seconds [program]]]     (default 20 runs of 3 s, the rmz47 built beside it)
#include "PtyPeer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#ifndef RMZ47_PATH
#error "RMZ47_PATH must name the rmz47 program"
#endif

namespace {

// The summary's "seconds" of one listen run, or NaN when it printed none.
double ListenSeconds(const std::string& program, const std::string& port, int seconds) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return NAN;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(pipeFds[0]);
        const std::string duration = std::to_string(seconds) + "s";
        ::execl(program.c_str(), program.c_str(), "listen", "--port", port.c_str(), "--for", duration.c_str(),
                "--json", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
        text.append(buf, std::size_t(n));
    ::close(pipeFds[0]);
    ::waitpid(pid, nullptr, 0);
    const std::string key = "\"seconds\":";
    const std::size_t at = text.rfind(key);
    return at == std::string::npos ? NAN : std::atof(text.c_str() + at + key.size());
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string program = argc > 3 ? argv[3] : RMZ47_PATH;
    const int master = bench::openMaster();
    if (master < 0) {
        std::fprintf(stderr, "cli_for_bench: no pseudo-terminal\n");
        return 1;
    }
    const std::string port = ptsname(master);
    std::vector<double> overshootMs;
    for (int i = 0; i < runs; ++i) {
        const double s = ListenSeconds(program, port, seconds);
        if (!std::isnan(s))
            overshootMs.push_back(s * 1000 - seconds * 1000.0);
    }
    ::close(master);
    if (overshootMs.empty()) {
        std::fprintf(stderr, "cli_for_bench: no run printed its summary\n");
        return 1;
    }
    std::sort(overshootMs.begin(), overshootMs.end());
    const double median = overshootMs[overshootMs.size() / 2];
    const double worst = std::fabs(overshootMs.front()) > std::fabs(overshootMs.back()) ? overshootMs.front()
                                                                                        : overshootMs.back();
    std::printf(
        "rmz47 listen --for %d s, %zu runs: overshoot median %.1f ms, worst %.1f ms (goal: within 10 ms)\n",
        seconds, overshootMs.size(), median, worst);
    return 0;
}
