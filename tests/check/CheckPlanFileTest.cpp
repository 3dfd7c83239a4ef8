// Check plans in files: a plan comes back as it was saved, its run and output fields read as a
// configuration file's, and damaged or foreign files are refused naming the file and the field.
#include "CfgJson.h"
#include "CfgRecord.h"
#include "CheckPlanFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <functional>
#include <gtest/gtest.h>

namespace {

CheckPlan TwoRunPlan() {
    CheckPlan plan;
    plan.runCount = 2;
    plan.runs = {{{7, 1, true}, {250, 2, false}, {3, 1, true}}};
    plan.speedIndex = 7;
    plan.output = OutputFromRecord(0.15f, 20, 35);
    CheckStep byPulses;
    byPulses.flowsM3h = {100.0, 250.5, 3600.0};
    byPulses.pulses = 20;
    CheckStep bySeconds;
    bySeconds.flowsM3h = {3600.0, 0.1, 3600.0};
    bySeconds.target = CheckStep::Target::Seconds;
    bySeconds.seconds = 90.5;
    plan.steps = {byPulses, bySeconds};
    plan.tolerance = 2;
    plan.site = QStringLiteral("ГРС «Южная»");
    plan.object = QStringLiteral("Узел учета №2");
    plan.engineer = QStringLiteral("Петров П. П.");
    return plan;
}

QJsonObject Document() {
    return QJsonDocument::fromJson(CheckPlanFileBytes(TwoRunPlan(), QDateTime::currentDateTime())).object();
}

TEST(CheckPlanFile, RoundTripWithFieldsAsTheConfigurationFileWritesThem) {
    const QByteArray bytes = CheckPlanFileBytes(TwoRunPlan(), QDateTime::currentDateTime());
    const CheckPlanRead read = ReadCheckPlanFile(bytes, QStringLiteral("plan.json"));
    ASSERT_TRUE(read.loaded) << read.message.toStdString();
    EXPECT_EQ(read.plan, TwoRunPlan());

    const QJsonObject doc = QJsonDocument::fromJson(bytes).object();
    EXPECT_EQ(doc.value(QStringLiteral("format")).toString(), QStringLiteral("RMZ-47 bench check plan"));
    EXPECT_EQ(doc.value(QStringLiteral("formatVersion")).toInt(), 1);
    CfgRecord same;
    same.FlCount = 2;
    same.V = 0.15f;
    same.Nag = 20;
    same.Pause = 35;
    same.Addr = {7, 250, 3};
    same.Nitka = {1, 2, 1};
    same.Speed = {11, 11, 11};
    same.Flags = {1, 0, 1};
    const QJsonObject config = RecordToJson(same, 2);
    const QJsonObject fields = doc.value(QStringLiteral("fields")).toObject();
    EXPECT_EQ(fields.size(), 16);
    for (auto it = fields.begin(); it != fields.end(); ++it)
        EXPECT_EQ(it.value(), config.value(it.key())) << it.key().toStdString();
    const QJsonArray steps = doc.value(QStringLiteral("steps")).toArray();
    EXPECT_EQ(steps[1].toObject(), (QJsonObject{{QStringLiteral("flows"), QJsonArray{3600.0, 0.1}},
                                                {QStringLiteral("seconds"), 90.5}}));
}

using Edit = std::function<void(QJsonObject&)>;

// Sets doc[path...] = value through nested objects and arrays.
void Put(QJsonObject& doc, const QString& group, const QString& key, const QJsonValue& value) {
    QJsonObject o = doc.value(group).toObject();
    o[key] = value;
    doc[group] = o;
}

void PutStep(QJsonObject& doc, int step, const QString& key, const QJsonValue& value) {
    QJsonArray steps = doc.value(QStringLiteral("steps")).toArray();
    QJsonObject s = steps[step].toObject();
    if (value.isUndefined())
        s.remove(key);
    else
        s[key] = value;
    steps[step] = s;
    doc[QStringLiteral("steps")] = steps;
}

QJsonObject Field(const QJsonValue& value, const QString& unit) {
    return {{QStringLiteral("value"), value}, {QStringLiteral("unit"), unit}};
}

TEST(CheckPlanFile, DamagedOrForeignFilesAreRefusedNamingFileAndField) {
    const QString sec = QStringLiteral("с");
    const struct {
        const char* name;
        Edit edit;
        const char* raw; // the file's bytes instead of the edited document
        QString says;
    } rows[] = {
        {"not JSON", nullptr, "V=0.1\n", QStringLiteral("не является планом проверки")},
        {"cut short", nullptr, "{\"format\": \"RMZ-47 bench check plan\", \"fields\": {",
         QStringLiteral("поврежден (объект не закрыт")},
        {"configuration file",
         [](QJsonObject& d) { d[QStringLiteral("format")] = QStringLiteral("RMZ-47 configuration"); }, nullptr,
         QStringLiteral("не является планом проверки")},
        {"format version", [](QJsonObject& d) { d[QStringLiteral("formatVersion")] = 2; }, nullptr,
         QStringLiteral("(неизвестная версия формата)")},
        {"no V",
         [](QJsonObject& d) {
             QJsonObject f = d.value(QStringLiteral("fields")).toObject();
             f.remove(QStringLiteral("V"));
             d[QStringLiteral("fields")] = f;
         },
         nullptr, QStringLiteral("(поле V)")},
        {"pulse too long", [&](QJsonObject& d) { Put(d, QStringLiteral("fields"), QStringLiteral("Nag"), Field(5, sec)); },
         nullptr, QStringLiteral("(поле Nag)")},
        {"two line speeds",
         [](QJsonObject& d) {
             Put(d, QStringLiteral("fields"), QStringLiteral("Speed2"), Field(1200, QStringLiteral("бит/с")));
         },
         nullptr, QStringLiteral("(поле Speed2)")},
        {"byte order", [](QJsonObject& d) { Put(d, QStringLiteral("fields"), QStringLiteral("ByteOrder1"), Field(1, QStringLiteral("-"))); },
         nullptr, QStringLiteral("(поле ByteOrder1)")},
        {"both targets", [](QJsonObject& d) { PutStep(d, 1, QStringLiteral("pulses"), 5); }, nullptr,
         QStringLiteral("(шаг 2, поле pulses)")},
        {"no target", [](QJsonObject& d) { PutStep(d, 0, QStringLiteral("pulses"), QJsonValue::Undefined); },
         nullptr, QStringLiteral("(шаг 1, поле seconds)")},
        {"pulses not whole", [](QJsonObject& d) { PutStep(d, 0, QStringLiteral("pulses"), 2.5); }, nullptr,
         QStringLiteral("(шаг 1, поле pulses)")},
        {"flows for one run", [](QJsonObject& d) { PutStep(d, 0, QStringLiteral("flows"), QJsonArray{100}); },
         nullptr, QStringLiteral("(шаг 1, поле flows)")},
        {"negative tolerance", [](QJsonObject& d) { d[QStringLiteral("tolerance")] = -1; }, nullptr,
         QStringLiteral("(поле tolerance)")},
        {"no engineer", [](QJsonObject& d) { d.remove(QStringLiteral("engineer")); }, nullptr,
         QStringLiteral("(поле engineer)")},
        {"no steps", [](QJsonObject& d) { d[QStringLiteral("steps")] = QJsonArray(); }, nullptr,
         QStringLiteral("не загружен: В плане нет ни одного шага.")},
        {"no flow", [](QJsonObject& d) { PutStep(d, 1, QStringLiteral("flows"), QJsonArray{0, 1}); }, nullptr,
         QStringLiteral("Шаг 2: расход нитки 1 должен быть больше нуля.")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QByteArray bytes = row.raw;
        if (row.edit) {
            QJsonObject doc = Document();
            row.edit(doc);
            bytes = QJsonDocument(doc).toJson();
        }
        const CheckPlanRead read = ReadCheckPlanFile(bytes, QStringLiteral("plan.json"));
        EXPECT_FALSE(read.loaded);
        EXPECT_TRUE(read.message.contains(QStringLiteral("«plan.json»"))) << read.message.toStdString();
        EXPECT_TRUE(read.message.contains(row.says)) << read.message.toStdString();
    }
}

} // namespace
