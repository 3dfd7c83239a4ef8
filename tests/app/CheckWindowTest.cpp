// The bench check's window from the main window's F4: every control named and on the Tab chain, the
// plan through a file and back in the comma locale, and a check driven through the window as its view.
#include "CheckWindow.h"
#include "AppFixture.h"
#include "CfgJson.h"
#include "CheckPlanEditor.h"
#include "LocaleScope.h"
#include "ModalScript.h"
#include "NumText.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

class CheckWindowTest : public AppFixture {
protected:
    CheckWindow* open() {
        start();
        AttachCheckWindow(*form, *program, dir.filePath(QStringLiteral("journal.jsonl")));
        // F4 belongs to the main window only: it must be the active one.
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_F4);
        return form->findChild<CheckWindow*>();
    }
};

QWidget* Named(QWidget* window, const QString& name) {
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->accessibleName() == name)
            return w;
    return nullptr;
}

CheckPlan SamplePlan() {
    CheckPlan plan;
    plan.runCount = 2;
    plan.runs = {{{7, 2, false}, {9, 1, true}, {3, 1, true}}};
    plan.speedIndex = 7;
    plan.output = {0.0125, 0.1, 0.25};
    plan.steps = {CheckStep{{1800.5, 360, 3600}, CheckStep::Target::Pulses, 40, 60},
                  CheckStep{{90, 45.25, 3600}, CheckStep::Target::Seconds, 10, 30.5}};
    plan.tolerance = 2;
    plan.site = QStringLiteral("ГРС Северная");
    plan.object = QStringLiteral("Узел учета 3");
    plan.engineer = QStringLiteral("Петров А. В.");
    return plan;
}

TEST_F(CheckWindowTest, OpensByF4AndNamesEveryControlOnTheTabChain) {
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    window->editor()->setPlan(SamplePlan()); // two runs: the second run's controls are shown too
    // {accessible name, its mnemonic in the caption of the control or of the label that leads to it}
    const std::pair<const char*, const char*> controls[] = {
        {"Количество ниток", "&Ниток"},
        {"Адрес нитки 1", "&Адрес"},
        {"Номер нитки 1 в вычислителе", "Но&мер"},
        {"Порядок байт в float нитки 1", "&Порядок"},
        {"Адрес нитки 2", nullptr},
        {"Скорость линии, бит/с", "С&корость"},
        {"Цена импульса выхода контроллера, м3", "(&V)"},
        {"Длительность импульса выхода, с", "&импульс"},
        {"Длительность паузы выхода, с", "пау&за"},
        {"Шаги проверки", "&Шаги"},
        {"Добавить шаг", "&Добавить"},
        {"Удалить шаг", "&Удалить"},
        {"Шаг выше", "&Выше"},
        {"Шаг ниже", "Ни&же"},
        {"Допуск, импульсов", "Д&опуск"},
        {"Площадка", "Пло&щадка"},
        {"Объект", "Объ&ект"},
        {"Исполнитель", "Испо&лнитель"},
        {"Сохранить план", "&Сохранить план"},
        {"Загрузить план", "За&грузить"},
        {"Сохранить протокол", "Со&хранить протокол"},
        {"Печать протокола", "Пе&чать"},
        {"Начать проверку", "Нача&ть"},
        {"Следующий шаг", "Следу&ющий"},
        {"Прервать проверку", "П&рервать"},
    };
    QStringList chain;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        chain << w->accessibleName();
    QStringList captions;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            captions << b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            captions << l->text();
    }
    for (const auto& [name, mnemonic] : controls) {
        SCOPED_TRACE(name);
        QWidget* w = Named(window, QString::fromUtf8(name));
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus);
        EXPECT_TRUE(chain.contains(QString::fromUtf8(name)));
        if (mnemonic) {
            EXPECT_EQ(captions.filter(QString::fromUtf8(mnemonic)).size(), 1);
        }
    }
    // F4 again raises the one window.
    QTest::keyClick(form.get(), Qt::Key_F4);
    EXPECT_EQ(form->findChildren<CheckWindow*>().size(), 1);
}

