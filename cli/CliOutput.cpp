#include "CliOutput.h"

#include "CliOptions.h"

#include <QDateTime>
#include <QJsonDocument>

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
