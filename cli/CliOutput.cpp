#include "CliOutput.h"

#include <QDateTime>
#include <QJsonDocument>

#include <cstdio>

void PrintLine(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void PrintJson(const QJsonObject& object) {
    PrintLine(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

void WarnLine(const QString& text) {
    const QByteArray bytes = "rmz47: " + text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString IsoTime(qint64 wallMs) {
    return QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

void NoticeView::tell(Notice, const QString& caption, const QString& text) {
    WarnLine(caption.isEmpty() ? text : caption + QStringLiteral(": ") + text);
}

void NoticeView::showLinkNotice(LinkNotice, const QString& text) {
    if (!text.isEmpty())
        WarnLine(text);
}
