#include "PulseWatch.h"

#include "NumText.h"

#include <QTimer>

void PulseWatchView::showImitPanel(int runs) {
    // The last answer's update before the panel is covered: the labels keep their last texts.
    if (pending_ && runs == 0)
        showExpectation();
    window_.showImitPanel(runs);
    runs_ = runs;
    if (runs > 0) {
        volumes_ = {};
        showExpectation();
    }
}

void PulseWatchView::showRun(int slot, const RunDisplay& texts) {
    window_.showRun(slot, texts);
    if (slot < 0 || slot > 2)
        return;
    volumes_[slot] = ShownVolume(texts.volume);
    if (runs_ > 0)
        scheduleExpectation();
}

void PulseWatchView::scheduleExpectation() {
    if (pending_)
        return;
    pending_ = true;
    QTimer::singleShot(0, &timers_, [this] {
        if (pending_)
            showExpectation();
    });
}

void PulseWatchView::showExpectation() {
    pending_ = false;
    double total = 0, flow = 0;
    for (int s = 0; s < runs_ && s < 3; ++s) {
        total += volumes_[s];
        flow += imit_.ImitRashod[s];
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
