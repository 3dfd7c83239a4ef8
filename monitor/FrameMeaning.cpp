#include "FrameMeaning.h"

#include "ConfigRecord.h"
#include "ControllerFrames.h"
#include "LineSpeed.h"
#include "NumText.h"
#include "VersionText.h"

#include <QStringList>

namespace monitor {

namespace {

constexpr int kIdentMinData = 14; // the identification table carries the version in its fourth byte
constexpr int kVersionByte = 3;
constexpr int kStateByte = 4;
constexpr int kTableByte = 5;       // of a read request
constexpr int kWriteTableByte = 21; // of a write request

QString Hex2(int v) {
    return QStringLiteral("0x") + QString::number(v, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString TableName(int table) {
    switch (table) {
    case 0:
        return QStringLiteral("таблица 0 (идентификация)");
    case 7:
        return QStringLiteral("таблица 7 (состояние)");
    case 4:
        return QStringLiteral("таблица 4 (конфигурация)");
    default:
        return QStringLiteral("таблица %1").arg(table);
    }
}

QString Seconds(int hundredths) {
    return FormatNumber(hundredths / 100.0, 2) + QStringLiteral(" с");
}

QString SpeedText(int code) {
    for (const auto& row : proto::LineSpeedTable)
        if (row.code == code)
            return QStringLiteral("%1 бит/с").arg(row.baud);
    return QStringLiteral("код скорости %1").arg(code);
}

QString RunText(const proto::ConfigImage& r, int i, int n) {
    QString text = QStringLiteral("нитка %1: адрес %2, номер %3, %4")
                       .arg(i + 1)
                       .arg(r.addr(i))
                       .arg(r.nitka(i))
                       .arg(SpeedText(r.speed(i)));
    // The flag bytes follow the runs; a record of the first versions carries only run 1's, or none.
    if (n > proto::kConfigSizeWithoutFlags + i)
        text += proto::FlagMsbFirst(r.flags(i)) ? QStringLiteral(", порядок байт обратный")
                                                : QStringLiteral(", порядок байт прямой");
    return text;
}

Meaning AnswerFault(const QString& text) {
    return {RowKind::Fault, text};
}

QString TableContents(std::span<const quint8> data, int table) {
    const int n = int(data.size());
    if (table == 0) {
        if (n < kIdentMinData)
            return QStringLiteral("данных %1 %2, меньше 14").arg(n).arg(ByteNoun(n));
        return VersionMessage(data[kVersionByte]);
    }
    if (table == 7) {
        if (n <= kStateByte)
            return QStringLiteral("данных %1 %2").arg(n).arg(ByteNoun(n));
        return data[kStateByte] == 0 ? QStringLiteral("контроллер законфигурирован")
                                     : QStringLiteral("контроллер не законфигурирован");
    }
    if (table == 4)
        return ConfigurationText(data);
    return QStringLiteral("данных %1 %2").arg(n).arg(ByteNoun(n));
}

// A sound read answer's data: N - 10 bytes behind its header.
std::span<const quint8> ReadData(std::span<const quint8> frame, int length) {
    const int n = length - proto::kReadAnswerOverhead;
    return n > 0 ? frame.subspan(proto::kAnswerDataOffset, std::size_t(n)) : std::span<const quint8>();
}

// Byte 7 of a sound frame names its data bytes (N - 10) and is not 0.
bool ReadCountRight(std::span<const quint8> frame, int length) {
    const int n = length - proto::kReadAnswerOverhead;
    return length > proto::kAnswerCountByte && frame[proto::kAnswerCountByte] != 0 &&
           frame[proto::kAnswerCountByte] == n;
}

} // namespace

QString ByteNoun(qint64 n) {
    return RussianPlural(n, u"байт", u"байта", u"байт");
}

AskedTable AskedBy(std::span<const quint8> request) {
    if (request.size() < 4 || request[0] != proto::kRequestStart)
        return {};
    const quint8 fn = request[3];
    if (fn == proto::kFnReadTable && request.size() > std::size_t(kTableByte))
        return {fn, request[kTableByte]};
    if (fn == proto::kFnWriteTable && request.size() > std::size_t(kWriteTableByte))
        return {fn, request[kWriteTableByte]};
    return {fn, 0};
}

QString ConfigurationText(std::span<const quint8> data) {
    const int n = int(data.size());
    constexpr int withoutFlags = proto::kConfigSizeWithoutFlags;
    if (n < withoutFlags)
        return QStringLiteral("данных %1 %2, меньше 20").arg(n).arg(ByteNoun(n));
    proto::ConfigImage r;
    r.overlay(data);
    QStringList parts{QStringLiteral("ниток %1").arg(r.flCount()),
                      QStringLiteral("цена импульса %1 м3").arg(FormatNumber(r.v(), 3)),
                      QStringLiteral("импульс %1").arg(Seconds(r.nag())),
                      QStringLiteral("пауза %1").arg(Seconds(r.pause())),
                      QStringLiteral("период опроса %1").arg(Seconds(r.period())),
                      QStringLiteral("ожидание ответа %1").arg(Seconds(r.answer()))};
    for (int i = 0; i < proto::kConfigRuns; ++i)
        parts << RunText(r, i, n);
    if (n > withoutFlags && proto::FlagAttempts(r.flags(0)) != 0)
        parts << QStringLiteral("попыток опроса %1").arg(proto::FlagAttempts(r.flags(0)));
    return parts.join(QStringLiteral("; "));
}

Meaning DescribeControllerRequest(std::span<const quint8> frame) {
    const AskedTable asked = AskedBy(frame);
    if (asked.function == proto::kFnReadTable)
        return {RowKind::Request, QStringLiteral("чтение: ") + TableName(asked.table)};
    if (asked.function == proto::kFnWriteTable) {
        const auto data =
            frame.size() > std::size_t(proto::kWriteDataOffset + 2)
                ? frame.subspan(proto::kWriteDataOffset, frame.size() - proto::kWriteDataOffset - 2)
                : std::span<const quint8>();
        return {RowKind::Request, QStringLiteral("запись: ") + TableName(asked.table) + QStringLiteral(": ") +
                                      TableContents(data, asked.table)};
    }
    return {RowKind::Request, QStringLiteral("запрос, функция %1").arg(Hex2(asked.function))};
}

Meaning DescribeControllerAnswer(std::span<const quint8> frame, AskedTable asked,
                                 proto::AnswerOutcome outcome) {
    using O = proto::AnswerOutcome;
    const int count = int(frame.size());
    const int length = count > 2 ? frame[2] : 0;
    switch (outcome) {
    case O::BadCrc:
        return AnswerFault(QStringLiteral("ответ контроллера с неверной контрольной суммой"));
    case O::BadLength:
        return AnswerFault(QStringLiteral("ответ с длиной %1 (меньше 6)").arg(length));
    case O::CutShort:
        return AnswerFault(QStringLiteral("ответ оборван: %1 из %2 %3")
                               .arg(count)
                               .arg(length)
                               .arg(RussianPlural(length, u"байта", u"байт", u"байт")));
    case O::Silence:
        return AnswerFault(QStringLiteral("нет ответа"));
    case O::Ok:
        if (asked.function == proto::kFnWriteTable)
            return {RowKind::Answer, QStringLiteral("запись подтверждена")};
        if (asked.function == proto::kFnReadTable)
            return {RowKind::Answer, TableName(asked.table) + QStringLiteral(": ") +
                                         TableContents(ReadData(frame, length), asked.table)};
        break;
    case O::WrongCount:
    case O::WrongFunction:
        // An answer to a read whose data count is wrong, whatever was asked.
        if (frame[3] == (proto::kFnReadTable | proto::kAnswerBit) && !ReadCountRight(frame, length))
            return AnswerFault(QStringLiteral("ответ на чтение с неверным числом байт данных"));
        break;
    }
    return AnswerFault(QStringLiteral("ответ с функцией %1, длина %2, не тот, что ожидался")
                           .arg(Hex2(frame[3]))
                           .arg(length));
}

Meaning DescribeFlowRequest(std::span<const quint8> frame, bool crcOk) {
    const auto fields = proto::DecodeFlowRequest(frame);
    if (!fields)
        return AnswerFault(QStringLiteral("не запрос расхода"));
    const QString what =
        QStringLiteral("запрос расхода: адрес %1, нитка %2").arg(fields->addr).arg(fields->run);
    if (!crcOk)
        return AnswerFault(what + QStringLiteral(", неверная контрольная сумма"));
    return {RowKind::Request, what};
}

// The byte order of a flow answer's floats: that of the imitated run it came from, most significant
// first when no slot has that run.
static bool AnswerMsbFirst(std::span<const quint8> frame, const proto::FlowSlots* flowSlots) {
    if (flowSlots && frame.size() == std::size_t(proto::kFlowAnswerSize)) {
        const int slot = proto::MatchSlot(frame.data(), *flowSlots);
        if (slot >= 0)
            return flowSlots->ImitMsbFirst[std::size_t(slot)];
    }
    return true;
}

Meaning DescribeFlowAnswer(std::span<const quint8> frame, const proto::FlowSlots* flowSlots) {
    return DescribeFlowAnswerIn(frame, AnswerMsbFirst(frame, flowSlots));
}

Meaning DescribeFlowAnswerIn(std::span<const quint8> frame, bool msbFirst) {
    const proto::FlowAnswerFields f = proto::DecodeFlowAnswer(frame, msbFirst);
    if (f.outcome != proto::FlowAnswerOutcome::Ok)
        return AnswerFault(QStringLiteral("ответ расхода не по форме"));
    return {RowKind::Answer, QStringLiteral("ответ: адрес %1, нитка %2, расход %3 м3/ч, объем %4 м3")
                                 .arg(f.addr)
                                 .arg(f.run)
                                 .arg(FormatNumber(f.flow, 3), FormatNumber(f.volume, 3))};
}

} // namespace monitor
