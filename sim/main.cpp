// rmz47-sim: the virtual RMZ-47 on a pseudo-terminal. It answers the tool's table reads and writes like
// the controller, and optionally polls the flow computers that the tool imitates: the ones given on the
// command line, or in field mode the ones its configuration names, turning their volume into pulses.
// Everything it writes is paced at the line speed (10 bits a byte) and everything it reads is taken as
// arriving at that speed, because a pseudo-terminal has no baud timing of its own.
#include "SimLine.h"
#include "SimLoop.h"
#include "SimOptions.h"

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

// A state file that exists wins over the command line; one that does not is created at the first write.
bool loadState(Options& opt) {
    struct stat st {};
    if (opt.statePath.empty() || ::stat(opt.statePath.c_str(), &st) != 0)
        return true;
    std::string err;
    if (LoadState(opt.statePath, opt.state, &err))
        return true;
    std::fprintf(stderr, "rmz47-sim: %s\n", err.c_str());
    return false;
}

// SIGINT and SIGTERM stop the simulator. They are only let through while waiting in ppoll(), so a stop
// request never gets lost between the check of the flag and the wait: returns that wait's mask.
sigset_t catchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    return waitMask;
}

} // namespace

int main(int argc, char** argv) {
    Options opt = ParseOptions(argc, argv);
    if (!loadState(opt))
        return 1;
    Pty pty;
    if (!OpenPty(opt.baud, pty))
        return 1;
    const sigset_t waitMask = catchStopSignals();
    if (!opt.link.empty() && !MakeLink(opt.link, pty.path))
        return 1;

    std::printf("PTY %s\n", pty.path.c_str());
    std::fflush(stdout);

    SimLoop loop(opt, pty);
    loop.run(g_stop, waitMask);

    RemoveLink(opt.link, pty.path);
    loop.printTotals();
    ::close(pty.slave);
    ::close(pty.master);
    return 0;
}
