#include "CheckReportRows.h"

#include "CheckSteps.h"
#include "LineSpeed.h"
#include "NumText.h"
#include "VersionText.h"

#include <QJsonObject>

namespace {

QString FlowsText(const CheckPlan& plan, const CheckStep& step) {
    QStringList flows;
    for (int r = 0; r < plan.runCount; ++r)
        flows << FormatNumber(step.flowsM3h[r], 3);
    return flows.join(QStringLiteral(" / "));
}

QString AnswersText(const CheckPlan& plan, const CheckStepResult& r) {
    QStringList answers;
    for (int run = 0; run < plan.runCount; ++run)
        answers << QString::number(r.answers[std::size_t(run)]);
    return answers.join(QStringLiteral(" / "));
}

QString TargetText(const CheckStep& step) {
    return step.target == CheckStep::Target::Pulses ? QString::number(step.pulses) + QStringLiteral(" имп.")
                                                    : FormatNumber(step.seconds, 0) + QStringLiteral(" с");
}

QString ByteOrderText(bool msbFirst) {
    return msbFirst ? QStringLiteral("старший байт первым") : QStringLiteral("младший байт первым");
}

// One field of the configuration as read: its label, the key in the fields, decimals and unit.
struct ConfigField {
    QString label;
    QString key;
    int decimals; // -1: a whole number; -2: a byte order
    QString unit;
};

QString FieldText(const QJsonObject& fields, const ConfigField& f) {
    const QJsonValue value = fields.value(f.key).toObject().value(QStringLiteral("value"));
    if (value.isUndefined())
        return {};
    if (f.decimals == -2)
        return ByteOrderText(value.toString() == QStringLiteral("inverse"));
    const QString number =
        f.decimals < 0 ? QString::number(value.toInteger()) : FormatNumber(value.toDouble(), f.decimals);
    return f.unit.isEmpty() ? number : number + QLatin1Char(' ') + f.unit;
}

QList<ConfigField> ConfigFields(int runs) {
    const QString s = QStringLiteral("с");
    QList<ConfigField> fields{{QStringLiteral("Число ниток"), QStringLiteral("FlCount"), -1, {}},
                              {QStringLiteral("Период опроса"), QStringLiteral("Period"), 2, s},
                              {QStringLiteral("Время ожидания ответа"), QStringLiteral("Answer"), 2, s},
                              {QStringLiteral("Число попыток"), QStringLiteral("Tries"), -1, {}},
                              {QStringLiteral("Цена импульса"), QStringLiteral("V"), 3, QStringLiteral("м3")},
                              {QStringLiteral("Длительность импульса"), QStringLiteral("Nag"), 2, s},
                              {QStringLiteral("Пауза"), QStringLiteral("Pause"), 2, s}};
    for (int r = 0; r < runs; ++r) {
        const QString run = QStringLiteral("Нитка %1: ").arg(r + 1), n = QString::number(r + 1);
        fields << ConfigField{run + QStringLiteral("адрес"), QStringLiteral("Addr") + n, -1, {}}
               << ConfigField{run + QStringLiteral("номер нитки"), QStringLiteral("Nitka") + n, -1, {}}
               << ConfigField{run + QStringLiteral("скорость линии"), QStringLiteral("Speed") + n, -1,
                              QStringLiteral("бит/с")}
               << ConfigField{
                      run + QStringLiteral("порядок байтов"), QStringLiteral("ByteOrder") + n, -2, {}};
    }
    return fields;
}

} // namespace

QString DocumentNumber(const CheckRecord& record) {
    return record.id.left(8).toUpper();
}

QStringList StepHeaders() {
    return {QStringLiteral("Шаг"),
            QStringLiteral("Цель"),
            QStringLiteral("Расход, м3/ч"),
            QStringLiteral("Ответов"),
            QStringLiteral("Время, с"),
            QStringLiteral("Объем шага, м3"),
            QStringLiteral("Объем с начала, м3"),
            QStringLiteral("Ожида\u00ADлось"),
            QStringLiteral("Насчи\u00ADтано"),
            QStringLiteral("Разница"),
            QStringLiteral("Вердикт")};
}

QList<double> StepColumnShares() {
    return {0.05, 0.09, 0.14, 0.09, 0.07, 0.09, 0.10, 0.08, 0.08, 0.08, 0.13};
}

