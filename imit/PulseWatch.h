#pragma once
// The imitation's view with the controller's output beside the runs: everything goes on to the main
// window, and after each run's texts the pulses expected from the volumes on screen are shown too, at
// the next turn of the event loop: an answer waits on the line for nothing but its own run's texts.
#include "ImitSettings.h"
#include "JobView.h"

#include <QString>
#include <QTimer>
#include <array>

class PulseWatchView : public RelayView {
public:
    PulseWatchView(JobView& window, const ImitSettings& imit);

    void showImitPanel(int runs) override;
    void showRun(int slot, const RunDisplay& texts) override;

private:
    void showExpectation();

    const ImitSettings& imit_;
    int runs_ = 0;
    // Each run's volume as its label shows it; read as a number only when the pulses are shown, after
    // the answer has gone out.
    std::array<QString, 3> volumeTexts_;
    // Fires at the next turn of the event loop; kept, so that an answer costs no posted event.
    QTimer expectation_;
};

// The volume a run's label shows ("Объем газа за сегодня : 10,000"); 0 for an empty label.
double ShownVolume(const QString& volumeText);
