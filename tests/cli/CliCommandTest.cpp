// The subcommands run as the installed program, against the virtual controller on a pseudo-terminal,
// with their settings and journal in a temporary folder.
#include "CheckPlanFile.h"
#include "QtPort.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The virtual controller, ended with its test.
struct Sim : QProcess {
    ~Sim() override {
        kill();
        waitForFinished();
    }
};

struct Finished {
    int status = -1;
    QString out, err;
};

class CliCommandTest : public ::testing::Test {
protected:
    // @DIR@ in an argument is the temporary folder, @PORT@ the virtual controller's device.
    Finished run(QStringList args, const QString& device = {}) {
        args.replaceInStrings(QStringLiteral("@DIR@"), dir.path());
        args.replaceInStrings(QStringLiteral("@PORT@"), device);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("RMZ47_SETTINGS"), dir.filePath(QStringLiteral("marvil.ini")));
        env.insert(QStringLiteral("RMZ47_DATA_DIR"), dir.path());
        QProcess proc;
        proc.setProcessEnvironment(env);
        proc.start(QStringLiteral(RMZ47_PATH), args);
        proc.closeWriteChannel();
        EXPECT_TRUE(proc.waitForFinished(60000)) << args.join(' ').toStdString();
        EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
        return {proc.exitCode(), QString::fromUtf8(proc.readAllStandardOutput()),
                QString::fromUtf8(proc.readAllStandardError())};
    }
    QString startSim(QProcess& sim, const QStringList& args) {
        QString device;
        EXPECT_TRUE(StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), args + QStringList{"--quiet"}, &device));
        return device;
    }
    QTemporaryDir dir;
};

TEST_F(CliCommandTest, EndsWithTheStatusScriptsRelyOn) {
    struct Case {
        QStringList sim; // empty: no controller
        QStringList args;
        int status;
        const char* err;
        const char* out = ""; // a part of standard output
    };
    const Case cases[] = {
        {{}, {"write", "--help"}, 0, "", "--yes"},
        {{}, {"check", "-h"}, 0, "", "130  проверка прервана"},
        {{"--unconfigured"}, {"read", "--port", "@PORT@", "--json"}, 0, "", "\"configuration\":null"},
        {{"--unconfigured"}, {"read", "--port", "@PORT@", "--output", "@DIR@/x"}, 5, "не законфигурирован"},
        {{}, {"frob"}, 2, "неизвестная команда «frob» (команды: read, write"},
        {{}, {"read", "--port"}, 2, "после «--port» не задано значение"},
        {{}, {"read", "--json=1"}, 2, "«--json» задаётся без значения"},
        {{}, {"read", "--bogus"}, 2, "неизвестный параметр «--bogus»"},
        {{}, {"imitate", "--run", "1:1"}, 2, "--run: «1:1» не в виде"},
        {{}, {"imitate", "--run", "1:1:5:up"}, 2, "--run"},
        {{}, {"listen", "--speed", "1300"}, 2, "скорости «1300» нет"},
        {{}, {"listen", "--order", "1:1"}, 2, "--order"},
        {{}, {"imitate", "--run", "1:1:5", "--for", "5"}, 2, "единицей ms, s, min или h"},
        {{}, {"imitate", "--run", "1:1:5", "--pulses", "9"}, 2, "--pulses задаётся вместе с --pulse-value"},
        {{}, {"imitate", "--run", "1:1:1", "--run", "1:2:1", "--run", "1:3:1", "--run", "2:1:1"}, 2, "трёх"},
        {{}, {"read", "--port", "ttyS0", "--com", "1"}, 2, "--port и --com"},
        {{}, {"write", "--port", "@DIR@/none"}, 2, "не задан ФАЙЛ"},
        {{}, {"read", "--port", "@DIR@/none"}, 4, "/none не открыт: устройства нет"},
        {{}, {"read", "--port", "tcp://bench:4001"}, 2, "сетевые порты не поддерживаются"},
        {{},
         {"read", "--port", "@DIR@/marvil.ini"},
         4,
         "/marvil.ini не открыт: это не последовательный порт"},
        {{}, {"read", "--port", "@DIR@"}, 4, "не открыт: это папка, а не файл"},
        {{}, {"read"}, 4, "порт не выбран"},
        {{}, {"write", "@DIR@/marvil.ini", "--port", "@DIR@/none"}, 5, "не является файлом конфигурации"},
        {{"--silent"}, {"read", "--port", "@PORT@"}, 3, "Не могу прочитать таблицу 0!"},
        {{"--silent"}, {"write", "@DIR@/cfg.json", "--port", "@PORT@"}, 3, "контроллер не ответил"},
        {{}, {"validate", "@DIR@/cfg.json"}, 0, "", "конфигурация для версии ПО 3, принимается формой"},
        {{}, {"validate", "@DIR@/marvil.ini", "-j"}, 5, "не является", "{\"error\":{\"exit\":5,"},
        {{}, {"listen", "--speed", "1300", "--json"}, 2, "скорости «1300» нет", "{\"error\":{\"exit\":2,"},
        {{}, {"imitate", "--run", "1:1:5", "--for", "50ms"}, 2, "вне пределов от 100ms до 596h"},
        {{"--field"}, {"write", "@DIR@/cfg.json", "--port", "@PORT@", "--dry-run"}, 0, "", "Изменений нет"},
        {{"--field"},
         {"read", "-q", "-p", "@PORT@", "-o", "-"},
         0,
         "",
         "\"format\": \"RMZ-47 configuration\""},
        // Another software version with the same layout, and no terminal to ask on.
        {{"--soft-version", "2"}, {"write", "@DIR@/cfg.json", "--port", "@PORT@"}, 5, "--yes"},
    };
    QFile(dir.filePath(QStringLiteral("marvil.ini"))).open(QIODevice::WriteOnly);
    {
        Sim sim;
        const QString device = startSim(sim, {"--field"});
        ASSERT_EQ(run({"read", "--port", device, "--output", "@DIR@/cfg.json"}).status, 0);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        Sim sim;
        const QString device = c.sim.isEmpty() ? QString() : startSim(sim, c.sim);
        const Finished r = run(c.args, device);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.out))) << r.out.toStdString();
    }
}

