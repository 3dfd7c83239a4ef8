#pragma once
// The imitation's view with the controller's output beside the runs: everything goes on to the main
// window, and after each run's texts the pulses expected from the volumes on screen are shown too, at
// the next turn of the event loop: an answer waits on the line for nothing but its own run's texts.
#include "ImitSettings.h"
#include "JobView.h"

#include <QString>
#include <QTimer>
#include <array>

class PulseWatchView : public JobView {
public:
    PulseWatchView(JobView& window, const ImitSettings& imit);

    void tell(Notice kind, const QString& caption, const QString& text) override {
        window_.tell(kind, caption, text);
    }
    bool ask(const QString& caption, const QString& text) override { return window_.ask(caption, text); }
    void setStopMode(bool stop) override { window_.setStopMode(stop); }
    void showLinkStatus(int portNumber, int rtsControl, int baud) override {
        window_.showLinkStatus(portNumber, rtsControl, baud);
    }
    void showLineSpeed(int baud) override { window_.showLineSpeed(baud); }
    void showImitPanel(int runs) override;
    void showRun(int slot, const RunDisplay& texts) override;
    void showOutputPulses(const QString& text, bool warning) override {
        window_.showOutputPulses(text, warning);
    }
    void showPortDevice(const QString& text) override { window_.showPortDevice(text); }
    void showLinkNotice(LinkNotice which, const QString& text) override {
        window_.showLinkNotice(which, text);
    }

private:
    void showExpectation();

    JobView& window_;
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
