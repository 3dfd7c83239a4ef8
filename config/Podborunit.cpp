#include "Podborunit.h"

#include "ui_Podborunit.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

QIcon WizardArrowIcon(const QColor& color, bool pointsLeft) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    // A block arrow pointing right; mirrored for the left one.
    const QPointF pts[] = {{3, 12}, {17, 12}, {17, 4}, {29, 16}, {17, 28}, {17, 20}, {3, 20}};
    path.moveTo(pts[0]);
    for (const QPointF& pt : pts)
        path.lineTo(pt);
    path.closeSubpath();
    if (pointsLeft)
        path = QTransform(-1, 0, 0, 1, 32, 0).map(path);
    p.setPen(QPen(color.darker(160), 1.2));
    p.setBrush(color);
    p.drawPath(path);
    return QIcon(pm);
}

// Centres a dialog on the primary screen, as the step dialogs and the configuration form are placed.
void CenterOnDesktop(QWidget* w) {
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r = w->frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        w->move(r.topLeft());
    }
}

void SetUpWizardStep(QDialog* dialog, QPushButton* back, const QColor& backColor, QPushButton* forward) {
    dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    back->setIcon(WizardArrowIcon(backColor, true));
    forward->setIcon(WizardArrowIcon(QColor(0, 160, 0), false));
    back->setIconSize(QSize(32, 32));
    forward->setIconSize(QSize(32, 32));
    QObject::connect(back, &QPushButton::clicked, dialog, [dialog] { dialog->done(kModalNo); });
    QObject::connect(forward, &QPushButton::clicked, dialog, [dialog] { dialog->done(kModalYes); });
    CenterOnDesktop(dialog);
}

bool HandleWizardEscape(QKeyEvent* event, QPushButton* back) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier)
        return false;
    if (back->isVisible() && back->isEnabled())
        back->click();
    event->accept();
    return true;
}

TPodborForm1::TPodborForm1(QWidget* parent) : QDialog(parent), ui(new Ui::TPodborForm1) {
    ui->setupUi(this);
    // The maximum-flow group is named "QGroupBox" at run time; in the design it cannot carry that name,
    // which would shadow the class in the generated code.
    ui->QMaxGroupBox->setObjectName(QStringLiteral("QGroupBox"));
    // The way out of the wizard is red.
    SetUpWizardStep(this, ui->BitBtn1, QColor(200, 0, 0), ui->BitBtnYes);
}

TPodborForm1::~TPodborForm1() {
    delete ui;
}

QLineEdit* TPodborForm1::QMaxEdit() const {
    return ui->QMaxEdit;
}
QLineEdit* TPodborForm1::NagEdit() const {
    return ui->NagEdit;
}
QLineEdit* TPodborForm1::PauseEdit() const {
    return ui->PauseEdit;
}
QPushButton* TPodborForm1::BitBtn1() const {
    return ui->BitBtn1;
}
QPushButton* TPodborForm1::BitBtnYes() const {
    return ui->BitBtnYes;
}

void TPodborForm1::reject() {
    done(kModalCancel);
}

void TPodborForm1::keyPressEvent(QKeyEvent* event) {
    // Escape acts on the cancel button, and only while the operator can see it: in a configuration's
    // first wizard run there is no way back from step 1.
    if (!HandleWizardEscape(event, ui->BitBtn1))
        QDialog::keyPressEvent(event);
}
