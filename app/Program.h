#pragma once
// The program-wide state: one link (port, clock, settings file), one configuration state, one set of
// imitation settings, the stop request and the wizard's two dialogs, alive for the whole run.
#include "Cfgunit.h"
#include "CheckPlan.h"
#include "ImitSettings.h"
#include "LinkUi.h"
#include "Now_opros.h"
#include "Settings.h"
#include "UiCommon.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

// The link's message boxes on screen: the "GetLastError" box after a failed open (no owner, information
// icon) and the "Bad request" error box at the owning window's top-left corner; a request without an
// owner of its own (the jobs' requests) belongs to the main window.
class ScreenLinkUi : public LinkUi {
public:
    void showOpenError(const QString& text) override;
    void showBadRequest(QObject* owner) override;
    QPointer<QWidget> mainWindow;
};

// Where the two jobs meet: a following imitation answers for the runs just configured (run count,
// addresses, run numbers) at the line speed chosen for run 1.
void TakeRunLayout(ImitSettings& imit, const CfgRecord& record, int speedIndex);

// What a configure job tells the imitation about the controller's pulse output: the configuration read
// from a configured controller, replaced by one the controller acknowledged. The defaults shown for a
// controller that is not configured say nothing about it, and it makes earlier values unknown.
void TakeOutputParams(ImitSettings& imit, const CfgJobReport& report);

struct Program {
    // The real program: the serial port and the system clock, the settings file from the environment.
    Program();
    // Tests: their own port, clock and settings file.
    Program(Port& port, Clock& clock, const QString& settingsPath);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Link link;
    CfgContext cfg;
    ImitSettings imit;
    StopControl stopControl;
    WizardForms wizard;
    ScreenLinkUi linkUi;
    // The controller as the last configure job found it, for a bench check's report.
    std::optional<CheckController> checkController;

private:
    void init(Port& port, Clock& clock, const QString& settingsPath);
    std::unique_ptr<Port> ownedPort_;
};
