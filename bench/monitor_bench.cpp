// The line monitor's memory and speed with an imitation's traffic (requests read byte by byte, the tool's
// answers; three imitated runs polled in turn). First the traffic in batches of a tenth of a second, as
// the window's timer takes them, until the ring is full and then for many more rows, with the resident
// size printed every 20,000 rows. Then a burst of 10,000 frames handed to the monitor as the tap delivers
// them and turned into rows in one batch, into an empty window and into one whose ring is already full
// (the oldest rows dropped). The window is shown offscreen with its table view scrolling to the newest
// row. Prints its figures; asserts nothing.
//
//   monitor_bench [--rows N]   (rows fed after the ring is full, 400,000 by default)
#include "Clock.h"
#include "FlowFrames.h"
#include "MonitorWindow.h"
#include "Now_opros.h"

#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int kFrames = 10'000;
constexpr qint64 kPollUs = 11'000; // between request starts
constexpr int kPollsPerBatch = 9;  // what a 100 ms batch brings at that period

// Time that moves only when the benchmark says so: the rows' times and gaps follow the imitated line.
class BenchClock : public Clock {
public:
    qint64 us = 1'000'000;
    quint32 tickMs() override { return quint32(us / 1000); }
    qint64 perfCounter() override { return us; }
    qint64 perfFrequency() override { return 1'000'000; }
};

QByteArray Bytes(const std::uint8_t* data, std::size_t n) {
    return QByteArray(reinterpret_cast<const char*>(data), int(n));
}

// Polls of the imitated runs in turn, kPollUs apart from startUs: the request's 7 bytes one event each,
// then the tool's answer.
std::vector<std::vector<LineEvent>> Polls(qint64 startUs, int polls, const proto::FlowSlots& flowSlots) {
    std::vector<std::vector<LineEvent>> deliveries;
    std::array<std::uint8_t, proto::kFlowAnswerSize> answer{};
    for (int i = 0; i < polls; ++i) {
        const qint64 t = startUs + qint64(i) * kPollUs;
        const int slot = int((t / kPollUs) % proto::kFlowSlots);
        const auto request = proto::BuildFlowRequest(flowSlots.ImitAddr[slot], flowSlots.ImitNitka[slot]);
        std::vector<LineEvent> d;
        for (std::uint8_t b : request)
            d.push_back({LineEventKind::Bytes, LineDirection::In, t, QByteArray(1, char(b)), 0});
        d.push_back({LineEventKind::Frame, LineDirection::In, t, Bytes(request.data(), request.size()), 0});
        proto::BuildFlowAnswer(request, answer, slot, flowSlots, std::uint32_t(t / 1000));
        d.push_back({LineEventKind::Bytes, LineDirection::Out, t + 100, QByteArray(1, char(0xFF)), 0});
        d.push_back(
            {LineEventKind::Frame, LineDirection::Out, t + 100, Bytes(answer.data(), answer.size()), 0});
        deliveries.push_back(std::move(d));
    }
    return deliveries;
}

// Delivers the polls and lets the clock pass over them.
void Deliver(monitor::LineMonitor& m, BenchClock& clock, const std::vector<std::vector<LineEvent>>& polls) {
    for (const auto& d : polls)
        m.log().lineEvents(d);
    clock.us += qint64(polls.size()) * kPollUs;
}

// Delivers a burst and times the deliveries (what the line's path pays) and the batch (what the window
// pays, once).
void Burst(TMonitorForm& form, BenchClock& clock, const proto::FlowSlots& flowSlots, const char* what) {
    monitor::LineMonitor& m = form.monitor();
    const auto burst = Polls(clock.us, kFrames / 2, flowSlots);
    QElapsedTimer t;
    t.start();
    Deliver(m, clock, burst);
    const qint64 deliverNs = t.nsecsElapsed();
    t.restart();
    m.flush();
    QApplication::processEvents(); // the view lays out and paints what changed
    const qint64 batchNs = t.nsecsElapsed();
    std::printf(
        "%s: %d frames delivered in %.2f ms (%.2f us a delivery), turned into rows and shown in %.1f ms "
        "(%.2f us a frame); %d rows kept\n",
        what, kFrames, deliverNs / 1e6, deliverNs / 1e3 / double(burst.size()), batchNs / 1e6,
        batchNs / 1e3 / kFrames, m.model().rowCount());
}

// The resident size against the one when the ring filled, and (with glibc) the heap as the allocator sees
// it: in use, and held from the system.
void PrintMemory(long rows, long baseKb) {
    const long rss = bench::RssKb();
    std::printf("%7ld rows after full: resident %ld KiB (%+ld)", rows, rss, rss - baseKb);
#ifdef __GLIBC__
    const struct mallinfo2 mi = mallinfo2();
    std::printf(", heap in use %zu KiB of %zu KiB held", mi.uordblks / 1024, (mi.arena + mi.hblkhd) / 1024);
#endif
    std::printf("\n");
    std::fflush(stdout);
}

// The traffic in batches as the window's timer takes them: first until the ring is full, then `rows` more.
void Steady(monitor::LineMonitor& m, BenchClock& clock, const proto::FlowSlots& flowSlots, long rows) {
    const auto batch = [&] {
        Deliver(m, clock, Polls(clock.us, kPollsPerBatch, flowSlots));
        m.flush();
        QApplication::processEvents();
    };
    QElapsedTimer t;
    t.start();
    while (m.model().rowCount() < m.model().capacity())
        batch();
    std::printf("ring filled in batches of %d rows in %.1f s\n", 2 * kPollsPerBatch, t.nsecsElapsed() / 1e9);
    const long baseKb = bench::RssKb();
    PrintMemory(0, baseKb);
    t.restart();
    long fed = 0, nextReport = 20'000;
    while (fed < rows) {
        batch();
        fed += 2 * kPollsPerBatch;
        if (fed >= nextReport) {
            PrintMemory(fed, baseKb);
            nextReport += 20'000;
        }
    }
    std::printf("%ld rows more in %.1f s (%.1f us a row), %d rows kept\n", fed, t.nsecsElapsed() / 1e9,
                t.nsecsElapsed() / 1e3 / double(std::max(fed, 1L)), m.model().rowCount());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("RMZ47_MONITOR_SETTINGS", "/dev/null");
    long rows = 400'000;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::max(0L, std::atol(argv[++i]));
    QApplication app(argc, argv);
    BenchClock clock;
    Link link;
    link.setClock(&clock);
    proto::FlowSlots flowSlots;
    flowSlots.ImitFlIndex = 2;
    flowSlots.ImitNitka = {1, 2, 3};
    flowSlots.ImitRashod = {3600.0, 120.5, 0.25};
    flowSlots.ImitMsbFirst = {true, true, false};
    monitor::LineMonitor lineMonitor(clock);
    lineMonitor.log().setFlowSlots(&flowSlots);
    lineMonitor.attach(link);
    TMonitorForm form(link, lineMonitor);
    form.open();
    QApplication::processEvents();
    Steady(form.monitor(), clock, flowSlots, rows);
    form.monitor().clearRows();
    Burst(form, clock, flowSlots, "empty ring");
    for (int i = 0; i < 9; ++i)
        Burst(form, clock, flowSlots, "filling");
    Burst(form, clock, flowSlots, "full ring (100,000 rows, the oldest dropped)");
    return 0;
}
