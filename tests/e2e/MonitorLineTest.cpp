// The line monitor end to end: the real main window, serial port and clock against the virtual
// controller with its faults on. The monitor shows every request the controller polls, the faults as
// rows of their own, the counters per run, the diagnosis, and the configure job's steps while they are on
// the line.
#include "ConfigureTestDriver.h"
#include "E2eSupport.h"

#include "ImitLoop.h"
#include "MonitorWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

using monitor::Counters;
using monitor::RowKind;

class MonitorOnSim : public ToolOnSim {
protected:
    void SetUp() override {
        ToolOnSim::SetUp();
        qputenv("RMZ47_MONITOR_SETTINGS", dir.filePath(QStringLiteral("monitor.ini")).toLocal8Bit());
    }
    void TearDown() override {
        hookup.reset();
        ToolOnSim::TearDown();
        qunsetenv("RMZ47_MONITOR_SETTINGS");
    }
    void openMonitor() {
        hookup = std::make_unique<MonitorHookup>(*form, program->link, &program->imit);
        button("MonitorButton")->click();
        monitorForm = hookup->form();
        ASSERT_NE(monitorForm, nullptr);
        ASSERT_TRUE(monitorForm->isVisible());
    }
    // The meanings of the rows of one kind, in order.
    QStringList meanings(RowKind kind) {
        monitorForm->monitor().flush();
        QStringList out;
        const monitor::RowModel& m = monitorForm->monitor().model();
        for (int i = 0; i < m.rowCount(); ++i)
            if (m.row(i).kind == kind)
                out << m.row(i).meaning;
        return out;
    }

    std::unique_ptr<MonitorHookup> hookup;
    TMonitorForm* monitorForm = nullptr;
    ModalScript script;
};

int Count(const QStringList& lines, const char* part) {
    return int(lines.filter(QString::fromUtf8(part)).size());
}

// The controller polls run 1 of address 1 (imitated) and run 1 of address 5 (not imitated), every 3rd
// request with a wrong CRC, every 4th cut short, noise ahead of every 5th. Requests k = 1..20 alternate
// between the two runs, so the cuts (4, 8, 12, 16, 20) all fall on address 5, the bad CRCs on 3, 9, 15
// (address 1) and 6, 18 (address 5; 12 is cut first).
TEST_F(MonitorOnSim, ImitationUnderFaultsShowsEveryRequestAndFault) {
    startSim({"--poll", "1:1,5:1", "--baud", "9600", "--period", "400", "--timeout", "100", "--count", "20",
              "--corrupt", "3", "--truncate", "4", "--noise", "5"},
             true);
    startTool();
    openMonitor();
    program->imit.ImitFlIndex = 0;
    program->imit.ImitAddr = {1, 2, 3};
    program->imit.ImitNitka = {1, 1, 1};
    program->imit.ImitSpeedIndex = 7; // 9600
    // The poller ends after its requests; a controller takes its place on the line (the port goes back to
    // it at the end), and the operator stops once the last cut request has had its idle time.
    QObject::connect(&sim->process(), &QProcess::finished, [this] {
        spare = launch({});
        QTimer::singleShot(300, [this] { program->stopControl.requestStop(); });
    });
    QTimer::singleShot(0, [this] { sim->resume(); });
    Watchdog dog(120000, [this] { program->stopControl.requestStop(); });
    RunImitation(*form, program->link, program->imit, program->stopControl);

    const QStringList requests = meanings(RowKind::Request);
    const QStringList answers = meanings(RowKind::Answer);
    const QStringList faults = meanings(RowKind::Fault);
    EXPECT_EQ(Count(requests, "запрос расхода: адрес 1, нитка 1"), 7) << requests.join('\n').toStdString();
    EXPECT_EQ(Count(requests, "запрос расхода: адрес 5, нитка 1"), 3);
    EXPECT_EQ(Count(answers, "ответ: адрес 1, нитка 1, расход 3600"), 10) << answers.join('\n').toStdString();
    EXPECT_EQ(Count(faults, "неверная контрольная сумма"), 5) << faults.join('\n').toStdString();
    EXPECT_EQ(Count(faults, "запрос оборван"), 5);
    // A request that fails its checksum blames no run: 6 and 18 are not counted as address 5's.
    EXPECT_EQ(Count(faults, "не имитируемой нитке: адрес 5, нитка 1"), 3);
    EXPECT_EQ(Count(faults, "пропущено байт шума"), 4);

    const auto& jobs = monitorForm->monitor().log().jobs();
    ASSERT_FALSE(jobs.empty());
    const monitor::JobCounters& job = jobs.back();
    EXPECT_EQ(job.kind, monitor::JobKind::Imitation);
    EXPECT_EQ(job.runs.at({1, 1}), (Counters{7, 10, 0, 0, 0, 0, 0}));
    EXPECT_EQ(job.runs.at({5, 1}), (Counters{3, 0, 0, 0, 0, 0, 3}));
    EXPECT_EQ(job.total.badCrc, 5);
    EXPECT_EQ(job.total.cutShort, 5);
    EXPECT_GE(job.total.noiseBytes, 4);
    EXPECT_EQ(LastImitRun().ImitAnswers[0], 10);

    const QString diagnosis = monitorForm->findChild<QLabel*>("DiagnosisLabel")->text();
    EXPECT_TRUE(diagnosis.contains(QStringLiteral("не имитируемые нитки (адрес 5, нитка 1)")))
        << diagnosis.toStdString();
    EXPECT_TRUE(diagnosis.contains(QStringLiteral("5 раз передал кадр с неверной контрольной суммой")));
    // Every row is also a line of the saved file.
    const QString saved = dir.filePath(QStringLiteral("line.txt"));
    ASSERT_TRUE(monitorForm->saveTo(saved));
    QFile f(saved);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), monitorForm->monitor().model().rowCount() + 5); // after the header
}

