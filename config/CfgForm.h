#pragma once
// TCfgForm, the configuration dialog: shows and collects CfgFormValues, keeps the per-run controls in
// step with the number of runs, and runs the pulse-value wizard (WizardButtonClick).
#include "CfgRecord.h"
#include "CfgView.h"

#include <QDialog>

struct WizardForms;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class RadioGroup;
class SpinEdit;
namespace Ui {
class TCfgForm;
}

class TCfgForm : public QDialog {
    Q_OBJECT
public:
    TCfgForm(CfgContext& cfg, WizardForms& wizard, QWidget* parent = nullptr);
    ~TCfgForm() override;

    // Shows the values (record to form has prepared them).
    void setValues(const CfgFormValues& v);
    // What the operator has entered.
    CfgFormValues values() const;
    // Puts the five edit texts of v back (after their separators were normalised).
    void setEditTexts(const CfgFormValues& v);

    // Enables the controls of the runs in use: run 1 always, run 2 from two runs on, run 3 with three.
    void FlRadioGroupClick();
    // Starts the wizard when the controller was found not configured (CfgState 0).
    void FormActivate();
    // The pulse-value wizard (ChangeVButton).
    void WizardButtonClick();

    // Configuration files. Saving runs the same checks as "Записать" and saves only values that pass;
    // loading fills the fields (VEdit too, its enabled state and the wizard's state as they are) and
    // writes nothing to the controller. The buttons ask for the path, then call these; a refusal or a
    // failure is told in a box over the form before they return.
    bool saveToFile(const QString& path);
    bool loadFromFile(const QString& path);

    // Enables or disables the six controls of run n, found by their names.
    static void EnableRun(QWidget* form, int n, bool on);

    QLineEdit* VEdit() const;
    QLineEdit* NagEdit() const;
    QLineEdit* PauseEdit() const;
    QLineEdit* PeriodEdit() const;
    QLineEdit* AnswerEdit() const;
    QGroupBox* VGroupBox() const;
    QPushButton* ChangeVButton() const;
    RadioGroup* FlRadioGroup() const;
    RadioGroup* Speed1RadioGroup() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setUpTabOrder();
    void connectFileButtons();
    CfgContext& cfg_;
    WizardForms& wizard_;
    Ui::TCfgForm* ui;
    bool wizardRunning_ = false;
};

// The form of one configure job on screen, modal over `parent`, with the wizard's two dialogs: filled
// from `values`, the per-run controls matched to the run count, VEdit off until the wizard completes.
std::unique_ptr<CfgFormSession> OpenCfgFormOnScreen(QWidget* parent, CfgContext& cfg, WizardForms& wizard,
                                                    const CfgFormValues& values);
