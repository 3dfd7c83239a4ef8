// rmz47-sim: the virtual RMZ-47 on a pseudo-terminal. It answers the tool's table reads and writes like
// the controller, and optionally polls the flow computers that the tool imitates. Everything it writes is
// paced at the line speed (10 bits a byte) and everything it reads is taken as arriving at that speed,
// because a pseudo-terminal has no baud timing of its own.
#include "SimController.h"
#include "SimMaster.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

using namespace sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

const char* const kUsage =
    "usage: rmz47-sim [options]\n"
    "Plays the RMZ-47 controller on a pseudo-terminal; prints 'PTY <path>' first, serves until\n"
    "SIGINT/SIGTERM.\n"
    "controller side:\n"
    "  --soft-version N     software version in table 0, 0..255 (default 3)\n"
    "  --unconfigured       table 7 says not configured (until a table 4 write)\n"
    "  --table4 HEX         table 4 data, 23 or 21 bytes (default: factory record, 21 bytes below v2)\n"
    "  --state FILE         keep table 4 and the configured flag in FILE across runs (FILE wins if present)\n"
    "  --answer-delay MS    turnaround before an answer (default 5)\n"
    "  --echo               send back every byte the tool writes (two-wire line)\n"
    "master side (imitation job):\n"
    "  --poll ADDR:RUN[:msb|:lsb][,...]  poll these flow-computer runs in turn (msb first by default)\n"
    "  --period MS          time between the starts of two requests (default 1000)\n"
    "  --timeout MS         wait for an answer after its line time (default 1000)\n"
    "  --gap MS             silence kept after an answer before the next request (default 0)\n"
    "  --count N            stop after N requests, print the totals, exit 0\n"
    "line and output:\n"
    "  --baud B             line speed for pacing and the pseudo-terminal (default 1200)\n"
    "  --link PATH          also make PATH a symbolic link to the pseudo-terminal (removed on exit)\n"
    "  --quiet              no per-exchange lines\n"
    "fault injection (counted; repeatable with --seed):\n"
    "  --seed S             random seed for noise and cut lengths (default 1)\n"
    "  --drop N             leave every Nth request unanswered\n"
    "  --corrupt N          wrong CRC in every Nth answer (master side: request)\n"
    "  --truncate N         cut every Nth answer (master side: request) short\n"
    "  --noise N            random bytes before every Nth answer (master side: request)\n"
    "  --silent             never answer\n";

[[noreturn]] void usageError(const std::string& why) {
    std::fprintf(stderr, "rmz47-sim: %s\n%s", why.c_str(), kUsage);
    std::exit(2);
}

bool parseInt(const std::string& s, long lo, long hi, long& v) {
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(s.c_str(), &end, 10);
    if (errno || *end || n < lo || n > hi)
        return false;
    v = n;
    return true;
}

struct Options {
    ControllerState state;
    bool table4Given = false;
    std::string statePath;
    std::vector<PollPair> poll;
    long baud = 1200;
    long period = 1000;
    long timeout = 1000;
    long gap = 0;
    long count = 0;
    long answerDelay = 5;
    bool echo = false;
    bool quiet = false;
    std::string link;
    FaultOptions faults;
};

