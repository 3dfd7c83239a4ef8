// Imitation answer latency and idle processor use, over a pseudo-terminal pair.
//
// The real imitation loop (RunImitation on a QtPort) answers a peer thread that plays the controller:
// for each request it measures the time from its last request byte written to the first answer byte
// read. Then the line stays quiet for a few seconds and the process's processor time over that
// stretch is taken as the loop's cost while it waits. Prints its figures; asserts nothing.
#include "BenchLinkUi.h"
#include "CfgRecord.h"
#include "Cfgunit.h"
#include "CheckJob.h"
#include "CheckView.h"
#include "ImitLoop.h"
#include "Imitunit.h"
#include "JobView.h"
#include "LineMonitor.h"
#include "Main.h"
#include "Now_opros.h"
#include "PtyPeer.h"
#include "PulseWatch.h"
#include "QtPort.h"
#include "UiCommon.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

// The tool's port with a stopwatch: the time each answer's FF byte is handed to the driver.
class TimingPort : public Port {
public:
    explicit TimingPort(Port& inner) : p_(inner) {}
    std::vector<Steady::time_point> answerWrites;

    bool open(const QString& d, qint32 b, OpenError* e) override { return p_.open(d, b, e); }
    void close() override { p_.close(); }
    bool isOpen() const override { return p_.isOpen(); }
    bool setRts(bool on) override { return p_.setRts(on); }
    bool setDtr(bool on) override { return p_.setDtr(on); }
    void purge() override { p_.purge(); }
    void drain() override { p_.drain(); }
    qint64 read(quint8* buf, qint64 max) override { return p_.read(buf, max); }
    qint64 write(const quint8* data, qint64 n) override {
        const qint64 r = p_.write(data, n);
        if (n > 0 && data[0] == 0xFF)
            answerWrites.push_back(Steady::now());
        return r;
    }
    void clearError() override { p_.clearError(); }
    bool waitForInput(int t, bool pump) override { return p_.waitForInput(t, pump); }
    void wake() override { p_.wake(); }

private:
    Port& p_;
};

