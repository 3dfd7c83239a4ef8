#include "CheckPlan.h"

#include "CfgRecord.h"
#include "FlowAnswer.h"
#include "ImitSettings.h"
#include "LineSpeed.h"

#include <cmath>

namespace {

QString StepPrefix(int step) {
    return QStringLiteral("Шаг %1: ").arg(step + 1);
}

QString StepProblem(const CheckPlan& plan, int s) {
    const CheckStep& step = plan.steps[s];
    for (int r = 0; r < plan.runCount; ++r)
        // The imitation dialog's rule: the flow goes on the line as a single, and its volume must stay
        // finite for the whole step.
        if (const QString problem = ImitFlowProblem(step.flowsM3h[r]); !problem.isEmpty())
            return StepPrefix(s) + QStringLiteral("расход нитки %1: ").arg(r + 1) + problem.trimmed();
    if (step.target == CheckStep::Target::Pulses && step.pulses < 1)
        return StepPrefix(s) + QStringLiteral("число импульсов должно быть не меньше 1.");
    if (step.target == CheckStep::Target::Seconds && !(step.seconds > 0 && std::isfinite(step.seconds)))
        return StepPrefix(s) + QStringLiteral("длительность должна быть больше нуля.");
    return {};
}

} // namespace

bool CheckStep::operator==(const CheckStep& o) const {
    return flowsM3h == o.flowsM3h && target == o.target &&
           (target == Target::Pulses ? pulses == o.pulses : seconds == o.seconds);
}

bool CheckPlan::operator==(const CheckPlan& o) const {
    return runCount == o.runCount && runs == o.runs && speedIndex == o.speedIndex && output.v == o.output.v &&
           output.pulseS == o.output.pulseS && output.pauseS == o.output.pauseS && steps == o.steps &&
           tolerance == o.tolerance && site == o.site && object == o.object && engineer == o.engineer;
}

QString CheckPlanProblem(const CheckPlan& plan) {
    if (plan.runCount < 1 || plan.runCount > kCheckRunsMax)
        return QStringLiteral("Количество ниток должно быть от 1 до 3.");
    for (int r = 0; r < plan.runCount; ++r)
        if (plan.runs[r].address == 0 || plan.runs[r].run == 0)
            return QStringLiteral("Нитка %1: адрес и номер нитки должны быть от 1 до 255.").arg(r + 1);
    if (plan.speedIndex < 0 || plan.speedIndex > 10)
        return QStringLiteral("Скорость линии не выбрана.");
    if (!plan.output.knowsV())
        return QStringLiteral("Цена импульса должна быть больше нуля.");
    // The controller keeps pulse and pause in hundredths of a second within the configuration's bounds.
    if (!TimedRange(TimedField::Nag).contains(plan.output.pulseS))
        return QString::fromUtf16(TimedRange(TimedField::Nag).message);
    if (!TimedRange(TimedField::Pause).contains(plan.output.pauseS))
        return QString::fromUtf16(TimedRange(TimedField::Pause).message);
    if (plan.steps.isEmpty())
        return QStringLiteral("В плане нет ни одного шага.");
    for (int s = 0; s < plan.steps.size(); ++s)
        if (QString problem = StepProblem(plan, s); !problem.isEmpty())
            return problem;
    if (plan.tolerance < 0)
        return QStringLiteral("Допуск не может быть отрицательным.");
    return {};
}

ImitSettings ImitSettingsForStep(const CheckPlan& plan, int step) {
    ImitSettings imit;
    imit.ImitFlIndex = quint8(plan.runCount - 1);
    for (int r = 0; r < kCheckRunsMax; ++r) {
        imit.ImitAddr[r] = plan.runs[r].address;
        imit.ImitNitka[r] = plan.runs[r].run;
        imit.ImitMsbFirst[r] = plan.runs[r].msbFirst;
        imit.ImitRashod[r] = plan.steps[step].flowsM3h[r];
    }
    imit.ImitSpeedIndex = plan.speedIndex;
    imit.output = plan.output;
    return imit;
}
