#include "CheckSteps.h"

#include "NumText.h"

#include <algorithm>
#include <cmath>

double StepTotalFlow(const CheckPlan& plan, int step) {
    double total = 0;
    for (int r = 0; r < plan.runCount; ++r)
        total += plan.steps[step].flowsM3h[r];
    return total;
}

bool TakeAnswer(const CheckPlan& plan, int step, double elapsedS, double startM3, double totalM3,
                CheckStepResult& result) {
    result.durationS = elapsedS;
    result.volumeM3 = totalM3 - startM3;
    result.totalM3 = totalM3;
    result.expectedPulses =
        ExpectPulses(plan.output, totalM3, 0).pulses - ExpectPulses(plan.output, startM3, 0).pulses;
    // The chart is a staircase: its corners are enough, the last level runs on to the step's end.
    if (result.curve.isEmpty() || result.curve.last().y() != double(result.expectedPulses))
        result.curve.append(QPointF(elapsedS, double(result.expectedPulses)));
    const CheckStep& s = plan.steps[step];
    if (s.target == CheckStep::Target::Pulses)
        return result.expectedPulses >= s.pulses;
    return elapsedS >= s.seconds;
}

std::optional<double> StepSecondsLeft(const CheckPlan& plan, int step, const CheckStepResult& result) {
    const CheckStep& s = plan.steps[step];
    if (s.target == CheckStep::Target::Seconds)
        return std::max(0.0, s.seconds - result.durationS);
    const double m3PerS = StepTotalFlow(plan, step) / 3600.0;
    if (!plan.output.knowsV() || !(m3PerS > 0))
        return std::nullopt;
    // What the total still needs to cross the step's last pulse value, less what it has of the next one.
    const double crossed = ExpectPulses(plan.output, result.totalM3, 0).pulses;
    const double ofNext = result.totalM3 / plan.output.v - crossed;
    return std::max(0.0, (double(s.pulses - result.expectedPulses) - ofNext) * plan.output.v / m3PerS);
}

int HeldBackWaitS(const PulseOutput& out, qint64 pulsesDue, double stepS) {
    if (pulsesDue <= 0 || !out.knowsTiming())
        return 0;
    const double lastPulseEnds = double(pulsesDue - 1) * (out.pulseS + out.pauseS) + out.pulseS;
    const double wait = std::max(lastPulseEnds - stepS, out.pulseS);
    // Whole seconds for the engineer, never short: 3.0000001 s of arithmetic is still 3 s.
    return int(std::ceil(wait - 1e-9));
}

QString HeldBackText(int waitS, qint64 pulsesDue) {
    if (waitS <= 0)
        return {};
    return QStringLiteral("Подождите %1 с: контроллер выдает импульсы (за шаг ожидается %2 %3).")
        .arg(waitS)
        .arg(pulsesDue)
        .arg(RussianPlural(pulsesDue, u"импульс", u"импульса", u"импульсов"));
}

qint64 StepDifference(const CheckStepResult& result) {
    return result.countedPulses ? *result.countedPulses - result.expectedPulses : 0;
}

CheckVerdict StepVerdict(const CheckStepResult& result, int tolerance) {
    if (!result.countedPulses)
        return CheckVerdict::None;
    return std::abs(StepDifference(result)) <= tolerance ? CheckVerdict::Pass : CheckVerdict::Fail;
}

CheckVerdict OverallVerdict(const CheckRecord& record) {
    if (record.aborted || record.steps.isEmpty() || record.steps.size() < record.plan.steps.size())
        return CheckVerdict::None;
    CheckVerdict overall = CheckVerdict::Pass;
    for (const CheckStepResult& step : record.steps) {
        const CheckVerdict v = StepVerdict(step, record.plan.tolerance);
        if (v == CheckVerdict::None)
            return CheckVerdict::None;
        if (v == CheckVerdict::Fail)
            overall = CheckVerdict::Fail;
    }
    return overall;
}

QString VerdictText(CheckVerdict verdict) {
    switch (verdict) {
    case CheckVerdict::Pass:
        return QStringLiteral("годен");
    case CheckVerdict::Fail:
        return QStringLiteral("не годен");
    case CheckVerdict::None:
        break;
    }
    return {};
}

QString PulsesText(qint64 n) {
    return QString::number(n) + QLatin1Char(' ') +
           RussianPlural(n, QStringLiteral("импульс"), QStringLiteral("импульса"),
                         QStringLiteral("импульсов"));
}

namespace {

// After "из": the genitive, one form for 1, 21, … and one for the rest.
QString OfPulses(qint64 n) {
    return QString::number(n) + QLatin1Char(' ') +
           RussianPlural(n, QStringLiteral("импульса"), QStringLiteral("импульсов"),
                         QStringLiteral("импульсов"));
}

} // namespace

QString StepProgressText(const CheckPlan& plan, int step, const CheckStepResult& result,
                         std::optional<double> left) {
    const CheckStep& s = plan.steps[step];
    QString text = QStringLiteral("Шаг %1 из %2: ").arg(step + 1).arg(plan.steps.size());
    if (s.target == CheckStep::Target::Pulses)
        text += QString::number(result.expectedPulses) + QStringLiteral(" из ") + OfPulses(s.pulses);
    else
        text +=
            QStringLiteral("%1 из %2 с, ").arg(qint64(result.durationS)).arg(qint64(std::ceil(s.seconds))) +
            PulsesText(result.expectedPulses);
    if (left)
        text += QStringLiteral(", осталось %1 с").arg(qint64(std::ceil(*left)));
    return text;
}
