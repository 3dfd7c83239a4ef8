#include "CfgJson.h"

#include "LineSpeed.h"
#include "UserError.h"

#include <QJsonValue>
#include <charconv>
#include <cmath>

namespace {

const QString kSeconds = QStringLiteral("с");
const QString kNone = QStringLiteral("-");

QJsonObject Field(const QJsonValue& value, const QString& unit) {
    return {{QStringLiteral("value"), value}, {QStringLiteral("unit"), unit}};
}

QString RunKey(const char* base, int run) {
    return QString::fromLatin1(base) + QString::number(run + 1);
}

// Reads one field's number, or records why it cannot be read; the first problem found is kept.
class FieldReader {
public:
    FieldReader(const QJsonObject& fields, FieldProblem* problem) : fields_(fields), problem_(problem) {}
    bool ok() const { return ok_; }

    double number(const QString& key) {
        const QJsonValue v = fields_.value(key).toObject().value(QStringLiteral("value"));
        if (!v.isDouble())
            fail(key);
        return v.toDouble();
    }
    // A whole number within [low, high]; a fraction is damage, a whole number outside is refused.
    int whole(const QString& key, int low, int high) {
        const double x = number(key);
        if (x != std::floor(x))
            fail(key);
        else if (!(x >= low && x <= high))
            refuse(key, QStringLiteral("Значение должно быть от %1 до %2.").arg(low).arg(high));
        return ok_ ? int(x) : low;
    }
    // Seconds within a timed row, as hundredths; outside it, the form's text for the row.
    int hundredths(const QString& key, TimedField f) {
        const double x = number(key);
        if (!TimedRange(f).contains(x))
            refuse(key, QString::fromUtf16(TimedRange(f).message));
        return ok_ ? int(std::lround(x * 100)) : 0;
    }
    // The volume per pulse by the form's own rule (no wizard range: a file is not the wizard's run).
    float volume(const QString& key) {
        const double x = number(key);
        try {
            return ok_ ? AcceptedVolume(x, CfgContext()) : 0.0f;
        } catch (const UserError& e) {
            refuse(key, e.message().trimmed());
        }
        return 0.0f;
    }
    QString text(const QString& key) {
        const QJsonValue v = fields_.value(key).toObject().value(QStringLiteral("value"));
        if (!v.isString())
            fail(key);
        return v.toString();
    }
    // A unit given beside a value is read: a volume in litres is not one in m3.
    void units(const QJsonObject& expected) {
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            const QJsonValue unit = fields_.value(it.key()).toObject().value(QStringLiteral("unit"));
            const QString own = it.value().toObject().value(QStringLiteral("unit")).toString();
            if (!unit.isUndefined() && unit != QJsonValue(own))
                refuse(it.key(), QStringLiteral("единица «%1», а значение этого поля задаётся в «%2».")
                                     .arg(unit.isString() ? unit.toString() : QStringLiteral("?"), own));
        }
    }
    void fail(const QString& key) { note(FieldProblem::Kind::Damage, key, {}); }
    void refuse(const QString& key, const QString& why) { note(FieldProblem::Kind::Refused, key, why); }

private:
    void note(FieldProblem::Kind kind, const QString& key, const QString& why) {
        if (ok_ && problem_)
            *problem_ = {kind, key, why};
        ok_ = false;
    }
    const QJsonObject& fields_;
    FieldProblem* problem_;
    bool ok_ = true;
};

int BaudToSpeedIndex(int baud) {
    for (const proto::LineSpeedRow& row : proto::LineSpeedTable)
        if (row.baud == baud)
            return row.index;
    return -1;
}

} // namespace

double ShortestDecimal(float v) {
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return QByteArray(buf, int(end - buf)).toDouble();
}

QJsonObject RecordToJson(const CfgRecord& r, quint8 softVersion) {
    QJsonObject o;
    o[QStringLiteral("FlCount")] = Field(r.FlCount, kNone);
    o[QStringLiteral("Period")] = Field(r.Period / 100.0, kSeconds);
    o[QStringLiteral("Answer")] = Field(r.Answer / 100.0, kSeconds);
    o[QStringLiteral("V")] = Field(ShortestDecimal(r.V), QStringLiteral("м3"));
    o[QStringLiteral("Nag")] = Field(r.Nag / 100.0, kSeconds);
    o[QStringLiteral("Pause")] = Field(r.Pause / 100.0, kSeconds);
    for (int i = 0; i < 3; ++i) {
        o[RunKey("Addr", i)] = Field(r.Addr[i], kNone);
        o[RunKey("Nitka", i)] = Field(r.Nitka[i], kNone);
        o[RunKey("Speed", i)] =
            Field(proto::SpeedIndexToBaud(proto::SpeedCodeToIndex(r.Speed[i])), QStringLiteral("бит/с"));
        if (proto::CarriesByteOrder(softVersion))
            o[RunKey("ByteOrder", i)] =
                Field(proto::FlagMsbFirst(r.Flags[i]) ? QStringLiteral("inverse") : QStringLiteral("direct"),
                      kNone);
    }
    if (proto::CarriesAttempts(softVersion))
        o[QStringLiteral("Tries")] = Field(proto::FlagAttempts(r.Flags[0]), kNone);
    return o;
}