Options parseOptions(int argc, char** argv) {
    Options o;
    bool unconfigured = false;
    Bytes table4;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto need = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= argc)
                usageError("option " + arg + " needs a value");
            return argv[++i];
        };
        auto number = [&](long lo, long hi) {
            const std::string s = need();
            long v;
            if (!parseInt(s, lo, hi, v))
                usageError("bad value '" + s + "' for " + arg + " (" + std::to_string(lo) + ".." +
                           std::to_string(hi) + ")");
            return v;
        };
        auto flag = [&]() {
            if (hasValue)
                usageError("option " + arg + " takes no value");
            return true;
        };
        constexpr long kBig = 1000000000;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--soft-version")
            o.state.softVersion = int(number(0, 255));
        else if (arg == "--unconfigured")
            unconfigured = flag();
        else if (arg == "--table4") {
            const std::string s = need();
            if (!ParseHex(s, table4) || (table4.size() != 21 && table4.size() != 23))
                usageError("--table4 needs 21 or 23 bytes in hex");
            o.table4Given = true;
        } else if (arg == "--state")
            o.statePath = need();
        else if (arg == "--poll") {
            std::string err;
            if (!ParsePollList(need(), o.poll, &err))
                usageError(err);
        } else if (arg == "--baud")
            o.baud = number(50, 4000000);
        else if (arg == "--period")
            o.period = number(1, kBig);
        else if (arg == "--timeout")
            o.timeout = number(0, kBig);
        else if (arg == "--gap")
            o.gap = number(0, kBig);
        else if (arg == "--count")
            o.count = number(1, kBig);
        else if (arg == "--answer-delay")
            o.answerDelay = number(0, kBig);
        else if (arg == "--echo")
            o.echo = flag();
        else if (arg == "--quiet")
            o.quiet = flag();
        else if (arg == "--link") {
            o.link = need();
            if (o.link.empty())
                usageError("--link needs a path");
        } else if (arg == "--seed")
            o.faults.seed = std::uint32_t(number(0, 0xFFFFFFFFL));
        else if (arg == "--drop")
            o.faults.drop = int(number(1, kBig));
        else if (arg == "--corrupt")
            o.faults.corrupt = int(number(1, kBig));
        else if (arg == "--truncate")
            o.faults.truncate = int(number(1, kBig));
        else if (arg == "--noise")
            o.faults.noise = int(number(1, kBig));
        else if (arg == "--silent")
            o.faults.silent = flag();
        else
            usageError("unknown option '" + arg + "'");
    }
    if (o.count && o.poll.empty())
        usageError("--count counts poll requests: it needs --poll");
    o.state.configured = !unconfigured;
    o.state.table4 = o.table4Given ? table4 : DefaultTable4(o.state.softVersion);
    return o;
}

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool g_quiet = false;

void logLine(const char* dir, const Bytes& bytes, const std::string& meaning) {
    if (g_quiet)
        return;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm t{};
    localtime_r(&tv.tv_sec, &t);
    std::printf("%02d:%02d:%02d.%03ld %s %s  %s\n", t.tm_hour, t.tm_min, t.tm_sec, long(tv.tv_usec / 1000), dir,
                ToHex(bytes).c_str(), meaning.c_str());
    std::fflush(stdout);
}

speed_t speedConstant(long baud) {
    switch (baud) {
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;  // 3200, 6400, 7680, 12800 have no termios constant: the speed is left alone
    }
}

// The bytes the simulator puts on the line, each written when its last bit would have left: byte i of a
// burst is due (i + 1) byte times after the burst may start.
class PacedWriter {
public:
    PacedWriter(int fd, double byteMs) : fd_(fd), byteMs_(byteMs) {}
    // Queues bytes to start no earlier than notBefore; returns the time the last one is due.
    double enqueue(const Bytes& bytes, double notBefore) {
        double t = std::max(notBefore, lastDue_);
        for (std::uint8_t b : bytes) {
            t += byteMs_;
            q_.push_back({b, t});
        }
        lastDue_ = std::max(lastDue_, t);
        return t;
    }
    void service(double now) {
        Bytes chunk;
        while (!q_.empty() && q_.front().due <= now) {
            chunk.push_back(q_.front().b);
            q_.pop_front();
        }
        if (!chunk.empty())
            writeAll(chunk);
    }
    bool empty() const { return q_.empty(); }
    double nextDue() const { return q_.empty() ? 1e300 : q_.front().due; }
    // Writes at once, outside the pacing (the echo of a two-wire line).
    void writeAll(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += std::size_t(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else {
                // Nobody reads the tool's end and its queue is full: the bytes are lost, as on a line.
                lost_ += bytes.size() - done;
                return;
            }
        }
    }
    std::size_t lost() const { return lost_; }

private:
    struct Timed {
        std::uint8_t b;
        double due;
    };
    int fd_;
    double byteMs_;
    double lastDue_ = 0;
    std::deque<Timed> q_;
    std::size_t lost_ = 0;
};

long baudOf(speed_t s) {
    for (long b : {600L, 1200L, 2400L, 4800L, 9600L, 19200L, 38400L, 57600L, 115200L})
        if (speedConstant(b) == s)
            return b;
    return 0;  // a custom rate, or B0
}

std::string g_linkPath, g_ptyPath;

void removeLink() {
    if (g_linkPath.empty())
        return;
    // Only our own link: a path that was replaced meanwhile is left alone.
    char target[4096];
    const ssize_t n = ::readlink(g_linkPath.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = 0;
        if (g_ptyPath == target)
            ::unlink(g_linkPath.c_str());
    }
    g_linkPath.clear();
}

} // namespace

