#pragma once
// Step 2 of the pulse-value wizard: polling period and answer time-out. Created once at start-up.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class TPodborForm2;
}

class TPodborForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TPodborForm2(QWidget* parent = nullptr);
    ~TPodborForm2() override;

    QLineEdit* PeriodEdit() const;
    QLineEdit* AnswerEdit() const;
    QLabel* Label1() const;       // the polling-period hint, set on each entry to step 2
    QPushButton* BitBtn1() const; // back to step 1 (No)
    QPushButton* BitBtn2() const; // finish (Yes)

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::TPodborForm2* ui;
};
