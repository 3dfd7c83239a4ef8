#pragma once
// A small stand-in for the main window: the controls the imitation looks up by name.
#include "FakeView.h"
#include "ManualClock.h"
#include "ModalScript.h"
#include "UiCommon.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

class ImitTestWindow : public FakeView {
public:
    explicit ImitTestWindow(StopControl& stopControl) : stopControl_(stopControl) {}

    // The close button as the operator sees it, and its click.
    QString closeText() const { return stopMode ? QStringLiteral("&Stop") : QStringLiteral("&Close"); }
    void clickClose() {
        if (stopMode)
            stopControl_.requestStop();
        else
            ++closes;
    }
    // "FlGroupBoxN": hidden when the last uncovering of the panel had fewer runs.
    bool boxHidden(const QString& name) const { return runBoxHidden(name.right(1).toInt()); }

private:
    StopControl& stopControl_;
};

// A manual clock that asks the loop to stop once its tick reaches stopAtMs (the loop reads the tick
// after every poll), so that a scripted imitation ends by itself, and a test whose stop never comes
// does not hang.
class StoppingClock : public ManualClock {
public:
    StoppingClock(quint32 startMs, StopControl* stopControl)
        : ManualClock(startMs, 1000000), stopControl(stopControl) {}
    quint32 tickMs() override {
        const quint32 now = ManualClock::tickMs();
        if (armed && stopControl && qint32(now - stopAtMs) >= 0 && !stopControl->StopRequested) {
            fired = true;
            stopControl->requestStop();
        }
        return now;
    }
    StopControl* stopControl;
    bool armed = false;
    bool fired = false;
    quint32 stopAtMs = 0;
};
