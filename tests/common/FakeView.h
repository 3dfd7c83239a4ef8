#pragma once
// A main window for the jobs as a test sees it: what the jobs showed and told, under the names the real
// window's controls have, and the state of its buttons and panel. Boxes and dialogs open over a plain
// widget as the window opens them; with onScreen off nothing opens, as under a console: the messages are
// only recorded, questions and the configuration form are answered from the lists below.
#include "CfgForm.h"
#include "Cfgunit.h"
#include "ImitView.h"
#include "Imitunit.h"
#include "JobGuard.h"
#include "UiCommon.h"

#include <QMap>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

class FakeView : public ConfigureView, public ImitView {
public:
    struct Told {
        Notice kind;
        QString caption, text;
    };

    void tell(Notice kind, const QString& caption, const QString& text) override {
        told.push_back({kind, caption, text});
        if (onScreen)
            ShowNotice(&widget, kind, caption, text);
    }
    bool ask(const QString& caption, const QString& text) override {
        if (onScreen)
            return AskYesNo(&widget, caption, text);
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }
    std::unique_ptr<CfgFormSession> openCfgForm(CfgContext& cfg, const CfgFormValues& values) override {
        if (onScreen)
            return OpenCfgFormOnScreen(&widget, cfg, wizard ? *wizard : noWizard_, values);
        formFilled.push_back(values);
        return std::make_unique<ScriptedForm>(*this);
    }
    bool editImitSettings(ImitSettings& imit) override { return EditImitSettings(imit, &widget); }
    void setStopMode(bool stop) override { stopMode = stop; }
    void showLinkStatus(int portNumber, int rtsControl, int baud) override {
        labels[QStringLiteral("ShortAddrLabel")] = AddressStatusText();
        labels[QStringLiteral("PortLabel")] = PortStatusText(portNumber);
        labels[QStringLiteral("RTSLabel")] = RtsStatusText(rtsControl);
        showLineSpeed(baud);
    }
    void showLineSpeed(int baud) override {
        labels[QStringLiteral("TypeConnectLabel")] = SpeedStatusText(baud);
    }
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
    void showPortDevice(const QString& text) override { labels[QStringLiteral("PortLabel.toolTip")] = text; }
    void showLinkNotice(LinkNotice which, const QString& text) override {
        labels[which == LinkNotice::Port ? QStringLiteral("PortStateLabel")
                                         : QStringLiteral("SpeedNoticeLabel")] = text;
        ++notices;
    }
    // The window's job buttons follow the steps on the line through the same guard.
    void showProgress(const QString& step) override { guard.setOnLine(!step.isEmpty()); }

    // A label's text as the real window would show it ("<missing>" when never set).
    QString text(const QString& name) const { return labels.value(name, QStringLiteral("<missing>")); }
    // Whether run box n (1..3) is hidden: the boxes beyond the runs of the last uncovering are.
    bool runBoxHidden(int n) const { return n > shownRuns; }
    bool panelShown() const { return panelRuns > 0; }

    QWidget widget;
    bool onScreen = true;
    WizardForms* wizard = nullptr; // the configuration form's wizard on screen (none: no wizard)
    std::vector<Told> told;
    std::deque<bool> answers;                        // off screen: yes/no, then no
    std::deque<CfgFormValues> formEntries;           // off screen: each showing's entries, then cancel
    std::vector<CfgFormValues> formFilled, formKept; // off screen: what the form was filled and left with
    QMap<QString, QString> labels;
    bool jobButtonsOn = true;
    bool stopMode = false;
    int panelRuns = 0;
    int shownRuns = 0;
    int closes = 0;
    bool pulsesWarning = false;
    int notices = 0;
    std::function<void(int)> onShowRun;
    JobGuard guard{[this](bool on) { jobButtonsOn = on; }, [this] { ++closes; }};

private:
    class ScriptedForm : public CfgFormSession {
    public:
        explicit ScriptedForm(FakeView& view) : view_(view) {}
        std::optional<CfgFormValues> confirm() override {
            if (view_.formEntries.empty())
                return std::nullopt;
            CfgFormValues entries = std::move(view_.formEntries.front());
            view_.formEntries.pop_front();
            return entries;
        }
        void keepTexts(const CfgFormValues& values) override { view_.formKept.push_back(values); }

    private:
        FakeView& view_;
    };
    WizardForms noWizard_;
};
