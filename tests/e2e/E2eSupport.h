#pragma once
// The whole tool in-process against the virtual controller program: the simulator runs as a child process
// on a pseudo-terminal reached through a symbolic link, the tool's COM1 is mapped to that link by a
// settings file in a temporary folder of its own, and the tool uses its real serial port, its real clock
// and its real main window (offscreen).
#include "Main.h"
#include "Program.h"
#include "QtPort.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// Generous: the machine is shared, and nothing here asserts on time.
constexpr int kSimStartMs = 20000;

// One run of rmz47-sim. Its standard output is collected as it comes (while the tool's waits dispatch
// events), so a test can react to a decoded exchange line the moment the simulator prints it.
class SimRun : public QObject {
public:
    SimRun() {
        connect(&proc_, &QProcess::readyReadStandardOutput, this, [this] { collect(); });
    }
    ~SimRun() override {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(kSimStartMs);
        }
    }

    // Starts the simulator with its tool end linked at `link`; false (with the reason) when it did not
    // print its PTY line. With pauseAtStart the process is stopped (SIGSTOP) as soon as the line is
    // read, so that a poller does not send before the tool listens; resume() lets it go on.
    bool start(const QString& link, QStringList args, QString* why, bool pauseAtStart = false) {
        args << QStringLiteral("--link") << link;
        proc_.start(QStringLiteral(RMZ47_SIM_PATH), args);
        if (!proc_.waitForStarted(kSimStartMs)) {
            *why = QStringLiteral("simulator did not start: ") + proc_.errorString();
            return false;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSimStartMs);
        while (!out_.contains('\n') && std::chrono::steady_clock::now() < end &&
               proc_.state() == QProcess::Running) {
            if (proc_.waitForReadyRead(20))
                out_ += proc_.readAllStandardOutput();
        }
        if (pauseAtStart && proc_.state() == QProcess::Running)
            ::kill(pid_t(proc_.processId()), SIGSTOP);
        if (!out_.startsWith("PTY ") || !out_.contains('\n')) {
            *why = QStringLiteral("no PTY line from the simulator: ") + QString::fromLocal8Bit(out_) +
                   QString::fromLocal8Bit(proc_.readAllStandardError());
            return false;
        }
        seen_ = int(out_.indexOf('\n')) + 1;
        return true;
    }
    void resume() { ::kill(pid_t(proc_.processId()), SIGCONT); }

    // The peer closing the line at once, with no chance to say goodbye.
    void kill() {
        proc_.kill();
        proc_.waitForFinished(kSimStartMs);
        collect();
    }
    // SIGTERM: the simulator removes its link and prints its totals.
    QByteArray stop() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            proc_.waitForFinished(kSimStartMs);
        }
        collect();
        return out_;
    }
    // Waits for a simulator that ends by itself (--count).
    bool waitForEnd(int ms) {
        const bool ok = proc_.state() == QProcess::NotRunning || proc_.waitForFinished(ms);
        collect();
        return ok;
    }

    QByteArray output() {
        collect();
        return out_;
    }
    // Lines of the output that contain `needle`.
    int countLines(const QByteArray& needle) {
        int n = 0;
        for (const QByteArray& line : output().split('\n'))
            n += line.contains(needle);
        return n;
    }
    QProcess& process() { return proc_; }
    bool running() const { return proc_.state() == QProcess::Running; }

    // Called for every complete output line after the PTY line.
    std::function<void(const QByteArray& line)> onLine;

private:
    void collect() {
        out_ += proc_.readAllStandardOutput();
        for (int nl = int(out_.indexOf('\n', seen_)); nl >= 0; nl = int(out_.indexOf('\n', seen_))) {
            const QByteArray line = out_.mid(seen_, nl - seen_);
            seen_ = nl + 1;
            if (onLine)
                onLine(line);
        }
    }
    QProcess proc_;
    QByteArray out_;
    int seen_ = 0;
};

// The tool's program state and main window over a real serial port, COM1 mapped to the simulator's link.
class ToolOnSim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        form.reset();
        program.reset();
        sim.reset();
        spare.reset();
    }

    QString com1() const { return dir.filePath(QStringLiteral("com1")); }
    QString settingsPath() const { return dir.filePath(QStringLiteral("marvil.ini")); }
    QString statePath() const { return dir.filePath(QStringLiteral("controller.state")); }

    std::unique_ptr<SimRun> launch(const QStringList& args, bool pauseAtStart = false) {
        auto s = std::make_unique<SimRun>();
        QString why;
        const bool ok = s->start(com1(), args, &why, pauseAtStart);
        EXPECT_TRUE(ok) << why.toStdString();
        return ok ? std::move(s) : nullptr;
    }
    void startSim(const QStringList& args, bool pauseAtStart = false) {
        sim = launch(args, pauseAtStart);
        ASSERT_NE(sim, nullptr);
    }

    // The program entry's steps: program state, main window (loads the settings, opens COM1), wizard.
    void startTool(int rts = 0) {
        QFile f(settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[rs 232]\nCOM Port=1\nRTS=" + QByteArray::number(rts) +
                "\n[ports]\nCOM1=" + com1().toLocal8Bit() + "\n");
        f.close();
        program = std::make_unique<Program>(port, SystemClock(), settingsPath());
        form = std::make_unique<TMainForm>(*program);
        form->show();
        program->wizard = CreateWizardForms();
        ASSERT_TRUE(program->link.portOpen()) << "COM1 did not open";
    }

    QPushButton* button(const char* name) const {
        auto* b = form->findChild<QPushButton*>(QLatin1String(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    QString readSettings() const {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<no file>");
    }

    QTemporaryDir dir;
    std::unique_ptr<SimRun> sim;
    std::unique_ptr<SimRun> spare; // a second simulator once the first one is gone
    QtPort port;
    std::unique_ptr<Program> program;
    std::unique_ptr<TMainForm> form;
};

// Fails the test and ends a job that does not end by itself, so that a hang shows as a failure.
class Watchdog {
public:
    Watchdog(int ms, std::function<void()> rescue) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [rescue = std::move(rescue), ms] {
            ADD_FAILURE() << "the job did not end within " << ms << " ms";
            rescue();
        });
        timer_.start(ms);
    }

private:
    QTimer timer_;
};
