// rmz47 validate: a configuration or check plan file judged offline by the rules write and check apply,
// and what it holds printed, so that a script can check a file before it goes to a bench.
#include "CliCommand.h"
#include "CliJob.h"
#include "CliOptions.h"
#include "CliOutput.h"

#include "CfgFile.h"
#include "CfgJson.h"
#include "CheckPlanFile.h"
#include "NumText.h"

#include <QJsonArray>

namespace {

// "  Period: 2 с", one line a field, in the document's order of keys.
QString FieldsText(const QJsonObject& fields) {
    QString text;
    for (auto it = fields.begin(); it != fields.end(); ++it)
        text += QStringLiteral("  %1: %2\n").arg(it.key(), FieldText(it.value().toObject()));
    return text;
}

QString StepsText(const CheckPlan& plan) {
    QString text;
    for (int s = 0; s < plan.steps.size(); ++s) {
        const CheckStep& step = plan.steps[s];
        QStringList flows;
        for (int r = 0; r < plan.runCount; ++r)
            flows << FormatNumber(step.flowsM3h[std::size_t(r)], 3);
        text += QStringLiteral("  Шаг %1: расход %2 м3/ч, %3\n")
                    .arg(s + 1)
                    .arg(flows.join(QStringLiteral("; ")),
                         step.target == CheckStep::Target::Pulses
                             ? QStringLiteral("до %1 %2")
                                   .arg(step.pulses)
                                   .arg(RussianPlural(step.pulses, u"импульса", u"импульсов", u"импульсов"))
                             : QStringLiteral("%1 с").arg(FormatNumber(step.seconds, 3)));
    }
    return text;
}

int ShowConfiguration(const QString& name, const CfgFileRead& file) {
    const QJsonObject fields = RecordToJson(file.record, file.softVersion);
    if (CurrentOutputMode().json) {
        PrintJson({{QStringLiteral("kind"), QStringLiteral("configuration")},
                   {QStringLiteral("softVersion"), file.softVersion},
                   {QStringLiteral("fields"), fields}});
        return kExitDone;
    }
    PrintOut(QStringLiteral("Файл «%1»: конфигурация для версии ПО %2, принимается формой.\n")
                 .arg(name)
                 .arg(file.softVersion) +
             FieldsText(fields));
    return kExitDone;
}

int ShowPlan(const QString& name, const CheckPlan& plan) {
    const QJsonObject members = PlanToJson(plan);
    if (CurrentOutputMode().json) {
        PrintJson({{QStringLiteral("kind"), QStringLiteral("plan")}, {QStringLiteral("plan"), members}});
        return kExitDone;
    }
    PrintOut(QStringLiteral("Файл «%1»: план проверки, ниток %2, шагов %3, допуск %4 имп.\n")
                 .arg(name)
                 .arg(plan.runCount)
                 .arg(plan.steps.size())
                 .arg(plan.tolerance) +
             FieldsText(members.value(QStringLiteral("fields")).toObject()) + StepsText(plan));
    return kExitDone;
}

} // namespace

int RunCliValidate(const ValidateOptions& options) {
    CliJob job(QStringLiteral("validate"));
    CfgFileRead refusal;
    const std::optional<QByteArray> bytes = LoadCfgBytes(options.file, &refusal);
    if (!bytes)
        return job.fail(kExitFile, refusal.message);
    const QString name = OwnFileName(options.file);
    const CfgFileRead file = ReadCfgFileAlone(*bytes, name);
    if (file.outcome == CfgFileRead::Outcome::Loaded)
        return ShowConfiguration(name, file);
    if (file.outcome != CfgFileRead::Outcome::Foreign)
        return job.fail(kExitFile, file.message, file.field);
    const CheckPlanRead plan = ReadCheckPlanFile(*bytes, name);
    if (plan.loaded)
        return ShowPlan(name, plan.plan);
    return job.fail(kExitFile, plan.message);
}
