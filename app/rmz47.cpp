// The RMZ-47 service tool: configures the power controller and imitates its flow computers.
#include "CfgJournal.h"
#include "CommandLine.h"
#include "JournalWindow.h"
#include "Logging.h"
#include "Main.h"
#include "MonitorWindow.h"
#include "Program.h"
#include "UiCommon.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

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

// Start-up measurement (bench/startup_bench): with RMZ47_BENCH_EXIT_ON_SHOW=1 the program reports its
// resident memory at the first turn of the event loop after the main window was shown, and ends.
void ReportShownAndQuit() {
    long pages = 0, resident = 0, pageKb = 0;
#ifdef Q_OS_LINUX
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    pageKb = ::sysconf(_SC_PAGESIZE) / 1024;
#endif
    std::printf("shown rss_kb=%ld\n", resident * pageKb);
    std::fflush(stdout);
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char** argv) {
    InstallLogOutput();
    const StartOptions options = ParseCommandLine(ArgumentList(argc, argv));
    if (options.exitNow)
        return PrintStartMessage(options);
    Application app(argc, argv);
    InstallQtRussian(&app);
    try {
        Program program;
        TMainForm mainForm(program);
        AttachJournal(mainForm, program, JournalPath());
        MonitorHookup monitor(mainForm, program.link, &program.imit);
        mainForm.show();
        if (options.openMonitor)
            monitor.open();
        program.wizard = CreateWizardForms();
        if (qEnvironmentVariableIntValue("RMZ47_BENCH_EXIT_ON_SHOW") == 1)
            QTimer::singleShot(0, &app, ReportShownAndQuit);
        app.exec();
    } catch (...) {
        // Start-up failed: shown, then the program ends normally.
        ShowCurrentException(nullptr);
    }
    return 0;
}
