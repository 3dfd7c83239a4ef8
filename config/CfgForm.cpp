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
    connectFileButtons();
    setUpTabOrder();
    CenterOnDesktop(this);
}

TCfgForm::~TCfgForm() {
    delete ui;
}

void TCfgForm::setUpTabOrder() {
    // Top level: run count, polling period, answer time-out, volume per pulse, pulse, pause, attempts,
    // write, cancel, run pages; then each page's controls. Radio groups take part through their buttons.
    QList<QWidget*> chain;
    auto addGroup = [&chain](RadioGroup* g) {
        for (int i = 0; g->button(i); ++i)
            chain << g->button(i);
    };
    addGroup(ui->FlRadioGroup);
    chain << ui->PeriodEdit << ui->AnswerEdit << ui->VEdit << ui->ChangeVButton << ui->NagEdit
          << ui->PauseEdit << ui->FlTriesSpinEdit << ui->BitBtn1 << ui->BitBtn2
          << ui->TabbedNotebook1->tabBar();
    for (int n = 1; n <= 3; ++n) {
        chain << findChild<QWidget*>(QStringLiteral("AddrSpinEdit%1").arg(n))
              << findChild<QWidget*>(QStringLiteral("NitkaSpinEdit%1").arg(n));
        addGroup(findChild<RadioGroup*>(QStringLiteral("Speed%1RadioGroup").arg(n)));
        addGroup(findChild<RadioGroup*>(QStringLiteral("RadioGroup%1").arg(n)));
    }
    chain << ui->LoadFileButton << ui->SaveFileButton; // after the designed order
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

QLineEdit* TCfgForm::VEdit() const {
    return ui->VEdit;
}
QLineEdit* TCfgForm::NagEdit() const {
    return ui->NagEdit;
}
QLineEdit* TCfgForm::PauseEdit() const {
    return ui->PauseEdit;
}
QLineEdit* TCfgForm::PeriodEdit() const {
    return ui->PeriodEdit;
}
QLineEdit* TCfgForm::AnswerEdit() const {
    return ui->AnswerEdit;
}
QGroupBox* TCfgForm::VGroupBox() const {
    return ui->VGroupBox;
}
QPushButton* TCfgForm::ChangeVButton() const {
    return ui->ChangeVButton;
}
RadioGroup* TCfgForm::FlRadioGroup() const {
    return ui->FlRadioGroup;
}
RadioGroup* TCfgForm::Speed1RadioGroup() const {
    return ui->Speed1RadioGroup;
}

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
    for (const QString& name :
         {QStringLiteral("AddrSpinEdit") + d, QStringLiteral("NitkaSpinEdit") + d,
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
// One run of the wizard moves between its two step dialogs until it is completed or left.
enum class WizardStep { FlowAndPulse, Timing, Completed, Left };

// What the operator entered in one run, and what the wizard computed from it.
struct WizardRun {
    double pulse = 0, pause = 0, period = 0, answer = 0; // seconds
    PulseVolume volume;
};

// One timed value in a step dialog: the number, then its row of kTimedRanges, refused with the wizard's
// own message.
double CheckedSeconds(QLineEdit* edit, TimedField field, const char16_t* message) {
    const double x = ReadNumber(edit);
    if (!TimedRange(field).contains(x))
        throw UserError(QString::fromUtf16(message));
    return x;
}

// At every start the dialogs show the defaults for a controller not configured, otherwise the form's
// values and the maximum flow of the last run (or the one the stored configuration implies).
void FillWizardSteps(const TCfgForm& form, CfgContext& cfg, const WizardForms& wizard) {
    TPodborForm1* f1 = wizard.PodborForm1;
    TPodborForm2* f2 = wizard.PodborForm2;
    if (cfg.CfgState == 0) {
        f1->QMaxEdit()->setText(QStringLiteral("3600"));
        f1->NagEdit()->setText(FormatNumber(0.1, 3));
        f1->PauseEdit()->setText(FormatNumber(0.1, 3));
        f2->PeriodEdit()->setText(FormatNumber(cfg.PulsesByFlow() ? 3 : 1, 3));
        f2->AnswerEdit()->setText(FormatNumber(7, 3));
        return;
    }
    if (cfg.CfgState == 1 && cfg.PulsesByFlow()) {
        // A stored pulse plus pause of 0 (or a stored volume that is not a number) gives no flow to
        // recover: the previous maximum flow stays.
        if (const std::optional<double> q = ReconstructQMax(cfg.record.V, cfg.record.Nag, cfg.record.Pause))
            cfg.QMax = *q;
    }
    f1->QMaxEdit()->setText(FormatNumber(cfg.QMax, 1));
    f1->NagEdit()->setText(form.NagEdit()->text());
    f1->PauseEdit()->setText(form.PauseEdit()->text());
    f2->PeriodEdit()->setText(form.PeriodEdit()->text());
    f2->AnswerEdit()->setText(form.AnswerEdit()->text());
}

// A completed run into the configuration form and the range that the configure job checks the volume by.
void TakeWizardRun(TCfgForm& form, CfgContext& cfg, const WizardForms& wizard, const WizardRun& run) {
    cfg.VRangeSet = true;
    cfg.VLow = run.volume.low;
    cfg.VHigh = run.volume.high;
    form.VGroupBox()->setTitle(WizardRangeCaption(run.volume.low, run.volume.high));
    form.VEdit()->setText(FormatNumber(run.volume.recommended, 3));
    // The pulse and the pause as the operator typed them (normalised), not reformatted.
    form.NagEdit()->setText(wizard.PodborForm1->NagEdit()->text());
    form.PauseEdit()->setText(wizard.PodborForm1->PauseEdit()->text());
    form.PeriodEdit()->setText(FormatNumber(run.period, 3));
    form.AnswerEdit()->setText(FormatNumber(run.answer, 3));
    // The operator may now type another volume, which the configure job accepts only within the range.
    form.VEdit()->setEnabled(true);
    form.ChangeVButton()->setText(QString::fromUtf16(WizardText::ChangeVDone));
    wizard.PodborForm1->BitBtn1()->setVisible(true);
    cfg.CfgState = 2;
}

// Shows a step dialog until the operator answers it with Yes (true) or No (false): any other close, the
// title-bar close box, only shows it again.
bool AnsweredYes(QDialog* step) {
    for (;;) {
        const int r = step->exec();
        if (r == kModalYes || r == kModalNo)
            return r == kModalYes;
    }
}

// Step 1 (maximum flow, pulse, pause), shown again until Yes passes its checks or No leaves the wizard.
WizardStep RunFlowStep(TPodborForm1* f1, CfgContext& cfg, WizardRun& run) {
    while (AnsweredYes(f1)) {
        try {
            // The maximum flow is taken at once, also when it then fails its check.
            cfg.QMax = ReadNumber(f1->QMaxEdit());
            if (!(cfg.QMax > 0))
                throw UserError(QString::fromUtf16(WizardText::QMaxNotPositive));
            run.pulse = CheckedSeconds(f1->NagEdit(), TimedField::Nag, WizardText::NagRange);
            run.pause = CheckedSeconds(f1->PauseEdit(), TimedField::Pause, WizardText::PauseRange);
            return WizardStep::Timing;
        } catch (const UserError& e) {
            ShowExceptionBox(f1, e.message());
        }
    }
    return WizardStep::Left;
}

// Step 2 (polling period, answer time-out), shown again until Yes passes its checks or No goes back to
// step 1. The volume per pulse is computed on the way out: a maximum flow too large for it goes back too.
WizardStep RunTimingStep(TPodborForm2* f2, const CfgContext& cfg, WizardRun& run) {
    f2->Label1()->setText(QString::fromUtf16(cfg.PulsesByFlow() ? WizardText::PeriodHintByFlow
                                                                : WizardText::PeriodHintByVolume));
    while (AnsweredYes(f2)) {
        try {
            run.period = CheckedSeconds(f2->PeriodEdit(), TimedField::Period, WizardText::PeriodRange);
            run.answer = CheckedSeconds(f2->AnswerEdit(), TimedField::Answer, WizardText::AnswerRange);
        } catch (const UserError& e) {
            ShowExceptionBox(f2, e.message());
            continue;
        }
        const std::optional<PulseVolume> v =
            ComputePulseVolume(cfg.QMax, run.pulse, run.pause, cfg.PulsesByFlow());
        if (!v) {
            // Nothing of the computation is kept; the operator corrects the maximum flow in step 1.
            ShowExceptionBox(f2, QString::fromUtf16(WizardText::QMaxTooLarge));
            return WizardStep::FlowAndPulse;
        }
        run.volume = *v;
        return WizardStep::Completed;
    }
    return WizardStep::FlowAndPulse;
}
} // namespace

void TCfgForm::WizardButtonClick() {
    TPodborForm1* f1 = wizard_.PodborForm1;
    TPodborForm2* f2 = wizard_.PodborForm2;
    if (!f1 || !f2 || wizardRunning_)
        return;
    wizardRunning_ = true;
    FillWizardSteps(*this, cfg_, wizard_);
    WizardRun run;
    WizardStep step = WizardStep::FlowAndPulse;
    while (step == WizardStep::FlowAndPulse || step == WizardStep::Timing)
        step = step == WizardStep::FlowAndPulse ? RunFlowStep(f1, cfg_, run) : RunTimingStep(f2, cfg_, run);
    if (step == WizardStep::Completed)
        TakeWizardRun(*this, cfg_, wizard_, run);
    wizardRunning_ = false;
}

namespace {
class ScreenCfgForm : public CfgFormSession {
public:
    ScreenCfgForm(QWidget* parent, CfgContext& cfg, WizardForms& wizard) : form_(cfg, wizard, parent) {}
    std::optional<CfgFormValues> confirm() override {
        if (ExecModal(form_) != QDialog::Accepted)
            return std::nullopt;
        return form_.values();
    }
    void keepTexts(const CfgFormValues& values) override { form_.setEditTexts(values); }
    TCfgForm form_;
};
} // namespace

std::unique_ptr<CfgFormSession> OpenCfgFormOnScreen(QWidget* parent, CfgContext& cfg, WizardForms& wizard,
                                                    const CfgFormValues& values) {
    auto session = std::make_unique<ScreenCfgForm>(parent, cfg, wizard);
    TCfgForm& form = session->form_;
    form.setValues(values);
    form.FlRadioGroupClick();
    form.VEdit()->setEnabled(false);
    if (wizard.PodborForm1)
        wizard.PodborForm1->BitBtn1()->setVisible(false);
    return session;
}
