#include "Main.h"

#include "Cfgunit.h"
#include "EscapeHook.h"
#include "Imitunit.h"
#include "Now_opros.h"
#include "Paramsrs.h"
#include "Program.h"
#include "UiCommon.h"
#include "ui_Main.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

TMainForm::TMainForm(Link& link, CfgContext& cfg, ImitSettings& imit, Shell& shell, WizardForms& wizard,
                     QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMainForm>()), link_(link), cfg_(cfg), imit_(imit),
      shell_(shell), wizard_(wizard) {
    ui->setupUi(this);
    // Fixed border: title, system menu, minimise and close; no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ui->CloseBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    SetCloseButtonKind(this, true);

    connect(ui->ParamRSButton, &QPushButton::clicked, this, [this] { runHandler([this] { ParamRSButtonClick(); }); });
    connect(ui->UstavkiButton, &QPushButton::clicked, this, [this] { runHandler([this] { UstavkiButtonClick(); }); });
    connect(ui->ImitFlButton, &QPushButton::clicked, this, [this] { runHandler([this] { ImitFlButtonClick(); }); });
    // Not a job: its close must not wait for itself.
    connect(ui->CloseBtn, &QPushButton::clicked, this, [this] { RunShowingExceptions(this, [this] { CloseBtnClick(); }); });

    FormCreate();
}

TMainForm::TMainForm(Program& program, QWidget* parent)
    : TMainForm(program.link, program.cfg, program.imit, program.shell, program.wizard, parent) {}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    LoadSettings(link_);
    link_.LineSpeed = kControllerBaud;
    OpenPort(link_);
    UpdateStatusLabels(this, link_);
    escapeHook_ = new EscapeHook(shell_, this);
    link_.PerfFrequency = link_.clock->perfFrequency();
    // The designed height shows the imitation box; the window normally ends 30 pixels below the button row.
    shell_.FullHeight = height();
    shell_.CompactHeight = ui->CloseBtn->y() + ui->CloseBtn->height() + 30;
    setFixedWidth(width());
    SetMainFormHeight(this, shell_.CompactHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMainForm::runHandler(const std::function<void()>& body) {
    ++handlerDepth_;
    RunShowingExceptions(this, body);
    --handlerDepth_;
    if (handlerDepth_ == 0 && (closePending_ || shell_.CloseRequested) && !shell_.ImitRunning) {
        closePending_ = false;
        shell_.CloseRequested = false;
        close();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (shell_.ImitRunning) {
        shell_.CloseRequested = true;
        shell_.requestStop();
        event->ignore();
        return;
    }
    // A job's wait dispatches window messages, so a close can arrive in the middle of an exchange; closing
    // the port under it would cut the exchange, so the close waits for the job to end.
    if (handlerDepth_ > 0) {
        closePending_ = true;
        event->ignore();
        return;
    }
    RunShowingExceptions(this, [this] {
        SaveSettings(link_);
        ClosePort(link_);
    });
    event->accept();
}

void TMainForm::ParamRSButtonClick() { ::ParamRSButtonClick(this, link_); }

void TMainForm::UstavkiButtonClick() { ::UstavkiButtonClick(this, link_, cfg_, imit_, wizard_); }

void TMainForm::ImitFlButtonClick() { ::ImitFlButtonClick(this, link_, imit_, shell_); }

void TMainForm::CloseBtnClick() {
    if (CloseButtonIsCloseKind(this))
        close();
    else
        shell_.requestStop();
}
