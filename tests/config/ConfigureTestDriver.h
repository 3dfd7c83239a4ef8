#pragma once
// Drives the modal dialogs of the configure job in tests: every time a window is shown, the topmost
// modal widget gets the next scripted action (after two turns of the event loop, so that a dialog that
// opens another one from its activation is passed by). Message boxes are recorded as they come. A
// dialog that appears after the script ran out is a test failure and is closed so the test ends.
#include "Podborunit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

// Closes any dialog of the job in the way that ends it (a wizard step re-shows after a plain reject).
inline void ForceClose(QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w))
        box->button(QMessageBox::Ok)->click();
    else if (w->objectName() == QLatin1String("PodborForm1") || w->objectName() == QLatin1String("PodborForm2"))
        static_cast<QDialog*>(w)->done(kModalNo);
    else if (auto* d = qobject_cast<QDialog*>(w))
        d->done(QDialog::Rejected);
}

struct ShownBox {
    QString text, caption;
    QMessageBox::Icon icon;
};

class ModalScript : public QObject {
public:
    using Action = std::function<void(QWidget*)>;

    ModalScript() { qApp->installEventFilter(this); }
    ~ModalScript() override { qApp->removeEventFilter(this); }

    ModalScript& then(Action a) {
        actions_.push_back(std::move(a));
        return *this;
    }
    bool done() const { return actions_.empty(); }
    std::size_t pending() const { return actions_.size(); }

    std::vector<ShownBox> boxes; // every message box, in order

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (!o->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(o);
        if (!w->isWindow())
            return false;
        if (e->type() == QEvent::Show)
            schedule(2);
        else if (e->type() == QEvent::Hide)
            acted_.remove(w);
        return false;
    }

private:
    void schedule(int hops) {
        QTimer::singleShot(0, this, [this, hops] {
            if (hops > 0)
                schedule(hops - 1);
            else
                act();
        });
    }
    void act() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || acted_.contains(w) || !w->isVisible())
            return;
        acted_.insert(w);
        if (auto* box = qobject_cast<QMessageBox*>(w))
            boxes.push_back({box->text(), box->windowTitle(), box->icon()});
        if (actions_.empty()) {
            ADD_FAILURE() << "unexpected dialog " << w->objectName().toStdString() << " "
                          << w->windowTitle().toStdString();
            ForceClose(w);
            return;
        }
        Action a = std::move(actions_.front());
        actions_.pop_front();
        QPointer<QWidget> still(w);
        a(w);
        // An action that left its dialog open (it ran a nested dialog, say) hands it to the next action.
        if (still && still->isVisible() && QApplication::activeModalWidget() == still) {
            acted_.remove(still);
            schedule(2);
        }
    }
    std::deque<Action> actions_;
    QSet<QWidget*> acted_;
};

// Actions.
inline void ClickChild(QWidget* w, const char* name) {
    auto* b = w->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(b, nullptr) << name << " in " << w->objectName().toStdString();
    b->click();
}
inline QLineEdit* Edit(QWidget* w, const char* name) {
    auto* e = w->findChild<QLineEdit*>(QString::fromLatin1(name));
    EXPECT_NE(e, nullptr) << name;
    return e;
}
// OK on a message box; the box's text, caption and icon are checked by the caller through `boxes`.
inline ModalScript::Action OkBox() {
    return [](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr) << "expected a message box, got " << w->objectName().toStdString();
        box->button(QMessageBox::Ok)->click();
    };
}
// Runs `body` on the dialog named `name`, failing (and closing it) when another one is on top.
inline ModalScript::Action On(const char* name, std::function<void(QWidget*)> body) {
    return [name, body](QWidget* w) {
        if (w->objectName() != QLatin1String(name)) {
            ADD_FAILURE() << "expected " << name << ", got " << w->objectName().toStdString() << " "
                          << w->windowTitle().toStdString();
            ForceClose(w);
            return;
        }
        body(w);
    };
}
