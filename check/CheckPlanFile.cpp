#include "CheckPlanFile.h"

#include "CfgFile.h"
#include "CfgJson.h"
#include "CfgRecord.h"
#include "FileRead.h"
#include "LineSpeed.h"
#include "NumText.h"
#include "Version.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace {

const QString kFormat = QStringLiteral("RMZ-47 bench check plan");
constexpr int kFormatVersion = 1;
// The first version whose record holds the runs' byte order; the plan's fields are written as for it.
constexpr quint8 kFieldsVersion = 2;

const QString kFields = QStringLiteral("fields");
const QString kSteps = QStringLiteral("steps");
const QString kFlows = QStringLiteral("flows");
const QString kPulses = QStringLiteral("pulses");
const QString kSeconds = QStringLiteral("seconds");
const QString kTolerance = QStringLiteral("tolerance");
const QString kSite = QStringLiteral("site");
const QString kObject = QStringLiteral("object");
const QString kEngineer = QStringLiteral("engineer");

// The fields a plan has; the configuration's other fields (period, answer time-out) are not its own.
const QStringList& PlanFieldKeys() {
    static const QStringList keys{
        QStringLiteral("FlCount"),    QStringLiteral("Addr1"),      QStringLiteral("Addr2"),
        QStringLiteral("Addr3"),      QStringLiteral("Nitka1"),     QStringLiteral("Nitka2"),
        QStringLiteral("Nitka3"),     QStringLiteral("Speed1"),     QStringLiteral("Speed2"),
        QStringLiteral("Speed3"),     QStringLiteral("ByteOrder1"), QStringLiteral("ByteOrder2"),
        QStringLiteral("ByteOrder3"), QStringLiteral("V"),          QStringLiteral("Nag"),
        QStringLiteral("Pause")};
    return keys;
}

CfgRecord PlanRecord(const CheckPlan& plan) {
    CfgRecord r;
    r.FlCount = quint8(plan.runCount);
    r.V = float(plan.output.v);
    r.Nag = quint8(std::lround(plan.output.pulseS * 100));
    r.Pause = quint8(std::lround(plan.output.pauseS * 100));
    for (int i = 0; i < kCheckRunsMax; ++i) {
        r.Addr[i] = plan.runs[i].address;
        r.Nitka[i] = plan.runs[i].run;
        r.Speed[i] = quint8(proto::SpeedIndexToCode(plan.speedIndex));
        r.Flags[i] = plan.runs[i].msbFirst ? 1 : 0; // inverse order: most significant byte first
    }
    return r;
}

QJsonObject StepToJson(const CheckStep& step, int runCount) {
    QJsonArray flows;
    for (int r = 0; r < runCount; ++r)
        flows.append(step.flowsM3h[r]);
    QJsonObject o{{kFlows, flows}};
    if (step.target == CheckStep::Target::Pulses)
        o[kPulses] = step.pulses;
    else
        o[kSeconds] = step.seconds;
    return o;
}

bool IsWhole(const QJsonValue& v, double low, double high) {
    const double x = v.toDouble();
    return v.isDouble() && x >= low && x <= high && x == std::floor(x);
}

// A step's members; false when one is missing or wrong.
bool StepFromJson(const QJsonObject& o, int runCount, CheckStep* step, QString* field) {
    const QJsonArray flows = o.value(kFlows).toArray();
    *field = kFlows;
    if (!o.value(kFlows).isArray() || flows.size() != runCount)
        return false;
    for (int r = 0; r < runCount; ++r) {
        if (!flows[r].isDouble())
            return false;
        step->flowsM3h[r] = flows[r].toDouble();
    }
    const bool byPulses = o.contains(kPulses);
    // Exactly one target: a step with both or neither is not one the window could have written.
    *field = byPulses ? kPulses : kSeconds;
    if (byPulses == o.contains(kSeconds))
        return false;
    step->target = byPulses ? CheckStep::Target::Pulses : CheckStep::Target::Seconds;
    if (byPulses) {
        if (!IsWhole(o.value(kPulses), 1, 1e12))
            return false;
        step->pulses = qint64(o.value(kPulses).toDouble());
    } else {
        step->seconds = o.value(kSeconds).toDouble(-1);
        if (!(step->seconds > 0))
            return false;
    }
    return true;
}

bool Fail(QString* problem, const QString& text) {
    if (problem)
        *problem = text;
    return false;
}

// The runs, the line speed and the output from the configuration-style fields.
bool FieldsToPlan(const QJsonObject& given, CheckPlan& plan, QString* problem) {
    // The record reader wants the fields a plan does not keep: they get the defaults and are dropped.
    CfgRecord filler;
    filler.Period = quint16(TimedRange(TimedField::Period).low * 100);
    filler.Answer = quint16(TimedRange(TimedField::Answer).low * 100);
    QJsonObject fields = RecordToJson(filler, kFieldsVersion);
    for (const QString& key : PlanFieldKeys()) {
        if (!given.contains(key))
            return Fail(problem, QStringLiteral("поле ") + key);
        fields[key] = given.value(key);
    }
    FieldProblem fault;
    const std::optional<CfgRecord> r = RecordFromJson(fields, kFieldsVersion, &fault);
    if (!r)
        return Fail(problem, fault.message());
    // The imitation line has one speed for all its runs.
    for (int i = 1; i < kCheckRunsMax; ++i)
        if (r->Speed[i] != r->Speed[0])
            return Fail(problem, QStringLiteral("поле Speed%1").arg(i + 1));
    plan.runCount = r->FlCount;
    plan.speedIndex = proto::SpeedCodeToIndex(r->Speed[0]);
    plan.output = OutputFromRecord(r->V, r->Nag, r->Pause);
    for (int i = 0; i < kCheckRunsMax; ++i)
        plan.runs[i] = {r->Addr[i], r->Nitka[i], (r->Flags[i] & 1) != 0};
    return true;
}

