#include "Program.h"

#include "QtPort.h"
#include "Settings.h"

#include <QMessageBox>
#include <QWidget>

void ScreenLinkUi::showOpenError(const QString& text) {
    ShowMessage(nullptr, text, QStringLiteral("GetLastError"), QMessageBox::Information);
}

void ScreenLinkUi::showBadRequest(QObject* owner) {
    QWidget* window = mainWindow;
    if (auto* w = qobject_cast<QWidget*>(owner))
        window = w->window();
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("Bad request"),
                    QMessageBox::Ok, window);
    if (window)
        box.move(window->pos()); // the owner's frame corner, not centred over it
    box.exec();
}

void TakeRunLayout(ImitSettings& imit, const CfgRecord& record, int speedIndex) {
    imit.ImitSpeedIndex = speedIndex;
    imit.ImitFlIndex = quint8(record.FlCount - 1);
    for (int i = 0; i < 3; ++i) {
        imit.ImitAddr[i] = record.Addr[i];
        imit.ImitNitka[i] = record.Nitka[i];
    }
}

void TakeOutputParams(ImitSettings& imit, const CfgJobReport& report) {
    const std::optional<CfgRecord>& known =
        report.result == CfgJobReport::Result::Written ? report.written : report.read;
    if (known)
        imit.output = OutputFromRecord(known->V, known->Nag, known->Pause);
    else if (report.configured == false)
        imit.output = {}; // what was known described another configuration, not this controller's
}

Program::Program() : ownedPort_(std::make_unique<QtPort>()) {
    init(*ownedPort_, SystemClock(), SettingsPathFromEnvironment());
}

Program::Program(Port& port, Clock& clock, const QString& settingsPath) {
    init(port, clock, settingsPath);
}

void Program::init(Port& port, Clock& clock, const QString& settingsPath) {
    link.setPort(&port);
    link.setClock(&clock);
    link.setSettingsPath(settingsPath);
    link.setUi(&linkUi);
}

Program::~Program() {
    if (wizard.PodborForm1 || wizard.PodborForm2)
        DestroyWizardForms(wizard);
    // The port object outlives every use: close it before it goes.
    ClosePort(link);
}
