#include "CfgJournal.h"

#include "CfgJson.h"
#include "Now_opros.h"
#include "NumText.h"
#include "Settings.h"
#include "Version.h"

#include <QJsonArray>
#include <QUuid>

namespace {

const QString kType = QStringLiteral("type");
const QString kId = QStringLiteral("id");

// A write checked by reading it back says how the check went.
QString CheckedText(const CfgJobReport& report) {
    const quint8 version = report.softVersion.value_or(0);
    switch (report.check) {
    case CfgJobReport::Check::Matched:
        return QStringLiteral("Конфигурация записана и проверена");
    case CfgJobReport::Check::Differs:
        return QStringLiteral("Конфигурация записана, проверка не совпала: ") +
               DifferingFields(*report.written, *report.readBack, version).join(QStringLiteral(", "));
    case CfgJobReport::Check::NoAnswer:
        return QStringLiteral("Конфигурация записана, проверка не выполнена: нет ответа");
    case CfgJobReport::Check::None:
        break;
    }
    return QStringLiteral("Конфигурация записана");
}

QString ResultText(const CfgJobReport& report) {
    switch (report.result) {
    case CfgJobReport::Result::NoIdent:
        return QStringLiteral("Не прочитана таблица 0");
    case CfgJobReport::Result::NoState:
        return QStringLiteral("Не прочитана таблица 7");
    case CfgJobReport::Result::NoConfig:
        return QStringLiteral("Не прочитана таблица 4");
    case CfgJobReport::Result::Cancelled:
        return QStringLiteral("Отменено, ничего не записано");
    case CfgJobReport::Result::Written:
        return CheckedText(report);
    case CfgJobReport::Result::WriteFailed:
        return QStringLiteral("Ошибка при записи конфигурации");
    }
    return {};
}

// The record with the bytes that went over the line for it: as read (21 or 23), as written (20 or 23).
QJsonObject RecordEntry(const CfgRecord& r, quint8 softVersion, int byteCount) {
    const auto bytes = r.encode();
    return {
        {QStringLiteral("bytes"),
         QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()), byteCount).toHex(' '))},
        {QStringLiteral("fields"), RecordToJson(r, softVersion)}};
}

QJsonArray ExchangesEntry(const QList<CfgExchange>& exchanges) {
    QJsonArray out;
    for (const CfgExchange& x : exchanges)
        out.append(QJsonObject{{QStringLiteral("function"), x.function},
                               {QStringLiteral("table"), x.table},
                               {QStringLiteral("outcome"), x.outcome}});
    return out;
}

} // namespace

QJsonObject JournalEntry(const CfgJobReport& report, int portNumber, const QString& device,
                         const QDateTime& time) {
    QJsonObject e{{kType, QStringLiteral("entry")},
                  {kId, QUuid::createUuid().toString(QUuid::WithoutBraces)},
                  {QStringLiteral("time"), MomentText(time)},
                  {QStringLiteral("port"),
                   portNumber > 0 ? QStringLiteral("COM%1").arg(portNumber) : QStringLiteral("нет")},
                  {QStringLiteral("device"), device},
                  {QStringLiteral("program"), QStringLiteral(RMZ47_VERSION)},
                  {QStringLiteral("ident"), QString::fromLatin1(report.ident.toHex(' '))},
                  {QStringLiteral("result"), ResultText(report)}};
    if (report.softVersion)
        e[QStringLiteral("softVersion")] = *report.softVersion;
    if (report.configured)
        e[QStringLiteral("configured")] = *report.configured;
    const quint8 version = report.softVersion.value_or(0);
    if (report.read)
        e[QStringLiteral("read")] = RecordEntry(*report.read, version, proto::ConfigReadSize(version));
    if (report.written)
        e[QStringLiteral("written")] = RecordEntry(*report.written, version, proto::ConfigWriteSize(version));
    if (report.readBack)
        e[QStringLiteral("readBack")] =
            RecordEntry(*report.readBack, version, proto::ConfigReadSize(version));
    if (!report.exchanges.isEmpty())
        e[QStringLiteral("exchanges")] = ExchangesEntry(report.exchanges);
    return e;
}

QStringList RecordInJournal(const QString& journalPath, const Link& link, const CfgJobReport& report) {
    return AppendJournalEntry(journalPath, JournalEntry(report, link.PortNumber(), JournalDevice(link),
                                                        QDateTime::currentDateTime()));
}

QString JournalDevice(const Link& link) {
    return link.PortNumber() > 0 ? PortDeviceName(link, link.PortNumber()) : QString();
}
