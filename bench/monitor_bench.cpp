// The line monitor under a burst: 10,000 frames of an imitation (5,000 requests read byte by byte, 5,000
// answers) handed to the monitor as the tap delivers them, then turned into rows in one batch, into an
// empty window and into one whose ring is already full (the oldest rows dropped). The window is shown
// offscreen with its table view. Prints its figures; asserts nothing.
#include "Clock.h"
#include "FlowFrames.h"
#include "MonitorWindow.h"
#include "Now_opros.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <vector>

namespace {

constexpr int kFrames = 10'000;

// One poll of the line every 10 ms: the request's 7 bytes one event each, then the tool's answer.
std::vector<std::vector<LineEvent>> Burst(qint64 startUs, int frames) {
    std::vector<std::vector<LineEvent>> deliveries;
    proto::FlowSlots flowSlots;
    std::array<std::uint8_t, proto::kFlowAnswerSize> answer{};
    for (int i = 0; i < frames / 2; ++i) {
        const qint64 t = startUs + qint64(i) * 10'000;
        const auto request = proto::BuildFlowRequest(1, 1);
        std::vector<LineEvent> d;
        for (std::uint8_t b : request)
            d.push_back({LineEventKind::Bytes, LineDirection::In, t, QByteArray(1, char(b)), 0});
        d.push_back({LineEventKind::Frame, LineDirection::In, t,
                     QByteArray(reinterpret_cast<const char*>(request.data()), 7), 0});
        proto::BuildFlowAnswer(request, answer, 0, flowSlots, std::uint32_t(i * 10));
        d.push_back({LineEventKind::Bytes, LineDirection::Out, t + 100, QByteArray(1, char(0xFF)), 0});
        d.push_back({LineEventKind::Frame, LineDirection::Out, t + 100,
                     QByteArray(reinterpret_cast<const char*>(answer.data()), int(answer.size())), 0});
        deliveries.push_back(std::move(d));
    }
    return deliveries;
}

// Delivers the burst and times the deliveries (what the line's path pays) and the batch (what the window
// pays, once).
void Run(TMonitorForm& form, const char* what) {
    monitor::LineMonitor& m = form.monitor();
    const auto burst = Burst(m.nowUs(), kFrames);
    QElapsedTimer t;
    t.start();
    for (const auto& d : burst)
        m.log().lineEvents(d);
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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("RMZ47_MONITOR_SETTINGS", "/dev/null");
    QApplication app(argc, argv);
    Link link;
    link.clock = &SystemClock();
    proto::FlowSlots flowSlots;
    TMonitorForm form(link, &flowSlots);
    form.open();
    QApplication::processEvents();
    Run(form, "empty ring");
    for (int i = 0; i < 9; ++i)
        Run(form, "filling");
    Run(form, "full ring (100,000 rows, the oldest dropped)");
    return 0;
}
