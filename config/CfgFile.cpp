#include "CfgFile.h"

#include "CfgJson.h"
#include "Version.h"

#include <QJsonDocument>
#include <QSaveFile>

namespace {

const QString kFormat = QStringLiteral("RMZ-47 configuration");
constexpr int kFormatVersion = 1;

QString Quoted(const QString& fileName) {
    return QStringLiteral("«") + fileName + QStringLiteral("»");
}

CfgFileRead Refused(CfgFileRead::Outcome outcome, const QString& message) {
    CfgFileRead r;
    r.outcome = outcome;
    r.message = message;
    return r;
}

CfgFileRead Foreign(const QString& fileName) {
    return Refused(CfgFileRead::Outcome::Foreign,
                   QStringLiteral("Файл ") + Quoted(fileName) +
                       QStringLiteral(" не является файлом конфигурации контроллера RMZ-47."));
}

CfgFileRead Damaged(const QString& fileName, const QString& what) {
    return Refused(CfgFileRead::Outcome::Damaged, QStringLiteral("Файл конфигурации ") + Quoted(fileName) +
                                                      QStringLiteral(" поврежден (") + what +
                                                      QStringLiteral("), конфигурация не загружена."));
}

} // namespace

QByteArray CfgFileBytes(const CfgRecord& record, quint8 softVersion, const QDateTime& saved) {
    const QJsonObject doc{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("formatVersion"), kFormatVersion},
        {QStringLiteral("program"), QStringLiteral(RMZ47_VERSION)},
        {QStringLiteral("softVersion"), softVersion},
        {QStringLiteral("tableSize"), ExpectedCfgSize(softVersion)},
        {QStringLiteral("saved"), MomentText(saved)},
        {QStringLiteral("fields"), RecordToJson(record, softVersion)},
    };
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

CfgFileRead ReadCfgFile(const QByteArray& bytes, quint8 controllerVersion, const QString& fileName) {
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // A JSON object cut short or edited into nonsense; anything else is not a configuration at all.
        if (bytes.trimmed().startsWith('{'))
            return Damaged(fileName, parseError.errorString());
        return Foreign(fileName);
    }
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")).toString() != kFormat)
        return Foreign(fileName);
    if (o.value(QStringLiteral("formatVersion")).toInt() != kFormatVersion)
        return Damaged(fileName, QStringLiteral("неизвестная версия формата"));
    const QJsonValue version = o.value(QStringLiteral("softVersion"));
    const int v = version.toInt(-1);
    if (!version.isDouble() || v < 0 || v > 255 || version.toDouble() != v)
        return Damaged(fileName, QStringLiteral("поле softVersion"));
    const quint8 fileVersion = quint8(v);
    if (o.value(QStringLiteral("tableSize")).toInt() != ExpectedCfgSize(fileVersion))
        return Damaged(fileName, QStringLiteral("поле tableSize"));
    if (ExpectedCfgSize(fileVersion) != ExpectedCfgSize(controllerVersion))
        return Refused(CfgFileRead::Outcome::OtherLayout,
                       QStringLiteral("Конфигурация в файле ") + Quoted(fileName) +
                           QStringLiteral(" записана для версии ПО ") + QString::number(fileVersion) +
                           QStringLiteral(" (таблица ") + QString::number(ExpectedCfgSize(fileVersion)) +
                           QStringLiteral(" байт), а у контроллера версия ПО ") +
                           QString::number(controllerVersion) + QStringLiteral(" (таблица ") +
                           QString::number(ExpectedCfgSize(controllerVersion)) +
                           QStringLiteral(" байт): загрузить ее нельзя."));
    QString problem;
    const std::optional<CfgRecord> record =
        RecordFromJson(o.value(QStringLiteral("fields")).toObject(), fileVersion, &problem);
    if (!record)
        return Damaged(fileName, problem);
    CfgFileRead r;
    r.outcome = CfgFileRead::Outcome::Loaded;
    r.softVersion = fileVersion;
    r.record = *record;
    return r;
}

QString OtherVersionQuestion(const QString& fileName, quint8 fileVersion, quint8 controllerVersion) {
    return QStringLiteral("Конфигурация в файле ") + Quoted(fileName) +
           QStringLiteral(" записана для версии ПО ") + QString::number(fileVersion) +
           QStringLiteral(", а у контроллера версия ПО ") + QString::number(controllerVersion) +
           QStringLiteral(". Загрузить ее?");
}