int main(int argc, char** argv) {
    Options opt = parseOptions(argc, argv);
    g_quiet = opt.quiet;

    if (!opt.statePath.empty()) {
        struct stat st{};
        if (::stat(opt.statePath.c_str(), &st) == 0) {
            std::string err;
            if (!LoadState(opt.statePath, opt.state, &err)) {
                std::fprintf(stderr, "rmz47-sim: %s\n", err.c_str());
                return 1;
            }
        }
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("rmz47-sim: pseudo-terminal");
        return 1;
    }
    g_ptyPath = ::ptsname(master);
    // Our own handle on the tool's end keeps the pair alive while the tool has it closed (otherwise the
    // master side reports a hang-up and poll() never sleeps). It is only used for the line settings.
    const int slave = ::open(g_ptyPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
        std::perror("rmz47-sim: open pseudo-terminal");
        return 1;
    }
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        // Raw: no echo, no line editing, no translation, before the tool sets its own line state.
        ::cfmakeraw(&t);
        if (const speed_t s = speedConstant(opt.baud); s != B0)
            ::cfsetspeed(&t, s);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // The signals are only let through while waiting in ppoll(), so a stop request never gets lost between
    // the check of the flag and the wait.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    if (!opt.link.empty()) {
        struct stat st{};
        if (::lstat(opt.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr, "rmz47-sim: %s exists and is not a symbolic link\n", opt.link.c_str());
                return 1;
            }
            ::unlink(opt.link.c_str());  // a link left behind by a run that was killed
        }
        if (::symlink(g_ptyPath.c_str(), opt.link.c_str()) != 0) {
            std::fprintf(stderr, "rmz47-sim: cannot link %s: %s\n", opt.link.c_str(), std::strerror(errno));
            return 1;
        }
        g_linkPath = opt.link;
    }

    std::printf("PTY %s\n", g_ptyPath.c_str());
    std::fflush(stdout);

    const double byteMs = 10000.0 / double(opt.baud);  // 10 bits a byte: start, 8 data, stop
    PacedWriter writer(master, byteMs);
    SimController controller(opt.state, opt.faults);
    // Losing requests is the controller's fault to play; the master side only damages what it sends.
    FaultOptions masterFaults = opt.faults;
    masterFaults.drop = 0;
    masterFaults.silent = false;
    masterFaults.seed = opt.faults.seed + 1;  // its own noise, not a copy of the controller side's
    const bool polling = !opt.poll.empty();
    SimMaster poller(polling ? opt.poll : std::vector<PollPair>{PollPair{}}, masterFaults);

    struct Pending {
        double due;
        Bytes wire;
        std::string note;
    };
    std::deque<Pending> answers;
    std::deque<std::pair<std::uint8_t, double>> incoming;  // bytes with the time they finish arriving
    double lastInDue = 0;
    int requests = 0, answered = 0;
    long warnedBaud = opt.baud;

    FlowAnswerCollector collector;
    bool awaiting = false;
    double windowEnd = 0;
    PollPair asked;
    long made = 0;
    const double answerLineMs = (kFlowAnswerSize + 1) * byteMs;  // 0xFF and the 23-byte answer
    double nextPoll = nowMs() + double(opt.period);
    // A master turns its line round before it talks again: a request that followed a late answer at once
    // would start while the flow computer still holds and then clears its end of the line.
    double quietUntil = 0;

    auto finishWindow = [&](const SimMaster::Outcome& o, const Bytes& bytes) {
        logLine("rx", bytes, o.text);
        awaiting = false;
        quietUntil = nowMs() + double(opt.gap);
    };

    while (!g_stop) {
        const double now = nowMs();

        while (!incoming.empty() && incoming.front().second <= now) {
            const auto [b, due] = incoming.front();
            incoming.pop_front();
            if (awaiting) {
                if (collector.feed(b)) {
                    Bytes wire = {0xFF};
                    wire.insert(wire.end(), collector.answer().begin(), collector.answer().end());
                    finishWindow(poller.answerComplete(collector.answer(), asked), wire);
                    continue;
                }
                if (collector.started())
                    continue;  // part of the flow answer
            }
            // Everything else may be a table request of the tool.
            for (auto& x : controller.feed(b, std::int64_t(due))) {
                ++requests;
                // The tool was talking to the controller, not answering the poll: what it sent does not
                // make the poll's answer window "bad".
                if (awaiting && !collector.started() && x.crcGood)
                    collector.reset();
                logLine("rx", x.request, x.decision.meaning);
                if (x.decision.stateChanged && !opt.statePath.empty()) {
                    std::string err;
                    if (!SaveState(opt.statePath, controller.state(), &err))
                        std::fprintf(stderr, "rmz47-sim: %s\n", err.c_str());
                }
                if (x.decision.answer)
                    answers.push_back({due + double(opt.answerDelay), x.wire, x.fault});
            }
        }

        while (!answers.empty() && answers.front().due <= now) {
            Pending p = std::move(answers.front());
            answers.pop_front();
            if (!p.wire.empty()) {
                ++answered;
                writer.enqueue(p.wire, std::max(p.due, now));  // a late loop must not squeeze the bytes together
            }
            logLine("tx", p.wire, p.wire.empty() ? "no answer (" + p.note + ")"
                                                 : (p.note.empty() ? "answer" : "answer (" + p.note + ")"));
        }
        writer.service(now);

        if (polling) {
            if (awaiting && now >= windowEnd)
                finishWindow(poller.windowClosed(collector), collector.answer());
            if (!awaiting && opt.count && made >= opt.count)
                break;
            if (!awaiting && now >= std::max(nextPoll, quietUntil) && writer.empty() && answers.empty()) {
                const SimMaster::Request r = poller.nextRequest();
                ++made;
                asked = r.pair;
                const double end = r.wire.empty() ? now : writer.enqueue(r.wire, now);
                logLine("tx", r.wire.empty() ? r.frame : r.wire,
                        "flow request addr " + std::to_string(r.pair.addr) + " run " + std::to_string(r.pair.run) +
                            (r.fault.empty() ? "" : " (" + r.fault + ")"));
                collector.reset();
                awaiting = true;
                windowEnd = end + answerLineMs + double(opt.timeout);
                while (nextPoll <= now)
                    nextPoll += double(opt.period);
            }
        }

        // Sleep until the next thing falls due or the tool writes.
        double wake = now + 1000;
        if (!incoming.empty())
            wake = std::min(wake, incoming.front().second);
        if (!answers.empty())
            wake = std::min(wake, answers.front().due);
        wake = std::min(wake, writer.nextDue());
        if (polling)
            wake = std::min(wake, awaiting ? windowEnd : std::max(nextPoll, quietUntil));
        const double waitMs = std::max(0.0, wake - nowMs());
        timespec ts{time_t(waitMs / 1000), long(std::fmod(waitMs, 1000.0) * 1e6)};
        pollfd p{master, POLLIN, 0};
        const int r = ::ppoll(&p, 1, &ts, &waitMask);
        if (r > 0 && (p.revents & POLLIN)) {
            std::uint8_t buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                const double readAt = nowMs();
                // A tool that runs its end at another speed would only see garbage on a real line: say so
                // once per change (custom rates such as 3200 cannot be read back and are not checked).
                termios lt{};
                if (::tcgetattr(slave, &lt) == 0) {
                    const long toolBaud = baudOf(::cfgetospeed(&lt));
                    if (toolBaud && toolBaud != opt.baud && toolBaud != warnedBaud && !g_quiet) {
                        std::printf("-- the tool's end runs at %ld baud, the simulator at %ld: a real line would garble this\n",
                                    toolBaud, opt.baud);
                        std::fflush(stdout);
                    }
                    warnedBaud = toolBaud;
                }
                Bytes got(buf, buf + n);
                if (opt.echo)
                    writer.writeAll(got);
                for (std::uint8_t b : got) {
                    lastInDue = std::max(readAt, lastInDue) + byteMs;
                    incoming.emplace_back(b, lastInDue);
                }
            }
        } else if (r > 0 && (p.revents & (POLLHUP | POLLERR))) {
            // Cannot happen while we hold the tool's end open; do not spin if it does.
            ::usleep(10000);
        }
    }

    removeLink();
    if (polling)
        std::printf("%s%s\n", poller.totalsLine().c_str(), awaiting ? ", 1 still awaited at exit" : "");
    if (requests) {
        const FaultCounters& f = controller.faults();
        std::printf("controller: frames %d answered %d (injected: dropped %d corrupt %d truncated %d noise %d)\n",
                    requests, answered, f.dropped, f.corrupted, f.truncated, f.noised);
    }
    if (writer.lost())
        std::printf("lost %zu bytes: nobody was reading the pseudo-terminal\n", writer.lost());
    std::fflush(stdout);
    ::close(slave);
    ::close(master);
    return 0;
}
