// Linked into tool_window beside the program's own main (app/rmz47.cpp), so that bench/startup_bench
// starts the tool exactly as installed while the product carries no measuring code: when the main window
// has been shown, the same report as empty_window gives (resident memory at the first turn of the event
// loop after the show), then the end.
#include "BenchSupport.h"
#include "Main.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace {

class ShownReporter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<TMainForm*>(watched)) {
            // The rest of the start-up (the wizard's forms) runs before the loop turns.
            QTimer::singleShot(0, qApp, bench::ReportShownAndQuit);
            qApp->removeEventFilter(this);
        }
        return false;
    }
};

// Called from the application's constructor, before main makes any window.
void WatchForMainWindow() {
    qApp->installEventFilter(new ShownReporter(qApp));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchForMainWindow)
