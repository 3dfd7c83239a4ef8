#pragma once
// A configuration record as readable JSON: every field with its value in the operator's units (seconds,
// m3, bit/s) and the unit beside it, as far as the controller's software version has the field. Shared by
// the configuration files and the journal. No widgets.
#include "CfgRecord.h"

#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>
#include <optional>

// {"FlCount": {"value": 1, "unit": "-"}, "Nag": {"value": 0.1, "unit": "с"}, ...}
QJsonObject RecordToJson(const CfgRecord& record, quint8 softVersion);

// Why a file's fields were not taken. Damage: a field missing or of the wrong kind, something no program
// of ours wrote. Refused: a sound field whose value the configuration form refuses (with the form's own
// text) or whose unit is not the field's own.
struct FieldProblem {
    enum class Kind { Damage, Refused };
    Kind kind = Kind::Damage;
    QString field; // the field's key: "Period", "Addr2"
    QString text;  // Refused: why, in the form's words
    // "поле Period" for damage, "поле Period: Значение периода опроса ..." for a refusal.
    QString message() const;
};

// The record those fields describe, starting from the defaults for the fields the version lacks. Nothing,
// and *problem says which field and why, when a field is damaged or refused.
std::optional<CfgRecord> RecordFromJson(const QJsonObject& fields, quint8 softVersion, FieldProblem* problem);

// The keys of the fields whose values differ between two records, in the keys' order.
QStringList DifferingFields(const CfgRecord& a, const CfgRecord& b, quint8 softVersion);

// The shortest decimal that reads back as the same float (0.1, not 0.100000001490116), read without
// the C library, so the same in every locale.
double ShortestDecimal(float v);

// Why a text is not JSON, in the operator's language (QJsonParseError::errorString() is English).
QString JsonParseReason(QJsonParseError::ParseError error);
