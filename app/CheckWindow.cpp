#include "CheckWindow.h"

#include "CfgJournal.h"
#include "CheckJob.h"
#include "CheckJournal.h"
#include "CheckPlanEditor.h"
#include "CheckPlanFile.h"
#include "CheckReport.h"
#include "FileReplace.h"
#include "Main.h"
#include "NumText.h"
#include "Program.h"
#include "UiCommon.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <utility>

namespace {

const QString kCaption = QStringLiteral("Проверка на стенде");

// The count from the engineer's counter; nothing when the dialog was cancelled.
std::optional<qint64> AskCount(QWidget* parent, const QString& question) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Насчитано импульсов"));
    auto* text = new QLabel(question, &dialog);
    text->setWordWrap(true);
    auto* count = new QLineEdit(&dialog);
    count->setAccessibleName(QStringLiteral("Насчитано импульсов"));
    // Whatever is typed stays as typed; a text that is no count is said so, rather than dropped silently.
    auto* why = new QLabel(&dialog);
    why->setObjectName(QStringLiteral("CountProblem"));
    why->setTextFormat(Qt::PlainText);
    const auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{1,15}")), count);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    auto* form = new QFormLayout(&dialog);
    form->addRow(text);
    form->addRow(QStringLiteral("&Насчитано импульсов :"), count);
    form->addRow(why);
    form->addRow(buttons);
    QObject::connect(count, &QLineEdit::textChanged, ok, [ok, count, why, digits] {
        QString text = count->text();
        int at = 0;
        const bool whole = digits->validate(text, at) == QValidator::Acceptable;
        ok->setEnabled(whole);
        why->setText(whole || text.isEmpty()
                         ? QString()
                         : QStringLiteral("Только цифры: «%1» — не целое число импульсов.").arg(text));
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (ExecModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return count->text().toLongLong();
}

// The bar starts empty and without text; the labels below it show the operator's words as typed.
void SetUpProgress(QProgressBar* progress, std::initializer_list<QLabel*> labels) {
    progress->setAccessibleName(QStringLiteral("Ход шага"));
    progress->setTextVisible(true);
    progress->setFormat(QString());
    progress->setValue(0);
    for (QLabel* label : labels) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
    }
}

} // namespace

CheckWindow::CheckWindow(JobView& mainView, StopControl& stopControl, QWidget* parent)
    : QWidget(parent, Qt::Window), RelayView(mainView), stopControl_(stopControl),
      editor_(new CheckPlanEditor(this)), progress_(new QProgressBar(this)), wait_(new QLabel(this)),
      status_(new QLabel(this)) {
    setWindowTitle(kCaption);
    setAccessibleName(kCaption);
    resize(900, 620);
    SetUpProgress(progress_, {wait_, status_});
    start_ = PlainButton(QStringLiteral("Нача&ть"), QStringLiteral("Начать проверку"), this);
    next_ = PlainButton(QStringLiteral("Следу&ющий шаг"), QStringLiteral("Следующий шаг"), this);
    abort_ = PlainButton(QStringLiteral("П&рервать (Esc)"), QStringLiteral("Прервать проверку"), this);
    savePlan_ = PlainButton(QStringLiteral("&Сохранить план…"), QStringLiteral("Сохранить план"), this);
    loadPlan_ = PlainButton(QStringLiteral("За&грузить план…"), QStringLiteral("Загрузить план"), this);
    saveReport_ =
        PlainButton(QStringLiteral("Со&хранить протокол…"), QStringLiteral("Сохранить протокол"), this);
    print_ = PlainButton(QStringLiteral("Пе&чать…"), QStringLiteral("Печать протокола"), this);

    auto* files = new QHBoxLayout;
    for (QPushButton* b : {savePlan_, loadPlan_})
        files->addWidget(b);
    files->addStretch(1);
    for (QPushButton* b : {saveReport_, print_})
        files->addWidget(b);
    auto* run = new QHBoxLayout;
    for (QPushButton* b : {start_, next_, abort_})
        run->addWidget(b);
    run->addWidget(progress_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_, 1);
    layout->addLayout(files);
    layout->addLayout(run);
    layout->addWidget(wait_);
    layout->addWidget(status_);

    connect(start_, &QPushButton::clicked, this, [this] { start(); });
    connect(next_, &QPushButton::clicked, this, [this] {
        if (nextWait_)
            nextWait_->exit(1);
    });
    connect(abort_, &QPushButton::clicked, this, [this] { abort(); });
    connect(savePlan_, &QPushButton::clicked, this, [this] { savePlanClicked(); });
    connect(loadPlan_, &QPushButton::clicked, this, [this] { loadPlanClicked(); });
    connect(saveReport_, &QPushButton::clicked, this, [this] { saveReportClicked(); });
    connect(print_, &QPushButton::clicked, this, [this] { printClicked(); });
    // Escape anywhere also reaches the application's Escape hook, which stops a running step.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (running_)
            abort();
        else
            close();
    });
    setRunning(false);
}

