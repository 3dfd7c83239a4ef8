#pragma once
// The imitation's view with the controller's output beside the runs: everything goes on to the main
// window, and after each run's texts the pulses expected from the volumes on screen are shown too, at
// the next turn of the event loop: an answer waits on the line for nothing but its own run's texts.
#include "ImitSettings.h"
#include "JobView.h"

#include <QObject>
#include <array>

class PulseWatchView : public JobView {
public:
    PulseWatchView(JobView& window, const ImitSettings& imit) : window_(window), imit_(imit) {}

    QWidget* dialogParent() override { return window_.dialogParent(); }
    void setJobButtonsEnabled(bool enabled) override { window_.setJobButtonsEnabled(enabled); }
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
    void closeWindow() override { window_.closeWindow(); }
    void showPortDevice(const QString& text) override { window_.showPortDevice(text); }
    void showLinkNotice(LinkNotice which, const QString& text) override { window_.showLinkNotice(which, text); }

private:
    void showExpectation();
    void scheduleExpectation();

    JobView& window_;
    const ImitSettings& imit_;
    int runs_ = 0;
    std::array<double, 3> volumes_{}; // m3, as each run's label shows it
    bool pending_ = false;
    QObject timers_; // ends a pending update with the view
};

// The volume a run's label shows ("Объем газа за сегодня : 10,000"); 0 for an empty label.
double ShownVolume(const QString& volumeText);
