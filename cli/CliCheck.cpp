// rmz47 check: the bench check's job against a console; the counts come from the command line or the
// engineer at the terminal, and the report and journal entry are those of the window's check.
#include "CliCommand.h"
#include "CliCount.h"
#include "CliJob.h"
#include "CliOptions.h"
#include "CliSignals.h"

#include "CheckJob.h"
#include "CheckJournal.h"
#include "CheckMatch.h"
#include "CheckPlanFile.h"
#include "CheckReport.h"
#include "CheckSteps.h"
#include "CheckView.h"
#include "ConsoleView.h"
#include "FileRead.h"
#include "JobCommon.h"
#include "StatusLine.h"

#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ConsoleCheckView : public ConsoleView, public CheckView {
public:
    ConsoleCheckView(const CheckPlan& plan, const CheckOptions& options, StopControl& stopControl)
        : plan_(plan), counted_(options.counted), useController_(options.useController),
          stopControl_(stopControl) {}
    // Where a stop signal shows before the event loop has taken it.
    int stopFd = -1;
    // On a terminal the running step's figures in one line, as the window's bar shows them.
    void showCheckProgress(int step, const CheckStepResult& result,
                           std::optional<double> secondsLeft) override {
        if (!status_.enabled())
            return;
        status_.show(StepProgressText(plan_, step, result, secondsLeft));
    }
    void showCheckWait(const QString& text, int) override {
        status_.clear();
        if (!text.isEmpty())
            PrintError(text + QLatin1Char('\n'));
    }
    std::optional<qint64> askCountedPulses(int step, const CheckStepResult& result) override {
        if (!counted_.isEmpty())
            return counted_.value(step);
        return AskCount(QStringLiteral("Шаг %1: ожидается импульсов %2. Насчитано импульсов: ")
                            .arg(step + 1)
                            .arg(result.expectedPulses),
                        stopFd, [this] { return stopControl_.StopRequested != 0; });
    }
    bool askUseController(const QString& differences, const CheckPlan& held) override {
        PrintError(QStringLiteral("План не совпадает с конфигурацией контроллера:\n") + differences +
                   QLatin1Char('\n'));
        if (!useController_)
            return false;
        PrintError(QStringLiteral("Проверка идет по конфигурации контроллера (--use-controller).\n"));
        WarnTooFast(held);
        return true;
    }
    void showCheckStep(int step, const CheckStepResult& result, CheckVerdict verdict) override {
        PrintOut(QStringLiteral("Шаг %1: ожидалось импульсов %2, насчитано %3, разница %4: %5\n")
                     .arg(step + 1)
                     .arg(result.expectedPulses)
                     .arg(result.countedPulses.value_or(0))
                     .arg(StepDifference(result))
                     .arg(VerdictText(verdict)));
    }
    // A stop that came between the steps (a hang-up during the count) ends the check here.
    bool askNextStep(int) override { return stopControl_.StopRequested == 0; }
    void showCheckEnd(const CheckRecord& record) override {
        PrintOut(record.aborted ? QStringLiteral("Проверка прервана\n")
                                : QStringLiteral("Итог: %1\n").arg(VerdictText(OverallVerdict(record))));
    }

    static void WarnTooFast(const CheckPlan& plan) {
        if (const QString text = TooFastText(plan, StepsTooFast(plan)); !text.isEmpty())
            PrintError(text + QLatin1Char('\n'));
    }

private:
    const CheckPlan& plan_;
    QList<qint64> counted_;
    bool useController_;
    StopControl& stopControl_;
    StatusLine status_;
};

// The plan file, refused before the line is touched: nothing (after the message) when it is.
std::optional<CheckPlan> LoadPlan(const CliJob& job, const CheckOptions& options, int* status) {
    const CheckPlanRead read = LoadCheckPlanFile(options.plan);
    const QString problem = read.loaded ? CheckPlanProblem(read.plan) : read.message;
    if (!problem.isEmpty()) {
        *status = job.fail(kExitFile, problem);
        return std::nullopt;
    }
    if (!options.counted.isEmpty() && options.counted.size() != read.plan.steps.size()) {
        *status = job.fail(kExitUsage, QStringLiteral("--counted: шагов в плане %1, а чисел %2")
                                           .arg(read.plan.steps.size())
                                           .arg(options.counted.size()));
        return std::nullopt;
    }
    return read.plan;
}

