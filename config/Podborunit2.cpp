#include "Podborunit2.h"

#include "Podborunit.h"
#include "ui_Podborunit2.h"

#include <QKeyEvent>

TPodborForm2::TPodborForm2(QWidget* parent) : QDialog(parent), ui(new Ui::TPodborForm2) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->BitBtn1->setIcon(WizardArrowIcon(QColor(0, 160, 0), true));
    ui->BitBtn2->setIcon(WizardArrowIcon(QColor(0, 160, 0), false));
    ui->BitBtn1->setIconSize(QSize(32, 32));
    ui->BitBtn2->setIconSize(QSize(32, 32));
    connect(ui->BitBtn1, &QPushButton::clicked, this, [this] { done(kModalNo); });
    connect(ui->BitBtn2, &QPushButton::clicked, this, [this] { done(kModalYes); });
    CenterOnDesktop(this);
}

TPodborForm2::~TPodborForm2() { delete ui; }

QLineEdit* TPodborForm2::PeriodEdit() const { return ui->PeriodEdit; }
QLineEdit* TPodborForm2::AnswerEdit() const { return ui->AnswerEdit; }
QLabel* TPodborForm2::Label1() const { return ui->Label1; }
QPushButton* TPodborForm2::BitBtn1() const { return ui->BitBtn1; }
QPushButton* TPodborForm2::BitBtn2() const { return ui->BitBtn2; }

void TPodborForm2::reject() { done(kModalCancel); }

void TPodborForm2::keyPressEvent(QKeyEvent* event) {
    // Escape is the back button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (ui->BitBtn1->isVisible() && ui->BitBtn1->isEnabled())
            ui->BitBtn1->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