TEST_F(CheckWindowTest, PlanRoundTripsThroughAFileAndARefusedFileChangesNothing) {
    LocaleScope comma(QLocale(QLocale::Russian, QLocale::Russia));
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    const CheckPlan plan = SamplePlan();
    window->editor()->setPlan(plan);
    EXPECT_EQ(
        Named(window, QStringLiteral("Цена импульса выхода контроллера, м3"))->property("text").toString(),
        QStringLiteral("0,0125"));
    const QString path = dir.filePath(QStringLiteral("plan.json"));
    QString error;
    ASSERT_TRUE(window->savePlan(path, &error)) << error.toStdString();
    window->editor()->setPlan(CheckPlan{});
    ASSERT_TRUE(window->loadPlan(path, &error)) << error.toStdString();
    CheckPlan read;
    ASSERT_TRUE(window->editor()->readPlan(&read, &error)) << error.toStdString();
    EXPECT_EQ(read, plan);

    const QString foreign = dir.filePath(QStringLiteral("foreign.json"));
    QFile f(foreign);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"format": "something else", "formatVersion": 1})");
    f.close();
    EXPECT_FALSE(window->loadPlan(foreign, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("foreign.json"))) << error.toStdString();
    ASSERT_TRUE(window->editor()->readPlan(&read, &error));
    EXPECT_EQ(read, plan);
}

// A check as the job drives the window: progress, the count typed in its dialog, the verdict in the
// step's row, the wait for "Следующий шаг", then the report.
TEST_F(CheckWindowTest, DrivesACheckThroughItsViewAndSavesTheReport) {
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    CheckPlan plan = SamplePlan();
    window->editor()->setPlan(plan);
    std::vector<bool> editableDuringRun;
    window->run = [&](CheckView& view, const CheckPlan& running) {
        CheckRecord record;
        record.plan = running;
        record.started = QDateTime::currentDateTime();
        for (int step = 0; step < running.steps.size(); ++step) {
            if (step > 0 && !view.askNextStep(step))
                break;
            editableDuringRun.push_back(Named(window, QStringLiteral("Площадка"))->isEnabled());
            CheckStepResult result{12, 0.5, 40, {}, step == 1, {}};
            view.showCheckProgress(step, result, 3.2);
            result.countedPulses = view.askCountedPulses(step, result);
            view.showCheckStep(step, result, StepVerdict(result, running.tolerance));
            record.steps << result;
        }
        record.ended = QDateTime::currentDateTime();
        view.showCheckEnd(record);
        return record;
    };
    auto* progress = window->findChild<QProgressBar*>();
    QString progressText, slip;
    ModalScript script;
    const auto count = [&](const char* typed) {
        return [&, typed](QWidget* dialog) {
            progressText = progress->format();
            // A slip is said so and kept as typed, not dropped.
            QTest::keyClicks(dialog->findChild<QLineEdit*>(), QStringLiteral("4x"));
            slip = dialog->findChild<QLabel*>(QStringLiteral("CountProblem"))->text();
            dialog->findChild<QLineEdit*>()->clear();
            QTest::keyClicks(dialog->findChild<QLineEdit*>(), QString::fromLatin1(typed));
            QTest::keyClick(dialog, Qt::Key_Return);
        };
    };
    script.then(count("41")).then(count("43"));
    // "Следующий шаг" from the keyboard once the window waits for it.
    QTimer next;
    QObject::connect(&next, &QTimer::timeout, window, [window, &next] {
        QWidget* button = Named(window, QStringLiteral("Следующий шаг"));
        if (!button->isEnabled() || QApplication::activeModalWidget())
            return;
        next.stop();
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
    });
    next.start(50);
    window->start();
    EXPECT_TRUE(script.done());
    EXPECT_EQ(slip, QStringLiteral("Только цифры: «4x» — не целое число импульсов."));
    EXPECT_EQ(progressText, QStringLiteral("Шаг 2 из 2: 12 из 31 с, 40 импульсов, осталось 4 с"));
    EXPECT_EQ(editableDuringRun, std::vector<bool>({false, false}));
    QTableWidget* steps = window->editor()->steps();
    const int last = steps->columnCount() - 1;
    EXPECT_EQ(steps->item(0, last)->text(), QStringLiteral("годен"));
    EXPECT_EQ(steps->item(1, last)->text(), QStringLiteral("не годен (обрыв линии)"));
    EXPECT_EQ(steps->item(1, last - 1)->text(), QStringLiteral("3"));
    EXPECT_TRUE(Named(window, QStringLiteral("Площадка"))->isEnabled());
    EXPECT_TRUE(Named(window, QStringLiteral("Печать протокола"))->isEnabled());
    QString error;
    EXPECT_TRUE(window->saveReport(dir.filePath(QStringLiteral("report.pdf")), &error))
        << error.toStdString();
    EXPECT_TRUE(QFile(dir.filePath(QStringLiteral("report.pdf"))).size() > 1000);
}

