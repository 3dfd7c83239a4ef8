#pragma once
// Step 1 of the pulse-value wizard: maximum flow, pulse and pause length. Created once at start-up and
// kept for the program run, so that what the operator typed stays there from one wizard run to the next.
#include <QDialog>

class QColor;
class QIcon;
class QKeyEvent;
class QLineEdit;
class QPushButton;
namespace Ui {
class TPodborForm1;
}

// Modal results of the step dialogs (the toolkit's codes): Yes goes on, No goes back or leaves.
constexpr int kModalCancel = 2;
constexpr int kModalYes = 6;
constexpr int kModalNo = 7;

// The arrow glyph of the step dialogs' buttons.
QIcon WizardArrowIcon(const QColor& color, bool pointsLeft);
// Places a dialog in the middle of the primary screen.
void CenterOnDesktop(QWidget* w);

// What the step dialogs share: no help button, `back` an arrow pointing left in `backColor` that ends the
// dialog with No, `forward` a green arrow pointing right that ends it with Yes; then centred.
void SetUpWizardStep(QDialog* dialog, QPushButton* back, const QColor& backColor, QPushButton* forward);
// Escape without modifiers acts on `back`, and only while the operator can see and use it; the key is
// consumed either way. False for any other key, which the dialog handles as usual.
bool HandleWizardEscape(QKeyEvent* event, QPushButton* back);

class TPodborForm1 : public QDialog {
    Q_OBJECT
public:
    explicit TPodborForm1(QWidget* parent = nullptr);
    ~TPodborForm1() override;

    QLineEdit* QMaxEdit() const;
    QLineEdit* NagEdit() const;
    QLineEdit* PauseEdit() const;
    QPushButton* BitBtn1() const;   // leaves the wizard (No); hidden in a configuration's first run
    QPushButton* BitBtnYes() const; // on to step 2 (Yes)

public slots:
    // Any close other than the two arrow buttons (the title-bar close box) ends with Cancel.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::TPodborForm1* ui;
};
