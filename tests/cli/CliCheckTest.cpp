// rmz47 check as the installed program against the virtual controller in field mode: the counts typed at
// its prompt are what the controller's output emitted (its status line on stderr), a plan that differs
// from the controller is refused before the first step, and every way of leaving the prompt keeps the
// check's journal entry.
#include "CheckPlanFile.h"
#include "SimProcess.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// Two runs 1:1 and 2:1 at 9600 bit/s polled every second, 1 m3 a pulse, pulse and pause 0.1 s.
const QStringList kField = {"--field", "--table4",
                            "02 0A 0A 64 00 00 00 80 3F 64 00 01 01 0B 02 01 0B 03 01 0B 51 01 01"};

class CliCheck : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), kField + QStringList{"--quiet"}, &device));
        plan.runCount = 2;
        plan.speedIndex = 7;
        plan.output = {1.0, 0.1, 0.1};
        plan.tolerance = 0;
    }
    void TearDown() override {
        tool.kill();
        tool.waitForFinished();
        sim.kill();
        sim.waitForFinished();
    }
    void startCheck(const QStringList& extra = {}) {
        QFile file(dir.filePath(QStringLiteral("plan.json")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(CheckPlanFileBytes(plan, QDateTime::currentDateTime()));
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("RMZ47_SETTINGS"), dir.filePath(QStringLiteral("marvil.ini")));
        env.insert(QStringLiteral("RMZ47_DATA_DIR"), dir.path());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(RMZ47_PATH),
                   QStringList{"check", file.fileName(), "--port", device} + extra);
        ASSERT_TRUE(tool.waitForStarted());
    }
    // Waits for the count's prompt of step `step` (1-based).
    bool prompted(int step) {
        const QString prompt = QStringLiteral("Шаг %1: ожидается импульсов").arg(step);
        for (int i = 0; i < 1200 && !err.contains(prompt); ++i) {
            tool.waitForReadyRead(100);
            err += QString::fromUtf8(tool.readAllStandardError());
        }
        return err.contains(prompt);
    }
    // The pulses the output emitted so far once it owes none: its status line is rewritten once a second.
    qint64 emitted() {
        static const QRegularExpression status(QStringLiteral(R"(output pulses (\d+) held back 0\D[^\n]*$)"));
        for (int i = 0; i < 100; ++i) {
            QTest::qWait(i == 0 ? 2000 : 100);
            simErr += QString::fromLocal8Bit(sim.readAllStandardError());
            if (const auto m = status.match(simErr.trimmed()); m.hasMatch())
                return m.captured(1).toLongLong();
        }
        return -1;
    }
    int finished() {
        EXPECT_TRUE(tool.waitForFinished(60000));
        out = QString::fromUtf8(tool.readAllStandardOutput());
        err += QString::fromUtf8(tool.readAllStandardError());
        return tool.exitCode();
    }
    QByteArray journal() {
        QFile file(dir.filePath(QStringLiteral("journal.jsonl")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QProcess sim, tool;
    QString device, out, err, simErr;
    CheckPlan plan;
};

// Low flow, then high: with no tolerance each step's count is exactly what the output emitted in it.
TEST_F(CliCheck, RisingFlowPassesWithTheCountsTheOutputEmitted) {
    plan.steps = {CheckStep{{360, 360, 0}, CheckStep::Target::Pulses, 2},
                  CheckStep{{7200, 3600, 0}, CheckStep::Target::Pulses, 6}};
    startCheck();
    qint64 before = 0;
    for (int step = 1; step <= 2; ++step) {
        ASSERT_TRUE(prompted(step)) << err.toStdString();
        const qint64 now = emitted();
        ASSERT_GE(now, 0) << simErr.toStdString();
        tool.write(QByteArray::number(now - std::exchange(before, now)) + '\n');
    }
    EXPECT_EQ(finished(), 0) << err.toStdString() << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Итог: годен"))) << out.toStdString();
}

// V, a run's line speed and a run's address differ: each is named and the check does not start.
TEST_F(CliCheck, PlanThatDiffersFromTheControllerIsRefusedFieldByField) {
    plan.output.v = 0.5;
    plan.speedIndex = 1;
    plan.runs[1].address = 5;
    plan.steps = {CheckStep{{3600, 3600, 0}, CheckStep::Target::Pulses, 3}};
    startCheck();
    EXPECT_EQ(finished(), 5);
    for (const char* line :
         {"Цена импульса: в плане ", "Нитка 2: адрес: в плане 5, в контроллере 2",
          "Нитка 1: скорость линии: в плане 1200 бит/с, в контроллере 9600 бит/с", "--use-controller"})
        EXPECT_TRUE(err.contains(QString::fromUtf8(line))) << line << "\n" << err.toStdString();
    EXPECT_TRUE(journal().isEmpty());
}

// A slip is asked again with its reason; Ctrl+C, the end of input and a hang-up at the prompt abort the
// check at once. Each leaves the check's journal entry.
TEST_F(CliCheck, EveryWayOutOfThePromptKeepsTheJournalEntry) {
    plan.steps = {CheckStep{{3600, 3600, 0}, CheckStep::Target::Pulses, 3}};
    plan.tolerance = 1000;
    const struct {
        const char* name;
        std::function<void(QProcess&)> act;
        int status;
    } cases[] = {
        {"slip", [](QProcess& p) { p.write("abc 1,5\n7\n"); }, 0},
        {"ctrl+c", [](QProcess& p) { ::kill(pid_t(p.processId()), SIGINT); }, 130},
        {"end of input", [](QProcess& p) { p.closeWriteChannel(); }, 130},
        {"hang-up", [](QProcess& p) { ::kill(pid_t(p.processId()), SIGHUP); }, 130},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.filePath(QStringLiteral("journal.jsonl")));
        err.clear();
        startCheck();
        ASSERT_TRUE(prompted(1)) << err.toStdString();
        c.act(tool);
        EXPECT_EQ(finished(), c.status) << err.toStdString();
        EXPECT_EQ(journal().count("\"kind\":\"check\""), 1);
        if (c.status == 0) {
            EXPECT_TRUE(err.contains(QStringLiteral("«abc 1,5» — не целое число импульсов")))
                << err.toStdString();
        }
    }
}

} // namespace
