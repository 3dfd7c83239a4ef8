#include "PulseWatch.h"

#include "NumText.h"

void PulseWatchView::showImitPanel(int runs) {
    window_.showImitPanel(runs);
    runs_ = runs;
    // The labels keep their last texts once the panel is covered again.
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
        showExpectation();
}

void PulseWatchView::showExpectation() {
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
