#include "Main.h"

#include "CfgForm.h"
#include "Cfgunit.h"
#include "CheckJob.h"
#include "EscapeHook.h"
#include "ImitSettings.h"
#include "Imitunit.h"
#include "Now_opros.h"
#include "Paramsrs.h"
#include "Program.h"
#include "Settings.h"
#include "UiCommon.h"
#include "ui_Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <tuple>

TMainForm::TMainForm(Link& link, CfgContext& cfg, ImitSettings& imit, StopControl& stopControl,
                     WizardForms& wizard, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMainForm>()), link_(link), cfg_(cfg), imit_(imit),
      stopControl_(stopControl), wizard_(wizard),
      guard_([this](bool on) { setJobButtonsEnabled(on); }, [this] { close(); }) {
    ui->setupUi(this);
    // Fixed border: title, system menu, minimise and close; no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ui->CloseBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    setStopMode(false);
    // The runs' labels change with every answer, in the time between a request and its answer. Their
    // texts are plain, and their size is their place in the group box, which has no layout: so a new
    // text neither scans for markup nor asks a parent without a layout to lay out again.
    for (const RunLabels& run : runLabels()) {
        for (QLabel* label : {run.flow, run.answers, run.volume}) {
            label->setTextFormat(Qt::PlainText);
            label->setFixedSize(label->size());
        }
    }

    ui->PulsesLabel->setMinimumHeight(ui->PulsesLabel->height());
    using enum JobGuard::Buttons;
    connect(ui->ParamRSButton, &QPushButton::clicked, this,
            [this] { runJob(OffOnLine, {}, [this] { ParamRSButtonClick(); }); });
    connect(ui->UstavkiButton, &QPushButton::clicked, this,
            [this] { runJob(OffOnLine, {}, [this] { UstavkiButtonClick(); }); });
    // The imitation keeps the buttons off from its settings dialog to its restore; a close stops it.
    const auto stopImitation = [this] { stopControl_.requestStop(); };
    connect(ui->ImitFlButton, &QPushButton::clicked, this,
            [this, stopImitation] { runJob(OffThroughout, stopImitation, [this] { ImitFlButtonClick(); }); });
    for (auto [button, key, open] : {std::tuple{ui->MonitorButton, Qt::Key_F2, &TMainForm::openMonitor},
                                     std::tuple{ui->JournalButton, Qt::Key_F3, &TMainForm::openJournal}}) {
        // An init-capture: clang before 16 cannot capture a structured binding by name.
        const auto call = [this, open = open] {
            if (const auto& f = this->*open)
                f();
        };
        connect(button, &QPushButton::clicked, this, call);
        // Application-wide: the monitor is wanted most while a job's dialog is up.
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::ApplicationShortcut);
        connect(shortcut, &QShortcut::activated, this, call);
    }
    // The check window belongs with this window's jobs: off while one runs, F4 here only.
    const auto openCheckWindow = [this] {
        if (openCheck && !jobRunning())
            openCheck();
    };
    connect(ui->CheckButton, &QPushButton::clicked, this, openCheckWindow);
    auto* checkKey = new QShortcut(QKeySequence(Qt::Key_F4), this);
    checkKey->setContext(Qt::WindowShortcut);
    connect(checkKey, &QShortcut::activated, this, openCheckWindow);
    // Not a job: its close must not wait for itself.
    connect(ui->CloseBtn, &QPushButton::clicked, this,
            [this] { RunShowingExceptions(this, [this] { CloseBtnClick(); }); });

    FormCreate();
}

TMainForm::TMainForm(Program& program, QWidget* parent)
    : TMainForm(program.link, program.cfg, program.imit, program.stopControl, program.wizard, parent) {
    program.linkUi.mainWindow = this;
    checkController_ = &program.checkController;
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    LoadSettings(link_);
    link_.setLineSpeed(proto::kControllerBaud);
    OpenPort(link_);
    UpdateStatusLabels(*this, link_);
    escapeHook_ = new EscapeHook(stopControl_, this);
    link_.setPerfFrequency(link_.timeSource().perfFrequency());
    heights_.FullHeight = height();
    heights_.CompactHeight = ui->CloseBtn->y() + ui->CloseBtn->height() + 30;
    setFixedWidth(width());
    showImitPanel(0);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMainForm::runJob(JobGuard::Buttons buttons, std::function<void()> stop,
                       const std::function<void()>& body) {
    {
        const JobGuard::Job job = guard_.start(buttons, std::move(stop));
        if (job)
            RunShowingExceptions(this, body);
    }
    // The guard tells only a change of the job buttons; a job that kept them on ends unseen there.
    ui->CheckButton->setEnabled(!guard_.running());
}

bool TMainForm::runWindowJob(const std::function<void()>& body) {
    if (guard_.running())
        return false;
    runJob(
        JobGuard::Buttons::OffThroughout, [this] { stopControl_.requestStop(); }, body);
    return true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!guard_.mayClose()) {
        event->ignore();
        return;
    }
    RunShowingExceptions(this, [this] {
        SaveSettings(link_);
        ClosePort(link_);
    });
    event->accept();
}

void TMainForm::ParamRSButtonClick() {
    ::ParamRSButtonClick(this, *this, link_);
}