// The floor set by the machine: a thread blocked in poll() on the slave side that answers every 7 bytes
// with 24 at once. Whatever the imitation adds on top of this is its own cost.
class FloorResponder {
public:
    FloorResponder() : master_(openMaster()) {
        slave_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        thread_ = std::thread([this] { respond(); });
    }
    ~FloorResponder() {
        done_ = true;
        thread_.join();
        ::close(slave_);
        ::close(master_);
    }
    int master() const { return master_; }

private:
    void respond() {
        unsigned char buf[64];
        int have = 0;
        const unsigned char answer[24] = {0xFF, 0x55};
        while (!done_) {
            pollfd p{slave_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t r = ::read(slave_, buf, sizeof buf);
            if (r > 0 && (have += int(r)) >= 7) {
                have = 0;
                (void)!::write(slave_, answer, sizeof answer);
            }
        }
    }

    int master_;
    int slave_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// A check's view that shows nothing; the check never gets past its one step, which the peer stops.
class HeadlessCheckView : public HeadlessView, public CheckView {
public:
    void showCheckProgress(int, const CheckStepResult&, std::optional<double>) override {}
    void showCheckWait(const QString&, int) override {}
    std::optional<qint64> askCountedPulses(int, const CheckStepResult&) override { return std::nullopt; }
    void showCheckStep(int, const CheckStepResult&, CheckVerdict) override {}
    bool askUseController(const QString&, const CheckPlan&) override { return false; }
    bool askNextStep(int) override { return false; }
    void showCheckEnd(const CheckRecord&) override {}
};

// One step of a bench check at the bench's speed for the bench's run, with a target it never reaches.
CheckRecord RunCheckStep(Link& link, StopControl& stopControl) {
    CheckPlan plan;
    plan.speedIndex = 10;
    plan.output = {1.0, 0.1, 0.1};
    CheckStep step;
    step.pulses = std::numeric_limits<qint64>::max();
    plan.steps = {step};
    HeadlessCheckView view;
    CfgContext cfg;
    return RunCheck(view, link, stopControl, cfg, plan, CheckController{});
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // "--monitor" anywhere: the line monitor observes the tap and makes its rows as the window would.
    // "--window": the answers are shown in the main window's labels, as in the program, not dropped.
    // "--watched": the expected pulses are shown beside the runs, as the imitation button runs it.
    // "--check": the same, as one step of a bench check that watches every answer.
    std::vector<char*> args;
    bool withMonitor = false, withWindow = false, watched = false, asCheck = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--monitor") == 0)
            withMonitor = true;
        else if (std::strcmp(argv[i], "--window") == 0)
            withWindow = true;
        else if (std::strcmp(argv[i], "--watched") == 0)
            watched = true;
        else if (std::strcmp(argv[i], "--check") == 0)
            asCheck = true;
        else
            args.push_back(argv[i]);
    }
    argc = int(args.size());
    argv = args.data();
    const int requests = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1200;
    const int idleSeconds = 3;
    const int pauseMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 25;
    // "nohold": RTS hold of zero length, to see what the busy hold costs the pseudo-terminal's delivery.
    const bool noHold = argc > 3 && std::strcmp(argv[3], "nohold") == 0;

    FloorResponder floorResponder;
    Latencies floor;
    const int master = openMaster();
    if (master < 0) {
        std::fprintf(stderr, "imit_bench: no pseudo-terminal\n");
        return 1;
    }

    QTemporaryDir dir;
    StopControl stopControl;
    QtPort qtPort;
    TimingPort port(qtPort);
    Link link;
    ImitSettings imit;
    HeadlessView view;
    QObject window; // the peer thread stops the loop through it
    link.setSettingsPath(dir.filePath(QStringLiteral("marvil.ini")));
    {
        QFile ini(link.settingsPath());
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write(QByteArray("[rs 232]\r\nCOM Port=1\r\n[ports]\r\nCOM1=") + ptsname(master) + "\r\n");
    }
    link.setPort(&port);
    link.setClock(&SystemClock());
    link.setPerfFrequency(noHold ? 1 : SystemClock().perfFrequency());
    link.setPortNumber(1);
    bench::StderrLinkUi linkUi("imit_bench");
    link.setUi(&linkUi);
    // The window opens the port itself, from the settings file written above.
    CfgContext cfg;
    WizardForms wizard;
    std::unique_ptr<TMainForm> form;
    std::optional<PulseWatchView> watch;
    JobView* shownIn = &view;
    if (withWindow) {
        form = std::make_unique<TMainForm>(link, cfg, imit, stopControl, wizard);
        form->show();
        shownIn = &watch.emplace(*form, imit);
    }
    imit.ImitSpeedIndex = 10; // 38400 bit/s: the shortest RTS hold (6.3 ms) between requests

    Latencies tool;
    double idleCpu = 0, idleWall = 0;
    std::thread peer([&] {
        while (speedOf(master) != B38400)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        tool = poll(master, requests, pauseMs, floorResponder.master(), &floor);
        const auto wall0 = Steady::now();
        const double cpu0 = cpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        idleCpu = cpuSeconds() - cpu0;
        idleWall = std::chrono::duration<double>(Steady::now() - wall0).count();
        QMetaObject::invokeMethod(
            &window, [&] { stopControl.requestStop(); }, Qt::QueuedConnection);
    });

    monitor::LineMonitor lineMonitor(SystemClock());
    lineMonitor.log().setFlowSlots(&imit);
    if (withMonitor)
        lineMonitor.attach(link);
    OpenPort(link);
    if (asCheck)
        RunCheckStep(link, stopControl);
    else if (watched)
        RunWatchedImitation(*shownIn, link, imit, stopControl);
    else
        RunImitation(*shownIn, link, imit, stopControl);
    lineMonitor.detach();
    peer.join();
    ::close(master);

    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("imit_bench: load average %.2f on %ld processors\n", load[0], sysconf(_SC_NPROCESSORS_ONLN));
    std::printf(
        "floor (a bare poll() responder thread, its requests between the tool's): median %.1f us, p99 "
        "%.1f us over %zu requests\n",
        percentile(floor.us, 0.5), percentile(floor.us, 0.99), floor.us.size());
    if (withMonitor)
        std::printf("line monitor attached: %d rows, %d requests and %d answers counted\n",
                    lineMonitor.model().rowCount(),
                    lineMonitor.log().jobs().empty() ? 0 : lineMonitor.log().jobs().back().total.requests,
                    lineMonitor.log().jobs().empty() ? 0 : lineMonitor.log().jobs().back().total.answers);
    std::printf(
        "imitation at 38400 bit/s%s%s: %d requests, %zu answered, %d missed (came during the previous "
        "answer)\n",
        noHold ? " without RTS hold" : "",
        asCheck ? " as a check's step" : (watched ? " with the expected pulses" : ""), requests,
        tool.us.size(), tool.missing);
    std::printf("last request byte written -> first answer byte read by the peer: median %.1f us, p99 %.1f "
                "us, max %.1f us\n",
                percentile(tool.us, 0.5), percentile(tool.us, 0.99), tool.us.empty() ? 0.0 : tool.us.back());
    std::vector<double> handed;
    for (std::size_t i = 0; i < tool.sent.size() && i < port.answerWrites.size(); ++i)
        handed.push_back(
            std::chrono::duration<double, std::micro>(port.answerWrites[i] - tool.sent[i]).count());
    std::sort(handed.begin(), handed.end());
    std::printf("last request byte written -> answer handed to the driver: median %.1f us, p99 %.1f us%s\n",
                percentile(handed, 0.5), percentile(handed, 0.99),
                port.answerWrites.size() == tool.sent.size() ? "" : " (answer count differs: pairing off)");
    std::printf("idle, waiting for requests: %.3f s processor time in %.2f s = %.2f %% of one core\n",
                idleCpu, idleWall, idleWall > 0 ? 100.0 * idleCpu / idleWall : 0.0);
    return tool.us.empty() ? 1 : 0;
}
