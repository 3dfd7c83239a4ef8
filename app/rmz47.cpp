// The RMZ-47 service tool: configures the power controller and imitates its flow computers.
#include "Main.h"
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
    Application app(argc, argv);
    try {
        Program program;
        TMainForm mainForm(program);
        mainForm.show();
        program.wizard = CreateWizardForms();
        app.exec();
    } catch (...) {
        // Start-up failed: shown, then the program ends normally.
        ShowCurrentException(nullptr);
    }
    return 0;
}