QString SignedText(qint64 n) {
    if (n > 0)
        return QLatin1Char('+') + QString::number(n);
    if (n < 0)
        return QChar(0x2212) + QString::number(-n);
    return QStringLiteral("0");
}

QList<QStringList> StepRows(const CheckRecord& record) {
    QList<QStringList> rows;
    for (int s = 0; s < record.steps.size(); ++s) {
        const CheckStepResult& r = record.steps[s];
        const CheckStep step = record.plan.steps.value(s);
        QString verdict = VerdictText(StepVerdict(r, record.plan.tolerance));
        if (r.lineLost)
            verdict +=
                (verdict.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("связь терялась");
        const bool counted = r.countedPulses.has_value();
        rows << QStringList{QString::number(s + 1),
                            TargetText(step),
                            FlowsText(record.plan, step),
                            AnswersText(record.plan, r),
                            FormatNumber(r.durationS, 1),
                            FormatNumber(r.volumeM3, 3),
                            FormatNumber(r.totalM3, 3),
                            QString::number(r.expectedPulses),
                            counted ? QString::number(*r.countedPulses) : QStringLiteral("—"),
                            counted ? SignedText(StepDifference(r)) : QStringLiteral("—"),
                            verdict};
    }
    return rows;
}

QString ControllerText(const CheckController& c) {
    const QString version =
        c.softVersion ? VersionMessage(*c.softVersion) : QStringLiteral("Версия ПО не прочитана");
    const QString state = !c.configured   ? QStringLiteral("состояние не прочитано")
                          : *c.configured ? QStringLiteral("законфигурирован")
                                          : QStringLiteral("не законфигурирован");
    QString text = QStringLiteral("Контроллер: ") + version + QStringLiteral("; ") + state + QLatin1Char('.');
    if (!c.ident.isEmpty())
        text += QStringLiteral(" Идентификация (таблица 0): ") + QString::fromLatin1(c.ident.toHex(' ')) +
                QLatin1Char('.');
    return text;
}

QStringList ConfigurationHeaders() {
    return {QStringLiteral("Параметр"), QStringLiteral("В контроллере (таблица 4)"),
            QStringLiteral("В плане, если отличается")};
}

QList<QStringList> ConfigurationRows(const CheckRecord& record) {
    const QJsonObject& fields = record.controller.fields;
    QList<QStringList> rows;
    if (fields.isEmpty())
        return rows;
    const int runs =
        fields.value(QStringLiteral("FlCount")).toObject().value(QStringLiteral("value")).toInt(1);
    for (const ConfigField& f : ConfigFields(runs)) {
        const QString value = FieldText(fields, f);
        if (value.isEmpty())
            continue;
        QString plan;
        for (const PlanMismatch& m : record.planDifferences)
            if (m.field == f.label)
                plan = m.plan;
        rows << QStringList{f.label, value, plan};
    }
    return rows;
}

QStringList PlanConfigurationLines(const CheckPlan& plan) {
    QStringList lines{
        QStringLiteral("Конфигурация контроллера не прочитана; значения плана: цена импульса ") +
        FormatNumber(plan.output.v, 3) + QStringLiteral(" м3, длительность импульса ") +
        FormatNumber(plan.output.pulseS, 2) + QStringLiteral(" с, пауза ") +
        FormatNumber(plan.output.pauseS, 2) + QStringLiteral(" с.")};
    for (int r = 0; r < plan.runCount; ++r)
        lines << QStringLiteral("Нитка %1: адрес %2, номер нитки %3, скорость %4 бит/с, %5.")
                     .arg(r + 1)
                     .arg(plan.runs[r].address)
                     .arg(plan.runs[r].run)
                     .arg(proto::SpeedIndexToBaud(plan.speedIndex))
                     .arg(ByteOrderText(plan.runs[r].msbFirst));
    return lines;
}

QString ToleranceText(int tolerance) {
    return QStringLiteral("Допуск: ±") + QString::number(tolerance) + QLatin1Char(' ') +
           RussianPlural(tolerance, u"импульс", u"импульса", u"импульсов") + QStringLiteral(" на шаг.");
}

QString OverallText(const CheckRecord& record) {
    const CheckVerdict v = OverallVerdict(record);
    if (v != CheckVerdict::None)
        return QStringLiteral("Заключение: ") + VerdictText(v);
    if (record.aborted)
        return QStringLiteral("Заключение не дано: проверка прервана.");
    return QStringLiteral("Заключение не дано: не все шаги проведены и сверены со счетчиком.");
}
