#pragma once
// The configure job's dialogs in a ModalScript: clicking, typing, and expecting a named dialog.
#include "ModalScript.h"
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
