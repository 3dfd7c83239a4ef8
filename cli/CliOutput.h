#pragma once
// What the long-running subcommands print: whole lines on standard output (a reader behind a pipe sees
// each line as soon as it is complete), JSON objects one a line, and times as scripts read them.
#include "JobView.h"

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// The line and its end, written and flushed at once.
void PrintLine(const QString& line);
// The object as one compact line.
void PrintJson(const QJsonObject& object);
// A line on standard error (the window's texts, behind the program's name).
void WarnLine(const QString& text);
// ISO 8601 in UTC with milliseconds: "2026-12-08T04:50:01.123Z".
QString IsoTime(qint64 wallMs);

// The view of a job that prints its own progress: its messages and the link's notices (the port lost
// and back, a speed the adapter does not make) go to standard error, nothing else is shown.
class NoticeView : public HeadlessView {
public:
    void tell(Notice kind, const QString& caption, const QString& text) override;
    void showLinkNotice(LinkNotice which, const QString& text) override;
};
