#pragma once
// A configuration record as readable JSON: every field with its value in the operator's units (seconds,
// m3, bit/s) and the unit beside it, as far as the controller's software version has the field. Shared by
// the configuration files and the journal. No widgets.
#include "CfgRecord.h"

#include <QJsonObject>
#include <QJsonParseError>
#include <optional>

// {"FlCount": {"value": 1, "unit": "-"}, "Nag": {"value": 0.1, "unit": "с"}, ...}
QJsonObject RecordToJson(const CfgRecord& record, quint8 softVersion);

// The record those fields describe, starting from the defaults for the fields the version lacks. Nothing
// (and *problem says which field) when a field is missing, of the wrong kind, or outside the values the
// configuration form accepts.
std::optional<CfgRecord> RecordFromJson(const QJsonObject& fields, quint8 softVersion, QString* problem);

// The shortest decimal that reads back as the same float (0.1, not 0.100000001490116), read without
// the C library, so the same in every locale.
double ShortestDecimal(float v);

// Why a text is not JSON, in the operator's language (QJsonParseError::errorString() is English).
QString JsonParseReason(QJsonParseError::ParseError error);
