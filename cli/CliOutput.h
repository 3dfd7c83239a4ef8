#pragma once
// What the long-running subcommands print besides their messages: JSON objects one a line (a reader
// behind a pipe sees each as soon as it is complete), and times as scripts read them.
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// The line and its end on standard output.
void PrintLine(const QString& line);
// The object as one compact line (without its end), and that line printed.
QString JsonLine(const QJsonObject& object);
void PrintJson(const QJsonObject& object);
// ISO 8601 in UTC with milliseconds: "2026-12-08T04:50:01.123Z".
QString IsoTime(qint64 wallMs);

// A configuration file's field as text: its value and its unit ("2 с", "1200 бит/с", "inverse").
QString FieldText(const QJsonObject& field);