// A controller that never answers: five attempts at table 0, each named in the monitor's status line with
// the busy cursor up while it is on the line, a time-out row for each, and no busy cursor once the box
// waits for the operator.
TEST_F(MonitorOnSim, ConfigureStepsAndTimeouts) {
    startSim({"--silent"});
    startTool();
    openMonitor();
    QStringList steps;
    bool busyOnTheLine = true;
    const auto show = form->onProgress;
    form->onProgress = [&](const QString& step) {
        show(step);
        steps << monitorForm->findChild<QLabel*>("StatusLabel")->text();
        if (!step.isEmpty())
            busyOnTheLine = busyOnTheLine && QApplication::overrideCursor() != nullptr;
    };
    bool busyAtTheBox = true;
    int rowsWhileTheBoxIsUp = 0;
    script.then([&](QWidget* w) {
        busyAtTheBox = QApplication::overrideCursor() != nullptr;
        // The monitor goes on inside the box's own event loop: the five requests and their time-outs.
        QTest::qWait(3 * monitor::kBatchMs);
        rowsWhileTheBoxIsUp = monitorForm->monitor().model().rowCount();
        OkBox()(w);
    });
    button("UstavkiButton")->click();
    EXPECT_TRUE(script.done());
    QStringList expected;
    for (int attempt = 1; attempt <= 5; ++attempt)
        expected << QStringLiteral("чтение таблицы 0, попытка %1 из 5").arg(attempt) << QString();
    EXPECT_EQ(steps, expected);
    EXPECT_TRUE(busyOnTheLine);
    EXPECT_FALSE(busyAtTheBox);
    EXPECT_EQ(rowsWhileTheBoxIsUp, 10);
    EXPECT_EQ(Count(meanings(RowKind::Request), "чтение: таблица 0"), 5);
    EXPECT_EQ(Count(meanings(RowKind::Fault), "нет ответа за время ожидания"), 5);
    ASSERT_FALSE(monitorForm->monitor().log().jobs().empty());
    EXPECT_EQ(monitorForm->monitor().log().jobs().back().total, (Counters{5, 0, 0, 0, 0, 5, 0}));
}

// The window opened from the failure's box (F2) shows the exchange recorded before it was opened, and takes
// a click while the box is up: the box blocks the main window only.
TEST_F(MonitorOnSim, OpenedUnderAJobsBoxShowsTheFailureAndTakesInput) {
    startSim({"--silent"});
    startTool();
    hookup = std::make_unique<MonitorHookup>(*form, program->link, &program->imit);
    int rowsAtOpen = -1;
    bool pausedByClick = false;
    bool boxStillModal = false;
    script.then([&](QWidget* box) {
        QTest::keyClick(box, Qt::Key_F2);
        monitorForm = hookup->form();
        if (!monitorForm || !QTest::qWaitForWindowExposed(monitorForm))
            return OkBox()(box);
        monitorForm->monitor().flush();
        rowsAtOpen = monitorForm->monitor().model().rowCount();
        auto* pause = monitorForm->findChild<QPushButton*>("PauseButton");
        // Through the window system, where a window blocked by a modal one drops the click.
        QTest::mouseClick(monitorForm->windowHandle(), Qt::LeftButton, {},
                          pause->mapTo(monitorForm, pause->rect().center()));
        pausedByClick = monitorForm->monitor().paused();
        boxStillModal = QApplication::activeModalWidget() == box;
        OkBox()(box);
    });
    button("UstavkiButton")->click();
    EXPECT_TRUE(script.done());
    EXPECT_EQ(rowsAtOpen, 10); // five requests and their time-outs
    EXPECT_TRUE(pausedByClick);
    EXPECT_TRUE(boxStillModal);
}

} // namespace