void CheckWindow::takeImitSettings(const ImitSettings& imit) {
    editor_->takeImitSettings(imit);
}

void CheckWindow::setRunning(bool running) {
    running_ = running;
    editor_->setEditable(!running);
    for (QPushButton* b : {start_, savePlan_, loadPlan_})
        b->setEnabled(!running);
    abort_->setEnabled(running);
    next_->setEnabled(false);
    saveReport_->setEnabled(!running && record_.has_value());
    print_->setEnabled(!running && record_.has_value());
}

void CheckWindow::start() {
    CheckPlan plan;
    QString problem;
    if (editor_->readPlan(&plan, &problem))
        problem = CheckPlanProblem(plan);
    if (!problem.isEmpty())
        return warn(problem);
    if (!run || !startJob)
        return;
    plan_ = plan;
    // A check that does not take place (the controller unread, the plan refused for it, the main window
    // busy) leaves the previous one on screen as it was: its figures, its report and its status.
    const std::optional<CheckRecord> previous = std::exchange(record_, std::nullopt);
    const QString previousStatus = status_->text();
    editor_->clearResults();
    wait_->clear();
    resetProgress();
    status_->setText(QStringLiteral("Проверка идет."));
    setRunning(true);
    const bool started = startJob([this] { run(*this, plan_); });
    resetProgress();
    if (!record_) {
        record_ = previous;
        status_->setText(previous ? previousStatus : QStringLiteral("Проверка не состоялась."));
        for (int s = 0; previous && s < previous->steps.size(); ++s)
            editor_->showStepResult(s, previous->steps[s],
                                    StepVerdict(previous->steps[s], previous->plan.tolerance));
    }
    setRunning(false);
    if (!started)
        warn(QStringLiteral("Главное окно занято другой работой: проверка не начата."));
}

void CheckWindow::resetProgress() {
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setFormat(QString());
    progress_->setAccessibleDescription(QString());
}

bool CheckWindow::askUseController(const QString& differences, const CheckPlan& held) {
    const bool use = AskYesNo(
        this, kCaption,
        QStringLiteral("План не совпадает с конфигурацией контроллера:\n") + differences +
            QStringLiteral("\n\nПроверять по конфигурации контроллера? Ее значения заменят значения плана. "
                           "«Нет»: проверка не начнется."));
    if (use) {
        plan_ = held;
        editor_->setPlan(held);
        editor_->setEditable(false);
    }
    return use;
}

void CheckWindow::abort() {
    // The wait for "Следующий шаг" and a running step both end on the stop request.
    if (running_)
        stopControl_.requestStop();
}

void CheckWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        abort();
        event->ignore();
        return;
    }
    event->accept();
}

void CheckWindow::warn(const QString& text) {
    ShowMessage(this, text, kCaption, QMessageBox::Warning);
}

void CheckWindow::showCheckProgress(int step, const CheckStepResult& result,
                                    std::optional<double> secondsLeft) {
    if (step < 0 || step >= plan_.steps.size())
        return;
    const CheckStep& s = plan_.steps[step];
    const bool pulses = s.target == CheckStep::Target::Pulses;
    const qint64 target = pulses ? s.pulses : qint64(std::ceil(s.seconds));
    const qint64 done = pulses ? result.expectedPulses : qint64(result.durationS);
    progress_->setRange(0, int(qMin<qint64>(target, INT_MAX)));
    progress_->setValue(int(std::clamp<qint64>(done, 0, progress_->maximum())));
    const QString text = StepProgressText(plan_, step, result, secondsLeft);
    progress_->setFormat(text);
    progress_->setAccessibleDescription(text);
    editor_->showStepResult(step, result, CheckVerdict::None);
}

void CheckWindow::showCheckWait(const QString& text, int) {
    wait_->setText(text);
}

std::optional<qint64> CheckWindow::askCountedPulses(int step, const CheckStepResult& result) {
    // The box covers the window: the wait for the output's last pulses goes into it too, so that
    // nobody types a count the counter has not finished.
    const QString wait = wait_->text().isEmpty() ? QString() : wait_->text() + QLatin1Char('\n');
    return AskCount(
        this, wait + QStringLiteral("Шаг %1: ожидается %2. Введите число импульсов, насчитанное за шаг.")
                         .arg(step + 1)
                         .arg(PulsesText(result.expectedPulses)));
}

void CheckWindow::showCheckStep(int step, const CheckStepResult& result, CheckVerdict verdict) {
    editor_->showStepResult(step, result, verdict);
}

