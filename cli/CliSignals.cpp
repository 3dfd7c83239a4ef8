#include "CliSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// One set of handlers per process: a second StopOnSignals while one lives is not supported.
int g_pipe[2] = {-1, -1};
struct sigaction g_oldInt, g_oldTerm, g_oldHup;
bool g_hupCaught = false;

extern "C" void OnStopSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Full pipe: a stop is pending already, the byte is not needed.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

StopOnSignals::StopOnSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopOnSignals::drain);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A blocking call of the job (a port read, a terminal write) goes on after the signal.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_oldInt);
    sigaction(SIGTERM, &action, &g_oldTerm);
    // A hang-up (the terminal or the SSH session gone) ends the job as Ctrl+C does, so that it still
    // leaves its summary and records. Started under nohup the hang-up was ignored on purpose: it stays so.
    sigaction(SIGHUP, nullptr, &g_oldHup);
    g_hupCaught = g_oldHup.sa_handler != SIG_IGN;
    if (g_hupCaught)
        sigaction(SIGHUP, &action, nullptr);
}

StopOnSignals::~StopOnSignals() {
    if (!notifier_)
        return;
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    if (g_hupCaught)
        sigaction(SIGHUP, &g_oldHup, nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

int StopOnSignals::wakeFd() const {
    return notifier_ ? g_pipe[0] : -1;
}

void StopOnSignals::drain() {
    unsigned char bytes[16];
    ssize_t n = 0;
    while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0)
        received_ = bytes[n - 1];
    if (onStop_)
        onStop_();
}
