#include "SimOptions.h"

#include "ConfigRecord.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace sim {

const char* const kUsage =
    "usage: rmz47-sim [options]\n"
    "Plays the RMZ-47 controller on a pseudo-terminal; prints 'PTY <path>' first, serves until\n"
    "SIGINT/SIGTERM.\n"
    "controller side:\n"
    "  --soft-version N     software version in table 0, 0..255 (default 3)\n"
    "  --unconfigured       table 7 says not configured (until a table 4 write)\n"
    "  --table4 HEX         table 4 data, 23 or 21 bytes (default: the factory record, with --field the\n"
    "                       demo's; 21 bytes below v2)\n"
    "  --state FILE         keep table 4 and the configured flag in FILE across runs (FILE wins if present)\n"
    "  --answer-delay MS    turnaround before an answer (default 5)\n"
    "  --echo               send back every byte the tool writes (two-wire line)\n"
    "field mode (the controller on site):\n"
    "  --field              poll the flow computers that table 4 configures, at their speeds, with their\n"
    "                       attempts, period and answer time-out, and turn their volume into output\n"
    "                       pulses (V, pulse and pause); a table request of the tool pauses the polling\n"
    "                       for 10 s; a status line on stderr, rewritten once a second (on a terminal\n"
    "                       one row of its width); the tool hears what is sent at another speed than\n"
    "                       its end's as a receiver would (--seed)\n"
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
    "  --silent             never answer\n"
    "  --forget-writes      acknowledge a table 4 write but keep the record as it was\n";

namespace {

constexpr long kBig = 1000000000;
constexpr const char* kFieldTable4 = "02 0A 0A C8 00 00 00 80 3F BC 02 01 01 0B 02 01 0B 03 01 0B 51 01 01";

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

// One option of the command line with its value, given as "--name=value" or as the next argument.
class Arg {
public:
    std::string name;

    Arg(int argc, char** argv, int& i) : name(argv[i]), argc_(argc), argv_(argv), i_(i) {
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value_ = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue_ = true;
        }
    }
    std::string value() {
        if (hasValue_)
            return value_;
        if (i_ + 1 >= argc_)
            usageError("option " + name + " needs a value");
        return argv_[++i_];
    }
    long number(long lo, long hi) {
        const std::string s = value();
        long v;
        if (!parseInt(s, lo, hi, v))
            usageError("bad value '" + s + "' for " + name + " (" + std::to_string(lo) + ".." +
                       std::to_string(hi) + ")");
        return v;
    }
    bool flag() const {
        if (hasValue_)
            usageError("option " + name + " takes no value");
        return true;
    }

private:
    int argc_;
    char** argv_;
    int& i_;
    std::string value_;
    bool hasValue_ = false;
};

// What the command line says about the controller's tables, before the defaults that depend on the
// version are filled in.
struct TableOptions {
    bool unconfigured = false;
    Bytes table4;
};

bool controllerOption(Arg& a, Options& o, TableOptions& t) {
    if (a.name == "--soft-version")
        o.state.softVersion = int(a.number(0, 255));
    else if (a.name == "--unconfigured")
        t.unconfigured = a.flag();
    else if (a.name == "--table4") {
        if (!ParseHex(a.value(), t.table4) || (t.table4.size() != 21 && t.table4.size() != 23))
            usageError("--table4 needs 21 or 23 bytes in hex");
        o.table4Given = true;
    } else if (a.name == "--state")
        o.statePath = a.value();
    else if (a.name == "--answer-delay")
        o.answerDelay = a.number(0, kBig);
    else if (a.name == "--echo")
        o.echo = a.flag();
    else
        return false;
    return true;
}

bool masterOption(Arg& a, Options& o) {
    if (a.name == "--poll") {
        std::string err;
        if (!ParsePollList(a.value(), o.poll, &err))
            usageError(err);
    } else if (a.name == "--period")
        o.period = a.number(1, kBig);
    else if (a.name == "--timeout")
        o.timeout = a.number(0, kBig);
    else if (a.name == "--gap")
        o.gap = a.number(0, kBig);
    else if (a.name == "--field")
        o.field = a.flag();
    else if (a.name == "--count")
        o.count = a.number(1, kBig);
    else
        return false;
    return true;
}

bool lineOption(Arg& a, Options& o) {
    if (a.name == "--baud")
        o.baud = a.number(50, 4000000);
    else if (a.name == "--quiet")
        o.quiet = a.flag();
    else if (a.name == "--link") {
        o.link = a.value();
        if (o.link.empty())
            usageError("--link needs a path");
    } else
        return false;
    return true;
}

bool faultOption(Arg& a, FaultOptions& f) {
    if (a.name == "--seed")
        f.seed = std::uint32_t(a.number(0, 0xFFFFFFFFL));
    else if (a.name == "--drop")
        f.drop = int(a.number(1, kBig));
    else if (a.name == "--corrupt")
        f.corrupt = int(a.number(1, kBig));
    else if (a.name == "--truncate")
        f.truncate = int(a.number(1, kBig));
    else if (a.name == "--noise")
        f.noise = int(a.number(1, kBig));
    else if (a.name == "--silent")
        f.silent = a.flag();
    else if (a.name == "--forget-writes")
        f.forgetWrites = a.flag();
    else
        return false;
    return true;
}

} // namespace

Bytes FieldTable4(int softVersion) {
    Bytes t;
    ParseHex(kFieldTable4, t);
    t.resize(std::size_t(proto::ConfigReadSize(softVersion)));
    return t;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    TableOptions tables;
    for (int i = 1; i < argc; ++i) {
        Arg a(argc, argv, i);
        if (a.name == "--help" || a.name == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (!controllerOption(a, o, tables) && !masterOption(a, o) && !lineOption(a, o) &&
            !faultOption(a, o.faults))
            usageError("unknown option '" + a.name + "'");
    }
    if (o.field && !o.poll.empty())
        usageError("--field polls what table 4 configures: it takes no --poll");
    if (o.count && o.poll.empty())
        usageError("--count counts poll requests: it needs --poll");
    o.state.configured = !tables.unconfigured;
    if (o.table4Given)
        o.state.table4 = tables.table4;
    else if (o.field)
        o.state.table4 = FieldTable4(o.state.softVersion);
    else
        o.state.table4 = DefaultTable4(o.state.softVersion);
    return o;
}

} // namespace sim
