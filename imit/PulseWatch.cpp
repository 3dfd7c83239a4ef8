#include "PulseWatch.h"

#include "NumText.h"

PulseWatchView::PulseWatchView(JobView& window, const ImitSettings& imit) : RelayView(window), imit_(imit) {
    expectation_.setSingleShot(true);
    expectation_.setInterval(0);
    QObject::connect(&expectation_, &QTimer::timeout, [this] { showExpectation(); });
}

void PulseWatchView::showImitPanel(int runs) {
    // The last answer's update before the panel is covered: the labels keep their last texts.
    if (expectation_.isActive() && runs == 0)
        showExpectation();
    window_.showImitPanel(runs);
    runs_ = runs;
    if (runs > 0) {
        volumeTexts_ = {};
        showExpectation();
    }
}

void PulseWatchView::showRun(int slot, const RunDisplay& texts) {
    window_.showRun(slot, texts);
    if (slot < 0 || slot > 2)
        return;
    volumeTexts_[std::size_t(slot)] = texts.volume;
    if (runs_ > 0 && !expectation_.isActive())
        expectation_.start();
}

void PulseWatchView::showExpectation() {
    expectation_.stop();
    double total = 0, flow = 0;
    for (int s = 0; s < runs_ && s < 3; ++s) {
        total += ShownVolume(volumeTexts_[std::size_t(s)]);
        flow += imit_.ImitRashod[std::size_t(s)];
    }
    const PulseExpectation e = ExpectPulses(imit_.output, total, flow);
    window_.showOutputPulses(PulseSummaryText(e), e.fallsBehind);
}

double ShownVolume(const QString& volumeText) {
    // The number after the label's caption, in the locale's format, as the operator reads it.
    const qsizetype colon = volumeText.lastIndexOf(QLatin1Char(':'));
    double v = 0;
    if (colon < 0 || !TryParseNumber(volumeText.mid(colon + 1), &v))
        return 0;
    return v;
}
