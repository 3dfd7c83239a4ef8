#pragma once
// The plan of a bench check on screen: the runs and the line speed, the controller's output values, the
// steps with their flows and targets (and, once run, their figures), the tolerance and who checks what
// where. Numbers are typed and shown with the locale's decimal separator.
#include "CheckPlan.h"
#include "CheckSteps.h"

#include <QWidget>
#include <array>

class QComboBox;
class QFormLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class SpinEdit;
struct ImitSettings;

class CheckPlanEditor : public QWidget {
    Q_OBJECT
public:
    explicit CheckPlanEditor(QWidget* parent = nullptr);

    // The runs, the line speed and the output as the imitation settings hold them; the steps stay.
    void takeImitSettings(const ImitSettings& imit);
    void setPlan(const CheckPlan& plan);
    // The plan on screen; false with *problem naming the text that is not a number.
    bool readPlan(CheckPlan* plan, QString* problem) const;
    // Off while a check runs: nothing of the plan can change then.
    void setEditable(bool editable);

    // The figures of step `step` in its row: expected pulses, count, difference, verdict; a lost line
    // is marked beside the verdict.
    void showStepResult(int step, const CheckStepResult& result, CheckVerdict verdict);
    void clearResults();
    QTableWidget* steps() const { return steps_; }

private:
    // The window's parts, top to bottom: the runs, the line and output values, the steps, who checks
    // what where.
    QGroupBox* makeRuns();
    QHBoxLayout* makeLineRow();
    QHBoxLayout* makeStepRow();
    QFormLayout* makeWhoRows();
    void setRunsAndOutput(const CheckPlan& plan); // the runs, the speed, V, pulse and pause
    void showRunCount(int runs);
    void addStep();
    void removeStep();
    void moveStep(int by);
    void setStepRow(int row, const CheckStep& step);
    bool readStep(int row, CheckStep* step, QString* problem) const;

    struct RunControls {
        SpinEdit* address;
        SpinEdit* run;
        QComboBox* order;
        QLabel* caption;
    };
    SpinEdit* runCount_;
    std::array<RunControls, kCheckRunsMax> runs_;
    QComboBox* speed_;
    QLineEdit* v_;
    QLineEdit* pulse_;
    QLineEdit* pause_;
    QTableWidget* steps_;
    QList<QPushButton*> stepButtons_;
    SpinEdit* tolerance_;
    QLineEdit* site_;
    QLineEdit* object_;
    QLineEdit* engineer_;
};
