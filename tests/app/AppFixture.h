#pragma once
// A program set-up for window tests: a fake port on a manual clock and a settings file in a temporary
// folder of its own (never the operator's real file).
#include "FakePort.h"
#include "Main.h"
#include "Program.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Closing the last window must not end anything here: the tests run no application loop.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        form.reset();
        program.reset();
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("marvil.ini")); }
    void writeSettings(const QByteArray& text) {
        QFile f(settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QString readSettings() const {
        QFile f(settingsPath());
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("<no file>");
        return QString::fromUtf8(f.readAll());
    }

    // Creates the program state and the main window, as the program entry does.
    void start() {
        program = std::make_unique<Program>(port, clock, settingsPath());
        form = std::make_unique<TMainForm>(*program);
        form->show();
    }

    template <class T = QWidget> T* child(const char* name) const {
        T* w = form->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString labelText(const char* name) const {
        auto* l = child<QLabel>(name);
        return l ? l->text() : QString();
    }

    QTemporaryDir dir;
    ManualClock clock{1000, 1000000};
    FakePort port{clock};
    std::unique_ptr<Program> program;
    std::unique_ptr<TMainForm> form;
};