QStringList DifferingFields(const CfgRecord& a, const CfgRecord& b, quint8 softVersion) {
    const QJsonObject x = RecordToJson(a, softVersion);
    const QJsonObject y = RecordToJson(b, softVersion);
    QStringList keys;
    for (auto it = x.begin(); it != x.end(); ++it)
        if (it.value() != y.value(it.key()))
            keys << it.key();
    // Bytes no field shows (a reserved bit) still make the records differ.
    if (keys.isEmpty() && a.encode() != b.encode())
        keys << QStringLiteral("байты записи");
    return keys;
}

QString FieldProblem::message() const {
    const QString where = QStringLiteral("поле ") + field;
    return kind == Kind::Damage ? where : where + QStringLiteral(": ") + text;
}

std::optional<CfgRecord> RecordFromJson(const QJsonObject& fields, quint8 softVersion,
                                        FieldProblem* problem) {
    FieldReader in(fields, problem);
    in.units(RecordToJson(CfgRecord(), softVersion));
    CfgRecord r;
    r.FlCount = quint8(in.whole(QStringLiteral("FlCount"), 1, 3));
    r.Period = quint16(in.hundredths(QStringLiteral("Period"), TimedField::Period));
    r.Answer = quint16(in.hundredths(QStringLiteral("Answer"), TimedField::Answer));
    r.V = in.volume(QStringLiteral("V"));
    r.Nag = quint8(in.hundredths(QStringLiteral("Nag"), TimedField::Nag));
    r.Pause = quint8(in.hundredths(QStringLiteral("Pause"), TimedField::Pause));
    for (int i = 0; i < 3; ++i) {
        r.Addr[i] = quint8(in.whole(RunKey("Addr", i), 1, 255));
        r.Nitka[i] = quint8(in.whole(RunKey("Nitka", i), 1, 255));
        const int speed = BaudToSpeedIndex(in.whole(RunKey("Speed", i), 600, 38400));
        if (speed < 0)
            in.refuse(RunKey("Speed", i), QStringLiteral("такой скорости нет среди скоростей линии."));
        r.Speed[i] = quint8(proto::SpeedIndexToCode(speed));
        r.Flags[i] = proto::RunFlags(true);
        if (proto::CarriesByteOrder(softVersion)) {
            const QString order = in.text(RunKey("ByteOrder", i));
            if (order != QStringLiteral("inverse") && order != QStringLiteral("direct"))
                in.fail(RunKey("ByteOrder", i));
            r.Flags[i] = proto::RunFlags(order != QStringLiteral("direct"));
        }
    }
    if (proto::CarriesAttempts(softVersion))
        r.Flags[0] =
            proto::RunFlags(proto::FlagMsbFirst(r.Flags[0]),
                            in.whole(QStringLiteral("Tries"), proto::kMinAttempts, proto::kMaxAttempts));
    if (!in.ok())
        return std::nullopt;
    return r;
}

QString JsonParseReason(QJsonParseError::ParseError error) {
    switch (error) {
    case QJsonParseError::NoError:
        return QStringLiteral("ошибок нет");
    case QJsonParseError::UnterminatedObject:
        return QStringLiteral("объект не закрыт: после поля нет «,» или «}»");
    case QJsonParseError::MissingNameSeparator:
        return QStringLiteral("нет двоеточия после имени поля");
    case QJsonParseError::UnterminatedArray:
        return QStringLiteral("массив не закрыт: после значения нет «,» или «]»");
    case QJsonParseError::MissingValueSeparator:
        return QStringLiteral("нет запятой между значениями");
    case QJsonParseError::IllegalValue:
        return QStringLiteral("недопустимое значение");
    case QJsonParseError::TerminationByNumber:
        return QStringLiteral("текст оборван на числе");
    case QJsonParseError::IllegalNumber:
        return QStringLiteral("недопустимое число");
    case QJsonParseError::IllegalEscapeSequence:
        return QStringLiteral("недопустимый символ после «\\» в строке");
    case QJsonParseError::IllegalUTF8String:
        return QStringLiteral("строка не в кодировке UTF-8");
    case QJsonParseError::UnterminatedString:
        return QStringLiteral("строка не закрыта кавычкой");
    case QJsonParseError::MissingObject:
        return QStringLiteral("после запятой нет значения");
    case QJsonParseError::DeepNesting:
        return QStringLiteral("слишком глубокая вложенность");
    case QJsonParseError::DocumentTooLarge:
        return QStringLiteral("слишком большой документ");
    case QJsonParseError::GarbageAtEnd:
        return QStringLiteral("лишние символы после конца документа");
    }
    return QStringLiteral("ошибка разбора JSON с кодом %1").arg(int(error));
}
