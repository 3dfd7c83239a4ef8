#include "CheckMatch.h"

#include "CheckSteps.h"
#include "LineSpeed.h"
#include "NumText.h"

#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace {

QString ByteOrderText(bool msbFirst) {
    return msbFirst ? QStringLiteral("старший байт первым") : QStringLiteral("младший байт первым");
}

QString SecondsText(double s) {
    return FormatNumber(s, 2) + QStringLiteral(" с");
}

// Hundredths of a second, as the controller keeps pulse and pause.
int Centiseconds(double s) {
    return int(std::lround(s * 100));
}

// A field of the configuration as read (a configuration file's fields), in the operator's units.
double Number(const QJsonObject& fields, const QString& key) {
    return fields.value(key).toObject().value(QStringLiteral("value")).toDouble(NAN);
}

QString RunKey(const char* base, int run) {
    return QString::fromLatin1(base) + QString::number(run + 1);
}

int SpeedIndexOf(double baud) {
    for (int index = 0; index <= 10; ++index)
        if (proto::SpeedIndexToBaud(index) == baud)
            return index;
    return -1;
}

void CompareRun(const CheckPlan& plan, const CheckPlan& held, int r, QList<PlanMismatch>& out) {
    const QString run = QStringLiteral("Нитка %1: ").arg(r + 1);
    const CheckRun &a = plan.runs[std::size_t(r)], &b = held.runs[std::size_t(r)];
    if (a.address != b.address)
        out << PlanMismatch{run + QStringLiteral("адрес"), QString::number(a.address),
                            QString::number(b.address)};
    if (a.run != b.run)
        out << PlanMismatch{run + QStringLiteral("номер нитки"), QString::number(a.run),
                            QString::number(b.run)};
    if (a.msbFirst != b.msbFirst)
        out << PlanMismatch{run + QStringLiteral("порядок байтов"), ByteOrderText(a.msbFirst),
                            ByteOrderText(b.msbFirst)};
}

} // namespace

std::optional<CheckPlan> PlanOnController(const CheckPlan& plan, const CheckController& controller) {
    const QJsonObject& f = controller.fields;
    const double runs = Number(f, QStringLiteral("FlCount")), v = Number(f, QStringLiteral("V"));
    if (!(runs >= 1) || !(v > 0))
        return std::nullopt;
    CheckPlan held = plan;
    held.runCount = std::clamp(int(runs), 1, kCheckRunsMax);
    for (int r = 0; r < kCheckRunsMax; ++r) {
        CheckRun& run = held.runs[std::size_t(r)];
        run.address = quint8(std::clamp(Number(f, RunKey("Addr", r)), 0.0, 255.0));
        run.run = quint8(std::clamp(Number(f, RunKey("Nitka", r)), 0.0, 255.0));
        // A version without the flag polls its flow computers high byte first ("inverse").
        const QJsonValue order = f.value(RunKey("ByteOrder", r)).toObject().value(QStringLiteral("value"));
        run.msbFirst = order.isUndefined() || order.toString() == QStringLiteral("inverse");
    }
    if (const int speed = SpeedIndexOf(Number(f, RunKey("Speed", 0))); speed >= 0)
        held.speedIndex = speed;
    // V as the controller keeps it, in single precision.
    held.output = {double(float(v)), Number(f, QStringLiteral("Nag")), Number(f, QStringLiteral("Pause"))};
    return held;
}

QList<PlanMismatch> PlanMismatches(const CheckPlan& plan, const CheckController& controller) {
    const std::optional<CheckPlan> held = PlanOnController(plan, controller);
    QList<PlanMismatch> out;
    if (!held)
        return out;
    if (plan.runCount != held->runCount)
        out << PlanMismatch{QStringLiteral("Число ниток"), QString::number(plan.runCount),
                            QString::number(held->runCount)};
    for (int r = 0; r < std::min(plan.runCount, held->runCount); ++r)
        CompareRun(plan, *held, r, out);
    // The imitation answers every run at one speed: each served run must be polled at it.
    const int baud = proto::SpeedIndexToBaud(plan.speedIndex);
    for (int r = 0; r < held->runCount; ++r) {
        const double polled = Number(controller.fields, RunKey("Speed", r));
        if (polled != baud)
            out << PlanMismatch{QStringLiteral("Нитка %1: скорость линии").arg(r + 1),
                                QStringLiteral("%1 бит/с").arg(baud), QStringLiteral("%1 бит/с").arg(polled)};
    }
    if (float(plan.output.v) != float(held->output.v))
        out << PlanMismatch{QStringLiteral("Цена импульса"),
                            FormatNumber(plan.output.v, 3) + QStringLiteral(" м3"),
                            FormatNumber(held->output.v, 3) + QStringLiteral(" м3")};
    if (Centiseconds(plan.output.pulseS) != Centiseconds(held->output.pulseS))
        out << PlanMismatch{QStringLiteral("Длительность импульса"), SecondsText(plan.output.pulseS),
                            SecondsText(held->output.pulseS)};
    if (Centiseconds(plan.output.pauseS) != Centiseconds(held->output.pauseS))
        out << PlanMismatch{QStringLiteral("Пауза"), SecondsText(plan.output.pauseS),
                            SecondsText(held->output.pauseS)};
    return out;
}

QString MismatchLines(const QList<PlanMismatch>& mismatches) {
    QStringList lines;
    for (const PlanMismatch& m : mismatches)
        lines << QStringLiteral("%1: в плане %2, в контроллере %3").arg(m.field, m.plan, m.controller);
    return lines.join(QLatin1Char('\n'));
}

QList<int> StepsTooFast(const CheckPlan& plan) {
    QList<int> steps;
    for (int s = 0; s < plan.steps.size(); ++s)
        if (ExpectPulses(plan.output, 0, StepTotalFlow(plan, s)).fallsBehind)
            steps << s;
    return steps;
}

QString TooFastText(const CheckPlan& plan, const QList<int>& steps) {
    if (steps.isEmpty())
        return {};
    QStringList numbers;
    for (const int s : steps)
        numbers << QString::number(s + 1);
    const PulseExpectation e = ExpectPulses(plan.output, 0, 0);
    return (steps.size() == 1 ? QStringLiteral("Шаг ") : QStringLiteral("Шаги ")) +
           numbers.join(QStringLiteral(", ")) +
           QStringLiteral(": выход не успевает, импульсы будут копиться (длительность импульса и паузы "
                          "позволяет не более %1 имп/с).")
               .arg(FormatNumber(e.maxRatePerS, 3));
}