// A port with a slash is the path as the shell gave it, relative to the working folder, not under /dev.
TEST_F(CliCommandTest, PortWithASlashIsAPath) {
    const Finished r = run({"read", "--port", "./nodev"});
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(r.err.contains(QStringLiteral("порт %1/nodev не открыт").arg(QDir::currentPath())))
        << r.err.toStdString();
}

// What read saves, write puts back unchanged: the controller's table 4 after the write is the one read,
// the journal holds one entry, and read's JSON carries the very document of the file.
TEST_F(CliCommandTest, ReadThenWriteLeavesTheControllerAsItWas) {
    Sim sim;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QString device = startSim(sim, {"--field", "--state", state});
    ASSERT_TRUE(WriteCom1Settings(dir.filePath(QStringLiteral("marvil.ini")), device));
    const Finished read = run({"read", "--json", "--output", "@DIR@/cfg.json"});
    ASSERT_EQ(read.status, 0) << read.err.toStdString();
    const QJsonObject shown = QJsonDocument::fromJson(read.out.toUtf8()).object();
    const QJsonObject id = shown[QStringLiteral("identification")].toObject();
    EXPECT_EQ(id[QStringLiteral("softVersion")].toInt(), 3);
    EXPECT_TRUE(id[QStringLiteral("pulsesByFlow")].toBool());
    EXPECT_TRUE(id[QStringLiteral("ident")].toString().startsWith(QStringLiteral("2f 01 00 03")));
    EXPECT_TRUE(shown[QStringLiteral("state")].toObject()[QStringLiteral("configured")].toBool());
    QFile saved(dir.filePath(QStringLiteral("cfg.json")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(shown[QStringLiteral("configuration")].toObject(),
              QJsonDocument::fromJson(saved.readAll()).object());

    const Finished write = run({"write", "@DIR@/cfg.json"});
    ASSERT_EQ(write.status, 0) << write.err.toStdString();
    QFile journal(dir.filePath(QStringLiteral("journal.jsonl")));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> entries = journal.readAll().trimmed().split('\n');
    ASSERT_EQ(entries.size(), 1);
    const QJsonObject entry = QJsonDocument::fromJson(entries[0]).object();
    const QString before = entry[QStringLiteral("read")].toObject()[QStringLiteral("bytes")].toString();
    QFile after(state);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_TRUE(after.readAll().contains("table4 " + before.toUpper().toLatin1() + "\n"))
        << before.toStdString();
}

// A check whose count is far off ends "не годен" with status 1, and still leaves its report and its
// journal entry.
TEST_F(CliCommandTest, CheckJudgesTheStepAndKeepsItsRecord) {
    Sim sim;
    const QString device = startSim(sim, {"--field"});
    ASSERT_TRUE(WriteCom1Settings(dir.filePath(QStringLiteral("marvil.ini")), device));
    CheckPlan plan;
    plan.runCount = 2;
    plan.speedIndex = 7; // 9600 bit/s, as the controller polls its runs
    plan.output = {1.0, 0.1, 0.1};
    plan.steps = {CheckStep{{3600, 3600, 0}, CheckStep::Target::Pulses, 3}};
    QFile file(dir.filePath(QStringLiteral("plan.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(CheckPlanFileBytes(plan, QDateTime::currentDateTime()));
    file.close();

    EXPECT_EQ(run({"check", "@DIR@/plan.json", "--counted", "1,2"}).status, 2);
    // No count, and the end of input at the prompt: the check is aborted, with its journal entry.
    EXPECT_EQ(run({"check", "@DIR@/plan.json"}).status, 130);
    const Finished check = run({"check", "@DIR@/plan.json", "--counted", "1000", "--report", "@DIR@/r.pdf"});
    EXPECT_EQ(check.status, 1) << check.err.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("насчитано 1000"))) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("Итог: не годен"))) << check.out.toStdString();
    QFile report(dir.filePath(QStringLiteral("r.pdf")));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_TRUE(report.read(5) == "%PDF-");
    QFile journal(dir.filePath(QStringLiteral("journal.jsonl")));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> entries = journal.readAll().trimmed().split('\n');
    ASSERT_EQ(entries.size(), 2);
    for (const QByteArray& entry : entries)
        EXPECT_EQ(QJsonDocument::fromJson(entry).object()[QStringLiteral("kind")].toString(),
                  QStringLiteral("check"));
}

// A port another program holds is named with that program, so the engineer knows what to close.
TEST_F(CliCommandTest, BusyPortNamesItsHolder) {
    Sim sim;
    const QString device = startSim(sim, {});
    QtPort holder;
    OpenError error;
    ASSERT_TRUE(holder.open(device, 1200, &error)) << error.systemText.toStdString();
    const Finished r = run({"read", "--port", device});
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(r.err.contains(QStringLiteral("порт %1 не открыт").arg(device))) << r.err.toStdString();
    // The system keeps 15 characters of a program's name.
    EXPECT_TRUE(r.err.contains(QStringLiteral("Порт занят программой cli_command_tes (pid %1).")
                                   .arg(QCoreApplication::applicationPid())))
        << r.err.toStdString();
}

} // namespace
