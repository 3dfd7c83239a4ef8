#include "CheckJournal.h"

#include "CfgJson.h"
#include "CheckPlanFile.h"
#include "CheckSteps.h"
#include "NumText.h"
#include "Version.h"

#include <QJsonArray>
#include <QUuid>

namespace {

const QString kPlan = QStringLiteral("plan");
const QString kController = QStringLiteral("controller");
const QString kSteps = QStringLiteral("steps");
const QString kStarted = QStringLiteral("started");
const QString kEnded = QStringLiteral("ended");
const QString kAborted = QStringLiteral("aborted");
const QString kSoftVersion = QStringLiteral("softVersion");
const QString kIdent = QStringLiteral("ident");
const QString kConfigured = QStringLiteral("configured");
const QString kFields = QStringLiteral("fields");
const QString kDuration = QStringLiteral("seconds");
const QString kVolume = QStringLiteral("volume");
const QString kTotal = QStringLiteral("totalVolume");
const QString kExpected = QStringLiteral("expected");
const QString kCounted = QStringLiteral("counted");
const QString kLineLost = QStringLiteral("lineLost");
const QString kCurve = QStringLiteral("curve");
const QString kAnswers = QStringLiteral("answers");
const QString kDifferences = QStringLiteral("planDifferences");

QJsonObject ControllerToJson(const CheckController& c) {
    QJsonObject o{{kIdent, QString::fromLatin1(c.ident.toHex(' '))}, {kFields, c.fields}};
    if (c.softVersion)
        o[kSoftVersion] = *c.softVersion;
    if (c.configured)
        o[kConfigured] = *c.configured;
    return o;
}

CheckController ControllerFromJson(const QJsonObject& o) {
    CheckController c;
    const QJsonValue version = o.value(kSoftVersion);
    if (version.isDouble() && version.toInt(-1) >= 0 && version.toInt(-1) <= 255)
        c.softVersion = quint8(version.toInt());
    c.ident = QByteArray::fromHex(o.value(kIdent).toString().toLatin1());
    if (o.value(kConfigured).isBool())
        c.configured = o.value(kConfigured).toBool();
    c.fields = o.value(kFields).toObject();
    return c;
}

QJsonObject StepToJson(const CheckStepResult& r, int tolerance) {
    QJsonArray curve;
    for (const QPointF& point : r.curve)
        curve.append(QJsonArray{point.x(), point.y()});
    QJsonObject o{{kDuration, r.durationS},
                  {kVolume, r.volumeM3},
                  {kTotal, r.totalM3},
                  {kExpected, r.expectedPulses},
                  {kLineLost, r.lineLost},
                  {kCurve, curve},
                  {kAnswers, QJsonArray{r.answers[0], r.answers[1], r.answers[2]}},
                  {QStringLiteral("verdict"), VerdictText(StepVerdict(r, tolerance))}};
    if (r.countedPulses)
        o[kCounted] = *r.countedPulses;
    return o;
}

std::optional<CheckStepResult> StepFromJson(const QJsonObject& o) {
    CheckStepResult r;
    if (!o.value(kDuration).isDouble() || !o.value(kVolume).isDouble() || !o.value(kExpected).isDouble())
        return std::nullopt;
    r.durationS = o.value(kDuration).toDouble();
    r.volumeM3 = o.value(kVolume).toDouble();
    // Entries from before the counters went on across steps: each step started from nothing.
    r.totalM3 = o.value(kTotal).toDouble(r.volumeM3);
    r.expectedPulses = qint64(o.value(kExpected).toDouble());
    if (o.value(kCounted).isDouble())
        r.countedPulses = qint64(o.value(kCounted).toDouble());
    r.lineLost = o.value(kLineLost).toBool();
    const QJsonArray answers = o.value(kAnswers).toArray();
    for (int i = 0; i < kCheckRunsMax && i < answers.size(); ++i)
        r.answers[std::size_t(i)] = answers[i].toInt();
    for (const auto& point : o.value(kCurve).toArray())
        r.curve.append(QPointF(point.toArray().at(0).toDouble(), point.toArray().at(1).toDouble()));
    return r;
}

QJsonArray DifferencesToJson(const QList<PlanMismatch>& differences) {
    QJsonArray out;
    for (const PlanMismatch& m : differences)
        out.append(QJsonObject{{QStringLiteral("field"), m.field},
                               {QStringLiteral("plan"), m.plan},
                               {QStringLiteral("controller"), m.controller}});
    return out;
}

QList<PlanMismatch> DifferencesFromJson(const QJsonArray& array) {
    QList<PlanMismatch> out;
    for (const QJsonValue& v : array) {
        const QJsonObject o = v.toObject();
        out << PlanMismatch{o.value(QStringLiteral("field")).toString(),
                            o.value(QStringLiteral("plan")).toString(),
                            o.value(QStringLiteral("controller")).toString()};
    }
    return out;
}

} // namespace

