// Check plans in files: a plan comes back as it was saved, its run and output fields read as a
// configuration file's, and damaged or foreign files are refused naming the file and the field.
#include "CheckPlanFile.h"
#include "CfgRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <tuple>

namespace {

CheckPlan TwoRunPlan() {
    CheckPlan plan;
    plan.runCount = 2;
    plan.runs = {{{7, 1, true}, {250, 2, false}, {3, 1, true}}};
    plan.speedIndex = 7;
    plan.output = OutputFromRecord(0.15f, 20, 35);
    plan.steps = {{{100.0, 250.5, 3600.0}, CheckStep::Target::Pulses, 20, 0},
                  {{3600.0, 0.1, 3600.0}, CheckStep::Target::Seconds, 0, 90.5}};
    plan.tolerance = 2;
    std::tie(plan.site, plan.object, plan.engineer) = std::tuple(
        QStringLiteral("ГРС «Южная»"), QStringLiteral("Узел учета №2"), QStringLiteral("Петров П. П."));
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
    // Read as a configuration file's fields: values in the operator's units, each with its unit.
    const QJsonObject fields = doc.value(QStringLiteral("fields")).toObject();
    EXPECT_EQ(fields.size(), 16);
    const auto field = [](const QJsonValue& value, const char* unit) {
        return QJsonObject{{QStringLiteral("value"), value},
                           {QStringLiteral("unit"), QString::fromUtf8(unit)}};
    };
    EXPECT_EQ(fields[QStringLiteral("V")], field(0.15, "м3"));
    EXPECT_EQ(fields[QStringLiteral("Pause")], field(0.35, "с"));
    EXPECT_EQ(fields[QStringLiteral("Speed3")], field(9600, "бит/с"));
    EXPECT_EQ(fields[QStringLiteral("ByteOrder2")], field(QStringLiteral("direct"), "-"));
    const QJsonArray steps = doc.value(QStringLiteral("steps")).toArray();
    EXPECT_EQ(steps[1].toObject(), (QJsonObject{{QStringLiteral("flows"), QJsonArray{3600.0, 0.1}},
                                                {QStringLiteral("seconds"), 90.5}}));
}

// The value at a path of keys and array indexes ("steps/1/pulses") replaced; Undefined removes it.
QJsonValue With(const QJsonValue& at, QStringList path, const QJsonValue& value) {
    if (path.isEmpty())
        return value;
    const QString key = path.takeFirst();
    if (at.isArray()) {
        QJsonArray a = at.toArray();
        a[key.toInt()] = With(a[key.toInt()], path, value);
        return a;
    }
    QJsonObject o = at.toObject();
    const QJsonValue inner = With(o.value(key), path, value);
    inner.isUndefined() ? void(o.remove(key)) : void(o.insert(key, inner));
    return o;
}

TEST(CheckPlanFile, DamagedOrForeignFilesAreRefusedNamingFileAndField) {
    const QJsonValue gone = QJsonValue::Undefined;
    const struct {
        const char* path; // in the saved document; none: the file's bytes are `raw`
        QJsonValue value;
        const char* raw;
        QString says;
    } rows[] = {
        {nullptr, {}, "V=0.1\n", QStringLiteral("не является планом проверки")},
        {nullptr,
         {},
         "{\"format\": \"RMZ-47 bench check plan\", \"fields\": {",
         QStringLiteral("поврежден (объект не закрыт")},
        {"format", QStringLiteral("RMZ-47 configuration"), "", QStringLiteral("не является планом проверки")},
        {"formatVersion", 2, "", QStringLiteral("(неизвестная версия формата)")},
        {"fields/V", gone, "", QStringLiteral("(поле V)")},
        {"fields/Nag/value", 5, "",
         QStringLiteral("(поле Nag: Значение длительности импульса должно быть от 0,1 до 2 секунд!)")},
        {"fields/Speed2/value", 1200, "", QStringLiteral("(поле Speed2)")}, // one line, one speed
        {"fields/ByteOrder1/value", 1, "", QStringLiteral("(поле ByteOrder1)")},
        {"steps/1/pulses", 5, "", QStringLiteral("(шаг 2, поле pulses)")}, // two targets
        {"steps/0/pulses", gone, "", QStringLiteral("(шаг 1, поле seconds)")},
        {"steps/0/pulses", 2.5, "", QStringLiteral("(шаг 1, поле pulses)")},
        {"steps/0/flows", QJsonArray{100}, "", QStringLiteral("(шаг 1, поле flows)")},
        {"tolerance", -1, "", QStringLiteral("(поле tolerance)")},
        {"engineer", gone, "", QStringLiteral("(поле engineer)")},
        {"steps", QJsonArray(), "", QStringLiteral("не загружен: В плане нет ни одного шага.")},
        {"steps/1/flows/0", 0, "",
         QStringLiteral("Шаг 2: расход нитки 1: Значение должно быть больше нуля!")},
        {"steps/0/flows/0", 1e300, "",
         QStringLiteral("Шаг 1: расход нитки 1: Значение расхода слишком велико!")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path ? row.path : row.raw);
        const QByteArray bytes =
            row.path ? QJsonDocument(
                           With(Document(), QString::fromLatin1(row.path).split(QLatin1Char('/')), row.value)
                               .toObject())
                           .toJson()
                     : QByteArray(row.raw);
        const CheckPlanRead read = ReadCheckPlanFile(bytes, QStringLiteral("plan.json"));
        EXPECT_FALSE(read.loaded);
        EXPECT_TRUE(read.message.contains(QStringLiteral("«plan.json»"))) << read.message.toStdString();
        EXPECT_TRUE(read.message.contains(row.says)) << read.message.toStdString();
    }
}

} // namespace
