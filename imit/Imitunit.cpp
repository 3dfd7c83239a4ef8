#include "Imitunit.h"

#include "FlowAnswer.h"
#include "NumText.h"
#include "UiCommon.h"
#include "UserError.h"
#include "ui_Imitunit.h"

#include <QLineEdit>

TImitForm::TImitForm(ImitSettings& imit, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TImitForm>()), imit_(imit) {
    ui->setupUi(this);
    // Fixed border: the size of the design.
    setFixedSize(size());
    connect(ui->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->FlRadioGroup, &RadioGroup::clicked, this, [this] { FlRadioGroupClick(ui->FlRadioGroup); });
    Fill();
    FillOutput();
}

TImitForm::~TImitForm() = default;

void TImitForm::Fill() {
    ui->FlRadioGroup->setItemIndex(imit_.ImitFlIndex);
    ui->SpeedFlRadioGroup->setItemIndex(imit_.ImitSpeedIndex);
    SpinEdit* addr[3] = {ui->AddrSpinEdit1, ui->AddrSpinEdit2, ui->AddrSpinEdit3};
    SpinEdit* nitka[3] = {ui->NitkaSpinEdit1, ui->NitkaSpinEdit2, ui->NitkaSpinEdit3};
    for (int s = 0; s < 3; ++s) {
        addr[s]->setValue(imit_.ImitAddr[s]);
        nitka[s]->setValue(imit_.ImitNitka[s]);
    }
    QLineEdit* rashod[3] = {ui->Rashod1Edit, ui->Rashod2Edit, ui->Rashod3Edit};
    for (int s = 0; s < 3; ++s)
        rashod[s]->setText(FormatNumber(imit_.ImitRashod[s], 3));
    RadioGroup* order[3] = {ui->RadioGroup1, ui->RadioGroup2, ui->RadioGroup3};
    for (int s = 0; s < 3; ++s)
        order[s]->setItemIndex(imit_.ImitMsbFirst[s] ? 0 : 1);
    FlRadioGroupClick();
}

void TImitForm::FlRadioGroupClick(QObject*) {
    const int item = ui->FlRadioGroup->itemIndex();
    ui->GroupBox1->setVisible(true);
    ui->GroupBox2->setVisible(item == 1 || item == 2);
    ui->GroupBox3->setVisible(item == 2);
}

void TImitForm::TakeOver() {
    QLineEdit* rashod[3] = {ui->Rashod1Edit, ui->Rashod2Edit, ui->Rashod3Edit};
    RadioGroup* order[3] = {ui->RadioGroup1, ui->RadioGroup2, ui->RadioGroup3};
    QGroupBox* box[3] = {ui->GroupBox1, ui->GroupBox2, ui->GroupBox3};
    for (int s = 0; s < 3; ++s) {
        // Hidden slots take no part in the imitation: their texts are not checked. The form may itself be
        // hidden here, so the boxes' own flags count, not their visibility on screen.
        if (s > 0 && box[s]->isHidden())
            continue;
        const double value = ReadNumber(rashod[s]);
        imit_.ImitRashod[s] = value;
        if (const QString problem = ImitFlowProblem(value); !problem.isEmpty())
            throw UserError(problem);
        imit_.ImitMsbFirst[s] = order[s]->itemIndex() == 0;
    }
    // A radio group without a choice counts as its first item: one slot.
    const int fl = ui->FlRadioGroup->itemIndex();
    imit_.ImitFlIndex = quint8(fl < 0 ? 0 : fl);
    imit_.ImitSpeedIndex = ui->SpeedFlRadioGroup->itemIndex();
    SpinEdit* addr[3] = {ui->AddrSpinEdit1, ui->AddrSpinEdit2, ui->AddrSpinEdit3};
    SpinEdit* nitka[3] = {ui->NitkaSpinEdit1, ui->NitkaSpinEdit2, ui->NitkaSpinEdit3};
    for (int s = 0; s < 3; ++s) {
        imit_.ImitAddr[s] = quint8(addr[s]->value());
        imit_.ImitNitka[s] = quint8(nitka[s]->value());
    }
}

void TImitForm::FillOutput() {
    const PulseOutput& out = imit_.output;
    ui->OutVEdit->setText(out.knowsV() ? FormatNumber(out.v, 3) : QString());
    ui->OutNagEdit->setText(out.knowsTiming() ? FormatNumber(out.pulseS, 3) : QString());
    ui->OutPauseEdit->setText(out.knowsTiming() ? FormatNumber(out.pauseS, 3) : QString());
}

PulseOutput TImitForm::ReadOutput() const {
    // An empty edit means the value is not known; anything else must be a number above zero.
    const auto read = [](QLineEdit* edit) {
        if (edit->text().trimmed().isEmpty())
            return 0.0;
        const double value = ReadNumber(edit);
        if (!(value > 0))
            throw UserError(QString::fromUtf16(ImitText::NotPositive));
        return value;
    };
    PulseOutput out;
    out.v = read(ui->OutVEdit);
    out.pulseS = read(ui->OutNagEdit);
    out.pauseS = read(ui->OutPauseEdit);
    return out;
}

void TImitForm::done(int result) {
    if (result == QDialog::Accepted) {
        try {
            // Before the take-over, so that a refused output value leaves the record as it was.
            const PulseOutput out = ReadOutput();
            TakeOver();
            imit_.output = out;
        } catch (const UserError& e) {
            // The dialog stays as the operator left it, the refused flow edit already normalised.
            ShowExceptionBox(this, e.message());
            return;
        }
    }
    QDialog::done(result);
}

bool EditImitSettings(ImitSettings& imit, QWidget* parent) {
    TImitForm form(imit, parent);
    return ExecModal(form) == QDialog::Accepted;
}