// A text that is no number, or a step with both targets or none, is named; the plan is not taken.
TEST_F(CheckWindowTest, RefusesAPlanWhoseTextsAreNoNumbersAndNamesTheCell) {
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    QTableWidget* steps = window->editor()->steps();
    struct Case {
        int column;
        const char* text;
        const char* problem;
    };
    const Case cases[] = {
        {0, "много", "Шаг 1, Расход 1, м3/ч: 'много' - не число."},
        {3, "2.5", "Шаг 1, Импульсов: '2.5' - не число."},
        {4, "30", "Шаг 1: укажите либо число импульсов, либо длительность в секундах."},
        {3, "", "Шаг 1: укажите либо число импульсов, либо длительность в секундах."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        window->editor()->setPlan(SamplePlan());
        steps->item(0, c.column)->setText(QString::fromUtf8(c.text));
        if (c.column == 3 && !*c.text)
            steps->item(0, 4)->setText(QString());
        CheckPlan plan;
        QString problem;
        EXPECT_FALSE(window->editor()->readPlan(&plan, &problem));
        EXPECT_EQ(problem, QString::fromUtf8(c.problem));
        // Reopening the window takes the imitation's runs over and keeps the steps as typed.
        window->takeImitSettings(ImitSettings{});
        EXPECT_EQ(steps->rowCount(), SamplePlan().steps.size());
        EXPECT_EQ(steps->item(0, c.column)->text(), QString::fromUtf8(c.text));
    }
}

// Add copies the current step below it, the arrows move it, remove takes it away.
TEST_F(CheckWindowTest, StepButtonsAddMoveAndRemoveTheCurrentStep) {
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    window->editor()->setPlan(SamplePlan());
    QTableWidget* steps = window->editor()->steps();
    const auto press = [window](const char* name) {
        static_cast<QPushButton*>(Named(window, QString::fromUtf8(name)))->click();
    };
    const auto flows = [steps] {
        QStringList column;
        for (int row = 0; row < steps->rowCount(); ++row)
            column << steps->item(row, 0)->text();
        return column;
    };
    const QString first = QStringLiteral("1800") + DecimalSeparator() + QStringLiteral("5");
    steps->setCurrentCell(0, 0);
    press("Добавить шаг");
    steps->item(1, 0)->setText(QStringLiteral("5"));
    EXPECT_EQ(flows(), QStringList({first, "5", "90"}));
    press("Шаг ниже");
    EXPECT_EQ(flows(), QStringList({first, "90", "5"}));
    press("Шаг выше");
    press("Шаг выше");
    EXPECT_EQ(flows(), QStringList({"5", first, "90"}));
    press("Удалить шаг");
    EXPECT_EQ(flows(), QStringList({first, "90"}));
}

// Escape while the window waits for the next step ends the check without a verdict; the main window's
// job buttons are off meanwhile and on again after it.
TEST_F(CheckWindowTest, EscapeBeforeTheNextStepAbortsWithoutAVerdict) {
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    window->editor()->setPlan(SamplePlan());
    bool jobButtonsOff = false;
    window->run = [&](CheckView& view, const CheckPlan& plan) {
        jobButtonsOff = !child<QPushButton>("UstavkiButton")->isEnabled() &&
                        !child<QPushButton>("CheckButton")->isEnabled();
        CheckRecord record;
        record.plan = plan;
        QTimer::singleShot(100, window, [window] { QTest::keyClick(window, Qt::Key_Escape); });
        record.aborted = !view.askNextStep(1);
        view.showCheckEnd(record);
        return record;
    };
    window->start();
    EXPECT_TRUE(jobButtonsOff);
    ASSERT_TRUE(window->record());
    EXPECT_TRUE(window->record()->aborted);
    EXPECT_EQ(window->findChildren<QLabel*>().last()->text(),
              QStringLiteral("Проверка прервана: вердикта нет."));
    EXPECT_TRUE(child<QPushButton>("CheckButton")->isEnabled());
    EXPECT_TRUE(window->isVisible());
}

// The window runs the real check job for the main window's program: Escape during the first step stops
// it, and the aborted check is the journal's entry.
TEST_F(CheckWindowTest, RunsTheCheckJobAndJournalsTheAbortedCheck) {
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    window->editor()->setPlan(SamplePlan());
    program->checkController = CheckController{};
    QTimer::singleShot(300, window, [window] { QTest::keyClick(window, Qt::Key_Escape); });
    window->start();
    ASSERT_TRUE(window->record());
    EXPECT_TRUE(window->record()->aborted);
    EXPECT_EQ(window->record()->steps.size(), 1);
    QFile journal(dir.filePath(QStringLiteral("journal.jsonl")));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    EXPECT_TRUE(journal.readAll().contains(R"("kind":"check")"));
}

// A controller whose V, run 2's address and run 2's line speed differ from the plan: the window names
// them and asks. "Нет" starts nothing and keeps the previous result; "Да" fills the plan with the
// controller's values and runs the check by them.
TEST_F(CheckWindowTest, PlanThatDiffersFromTheControllerIsCheckedByItOnlyWhenAsked) {
    CheckWindow* window = open();
    ASSERT_NE(window, nullptr);
    window->editor()->setPlan(SamplePlan());
    CfgRecord held;
    held.FlCount = 2;
    held.Addr = {7, 5, 3};
    held.Nitka = {2, 1, 1};
    held.Speed = {proto::SpeedIndexToCode(7), proto::SpeedIndexToCode(1), proto::SpeedIndexToCode(7)};
    held.Flags = {proto::RunFlags(false, 3), proto::RunFlags(true), proto::RunFlags(true)};
    held.V = 1.0f;
    held.Nag = 10;
    held.Pause = 25;
    program->checkController = CheckController{3, {}, true, RecordToJson(held, 3)};
    const QString lines[] = {
        QStringLiteral("Нитка 2: адрес: в плане 9, в контроллере 5"),
        QStringLiteral("Нитка 2: скорость линии: в плане 9600 бит/с, в контроллере 1200 бит/с"),
        QStringLiteral("Цена импульса: в плане 0") + DecimalSeparator() +
            QStringLiteral("013 м3, в контроллере 1") + DecimalSeparator() + QStringLiteral("000 м3")};
    for (const bool use : {false, true}) {
        SCOPED_TRACE(use);
        ModalScript script;
        QString asked;
        script.then([&](QWidget* box) {
            asked = BoxText(box);
            static_cast<QMessageBox*>(box)->button(use ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        if (use)
            QTimer::singleShot(500, window, [window] { QTest::keyClick(window, Qt::Key_Escape); });
        window->start();
        EXPECT_TRUE(script.done());
        for (const QString& line : lines)
            EXPECT_TRUE(asked.contains(line)) << line.toStdString() << "\n" << asked.toStdString();
        CheckPlan shown;
        QString problem;
        ASSERT_TRUE(window->editor()->readPlan(&shown, &problem));
        EXPECT_EQ(shown.output.v, use ? 1.0 : 0.0125);
        EXPECT_EQ(shown.runs[1].address, use ? 5 : 9);
        EXPECT_EQ(window->record().has_value(), use);
        if (use) {
            EXPECT_EQ(window->record()->plan.output.v, 1.0);
        }
    }
}

} // namespace
