// rmz47-screenshots DIR: the README's pictures of the link dialog, the configuration form, the wizard's two
// steps, the main window during an imitation and the bench check's window and report, made from the real
// windows. It runs the demo: the virtual controller in field mode with the demo's configuration, the real
// configure job (opening the wizard on the way, then leaving it), the imitation of its two flow computers
// until each has answered three times, the line monitor, a sample check of the configured runs in the
// check window; and grabs each window to a PNG file in DIR. Runs offscreen unless QT_QPA_PLATFORM says
// otherwise. Every file of the run goes where the demo's environment (scripts/demo-env.sh) says, the
// pictures apart; the pictures come out the same at every run.
#include "CfgJournal.h"
#include "CheckShot.h"
#include "CheckWindow.h"
#include "FlowFrames.h"
#include "ImitLoop.h"
#include "JournalWindow.h"
#include "LinkDialogShot.h"
#include "Main.h"
#include "MonitorWindow.h"
#include "Podborunit.h"
#include "Program.h"
#include "PulseWatch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <functional>

namespace {

constexpr int kWaitMs = 20000;
// The picture of the imitation shows each run as after its third answer, 14 s into the imitation (run 2
// a poll later): the figures of a real run depend on when the controller's polls fall.
constexpr int kShownAnswers = 3;
constexpr std::uint32_t kShownElapsedMs[] = {14000, 14120};
// Where the demo's environment must point before the run, so that nothing lands in the user's own files.
const char* const kDemoVariables[] = {"RMZ47_SETTINGS", "RMZ47_DATA_DIR", "RMZ47_MONITOR_SETTINGS",
                                      "XDG_CONFIG_HOME"};

bool fail(const char* why) {
    std::fprintf(stderr, "rmz47-screenshots: %s\n", why);
    return false;
}

// Acts on each modal window as it comes to the top, in the order given: one action a window.
class DialogSteps : public QObject {
public:
    using Action = std::function<void(QWidget*)>;
    void then(const char* name, Action a) { steps_.push_back({QString::fromLatin1(name), std::move(a)}); }
    bool done() const { return steps_.empty(); }

