#include "CliOutput.h"

#include "CliOptions.h"

#include <QDateTime>
#include <QJsonDocument>

#include "NumText.h"

void PrintLine(const QString& line) {
    PrintOut(line + QLatin1Char('\n'));
}

QString JsonLine(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void PrintJson(const QJsonObject& object) {
    PrintLine(JsonLine(object));
}

QString IsoTime(qint64 wallMs) {
    return QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString FieldText(const QJsonObject& field) {
    const QJsonValue value = field.value(QStringLiteral("value"));
    const QString unit = field.value(QStringLiteral("unit")).toString();
    return (value.isString() ? value.toString() : FormatNumber(value.toDouble(), 3)) +
           (unit == QLatin1String("-") || unit.isEmpty() ? QString() : QStringLiteral(" ") + unit);
}