void TMainForm::UstavkiButtonClick() {
    if (onJob)
        onJob(false, true);
    RunConfigureJob(
        *this, link_, cfg_,
        [this](const CfgRecord& record, int speedIndex) { TakeRunLayout(imit_, record, speedIndex); },
        [this](const CfgJobReport& report) {
            TakeOutputParams(imit_, report);
            if (checkController_)
                *checkController_ = ControllerFromReport(report);
            return onConfigureDone ? onConfigureDone(report) : QStringList();
        });
}

void TMainForm::ImitFlButtonClick() {
    RunImitationJob(*this, link_, imit_, stopControl_);
}

void TMainForm::CloseBtnClick() {
    if (stopMode_)
        stopControl_.requestStop();
    else
        close();
}

void TMainForm::tell(Notice kind, const QString& caption, const QString& text) {
    ShowNotice(this, kind, caption, text);
}

bool TMainForm::ask(const QString& caption, const QString& text) {
    return AskYesNo(this, caption, text);
}

std::unique_ptr<CfgFormSession> TMainForm::openCfgForm(CfgContext& cfg, const CfgFormValues& values) {
    if (createWizardWhenNeeded && !wizard_.PodborForm1)
        wizard_ = CreateWizardForms();
    return OpenCfgFormOnScreen(this, cfg, wizard_, values);
}

bool TMainForm::editImitSettings(ImitSettings& imit) {
    return EditImitSettings(imit, this);
}

void TMainForm::setJobButtonsEnabled(bool enabled) {
    for (QWidget* b : {static_cast<QWidget*>(ui->UstavkiButton), static_cast<QWidget*>(ui->ParamRSButton),
                       static_cast<QWidget*>(ui->ImitFlButton)})
        b->setEnabled(enabled);
    ui->CheckButton->setEnabled(enabled && !guard_.running());
}

void TMainForm::setStopMode(bool stop) {
    if (onJob && stop != stopMode_)
        onJob(true, stop);
    stopMode_ = stop;
    ui->CloseBtn->setText(stop ? QStringLiteral("&Stop") : QStringLiteral("&Close"));
}

void TMainForm::showLinkStatus(int portNumber, int rtsControl, int baud) {
    ui->ShortAddrLabel->setText(AddressStatusText());
    ui->PortLabel->setText(PortStatusText(portNumber));
    ui->RTSLabel->setText(RtsStatusText(rtsControl));
    showLineSpeed(baud);
}

void TMainForm::showLineSpeed(int baud) {
    ui->TypeConnectLabel->setText(SpeedStatusText(baud));
}

void TMainForm::showImitPanel(int runs) {
    if (runs > 0) {
        ui->FlGroupBox1->setVisible(true);
        ui->FlGroupBox2->setVisible(runs >= 2);
        ui->FlGroupBox3->setVisible(runs >= 3);
    }
    // The window has a fixed size, which a plain resize() cannot change.
    setFixedHeight(runs > 0 ? heights_.FullHeight : heights_.CompactHeight);
}

std::array<TMainForm::RunLabels, 3> TMainForm::runLabels() const {
    return {RunLabels{ui->Rashod1Label, ui->Answers1Label, ui->CurrentTotal1Label},
            RunLabels{ui->Rashod2Label, ui->Answers2Label, ui->CurrentTotal2Label},
            RunLabels{ui->Rashod3Label, ui->Answers3Label, ui->CurrentTotal3Label}};
}

void TMainForm::showRun(int slot, const RunDisplay& texts) {
    if (slot < 0 || slot > 2)
        return;
    const RunLabels run = runLabels()[std::size_t(slot)];
    run.answers->setText(texts.answers);
    run.volume->setText(texts.volume);
    run.flow->setText(texts.flow);
}

void TMainForm::showOutputPulses(const QString& text, bool warning) {
    ui->PulsesLabel->setText(text);
    // A warning stands out from the counts around it. The style changes only with the warning: each answer
    // comes here, and a new style sheet costs a polish of the label.
    if (ui->PulsesLabel->styleSheet().isEmpty() == warning)
        ui->PulsesLabel->setStyleSheet(warning ? QStringLiteral("color: #b00000;") : QString());
    fitPulsesLine();
}

void TMainForm::fitPulsesLine() {
    QLabel* pulses = ui->PulsesLabel;
    const int grow =
        qMax(pulses->heightForWidth(pulses->width()), pulses->minimumHeight()) - pulses->height();
    if (grow == 0)
        return;
    pulses->resize(pulses->width(), pulses->height() + grow);
    for (QLabel* below : {ui->PortStateLabel, ui->SpeedNoticeLabel})
        below->move(below->x(), below->y() + grow);
    heights_.FullHeight += grow;
    if (height() > heights_.CompactHeight)
        setFixedHeight(heights_.FullHeight);
}

void TMainForm::showPortDevice(const QString& text) {
    ui->PortLabel->setToolTip(text);
}

void TMainForm::showLinkNotice(LinkNotice which, const QString& text) {
    QLabel* label = which == LinkNotice::Port ? ui->PortStateLabel : ui->SpeedNoticeLabel;
    label->setText(text);
    label->setToolTip(text); // a long system reason may not fit the panel's width
}

void TMainForm::showProgress(const QString& step) {
    const bool busy = !step.isEmpty();
    if (busy != busy_) {
        busy_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    guard_.setOnLine(busy);
    if (onProgress)
        onProgress(step);
}
