#pragma once
// A main window for the jobs as a test sees it: what the jobs showed, under the names the real window's
// controls have, and the state of its buttons and panel. Dialogs and boxes open over a plain widget.
#include "JobView.h"
#include "UiCommon.h"

#include <QMap>
#include <QWidget>
#include <functional>

class FakeView : public JobView {
public:
    QWidget* dialogParent() override { return &widget; }
    void setJobButtonsEnabled(bool enabled) override {
        jobButtonsOn = enabled;
        if (onJobButtons)
            onJobButtons(enabled);
    }
    void setStopMode(bool stop) override { stopMode = stop; }
    void showLinkStatus(int portNumber, int rtsControl, int baud) override {
        labels[QStringLiteral("ShortAddrLabel")] = AddressStatusText();
        labels[QStringLiteral("PortLabel")] = PortStatusText(portNumber);
        labels[QStringLiteral("RTSLabel")] = RtsStatusText(rtsControl);
        showLineSpeed(baud);
    }
    void showLineSpeed(int baud) override { labels[QStringLiteral("TypeConnectLabel")] = SpeedStatusText(baud); }
    void showImitPanel(int runs) override {
        panelRuns = runs;
        if (runs > 0)
            shownRuns = runs;
    }
    void showRun(int slot, const RunDisplay& texts) override {
        const int n = slot + 1;
        labels[QStringLiteral("Rashod%1Label").arg(n)] = texts.flow;
        labels[QStringLiteral("Answers%1Label").arg(n)] = texts.answers;
        labels[QStringLiteral("CurrentTotal%1Label").arg(n)] = texts.volume;
        if (onShowRun)
            onShowRun(slot);
    }
    void showOutputPulses(const QString& text, bool warning) override {
        labels[QStringLiteral("PulsesLabel")] = text;
        pulsesWarning = warning;
    }
    void closeWindow() override { ++closes; }
    void showPortDevice(const QString& text) override { labels[QStringLiteral("PortLabel.toolTip")] = text; }
    void showLinkNotice(LinkNotice which, const QString& text) override {
        labels[which == LinkNotice::Port ? QStringLiteral("PortStateLabel") : QStringLiteral("SpeedNoticeLabel")] = text;
        ++notices;
    }

    // A label's text as the real window would show it ("<missing>" when never set).
    QString text(const QString& name) const { return labels.value(name, QStringLiteral("<missing>")); }
    // Whether run box n (1..3) is hidden: the boxes beyond the runs of the last uncovering are.
    bool runBoxHidden(int n) const { return n > shownRuns; }
    bool panelShown() const { return panelRuns > 0; }

    QWidget widget;
    QMap<QString, QString> labels;
    bool jobButtonsOn = true;
    bool stopMode = false;
    int panelRuns = 0;
    int shownRuns = 0;
    int closes = 0;
    bool pulsesWarning = false;
    int notices = 0;
    std::function<void(bool)> onJobButtons;
    std::function<void(int)> onShowRun;
};
