#include "ModalScript.h"

#include "Podborunit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

ModalScript::ModalScript() {
    qApp->installEventFilter(this);
}

ModalScript::~ModalScript() {
    qApp->removeEventFilter(this);
}

ModalScript& ModalScript::then(Action a) {
    actions_.push_back(std::move(a));
    return *this;
}

ModalScript& ModalScript::expectBox(const QString& caption, const QString& text, int icon) {
    return then([=](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), caption);
        EXPECT_EQ(BoxText(w), text);
        if (auto* box = qobject_cast<QMessageBox*>(w))
            EXPECT_EQ(int(box->icon()), icon);
        else
            ADD_FAILURE() << "not a message box: " << w->metaObject()->className();
        ClickOk(w);
    });
}

ModalScript& ModalScript::expectBoxStartingWith(const QString& caption, const QString& textStart, int icon) {
    return then([=](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), caption);
        EXPECT_TRUE(BoxText(w).startsWith(textStart)) << BoxText(w).toStdString();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            EXPECT_EQ(int(box->icon()), icon);
        }
        ClickOk(w);
    });
}

bool ModalScript::eventFilter(QObject* o, QEvent* e) {
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

void ModalScript::schedule(int hops) {
    QTimer::singleShot(0, this, [this, hops] {
        if (hops > 0)
            schedule(hops - 1);
        else
            act();
    });
}

void ModalScript::act() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || acted_.contains(w) || !w->isVisible())
        return;
    acted_.insert(w);
    if (auto* box = qobject_cast<QMessageBox*>(w))
        boxes.push_back({box->text(), box->windowTitle(), box->icon()});
    if (actions_.empty()) {
        ++unexpected_;
        unexpectedTexts_ << w->windowTitle() + QStringLiteral(": ") + BoxText(w);
        ADD_FAILURE() << "unexpected dialog " << w->objectName().toStdString() << " "
                      << w->windowTitle().toStdString() << " " << BoxText(w).toStdString();
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

void ForceClose(QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w))
        box->button(QMessageBox::Ok)->click();
    else if (w->objectName() == QLatin1String("PodborForm1") ||
             w->objectName() == QLatin1String("PodborForm2"))
        static_cast<QDialog*>(w)->done(kModalNo);
    else if (auto* d = qobject_cast<QDialog*>(w))
        d->done(QDialog::Rejected);
    else
        w->close();
}

void ClickOk(QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
            return;
        }
    }
    ADD_FAILURE() << "no OK button on " << w->windowTitle().toStdString();
    if (auto* d = qobject_cast<QDialog*>(w))
        d->reject();
}

QString BoxText(QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box ? box->text() : QString();
}

void OnNextModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] { act(QApplication::activeModalWidget()); });
}

void CloseNextBox(BoxSeen& seen) {
    OnNextModal([&seen](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box)
            return;
        seen = {box->windowTitle(), box->text(), true};
        box->button(QMessageBox::Ok)->click();
    });
}
