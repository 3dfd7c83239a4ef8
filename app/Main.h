#pragma once
// The main window: the link-status panels, the two job buttons, the close button and, below them, the
// imitation's per-run display, which the window only uncovers while an imitation runs.
#include "CfgJournal.h"
#include "CfgView.h"
#include "CheckPlan.h"
#include "ImitView.h"
#include "JobGuard.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TMainForm;
}
class Link;
struct CfgContext;
struct ImitSettings;
struct StopControl;
struct WizardForms;
struct Program;
class EscapeHook;
class QLabel;

// The main window's heights, recorded when it is created: the designed one, which shows the imitation
// panel, and the one that ends 30 pixels below the button row.
struct MainHeights {
    int FullHeight = 0;
    int CompactHeight = 0;
};

class TMainForm : public QWidget, public ConfigureView, public ImitView {
    Q_OBJECT
public:
    // Creating the window loads the settings, opens the port and installs the Escape hook (FormCreate).
    TMainForm(Link& link, CfgContext& cfg, ImitSettings& imit, StopControl& stopControl, WizardForms& wizard,
              QWidget* parent = nullptr);
    explicit TMainForm(Program& program, QWidget* parent = nullptr);
    ~TMainForm() override;

    const MainHeights& heights() const { return heights_; }

    // The jobs' view: boxes and dialogs modal over this window, the wizard within the configuration form.
    void tell(Notice kind, const QString& caption, const QString& text) override;
    bool ask(const QString& caption, const QString& text) override;
    std::unique_ptr<CfgFormSession> openCfgForm(CfgContext& cfg, const CfgFormValues& values) override;
    bool editImitSettings(ImitSettings& imit) override;
    void setStopMode(bool stop) override;
    void showLinkStatus(int portNumber, int rtsControl, int baud) override;
    void showLineSpeed(int baud) override;
    void showImitPanel(int runs) override;
    void showRun(int slot, const RunDisplay& texts) override;
    void showOutputPulses(const QString& text, bool warning) override;
    // The busy cursor and the job buttons off while a step is on the line, and the step for the line
    // monitor.
    void showProgress(const QString& step) override;
    void showPortDevice(const QString& text) override;
    void showLinkNotice(LinkNotice which, const QString& text) override;

    bool inStopMode() const { return stopMode_; }
    // A job (the link-parameters dialog, configuring, the imitation) runs from one of the buttons.
    bool jobRunning() const { return guard_.running(); }

    // The tool windows beside the jobs (line monitor, configuration journal): their button or key
    // (F2, F3) calls these; nothing happens while they are unset.
    std::function<void()> openMonitor;
    std::function<void()> openJournal;
    // The bench check's window: its button or F4 (in this window only, since F4 also opens a combo
    // box's list) while no job runs.
    std::function<void()> openCheck;
    // Runs another window's job (the bench check) as the imitation runs: the job buttons off
    // throughout, a close of this window asks it to stop. False when a job runs already.
    bool runWindowJob(const std::function<void()>& body);
    // The line monitor's ears: the configure job's step on the line, and a job's start or end (imitation:
    // true for the imitation, false for the configure job, which is told only at its start).
    std::function<void(const QString& step)> onProgress;
    std::function<void(bool imitation, bool starts)> onJob;
    // Told at the end of each configure job (the journal); returns the saves that failed.
    CfgFinished onConfigureDone;
    // The program's window makes the wizard's two dialogs when the configuration form first opens rather
    // than at start-up; they stay (their owner ends them) so that their texts are kept from one run to
    // the next. Off: the wizard given is used as it is.
    bool createWizardWhenNeeded = false;

protected:
    // FormClose: saves the settings and closes the port. While a job runs the window stays until the job
    // has ended (the imitation is asked to stop first), so that the port is not taken from under it.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void ParamRSButtonClick();
    void UstavkiButtonClick();
    void ImitFlButtonClick();
    void CloseBtnClick();
    // Runs a button's job unless one runs already; an exception that leaves it is shown and the window
    // goes on.
    // stop: what a close of the window asks of the job (none: the close waits for its end).
    void runJob(JobGuard::Buttons buttons, std::function<void()> stop, const std::function<void()>& body);
    void setJobButtonsEnabled(bool enabled);
    // Each imitated run's three labels.
    struct RunLabels {
        QLabel* flow;
        QLabel* answers;
        QLabel* volume;
    };
    std::array<RunLabels, 3> runLabels() const;
    // The expected-pulses line takes the height its text needs (a warning runs to four lines); the
    // lines below it and the window's full height move with it.
    void fitPulsesLine();

    std::unique_ptr<Ui::TMainForm> ui;
    Link& link_;
    CfgContext& cfg_;
    ImitSettings& imit_;
    StopControl& stopControl_;
    MainHeights heights_;
    WizardForms& wizard_;
    EscapeHook* escapeHook_ = nullptr;
    bool stopMode_ = false;
    bool busy_ = false; // the busy cursor is up
    // Where a configure job leaves the controller it found, when the window belongs to a program.
    std::optional<CheckController>* checkController_ = nullptr;
    JobGuard guard_;
};