    DialogSteps() {
        connect(&tick_, &QTimer::timeout, this, [this] { look(); });
        tick_.start(200);
    }

private:
    void look() {
        QWidget* w = QApplication::activeModalWidget();
        if (w == last_)
            return;
        last_ = w;
        if (!w || steps_.empty())
            return;
        auto [name, action] = std::move(steps_.front());
        steps_.pop_front();
        if (w->objectName() != name && !(name == "box" && qobject_cast<QMessageBox*>(w))) {
            std::fprintf(stderr, "rmz47-screenshots: expected %s, got %s\n", qPrintable(name),
                         qPrintable(w->objectName()));
            steps_.clear();
            QApplication::exit(1);
            return;
        }
        // Not from inside the timer's own call: an action that opens a dialog runs its event loop, in
        // which this timer must go on looking.
        QTimer::singleShot(0, w, [action = std::move(action), w] { action(w); });
    }
    std::deque<std::pair<QString, Action>> steps_;
    QTimer tick_;
    QWidget* last_ = nullptr;
};

void Click(QWidget* w, const char* name) {
    if (auto* b = w->findChild<QPushButton*>(QString::fromLatin1(name)))
        b->click();
}
void OkBox(QWidget* w) {
    static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
}

bool Grab(QWidget* w, const QDir& out, const char* file) {
    const QString path = out.filePath(QString::fromLatin1(file));
    if (!w->grab().save(path))
        return fail("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool StartSim(QProcess& sim, const QString& link) {
    sim.start(QStringLiteral(RMZ47_SIM_PATH), {"--field", "--link", link, "--quiet"});
    if (!sim.waitForStarted(kWaitMs))
        return fail("the virtual controller did not start");
    while (!sim.canReadLine() && sim.waitForReadyRead(kWaitMs)) {
    }
    return sim.readLine().startsWith("PTY ") || fail("no PTY line from the virtual controller");
}

// The configure job with its dialogs: the version box, the form (grabbed), the wizard's two steps (grabbed,
// then left with No), "Записать", the result box.
bool Configure(TMainForm& form, const QDir& out) {
    bool ok = true;
    DialogSteps steps;
    steps.then("box", OkBox);
    steps.then("CfgForm", [&](QWidget* w) {
        ok &= Grab(w, out, "config-form.png");
        Click(w, "ChangeVButton");
    });
    steps.then("PodborForm1", [&](QWidget* w) {
        ok &= Grab(w, out, "wizard-step1.png");
        Click(w, "BitBtnYes");
    });
    steps.then("PodborForm2", [&](QWidget* w) {
        ok &= Grab(w, out, "wizard-step2.png");
        static_cast<QDialog*>(w)->done(kModalNo);
    });
    steps.then("PodborForm1", [](QWidget* w) { static_cast<QDialog*>(w)->done(kModalNo); });
    steps.then("CfgForm", [](QWidget* w) { Click(w, "BitBtn1"); });
    steps.then("box", OkBox);
    form.findChild<QPushButton*>(QStringLiteral("UstavkiButton"))->click();
    return ok && (steps.done() || fail("the configure job did not go as expected"));
}

// The runs' panels and the output's line with the fixed figures, as the imitation shows them.
void ShowFixedFigures(TMainForm& form, const ImitSettings& imit) {
    PulseWatchView view(form, imit);
    view.showImitPanel(imit.ImitFlIndex + 1);
    for (int run = 0; run <= imit.ImitFlIndex; ++run) {
        const double rashod = imit.ImitRashod[std::size_t(run)];
        const float volume = proto::ImitVolume(float(rashod), kShownElapsedMs[run]);
        view.showRun(run, RunDisplayOf(kShownAnswers, volume, rashod));
    }
    QApplication::processEvents(); // the output's line follows the runs at the next turn
}

// The imitation through its button and dialog, which holds the runs just configured (run 2 at half the
// flow), grabbed once the controller has had three answers a run.
bool Imitate(TMainForm& form, Program& program, const QDir& out) {
    bool ok = false;
    DialogSteps steps;
    steps.then("ImitForm", [](QWidget* w) {
        w->findChild<QLineEdit*>(QStringLiteral("Rashod2Edit"))->setText(QStringLiteral("1800"));
        Click(w, "BitBtn1");
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const auto& answers = LastImitRun().ImitAnswers;
        if (form.inStopMode() && answers[0] >= kShownAnswers && answers[1] >= kShownAnswers) {
            watch.stop();
            ShowFixedFigures(form, program.imit);
            ok = Grab(&form, out, "main-imitation.png");
            form.findChild<QPushButton*>(QStringLiteral("CloseBtn"))->click();
        }
    });
    watch.start(200);
    QTimer::singleShot(120000, [&] { program.stopControl.requestStop(); });
    form.findChild<QPushButton*>(QStringLiteral("ImitFlButton"))->click();
    return ok || fail("the imitation got no answers in time");
}

bool DemoEnvironmentSet() {
    for (const char* name : kDemoVariables)
        if (qEnvironmentVariableIsEmpty(name))
            return fail("the demo's environment is not set (scripts/screenshots.sh sets it)");
    return true;
}

// The settings file the environment names, its COM1 the virtual controller's link beside it.
bool WriteSettings(const QString& link) {
    QFile f(SettingsPathFromEnvironment());
    return (f.open(QIODevice::WriteOnly) &&
            f.write("[rs 232]\nCOM Port=1\nRTS=0\n[ports]\nCOM1=" + link.toLocal8Bit() + "\n") >= 0) ||
           fail("cannot write the settings file");
}

// The demo's two jobs and the line monitor, opened and closed at the end as an engineer would.
bool RunDemo(const QDir& out) {
    QProcess sim;
    const QString link =
        QFileInfo(SettingsPathFromEnvironment()).absoluteDir().filePath(QStringLiteral("ttyRMZ47"));
    if (!StartSim(sim, link) || !WriteSettings(link))
        return false;
    QApplication::setQuitOnLastWindowClosed(false);
    Program program;
    TMainForm form(program);
    AttachJournal(form, program, JournalPath());
    AttachCheckWindow(form, program, JournalPath());
    MonitorHookup monitor(form, program.link, &program.imit);
    form.show();
    program.wizard = CreateWizardForms();
    const bool ok = program.link.portOpen() && Configure(form, out) && Imitate(form, program, out) &&
                    ShootCheck(form, out, QFileInfo(link).absoluteDir());
    monitor.open().close();
    sim.terminate();
    sim.waitForFinished(kWaitMs);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: rmz47-screenshots DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists())
        return fail("no such folder for the pictures"), 1;
    if (!DemoEnvironmentSet())
        return 2;
    if (!ShootLinkDialog(out.filePath(QStringLiteral("link-dialog.png"))))
        return fail("cannot save the link dialog"), 1;
    return RunDemo(out) ? 0 : 1;
}
