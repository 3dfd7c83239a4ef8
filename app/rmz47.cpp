// The RMZ-47 service tool: configures the power controller and imitates its flow computers.
#include "CfgJournal.h"
#include "CheckWindow.h"
#include "CliCommand.h"
#include "CliOptions.h"
#include "CommandLine.h"
#include "JournalWindow.h"
#include "Logging.h"
#include "Main.h"
#include "MonitorWindow.h"
#include "Program.h"
#include "UiCommon.h"

#include <QApplication>

namespace {

// An exception that leaves any event handler is shown in the standard exception box and the message
// loop goes on.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            ShowCurrentException(nullptr);
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    InstallLogOutput();
    const QStringList arguments = ArgumentList(argc, argv);
    if (IsSubcommand(arguments))
        return RunSubcommand(argc, argv);
    const StartOptions options = ParseCommandLine(arguments);
    if (options.exitNow)
        return PrintStartMessage(options);
    // Without a display Qt's start would abort with a hint at reinstalling; say what works instead.
    if (const QString noDisplay = NoDisplayMessage(); !noDisplay.isEmpty()) {
        PrintError(noDisplay);
        return 2;
    }
    Application app(argc, argv);
    InstallQtRussian(&app);
    HideFileDialogTypes(&app);
    try {
        Program program;
        TMainForm mainForm(program);
        mainForm.createWizardWhenNeeded = true;
        AttachJournal(mainForm, program, JournalPath());
        AttachCheckWindow(mainForm, program, JournalPath());
        MonitorHookup monitor(mainForm, program.link, &program.imit);
        mainForm.show();
        if (options.openMonitor)
            monitor.open();
        app.exec();
    } catch (...) {
        // Start-up failed: shown, then the program ends normally.
        ShowCurrentException(nullptr);
    }
    return 0;
}
