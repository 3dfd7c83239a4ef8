#include "CliValues.h"

#include "FlowAnswer.h"
#include "LineSpeed.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

const QString kPort = QStringLiteral("port");
const QString kCom = QStringLiteral("com");
const QString kJson = QStringLiteral("json");
const QString kSpeed = QStringLiteral("speed");
const QString kFor = QStringLiteral("for");

std::optional<qint64> WholeNumber(const QString& text, qint64 low, qint64 high) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok, 10);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

// A decimal number ("120.5", "0,25", "-1", "1e39"); no locale's group separators, no nan or inf: the
// window's checks then judge its value.
std::optional<double> PlainNumber(const QString& text) {
    static const QRegularExpression kNumber(QStringLiteral("^[+-]?\\d+([.,]\\d+)?([eE][+-]?\\d+)?$"));
    if (!kNumber.match(text).hasMatch())
        return std::nullopt;
    QString dotted = text;
    return dotted.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

PortChoice ReadPort(OptionReader& r) {
    PortChoice choice;
    if (r.has(kPort) && r.has(kCom))
        r.fail(QStringLiteral("--port и --com вместе не задаются"));
    if (r.has(kPort)) {
        choice.device = r.value(kPort).trimmed();
        if (choice.device.isEmpty())
            r.fail(QStringLiteral("--port: не задано устройство"));
        // SCHEME://… is kept for ports reached over the network.
        if (choice.device.contains(QStringLiteral("://")))
            r.fail(QStringLiteral("--port: «%1» — сетевые порты не поддерживаются, нужен последовательный "
                                  "порт: путь или короткое имя")
                       .arg(choice.device));
    }
    if (r.has(kCom)) {
        choice.com = WholeNumber(r.value(kCom), 1, 8);
        if (!choice.com)
            r.fail(QStringLiteral("--com: номер порта от 1 до 8, а не «%1»").arg(r.value(kCom)));
    }
    return choice;
}

std::optional<int> ReadSpeed(OptionReader& r) {
    if (!r.has(kSpeed))
        return std::nullopt;
    const auto baud = WholeNumber(r.value(kSpeed), 1, 1000000);
    for (const auto& row : proto::LineSpeedTable)
        if (baud && row.baud == *baud)
            return row.index;
    r.fail(QStringLiteral("--speed: скорости «%1» нет среди скоростей линии (600, 1200, 2400, 3200, 4800, "
                          "6400, 7680, 9600, 12800, 19200, 38400)")
               .arg(r.value(kSpeed)));
    return std::nullopt;
}

std::optional<qint64> ReadDuration(OptionReader& r) {
    if (!r.has(kFor))
        return std::nullopt;
    static const QRegularExpression kDuration(QStringLiteral("^(\\d+(?:[.,]\\d+)?)(ms|s|min|h)$"));
    const QRegularExpressionMatch m = kDuration.match(r.value(kFor).trimmed());
    const std::optional<double> amount = m.hasMatch() ? PlainNumber(m.captured(1)) : std::nullopt;
    if (!amount || *amount <= 0) {
        r.fail(QStringLiteral("--for: время «%1» задаётся числом с единицей ms, s, min или h (например 90s)")
                   .arg(r.value(kFor)));
        return std::nullopt;
    }
    const QString unit = m.captured(2);
    const double perUnit = unit == QLatin1String("ms")    ? 1
                           : unit == QLatin1String("s")   ? 1e3
                           : unit == QLatin1String("min") ? 60e3
                                                          : 3600e3;
    const double ms = *amount * perUnit;
    // Below 100 ms the run would end before its first exchange; beyond a single timer's reach (2^31 - 1
    // ms, about 24.8 days) the end could not be timed exactly.
    if (ms < 100 || ms > double(std::numeric_limits<int>::max())) {
        r.fail(QStringLiteral("--for: время «%1» вне пределов от 100ms до 596h (около 24,8 суток)")
                   .arg(r.value(kFor)));
        return std::nullopt;
    }
    return std::llround(ms); // positive: the same as adding a half and truncating
}

// "msb" or "lsb" after ADDR:RUN; the rest of the fields are checked by the caller.
std::optional<bool> ByteOrder(const QString& text) {
    if (text == QLatin1String("msb"))
        return true;
    if (text == QLatin1String("lsb"))
        return false;
    return std::nullopt;
}

std::optional<ImitateRun> ParseRun(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 3 || parts.size() > 4)
        return std::nullopt;
    const auto address = WholeNumber(parts[0], 1, 255);
    const auto run = WholeNumber(parts[1], 1, 255);
    const auto flow = PlainNumber(parts[2]);
    const auto order = parts.size() == 4 ? ByteOrder(parts[3]) : std::optional<bool>(true);
    if (!address || !run || !flow || !order)
        return std::nullopt;
    ImitateRun result{quint8(*address), quint8(*run), *flow, std::nullopt};
    if (parts.size() == 4)
        result.msbFirst = order;
    return result;
}