QJsonObject CheckJournalEntry(const CheckRecord& record, int portNumber, const QString& device) {
    QJsonArray steps;
    for (const CheckStepResult& r : record.steps)
        steps.append(StepToJson(r, record.plan.tolerance));
    const CheckVerdict verdict = OverallVerdict(record);
    const QString result = record.aborted ? QStringLiteral("Проверка прервана")
                           : verdict == CheckVerdict::None
                               ? QStringLiteral("Проверка без заключения")
                               : QStringLiteral("Проверка: ") + VerdictText(verdict);
    return {{QStringLiteral("type"), QStringLiteral("entry")},
            {QStringLiteral("kind"), QStringLiteral("check")},
            {QStringLiteral("id"),
             record.id.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : record.id},
            {QStringLiteral("time"), MomentText(record.ended)},
            {QStringLiteral("port"),
             portNumber > 0 ? QStringLiteral("COM%1").arg(portNumber) : QStringLiteral("нет")},
            {QStringLiteral("device"), device},
            {QStringLiteral("program"),
             record.program.isEmpty() ? QStringLiteral(RMZ47_VERSION) : record.program},
            {QStringLiteral("result"), result},
            {QStringLiteral("verdict"), VerdictText(verdict)},
            {kStarted, MomentText(record.started)},
            {kEnded, MomentText(record.ended)},
            {kAborted, record.aborted},
            {kPlan, PlanToJson(record.plan)},
            {kDifferences, DifferencesToJson(record.planDifferences)},
            {kController, ControllerToJson(record.controller)},
            {kSteps, steps}};
}

std::optional<CheckRecord> CheckFromJournal(const QJsonObject& entry, QString* problem) {
    const auto fail = [problem](const QString& what) {
        if (problem)
            *problem = what;
        return std::nullopt;
    };
    if (entry.value(QStringLiteral("kind")).toString() != QStringLiteral("check"))
        return fail(QStringLiteral("запись журнала не о проверке"));
    CheckRecord record;
    const std::optional<CheckPlan> plan = PlanFromJson(entry.value(kPlan).toObject(), problem);
    if (!plan)
        return std::nullopt;
    record.plan = *plan;
    for (const auto& [key, text] : {std::pair{QStringLiteral("site"), &record.plan.site},
                                    std::pair{QStringLiteral("object"), &record.plan.object}})
        if (!entry.value(key).toString().isEmpty())
            *text = entry.value(key).toString();
    record.controller = ControllerFromJson(entry.value(kController).toObject());
    record.planDifferences = DifferencesFromJson(entry.value(kDifferences).toArray());
    record.id = entry.value(QStringLiteral("id")).toString();
    record.program = entry.value(QStringLiteral("program")).toString();
    record.port = entry.value(QStringLiteral("port")).toString();
    record.device = entry.value(QStringLiteral("device")).toString();
    record.started = QDateTime::fromString(entry.value(kStarted).toString(), Qt::ISODate);
    record.ended = QDateTime::fromString(entry.value(kEnded).toString(), Qt::ISODate);
    record.aborted = entry.value(kAborted).toBool();
    const QJsonArray steps = entry.value(kSteps).toArray();
    for (int s = 0; s < steps.size(); ++s) {
        const std::optional<CheckStepResult> r = StepFromJson(steps[s].toObject());
        if (!r)
            return fail(QStringLiteral("шаг %1").arg(s + 1));
        record.steps.append(*r);
    }
    return record;
}