// Counts typed at a terminal or sent through a pipe or file arrive; standard input closed or on a device
// that is no terminal (/dev/null: cron, systemd, a script's "&") would end the first step unanswered.
bool CountsCanArrive() {
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) != 0)
        return false;
    return isatty(STDIN_FILENO) || S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode) || S_ISSOCK(st.st_mode);
}

// What would only fail at the check's end is refused before the port opens: counts that nobody can type,
// a report that cannot be written where it was asked for.
int RefuseUnfinishable(const CliJob& job, const CheckOptions& options) {
    if (options.counted.isEmpty() && !CountsCanArrive())
        return job.fail(kExitUsage, QStringLiteral("нет терминала, чтобы спросить сосчитанные импульсы: "
                                                   "задайте их в --counted N,N,…"));
    if (options.report.isEmpty())
        return kExitDone;
    const QFileInfo report(options.report);
    const QString folder = report.absolutePath();
    if (report.isDir())
        return job.fail(kExitFile, QStringLiteral("--report: %1 — папка, а не файл").arg(options.report));
    if (!QFileInfo(folder).isDir())
        return job.fail(kExitFile, QStringLiteral("--report: папки %1 нет").arg(folder));
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return job.fail(
            kExitFile,
            QStringLiteral("--report: в папку %1 нельзя записать (%2)").arg(folder, SystemReason(errno)));
    return kExitDone;
}

// The journal entry as the window appends it, and the report if one was asked for: the saves that failed.
QStringList SaveCheck(const Link& link, const CheckRecord& record, const QString& reportPath) {
    QStringList failed =
        AppendJournalEntry(JournalPath(), CheckJournalEntry(record, link.PortNumber(), JournalDevice(link)));
    QString error;
    if (!reportPath.isEmpty() && !WriteCheckReport(record, reportPath, &error))
        failed << QStringLiteral("протокол %1 (%2)").arg(reportPath, error);
    return failed;
}

int CheckStatus(const CliJob& job, const CheckRecord& record) {
    if (record.refused)
        return job.fail(kExitFile, QStringLiteral("план не совпадает с конфигурацией контроллера; "
                                                  "--use-controller проверяет по ней"));
    if (!record.controller.softVersion)
        return job.fail(kExitNoAnswer, QStringLiteral("контроллер не ответил"));
    if (record.aborted)
        return job.fail(kExitAborted, QStringLiteral("проверка прервана"));
    return OverallVerdict(record) == CheckVerdict::Fail ? kExitFailed : kExitDone;
}

} // namespace

int RunCliCheck(const CheckOptions& options) {
    CliJob job(QStringLiteral("check"));
    int refused = kExitDone;
    const std::optional<CheckPlan> plan = LoadPlan(job, options, &refused);
    if (!plan)
        return refused;
    if (const int unfinishable = RefuseUnfinishable(job, options); unfinishable != kExitDone)
        return unfinishable;
    if (const int opened = job.open(options.port); opened != kExitDone)
        return opened;
    StopControl stopControl;
    ConsoleCheckView view(*plan, options, stopControl);
    ConsoleCheckView::WarnTooFast(*plan);
    CfgContext cfg;
    // Ctrl+C, SIGTERM or a hang-up stops the running step as the window's stop does, and the count's
    // prompt at once: the check ends aborted, with its journal entry and report.
    StopOnSignals onSignal([&stopControl] { stopControl.requestStop(); });
    view.stopFd = onSignal.wakeFd();
    bool saveFailed = false;
    const CheckRecord record =
        RunCheck(view, job.link, stopControl, cfg, *plan, std::nullopt, [&](const CheckRecord& r) {
            QStringList failed = SaveCheck(job.link, r, options.report);
            saveFailed = !failed.isEmpty();
            return failed;
        });
    const int status = CheckStatus(job, record);
    // A report or entry that was asked for and is missing is no success, whatever the verdict.
    return status == kExitDone && saveFailed ? kExitFile : status;
}
