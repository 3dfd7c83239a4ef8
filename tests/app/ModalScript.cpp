#include "ModalScript.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <gtest/gtest.h>

ModalScript::ModalScript() {
    timer_.setInterval(2);
    connect(&timer_, &QTimer::timeout, this, &ModalScript::poll);
    timer_.start();
}

ModalScript::~ModalScript() = default;

ModalScript& ModalScript::then(Step step) {
    steps_.push_back(std::move(step));
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

void ModalScript::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        last_ = nullptr;
        return;
    }
    // The same window still up: its step has run, its exec() has not returned yet.
    if (modal == last_)
        return;
    last_ = modal;
    if (steps_.empty()) {
        ++unexpected_;
        unexpectedTexts_ << modal->windowTitle() + QStringLiteral(": ") + BoxText(modal);
        if (auto* d = qobject_cast<QDialog*>(modal))
            d->reject();
        else
            modal->close();
        return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
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
