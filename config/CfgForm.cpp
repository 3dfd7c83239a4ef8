#include "CfgForm.h"

#include "Cfgunit.h"
#include "NumText.h"
#include "Podborunit.h"
#include "Podborunit2.h"
#include "UiCommon.h"
#include "UserError.h"
#include "Wizard.h"
#include "ui_Cfgunit.h"

#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTimer>

TCfgForm::TCfgForm(CfgContext& cfg, WizardForms& wizard, QWidget* parent)
    : QDialog(parent), cfg_(cfg), wizard_(wizard), ui(new Ui::TCfgForm) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The byte-order groups start on the first item (inverse), disabled until the run count says otherwise.
    for (RadioGroup* g : {ui->RadioGroup1, ui->RadioGroup2, ui->RadioGroup3})
        g->setItemIndex(0);
    ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui->BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(ui->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->FlRadioGroup, &RadioGroup::clicked, this, [this] { FlRadioGroupClick(); });
    connect(ui->ChangeVButton, &QPushButton::clicked, this, [this] { WizardButtonClick(); });
    setUpTabOrder();
    CenterOnDesktop(this);
}

TCfgForm::~TCfgForm() { delete ui; }

void TCfgForm::setUpTabOrder() {
    // Top level: run count, polling period, answer time-out, volume per pulse, pulse, pause, attempts,
    // write, cancel, run pages; then each page's controls. Radio groups take part through their buttons.
    QList<QWidget*> chain;
    auto addGroup = [&chain](RadioGroup* g) {
        for (int i = 0; g->button(i); ++i)
            chain << g->button(i);
    };
    addGroup(ui->FlRadioGroup);
    chain << ui->PeriodEdit << ui->AnswerEdit << ui->VEdit << ui->ChangeVButton << ui->NagEdit << ui->PauseEdit
          << ui->FlTriesSpinEdit << ui->BitBtn1 << ui->BitBtn2 << ui->TabbedNotebook1->tabBar();
    for (int n = 1; n <= 3; ++n) {
        chain << findChild<QWidget*>(QStringLiteral("AddrSpinEdit%1").arg(n))
              << findChild<QWidget*>(QStringLiteral("NitkaSpinEdit%1").arg(n));
        addGroup(findChild<RadioGroup*>(QStringLiteral("Speed%1RadioGroup").arg(n)));
        addGroup(findChild<RadioGroup*>(QStringLiteral("RadioGroup%1").arg(n)));
    }
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

QLineEdit* TCfgForm::VEdit() const { return ui->VEdit; }
QLineEdit* TCfgForm::NagEdit() const { return ui->NagEdit; }
QLineEdit* TCfgForm::PauseEdit() const { return ui->PauseEdit; }
QLineEdit* TCfgForm::PeriodEdit() const { return ui->PeriodEdit; }
QLineEdit* TCfgForm::AnswerEdit() const { return ui->AnswerEdit; }
QGroupBox* TCfgForm::VGroupBox() const { return ui->VGroupBox; }
QPushButton* TCfgForm::ChangeVButton() const { return ui->ChangeVButton; }
RadioGroup* TCfgForm::FlRadioGroup() const { return ui->FlRadioGroup; }
RadioGroup* TCfgForm::Speed1RadioGroup() const { return ui->Speed1RadioGroup; }

namespace {
SpinEdit* spin(const QWidget* form, const char* base, int n) {
    return form->findChild<SpinEdit*>(QString::fromLatin1(base) + QString::number(n));
}
RadioGroup* speedGroup(const QWidget* form, int n) {
    return form->findChild<RadioGroup*>(QStringLiteral("Speed%1RadioGroup").arg(n));
}
RadioGroup* orderGroup(const QWidget* form, int n) {
    return form->findChild<RadioGroup*>(QStringLiteral("RadioGroup%1").arg(n));
}
} // namespace

void TCfgForm::setValues(const CfgFormValues& v) {
    ui->FlRadioGroup->setItemIndex(v.flIndex);
    setEditTexts(v);
    for (int i = 0; i < 3; ++i) {
        spin(this, "AddrSpinEdit", i + 1)->setValue(v.addr[i]); // the spin edit brings it within 1..255
        spin(this, "NitkaSpinEdit", i + 1)->setValue(v.nitka[i]);
        speedGroup(this, i + 1)->setItemIndex(v.speedIndex[i]);
        orderGroup(this, i + 1)->setItemIndex(v.byteOrder[i]);
    }
    ui->FlTriesSpinEdit->setVisible(v.triesVisible);
    ui->SantarTriesLabel->setVisible(v.triesVisible);
    ui->FlTriesSpinEdit->setValue(v.tries);
}

void TCfgForm::setEditTexts(const CfgFormValues& v) {
    ui->PeriodEdit->setText(v.period);
    ui->AnswerEdit->setText(v.answer);
    ui->VEdit->setText(v.v);
    ui->NagEdit->setText(v.nag);
    ui->PauseEdit->setText(v.pause);
}

CfgFormValues TCfgForm::values() const {
    CfgFormValues v;
    v.flIndex = ui->FlRadioGroup->itemIndex();
    v.period = ui->PeriodEdit->text();
    v.answer = ui->AnswerEdit->text();
    v.v = ui->VEdit->text();
    v.nag = ui->NagEdit->text();
    v.pause = ui->PauseEdit->text();
    for (int i = 0; i < 3; ++i) {
        v.addr[i] = spin(this, "AddrSpinEdit", i + 1)->value();
        v.nitka[i] = spin(this, "NitkaSpinEdit", i + 1)->value();
        v.speedIndex[i] = speedGroup(this, i + 1)->itemIndex();
        v.byteOrder[i] = orderGroup(this, i + 1)->itemIndex();
    }
    v.triesVisible = !ui->FlTriesSpinEdit->isHidden();
    v.tries = ui->FlTriesSpinEdit->value();
    return v;
}

void TCfgForm::EnableRun(QWidget* form, int n, bool on) {
    const QString d = QString::number(n);
    for (const QString& name : {QStringLiteral("AddrSpinEdit") + d, QStringLiteral("NitkaSpinEdit") + d,
                                QStringLiteral("Speed") + d + QStringLiteral("RadioGroup"), QStringLiteral("RadioGroup") + d,
                                QStringLiteral("AddrLabel") + d, QStringLiteral("NitkaLabel") + d}) {
        if (QWidget* w = form->findChild<QWidget*>(name))
            w->setEnabled(on);
    }
}

void TCfgForm::FlRadioGroupClick() {
    const int index = ui->FlRadioGroup->itemIndex();
    EnableRun(this, 1, true);
    if (index <= 0) {
        EnableRun(this, 2, false);
        EnableRun(this, 3, false);
    } else {
        EnableRun(this, 2, true);
        EnableRun(this, 3, index > 1);
    }
}

void TCfgForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The wizard runs once the form is up and active, not from inside the show itself.
    QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TCfgForm::FormActivate() {
    if (cfg_.CfgState == 0 && isVisible() && !wizardRunning_)
        WizardButtonClick();
}

namespace {
// One field's check: the number, then its range. Bounds are compared as doubles (0.1 is the double
// nearest to one tenth).
double CheckedNumber(QLineEdit* edit, double lo, double hi, const char16_t* message) {
    const double x = ReadNumber(edit);
    if (!(x >= lo && x <= hi))
        throw UserError(QString::fromUtf16(message));
    return x;
}
} // namespace

void TCfgForm::WizardButtonClick() {
    TPodborForm1* f1 = wizard_.PodborForm1;
    TPodborForm2* f2 = wizard_.PodborForm2;
    if (!f1 || !f2 || wizardRunning_)
        return;
    wizardRunning_ = true;
    const bool byFlow = cfg_.PulsesByFlow();

    // Fill the dialogs.
    if (cfg_.CfgState == 0) {
        f1->QMaxEdit()->setText(QStringLiteral("3600"));
        f1->NagEdit()->setText(FormatNumber(0.1, 3));
        f1->PauseEdit()->setText(FormatNumber(0.1, 3));
        f2->PeriodEdit()->setText(FormatNumber(byFlow ? 3 : 1, 3));
        f2->AnswerEdit()->setText(FormatNumber(7, 3));
    } else {
        if (cfg_.CfgState == 1 && byFlow) {
            // A stored pulse plus pause of 0 (or a stored volume that is not a number) gives no flow to
            // recover: the previous maximum flow stays.
            if (const std::optional<double> q = ReconstructQMax(cfg_.record.V, cfg_.record.Nag, cfg_.record.Pause))
                cfg_.QMax = *q;
        }
        f1->QMaxEdit()->setText(FormatNumber(cfg_.QMax, 1));
        f1->NagEdit()->setText(ui->NagEdit->text());
        f1->PauseEdit()->setText(ui->PauseEdit->text());
        f2->PeriodEdit()->setText(ui->PeriodEdit->text());
        f2->AnswerEdit()->setText(ui->AnswerEdit->text());
    }

    double pulse = 0, pause = 0, period = 0, answer = 0;
    std::optional<PulseVolume> result;
    int step = 0;
    while (step != 2 && step != -1) {
        if (step == 0) {
            const int r = f1->exec();
            if (r == kModalNo) {
                step = -1;
            } else if (r == kModalYes) {
                try {
                    // The maximum flow is taken at once, also when it then fails its check.
                    cfg_.QMax = ReadNumber(f1->QMaxEdit());
                    if (!(cfg_.QMax > 0))
                        throw UserError(QString::fromUtf16(WizardText::QMaxNotPositive));
                    pulse = CheckedNumber(f1->NagEdit(), 0.1, 2, WizardText::NagRange);
                    pause = CheckedNumber(f1->PauseEdit(), 0.1, 1, WizardText::PauseRange);
                    step = 1;
                } catch (const UserError& e) {
                    ShowExceptionBox(f1, e.message());
                }
            }
            continue;
        }
        // step 1
        f2->Label1()->setText(QString::fromUtf16(byFlow ? WizardText::PeriodHintByFlow : WizardText::PeriodHintByVolume));
        for (;;) {
            const int r = f2->exec();
            if (r == kModalNo) {
                step = 0;
                break;
            }
            if (r != kModalYes)
                continue;
            try {
                period = CheckedNumber(f2->PeriodEdit(), 1, 10, WizardText::PeriodRange);
                answer = CheckedNumber(f2->AnswerEdit(), 5, 20, WizardText::AnswerRange);
            } catch (const UserError& e) {
                ShowExceptionBox(f2, e.message());
                continue;
            }
            result = ComputePulseVolume(cfg_.QMax, pulse, pause, byFlow);
            if (!result) {
                // Nothing of the computation is kept; the operator corrects the maximum flow in step 1.
                ShowExceptionBox(f2, QString::fromUtf16(WizardText::QMaxTooLarge));
                step = 0;
            } else {
                step = 2;
            }
            break;
        }
    }

    if (step == 2) {
        cfg_.VRangeSet = true;
        cfg_.VLow = result->low;
        cfg_.VHigh = result->high;
        ui->VGroupBox->setTitle(WizardRangeCaption(result->low, result->high));
        ui->VEdit->setText(FormatNumber(result->recommended, 3));
        ui->NagEdit->setText(f1->NagEdit()->text());
        ui->PauseEdit->setText(f1->PauseEdit()->text());
        ui->PeriodEdit->setText(FormatNumber(period, 3));
        ui->AnswerEdit->setText(FormatNumber(answer, 3));
        ui->VEdit->setEnabled(true);
        ui->ChangeVButton->setText(QString::fromUtf16(WizardText::ChangeVDone));
        f1->BitBtn1()->setVisible(true);
        cfg_.CfgState = 2;
    }
    wizardRunning_ = false;
}
