// RTS hold of an imitated answer: how late RTS drops against the computed end of the frame (never
// early), and the processor time one hold costs, at 1200 and 38400 bit/s, for the hold as the link does
// it (sleep, then a short spin) and for a busy wait over the whole hold (the same clock without its
// sleep). The answers go through the real transmission path to a pseudo-terminal, which takes every
// byte at once: the drain returns at once, so the computed end is the later of the two.
//
//   rts_hold_bench [holds at 38400 bit/s]   (a tenth as many at 1200 bit/s, at least 10)
#include "BenchSupport.h"
#include "FlowAnswer.h"
#include "Now_opros.h"
#include "QtPort.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>

namespace {

using Steady = std::chrono::steady_clock;

double ThreadCpuUs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The system clock without its sleep: a hold on it spins for its whole length, as it used to.
class SpinClock : public Clock {
public:
    quint32 tickMs() override { return SystemClock().tickMs(); }
    qint64 perfCounter() override { return SystemClock().perfCounter(); }
    qint64 perfFrequency() override { return SystemClock().perfFrequency(); }
};

// The tool's port with a stopwatch on RTS and the drain.
class StopwatchPort : public Port {
public:
    explicit StopwatchPort(Port& inner) : p_(inner) {}
    Steady::time_point up, down, drained;

    bool open(const QString& d, qint32 b, OpenError* e) override { return p_.open(d, b, e); }
    void close() override { p_.close(); }
    bool isOpen() const override { return p_.isOpen(); }
    bool setRts(bool on) override {
        if (!on)
            down = Steady::now();
        const bool ok = p_.setRts(on);
        if (on)
            up = Steady::now();
        return ok;
    }
    bool setDtr(bool on) override { return p_.setDtr(on); }
    void purge() override { p_.purge(); }
    void drain() override {
        p_.drain();
        drained = Steady::now();
    }
    qint64 read(quint8* buf, qint64 max) override { return p_.read(buf, max); }
    qint64 write(const quint8* data, qint64 n) override { return p_.write(data, n); }
    void clearError() override { p_.clearError(); }
    bool waitForInput(int t, bool pump) override { return p_.waitForInput(t, pump); }
    void wake() override { p_.wake(); }

private:
    Port& p_;
};

void Measure(Link& link, StopwatchPort& port, int master, int baud, int holds, const char* how) {
    link.setLineSpeed(baud);
    const double holdUs = double(AnswerHoldTicks(proto::kFlowAnswerSize, baud, 1000000000)) / 1000.0;
    std::array<quint8, proto::kFlowAnswerSize> answer{};
    answer[0] = 0x55;
    std::vector<double> late;
    double cpu = 0;
    quint8 sink[256];
    for (int i = 0; i < holds; ++i) {
        const double cpu0 = ThreadCpuUs();
        SendAnswer(link, answer.data());
        cpu += ThreadCpuUs() - cpu0;
        const auto end = std::max(port.up + std::chrono::nanoseconds(qint64(holdUs * 1000.0)), port.drained);
        late.push_back(std::chrono::duration<double, std::micro>(port.down - end).count());
        while (::read(master, sink, sizeof sink) > 0) {
        }
    }
    std::printf("%-5d bit/s, %-34s %4d holds of %8.1f us: RTS drop late by median %6.1f us, p99 %7.1f us, "
                "earliest %+6.1f us; processor %8.1f us per hold (%5.1f %% of the hold)\n",
                baud, how, holds, holdUs, bench::Percentile(late, 0.5), bench::Percentile(late, 0.99),
                *std::min_element(late.begin(), late.end()), cpu / holds, 100.0 * cpu / holds / holdUs);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int holds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return 1;
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);

    QtPort qtPort;
    StopwatchPort port(qtPort);
    OpenError error;
    if (!port.open(QString::fromLocal8Bit(ptsname(master)), 38400, &error)) {
        std::fprintf(stderr, "rts_hold_bench: %s\n", qPrintable(error.systemText));
        return 1;
    }
    SpinClock spin;
    Link link;
    link.setPort(&port);
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("rts_hold_bench: load average %.2f\n", load[0]);
    for (const int baud : {38400, 1200}) {
        const int n = baud == 1200 ? std::max(10, holds / 10) : holds;
        link.setClock(&SystemClock());
        Measure(link, port, master, baud, n, "sleep, then spin the rest");
        link.setClock(&spin);
        Measure(link, port, master, baud, n, "busy wait for the whole hold");
    }
    return 0;
}