std::optional<ListenOrder> ParseOrder(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return std::nullopt;
    const auto address = WholeNumber(parts[0], 1, 255);
    const auto run = WholeNumber(parts[1], 1, 255);
    const auto order = ByteOrder(parts[2]);
    if (!address || !run || !order)
        return std::nullopt;
    return ListenOrder{quint8(*address), quint8(*run), *order};
}

} // namespace

ReadOptions ToRead(OptionReader& r, const QStringList&) {
    const ReadOptions o{ReadPort(r), r.has(kJson), r.value(QStringLiteral("output"))};
    if (o.json && o.output == QLatin1String("-"))
        r.fail(QStringLiteral("--json и --output - вместе не задаются: оба пишут в стандартный вывод"));
    return o;
}

WriteOptions ToWrite(OptionReader& r, const QStringList& positional) {
    return {ReadPort(r), positional.value(0), r.has(QStringLiteral("yes")), r.has(QStringLiteral("dry-run"))};
}

ValidateOptions ToValidate(OptionReader&, const QStringList& positional) {
    return {positional.value(0)};
}

ImitateOptions ToImitate(OptionReader& r, const QStringList&) {
    ImitateOptions o;
    o.port = ReadPort(r);
    for (const QString& text : r.parser.values(QStringLiteral("run"))) {
        if (const auto run = ParseRun(text))
            o.runs << *run;
        else
            r.fail(QStringLiteral("--run: «%1» не в виде АДР:НИТКА:РАСХОД[:msb|:lsb] (адрес и нитка 1..255, "
                                  "расход в м3/ч)")
                       .arg(text));
    }
    // The imitation dialog's own rule for each flow, with its words.
    for (const ImitateRun& run : o.runs)
        if (const QString problem = ImitFlowProblem(run.flowM3h); !problem.isEmpty())
            r.fail(QStringLiteral("--run %1:%2: %3").arg(run.address).arg(run.run).arg(problem.trimmed()));
    if (o.runs.isEmpty())
        r.fail(QStringLiteral("нужна хотя бы одна нитка --run"));
    if (o.runs.size() > 3)
        r.fail(QStringLiteral("имитируется не больше трёх ниток, задано %1").arg(o.runs.size()));
    o.speedIndex = ReadSpeed(r);
    o.forMs = ReadDuration(r);
    if (r.has(QStringLiteral("pulses"))) {
        o.pulses = WholeNumber(r.value(QStringLiteral("pulses")), 1, std::numeric_limits<qint64>::max());
        if (!o.pulses)
            r.fail(QStringLiteral("--pulses: нужно целое число больше нуля"));
    }
    if (r.has(QStringLiteral("pulse-value"))) {
        o.pulseValue = PlainNumber(r.value(QStringLiteral("pulse-value")));
        if (!o.pulseValue || *o.pulseValue <= 0)
            r.fail(QStringLiteral("--pulse-value: ") + QString::fromUtf16(ImitText::NotPositive).trimmed());
    }
    if (o.pulses && !r.has(QStringLiteral("pulse-value")))
        r.fail(QStringLiteral("--pulses задаётся вместе с --pulse-value"));
    o.json = r.has(kJson);
    return o;
}

ListenOptions ToListen(OptionReader& r, const QStringList&) {
    ListenOptions o;
    o.port = ReadPort(r);
    o.speedIndex = ReadSpeed(r);
    for (const QString& text : r.parser.values(QStringLiteral("order"))) {
        if (const auto order = ParseOrder(text))
            o.orders << *order;
        else
            r.fail(QStringLiteral("--order: «%1» не в виде АДР:НИТКА:msb|lsb").arg(text));
    }
    o.forMs = ReadDuration(r);
    o.json = r.has(kJson);
    return o;
}

CheckOptions ToCheck(OptionReader& r, const QStringList& positional) {
    CheckOptions o;
    o.port = ReadPort(r);
    o.plan = positional.value(0);
    if (r.has(QStringLiteral("counted"))) {
        for (const QString& text : r.value(QStringLiteral("counted")).split(QLatin1Char(','))) {
            const auto n = WholeNumber(text, 0, std::numeric_limits<qint64>::max());
            if (!n)
                r.fail(QStringLiteral("--counted: «%1» не число импульсов").arg(text));
            o.counted << n.value_or(0);
        }
    }
    o.report = r.value(QStringLiteral("report"));
    o.useController = r.has(QStringLiteral("use-controller"));
    return o;
}
