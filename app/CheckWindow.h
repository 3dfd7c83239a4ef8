#pragma once
// "Проверка на стенде": the plan of a bench check, its run step by step (progress, the wait for the
// output, the count from the engineer's counter, the verdicts) and its report, saved as a PDF or
// printed. The check runs as a job of the main window, whose run panels count as in the imitation.
#include "CheckPlan.h"
#include "CheckView.h"

#include <QWidget>
#include <functional>
#include <optional>

class CheckPlanEditor;
class QEventLoop;
class QLabel;
class QProgressBar;
class QPushButton;
class TMainForm;
struct ImitSettings;
struct Program;
struct StopControl;

// The imitation's panels and the link's state stay where the imitation shows them: in the main window.
class CheckWindow : public QWidget, public CheckView, private RelayView {
    Q_OBJECT
public:
    // mainView shows the imitation's panels and the link's state; stopControl carries the stop request.
    CheckWindow(JobView& mainView, StopControl& stopControl, QWidget* parent = nullptr);

    // Runs the check job for the plan against this window; the record it ends with.
    std::function<CheckRecord(CheckView& view, const CheckPlan& plan)> run;
    // Runs body as the main window's job; false when another job runs there.
    std::function<bool(const std::function<void()>& body)> startJob;

    void takeImitSettings(const ImitSettings& imit);
    // "Начать": the plan checked, then run; a plan that cannot run is told and nothing starts.
    void start();
    bool running() const { return running_; }
    const std::optional<CheckRecord>& record() const { return record_; }
    CheckPlanEditor* editor() const { return editor_; }

    // The plan in a file and back, and the report; false with *error set. A refused plan file changes
    // nothing on screen.
    bool savePlan(const QString& path, QString* error);
    bool loadPlan(const QString& path, QString* error);
    bool saveReport(const QString& path, QString* error);

    void tell(Notice kind, const QString& caption, const QString& text) override;
    bool ask(const QString& caption, const QString& text) override;

    void showCheckProgress(int step, const CheckStepResult& result,
                           std::optional<double> secondsLeft) override;
    void showCheckWait(const QString& text, int waitS) override;
    std::optional<qint64> askCountedPulses(int step, const CheckStepResult& result) override;
    void showCheckStep(int step, const CheckStepResult& result, CheckVerdict verdict) override;
    bool askUseController(const QString& differences, const CheckPlan& held) override;
    bool askNextStep(int next) override;
    void showCheckEnd(const CheckRecord& record) override;

protected:
    // While a check runs the window stays: the close asks the check to stop instead.
    void closeEvent(QCloseEvent* event) override;

private:
    void setRunning(bool running);
    void resetProgress();
    void abort();
    void savePlanClicked();
    void loadPlanClicked();
    void saveReportClicked();
    void printClicked();
    void warn(const QString& text);

    StopControl& stopControl_;
    CheckPlanEditor* editor_;
    QProgressBar* progress_;
    QLabel* wait_;
    QLabel* status_;
    QPushButton* start_;
    QPushButton* next_;
    QPushButton* abort_;
    QPushButton* savePlan_;
    QPushButton* loadPlan_;
    QPushButton* saveReport_;
    QPushButton* print_;
    bool running_ = false;
    CheckPlan plan_;
    std::optional<CheckRecord> record_;
    QEventLoop* nextWait_ = nullptr; // the wait for "Следующий шаг"
};

// F4 and the main window's check button open the window; a check's end goes into the journal at
// journalPath.
void AttachCheckWindow(TMainForm& mainForm, Program& program, const QString& journalPath);
