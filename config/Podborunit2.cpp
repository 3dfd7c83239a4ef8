#include "Podborunit2.h"

#include "Podborunit.h"
#include "ui_Podborunit2.h"

#include <QColor>
#include <QKeyEvent>

TPodborForm2::TPodborForm2(QWidget* parent) : QDialog(parent), ui(new Ui::TPodborForm2) {
    ui->setupUi(this);
    // Back to step 1 is as green as going on.
    SetUpWizardStep(this, ui->BitBtn1, QColor(0, 160, 0), ui->BitBtn2);
}

TPodborForm2::~TPodborForm2() {
    delete ui;
}

QLineEdit* TPodborForm2::PeriodEdit() const {
    return ui->PeriodEdit;
}
QLineEdit* TPodborForm2::AnswerEdit() const {
    return ui->AnswerEdit;
}
QLabel* TPodborForm2::Label1() const {
    return ui->Label1;
}
QPushButton* TPodborForm2::BitBtn1() const {
    return ui->BitBtn1;
}
QPushButton* TPodborForm2::BitBtn2() const {
    return ui->BitBtn2;
}

void TPodborForm2::reject() {
    done(kModalCancel);
}

void TPodborForm2::keyPressEvent(QKeyEvent* event) {
    // Escape is the back button.
    if (!HandleWizardEscape(event, ui->BitBtn1))
        QDialog::keyPressEvent(event);
}