QString Quoted(const QString& fileName) {
    return QStringLiteral("«") + fileName + QStringLiteral("»");
}

CheckPlanRead Refused(const QString& message) {
    CheckPlanRead r;
    r.message = message;
    return r;
}

CheckPlanRead Damaged(const QString& fileName, const QString& what) {
    return Refused(QStringLiteral("Файл плана проверки ") + Quoted(fileName) +
                   QStringLiteral(" поврежден (") + what + QStringLiteral("), план не загружен."));
}

} // namespace

QJsonObject PlanToJson(const CheckPlan& plan) {
    const QJsonObject all = RecordToJson(PlanRecord(plan), kFieldsVersion);
    QJsonObject fields;
    for (const QString& key : PlanFieldKeys())
        fields[key] = all.value(key);
    QJsonArray steps;
    for (const CheckStep& step : plan.steps)
        steps.append(StepToJson(step, plan.runCount));
    return {{kFields, fields},  {kSteps, steps},        {kTolerance, plan.tolerance},
            {kSite, plan.site}, {kObject, plan.object}, {kEngineer, plan.engineer}};
}

std::optional<CheckPlan> PlanFromJson(const QJsonObject& o, QString* problem) {
    CheckPlan plan;
    if (!FieldsToPlan(o.value(kFields).toObject(), plan, problem))
        return std::nullopt;
    if (!o.value(kSteps).isArray()) {
        Fail(problem, QStringLiteral("поле ") + kSteps);
        return std::nullopt;
    }
    const QJsonArray steps = o.value(kSteps).toArray();
    for (int s = 0; s < steps.size(); ++s) {
        CheckStep step;
        QString field;
        if (!StepFromJson(steps[s].toObject(), plan.runCount, &step, &field)) {
            Fail(problem, QStringLiteral("шаг %1, поле %2").arg(s + 1).arg(field));
            return std::nullopt;
        }
        plan.steps.append(step);
    }
    if (!IsWhole(o.value(kTolerance), 0, 1e9)) {
        Fail(problem, QStringLiteral("поле ") + kTolerance);
        return std::nullopt;
    }
    plan.tolerance = o.value(kTolerance).toInt();
    for (const auto& [key, text] : {std::pair{kSite, &plan.site}, std::pair{kObject, &plan.object},
                                    std::pair{kEngineer, &plan.engineer}}) {
        if (!o.value(key).isString()) {
            Fail(problem, QStringLiteral("поле ") + key);
            return std::nullopt;
        }
        *text = o.value(key).toString();
    }
    return plan;
}

QByteArray CheckPlanFileBytes(const CheckPlan& plan, const QDateTime& saved) {
    QJsonObject doc = PlanToJson(plan);
    doc[QStringLiteral("format")] = kFormat;
    doc[QStringLiteral("formatVersion")] = kFormatVersion;
    doc[QStringLiteral("program")] = QStringLiteral(RMZ47_VERSION);
    doc[QStringLiteral("saved")] = MomentText(saved);
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

CheckPlanRead ReadCheckPlanFile(const QByteArray& bytes, const QString& fileName) {
    const OwnDocument doc = ReadOwnDocument(bytes, kFormat, kFormatVersion);
    if (doc.outcome == OwnDocument::Outcome::Foreign)
        return Refused(QStringLiteral("Файл ") + Quoted(fileName) +
                       QStringLiteral(" не является планом проверки контроллера RMZ-47."));
    if (doc.outcome == OwnDocument::Outcome::Damaged)
        return Damaged(fileName, doc.damage);
    QString problem;
    const std::optional<CheckPlan> plan = PlanFromJson(doc.object, &problem);
    if (!plan)
        return Damaged(fileName, problem);
    problem = CheckPlanProblem(*plan);
    if (!problem.isEmpty())
        return Refused(QStringLiteral("План проверки в файле ") + Quoted(fileName) +
                       QStringLiteral(" не загружен: ") + problem);
    CheckPlanRead r;
    r.loaded = true;
    r.plan = *plan;
    return r;
}

CheckPlanRead LoadCheckPlanFile(const QString& path) {
    const QString name = OwnFileName(path);
    QString error;
    const std::optional<QByteArray> bytes = ReadLimitedFile(path, kOwnFileLimit, &error);
    if (!bytes)
        return Refused(QStringLiteral("Файл ") + Quoted(name) + QStringLiteral(" не прочитан: ") + error);
    return ReadCheckPlanFile(*bytes, name);
}
