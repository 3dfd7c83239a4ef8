#pragma once
// A small stand-in for the main window: the controls the imitation looks up by name.
#include "Clock.h"
#include "UiCommon.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

class ImitTestWindow : public QWidget {
public:
    explicit ImitTestWindow(Shell& shell) : shell_(shell) {
        for (const char* name : {"ShortAddrLabel", "PortLabel", "RTSLabel", "TypeConnectLabel"})
            label(this, name);
        for (const char* name : {"ParamRSButton", "UstavkiButton", "ImitFlButton"})
            (new QPushButton(this))->setObjectName(QLatin1String(name));
        auto* close = new QPushButton(this);
        close->setObjectName(QStringLiteral("CloseBtn"));
        close->setGeometry(300, 96, 90, 28);
        connect(close, &QPushButton::clicked, this, [this] {
            if (CloseButtonIsCloseKind(this))
                this->close();
            else
                shell_.requestStop();
        });
        auto* imitBox = new QGroupBox(this);
        imitBox->setObjectName(QStringLiteral("ImitGroupBox"));
        imitBox->setGeometry(8, 160, 560, 120);
        for (int n = 1; n <= 3; ++n) {
            auto* box = new QGroupBox(imitBox);
            box->setObjectName(QStringLiteral("FlGroupBox%1").arg(n));
            for (const char* kind : {"Rashod%1Label", "Answers%1Label", "CurrentTotal%1Label"})
                label(box, QString::fromLatin1(kind).arg(n))->setText(QStringLiteral("old"));
        }
        SetCloseButtonKind(this, true);
        resize(580, 300);
        shell_.FullHeight = 300;
        shell_.CompactHeight = 96 + 28 + 30;
        SetMainFormHeight(this, shell_.CompactHeight);
    }

    QString text(const QString& name) const {
        auto* l = findChild<QLabel*>(name);
        return l ? l->text() : QStringLiteral("<missing>");
    }
    bool boxHidden(const QString& name) const { return findChild<QWidget*>(name)->isHidden(); }

private:
    static QLabel* label(QWidget* parent, const QString& name) {
        auto* l = new QLabel(parent);
        l->setObjectName(name);
        return l;
    }
    Shell& shell_;
};

// A manual clock that asks the loop to stop once its tick reaches stopAtMs (the loop reads the tick
// after every poll), so that a scripted imitation ends by itself, and a test whose stop never comes
// does not hang.
class StoppingClock : public ManualClock {
public:
    StoppingClock(quint32 startMs, Shell* shell) : ManualClock(startMs, 1000000), shell(shell) {}
    quint32 tickMs() override {
        const quint32 now = ManualClock::tickMs();
        if (armed && shell && qint32(now - stopAtMs) >= 0 && !shell->StopRequested) {
            fired = true;
            shell->requestStop();
        }
        return now;
    }
    Shell* shell;
    bool armed = false;
    bool fired = false;
    quint32 stopAtMs = 0;
};

// Runs `act` on the modal widget that is active once the event loop runs (a dialog or a message box).
inline void OnNextModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* w = QApplication::activeModalWidget();
        act(w);
    });
}

// Closes the message box that is about to open with its OK button; its caption and text are kept.
struct BoxSeen {
    QString caption, text;
    bool seen = false;
};
inline void CloseNextBox(BoxSeen& seen) {
    OnNextModal([&seen](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box)
            return;
        seen = {box->windowTitle(), box->text(), true};
        box->button(QMessageBox::Ok)->click();
    });
}