bool CheckWindow::askNextStep(int next) {
    QEventLoop loop;
    nextWait_ = &loop;
    auto stopped = std::exchange(stopControl_.onStopRequested, [&loop] { loop.exit(0); });
    status_->setText(
        QStringLiteral("Шаг %1 из %2: «Следующий шаг» начинает его, «Прервать» завершает проверку.")
            .arg(next + 1)
            .arg(plan_.steps.size()));
    next_->setEnabled(true);
    next_->setFocus();
    const bool go = loop.exec() == 1;
    next_->setEnabled(false);
    stopControl_.onStopRequested = std::move(stopped);
    nextWait_ = nullptr;
    status_->setText(QStringLiteral("Проверка идет."));
    return go;
}

void CheckWindow::showCheckEnd(const CheckRecord& record) {
    record_ = record;
    wait_->clear();
    const CheckVerdict verdict = OverallVerdict(record);
    if (record.aborted || verdict == CheckVerdict::None)
        status_->setText(QStringLiteral("Проверка прервана: вердикта нет."));
    else
        status_->setText(QStringLiteral("Проверка окончена. Итог: ") + VerdictText(verdict) +
                         QLatin1Char('.'));
}

bool CheckWindow::savePlan(const QString& path, QString* error) {
    CheckPlan plan;
    if (!editor_->readPlan(&plan, error))
        return false;
    if (*error = CheckPlanProblem(plan); !error->isEmpty())
        return false;
    return WriteWholeFile(path, CheckPlanFileBytes(plan, QDateTime::currentDateTime()), error);
}

bool CheckWindow::loadPlan(const QString& path, QString* error) {
    const CheckPlanRead read = LoadCheckPlanFile(path);
    if (!read.loaded) {
        *error = read.message;
        return false;
    }
    editor_->setPlan(read.plan);
    return true;
}

bool CheckWindow::saveReport(const QString& path, QString* error) {
    if (!record_) {
        *error = QStringLiteral("Проверки еще не было.");
        return false;
    }
    return WriteCheckReport(*record_, path, error);
}

namespace {

// A save dialog's path with the filter's extension when the engineer typed none.
} // namespace

void CheckWindow::savePlanClicked() {
    const QString path = AskSavePath(this, QStringLiteral("Сохранить план проверки"),
                                     QStringLiteral("План проверки"), QStringLiteral(".json"));
    QString error;
    if (!path.isEmpty() && !savePlan(path, &error))
        warn(QStringLiteral("План не сохранен: ") + error);
}

void CheckWindow::loadPlanClicked() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Загрузить план проверки"), QString(),
                                     QStringLiteral("План проверки (*.json);;Все файлы (*)"));
    QString error;
    if (!path.isEmpty() && !loadPlan(path, &error))
        warn(error);
}

void CheckWindow::saveReportClicked() {
    const QString path = AskSavePath(this, QStringLiteral("Сохранить протокол проверки"),
                                     QStringLiteral("PDF"), QStringLiteral(".pdf"));
    QString error;
    if (!path.isEmpty() && !saveReport(path, &error))
        warn(QStringLiteral("Протокол не сохранен: ") + error);
}

void CheckWindow::printClicked() {
    if (!record_)
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Печать протокола"));
    if (ExecModal(dialog) == QDialog::Accepted && !PaintCheckReport(*record_, printer))
        warn(QStringLiteral("Протокол не напечатан: принтер не готов."));
}

void CheckWindow::tell(Notice kind, const QString& caption, const QString& text) {
    ShowNotice(this, kind, caption, text);
}

bool CheckWindow::ask(const QString& caption, const QString& text) {
    return AskYesNo(this, caption, text);
}

namespace {

CheckWindow* MakeCheckWindow(TMainForm& mainForm, Program& program, const QString& journalPath) {
    auto* window = new CheckWindow(mainForm, program.stopControl, &mainForm);
    window->startJob = [&mainForm](const std::function<void()>& body) { return mainForm.runWindowJob(body); };
    window->run = [&program, journalPath](CheckView& view, const CheckPlan& plan) {
        const auto finished = [&program, journalPath](const CheckRecord& record) {
            const Link& link = program.link;
            return AppendJournalEntry(journalPath,
                                      CheckJournalEntry(record, link.PortNumber(), JournalDevice(link)));
        };
        return RunCheck(view, program.link, program.stopControl, program.cfg, plan, program.checkController,
                        finished);
    };
    return window;
}

} // namespace

void AttachCheckWindow(TMainForm& mainForm, Program& program, const QString& journalPath) {
    // Made when first opened (the start-up does not pay for it), then kept with its plan and results.
    auto window = std::make_shared<CheckWindow*>(nullptr);
    mainForm.openCheck = [window, &mainForm, &program, journalPath] {
        if (!*window)
            *window = MakeCheckWindow(mainForm, program, journalPath);
        // A window opened afresh takes the runs as the imitation would answer for them now.
        if (!(*window)->isVisible() && !(*window)->running())
            (*window)->takeImitSettings(program.imit);
        (*window)->show();
        (*window)->raise();
        (*window)->activateWindow();
    };
}
