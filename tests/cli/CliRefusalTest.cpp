// What the command line refuses, it refuses before a byte goes out: each case runs against a line whose
// far end counts what arrives, and the journal tells what a write really left in the controller.
#include "CfgFile.h"
#include "CheckPlanFile.h"
#include "Pty.h"
#include "SimProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Ran {
    int status = -1;
    QString err, out;
};

class CliRefusal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.ok());
        QFile(path("marvil.ini")).open(QIODevice::WriteOnly);
        CfgRecord record;
        record.Answer = 700; // the factory's 1 s is below what the form takes
        save("cfg.json", CfgFileBytes(record, 3, QDateTime::currentDateTime()));
        CheckPlan plan;
        plan.output = {1.0, 0.1, 0.1};
        plan.steps = {CheckStep{}};
        save("plan.json", CheckPlanFileBytes(plan, QDateTime::currentDateTime()));
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void save(const char* name, const QByteArray& bytes) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The configuration file with one field's member replaced.
    void saveField(const char* name, const char* field, const char* member, const QJsonValue& value) {
        QFile f(path("cfg.json"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QJsonObject doc = QJsonDocument::fromJson(f.readAll()).object();
        QJsonObject fields = doc[QStringLiteral("fields")].toObject();
        QJsonObject one = fields[QString::fromLatin1(field)].toObject();
        one[QString::fromLatin1(member)] = value;
        fields[QString::fromLatin1(field)] = one;
        doc[QStringLiteral("fields")] = fields;
        save(name, QJsonDocument(doc).toJson());
    }
    Ran run(QStringList args, const QString& port) {
        args.replaceInStrings(QStringLiteral("@DIR@"), dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("RMZ47_SETTINGS"), path("marvil.ini"));
        env.insert(QStringLiteral("RMZ47_DATA_DIR"), dir.path());
        QProcess tool;
        tool.setProcessEnvironment(env);
        // Standard input as cron and systemd give it: nothing can be typed there.
        tool.setStandardInputFile(QProcess::nullDevice());
        tool.start(QStringLiteral(RMZ47_PATH), args + QStringList{"--port", port});
        EXPECT_TRUE(tool.waitForFinished(60000)) << args.join(' ').toStdString();
        return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardError()),
                QString::fromUtf8(tool.readAllStandardOutput())};
    }
    QTemporaryDir dir;
    PtyPair line;
};

TEST_F(CliRefusal, RefusesBeforeAByteGoesOut) {
    struct Case {
        QStringList args;
        int status;
        const char* err;
    };
    saveField("litres.json", "V", "unit", QStringLiteral("л"));
    saveField("period.json", "Period", "value", 11);
    saveField("addr.json", "Addr1", "value", 300);
    saveField("v0.json", "V", "value", 0);
    saveField("vhuge.json", "V", "value", 1e300);
    QByteArray zero("{\"format\": \"RMZ-47 bench check plan\", \"formatVersion\": 1}");
    zero.insert(10, '\0');
    save("zero.json", zero);
    const Case cases[] = {
        {{"imitate", "--run", "1:1:0"}, 2, "--run 1:1: Значение должно быть больше нуля!"},
        {{"imitate", "--run", "1:1:-5"}, 2, "Значение должно быть больше нуля!"},
        {{"imitate", "--run", "1:1:1e300"}, 2, "Значение расхода слишком велико!"},
        {{"imitate", "--run", "1:1:5", "--pulse-value", "0", "--pulses", "3"}, 2, "--pulse-value: Значение"},
        {{"imitate", "--run", "1:1:5", "--run", "1:1:7", "--for", "300ms"}, 0, "1:1 задана дважды"},
        {{"write", "@DIR@/litres.json"}, 5, "(поле V: единица «л», а значение этого поля задаётся в «м3».)"},
        {{"write", "@DIR@/period.json"}, 5, "(поле Period: Значение периода опроса должно быть от 1 до 10"},
        {{"write", "@DIR@/addr.json"}, 5, "(поле Addr1: Значение должно быть от 1 до 255.)"},
        {{"write", "@DIR@/v0.json"}, 5, "(поле V: Значение цены импульса должно быть больше нуля!)"},
        {{"write", "@DIR@/vhuge.json"}, 5, "(поле V: Значение цены импульса выходит за допустимые"},
        {{"write", "/dev/zero"}, 5, "«zero» не прочитан: он больше 1 МиБ"},
        {{"write", "@DIR@"}, 5, "не прочитан: это папка, а не файл"},
        {{"write", "@DIR@/none.json"}, 5, "не прочитан: нет такого файла или папки"},
        {{"write", "-"}, 5, "«стандартный ввод» не является файлом конфигурации"},
        {{"check", "/dev/urandom", "--counted", "1"}, 5, "«urandom» не прочитан: он больше 1 МиБ"},
        {{"check", "@DIR@/zero.json", "--counted", "1"}, 5, "нулевой байт в тексте, позиция 10"},
        {{"check", "@DIR@/plan.json"}, 2, "нет терминала, чтобы спросить сосчитанные импульсы"},
        {{"check", "@DIR@/plan.json", "--counted", "1", "--report", "@DIR@/no/r.pdf"}, 5, "/no нет"},
        {{"check", "@DIR@/plan.json", "--counted", "1", "--report", "@DIR@"}, 5, "папка, а не файл"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Ran r = run(c.args, line.slavePath());
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
        EXPECT_EQ(line.readUntilQuiet(50, 200).size(), 0);
    }
}

// A controller that acknowledges a write and keeps its old record: the write fails, and its journal
// entry says the read-back differed and in which fields, beside what came back.
TEST_F(CliRefusal, JournalTellsAWriteTheReadBackDidNotFind) {
    QProcess sim;
    QString device;
    ASSERT_TRUE(
        StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), {"--field", "--forget-writes", "--quiet"}, &device));
    ASSERT_EQ(run({"read", "--output", "@DIR@/cfg.json"}, device).status, 0);
    saveField("nag.json", "Nag", "value", 0.5);
    const Ran dry = run({"write", "@DIR@/nag.json", "--dry-run"}, device);
    EXPECT_EQ(dry.status, 0) << dry.err.toStdString();
    EXPECT_TRUE(dry.out.contains(QStringLiteral("записано ничего не было):\n  Nag: 0")))
        << dry.out.toStdString();
    const Ran r = run({"write", "@DIR@/nag.json"}, device);
    sim.kill();
    sim.waitForFinished();
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("отличается от записанной: Nag"))) << r.err.toStdString();
    QFile journal(path("journal.jsonl"));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> entries = journal.readAll().trimmed().split('\n');
    ASSERT_EQ(entries.size(), 1);
    const QJsonObject entry = QJsonDocument::fromJson(entries[0]).object();
    EXPECT_TRUE(entry[QStringLiteral("result")].toString().startsWith(
        QStringLiteral("Конфигурация записана, проверка не совпала: Nag")))
        << entry[QStringLiteral("result")].toString().toStdString();
    EXPECT_EQ(entry[QStringLiteral("readBack")], entry[QStringLiteral("read")]);
}

} // namespace
