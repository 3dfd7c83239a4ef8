// rmz47 read: the configure job's reading of the controller, printed with the configuration form's
// captions, or as JSON whose configuration is the form's own file.
#include "CliCommand.h"
#include "CliJob.h"
#include "CliOptions.h"
#include "CliOutput.h"

#include "CfgFile.h"
#include "ConfigureJob.h"
#include "ConsoleView.h"
#include "FileRead.h"
#include "FileReplace.h"
#include "LineSpeed.h"
#include "UserError.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kByteOrderItems[2] = {QStringLiteral("Инверсный (старший байт по младшему адресу)"),
                                    QStringLiteral("Прямой (младший байт по младшему адресу)")};

// The configuration as the form shows it: its captions, its edit texts and its choices.
QString ConfigurationText(const CfgContext& cfg, const CfgFormValues& v) {
    QString text = QStringLiteral("Конфигурация контроллера :\n");
    const auto line = [&text](const QString& caption, const QString& value) {
        text += QStringLiteral("  %1 %2\n").arg(caption, value);
    };
    const int runs = v.flIndex + 1;
    line(QStringLiteral("Количество Ниток :"), QString::number(runs));
    line(QStringLiteral("Период опроса (1-10), с :"), v.period);
    line(QStringLiteral("Ожидание ответа (5-20), с :"), v.answer);
    line(QStringLiteral("Объем газа на один импульс :"), v.v + QStringLiteral(" м3"));
    line(QStringLiteral("Длительность импульса (0,1 - 2), с :"), v.nag);
    line(QStringLiteral("Длительность паузы (0,1 - 1), с :"), v.pause);
    if (v.triesVisible)
        line(QStringLiteral("Максимальное количество попыток опроса Вычислителя (2-10):"),
             QString::number(v.tries));
    const bool byteOrder = VersionFields(cfg.SoftVersion).byteOrder;
    for (int i = 0; i < runs; ++i) {
        text += QStringLiteral("  Нитка %1\n").arg(i + 1);
        line(QStringLiteral("  Адрес (1-255):"), QString::number(v.addr[i]));
        line(QStringLiteral("  Нитка (1-3):"), QString::number(v.nitka[i]));
        line(QStringLiteral("  Скорость :"), QString::number(proto::SpeedIndexToBaud(v.speedIndex[i])));
        if (byteOrder)
            line(QStringLiteral("  Порядок байт в float :"), kByteOrderItems[v.byteOrder[i] != 0]);
    }
    return text;
}

QString ReadText(const CfgContext& cfg, const CfgJobReport& report, const CfgFormValues& v) {
    QString text = VersionMessage(cfg.SoftVersion) + QLatin1Char('\n');
    text += QStringLiteral("Идентификация: %1\n").arg(QString::fromLatin1(report.ident.toHex(' ')));
    if (!report.read)
        return text + QStringLiteral("Устройство не законфигурировано!\n");
    return text + QStringLiteral("Устройство законфигурировано\n") + ConfigurationText(cfg, v);
}

QJsonObject ReadJson(const CfgContext& cfg, const CfgJobReport& report, const QByteArray& document) {
    const QJsonObject identification{{QStringLiteral("softVersion"), cfg.SoftVersion},
                                     {QStringLiteral("pulsesByFlow"), cfg.PulsesByFlow()},
                                     {QStringLiteral("ident"), QString::fromLatin1(report.ident.toHex(' '))}};
    const QJsonObject state{{QStringLiteral("configured"), report.configured.value_or(false)}};
    const QJsonValue configuration =
        document.isEmpty() ? QJsonValue() : QJsonValue(QJsonDocument::fromJson(document).object());
    return {{QStringLiteral("identification"), identification},
            {QStringLiteral("state"), state},
            {QStringLiteral("configuration"), configuration}};
}

} // namespace

int RunCliRead(const ReadOptions& options) {
    CliJob job(QStringLiteral("read"));
    if (const int opened = job.open(options.port); opened != kExitDone)
        return opened;
    ConsoleView view;
    CfgContext cfg;
    CfgJobReport report;
    if (!ReadControllerTables(view, job.link, cfg, report))
        return job.fail(kExitNoAnswer, QStringLiteral("контроллер не ответил"));
    CfgFormValues values;
    RecordToForm(cfg, values);
    QByteArray document;
    QString refusal;
    if (report.read) {
        const QDateTime now = QDateTime::currentDateTime();
        try {
            document = CheckedCfgFileBytes(cfg, values, now);
        } catch (const UserError& e) {
            refusal = QStringLiteral("конфигурация контроллера не принимается формой: ") + e.message();
            // What the controller holds is still shown: a script that only looks must not take a
            // configured controller for an empty one.
            if (options.json)
                document = CfgFileBytes(cfg.record, cfg.SoftVersion, now);
        }
    }
    // "-" makes standard output the file: the configuration alone goes there.
    const bool toStandardOutput = IsStandardStream(options.output);
    if (options.json && !toStandardOutput)
        PrintJson(ReadJson(cfg, report, document));
    else if (!toStandardOutput)
        PrintOut(ReadText(cfg, report, values));
    if (!refusal.isEmpty() && !options.output.isEmpty())
        return job.fail(kExitFile, refusal);
    if (!refusal.isEmpty())
        job.fail(kExitDone, refusal); // said, and the read still counts
    if (options.output.isEmpty())
        return kExitDone;
    if (!report.read)
        return job.fail(
            kExitFile,
            QStringLiteral("файл %1 не записан: контроллер не законфигурирован").arg(options.output));
    if (toStandardOutput) {
        PrintData(document);
        return kExitDone;
    }
    QString error;
    if (!WriteWholeFile(options.output, document, &error))
        return job.fail(
            kExitFile,
            QStringLiteral("Не удалось сохранить конфигурацию в файл %1: %2").arg(options.output, error));
    return kExitDone;
}
