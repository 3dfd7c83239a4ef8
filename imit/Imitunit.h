#pragma once
// The imitation settings dialog, and the imitation job it is shown by.
#include "ImitJob.h"
#include "ImitSettings.h"

#include <QDialog>
#include <memory>

class QWidget;

namespace Ui {
class TImitForm;
}

// "Параметры имитации ответов от Сантар": which flow computers to imitate, at which line speed, with
// which flows and byte orders. Filled from an ImitSettings record; on OK the values are taken over slot
// by slot, and the dialog stays open at the first slot whose flow is refused.
class TImitForm : public QDialog {
    Q_OBJECT
public:
    explicit TImitForm(ImitSettings& imit, QWidget* parent = nullptr);
    ~TImitForm() override;

    // Shows and hides the slot boxes to match FlRadioGroup (visibility, not enabling).
    void FlRadioGroupClick(QObject* sender = nullptr);
    // Takes the form's values over into the record. Flows are checked slot by slot; a refused one throws
    // UserError with the slots before it already written and the run layout not yet, so that a refused
    // flow leaves the runs as they were.
    void TakeOver();

    void done(int result) override;

private:
    void Fill();
    // The controller's output values (volume per pulse, pulse, pause) beside the dialog's own controls.
    void FillOutput();
    PulseOutput ReadOutput() const;

    std::unique_ptr<Ui::TImitForm> ui;
    ImitSettings& imit_;
};

// The settings dialog: true when accepted (values taken over), false when cancelled.
bool EditImitSettings(ImitSettings& imit, QWidget* parent);
