#include "CfgFile.h"

#include "CfgJson.h"
#include "FileRead.h"
#include "NumText.h"
#include "UserError.h"
#include "Version.h"

#include <QFile>
#include <QFileInfo>

#include <QJsonDocument>
#include <QStringList>

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

// The fields both versions hold: only these move from a file of one version into a form of the other.
CfgVersionFields CommonFields(quint8 fileVersion, quint8 controllerVersion) {
    const CfgVersionFields file = VersionFields(fileVersion);
    const CfgVersionFields controller = VersionFields(controllerVersion);
    return {.byteOrder = file.byteOrder && controller.byteOrder, .tries = file.tries && controller.tries};
}

// " (таблица 23 байта)": the size of a version's configuration table.
QString TableSizeText(quint8 softVersion) {
    const int size = proto::ConfigReadSize(softVersion);
    return QStringLiteral(" (таблица %1 %2)").arg(size).arg(RussianPlural(size, u"байт", u"байта", u"байт"));
}

} // namespace

QByteArray CfgFileBytes(const CfgRecord& record, quint8 softVersion, const QDateTime& saved) {
    const QJsonObject doc{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("formatVersion"), kFormatVersion},
        {QStringLiteral("program"), QStringLiteral(RMZ47_VERSION)},
        {QStringLiteral("softVersion"), softVersion},
        {QStringLiteral("tableSize"), proto::ConfigReadSize(softVersion)},
        {QStringLiteral("saved"), MomentText(saved)},
        {QStringLiteral("fields"), RecordToJson(record, softVersion)},
    };
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

QByteArray CheckedCfgFileBytes(const CfgContext& cfg, CfgFormValues& v, const QDateTime& saved) {
    // The checks of "Записать" on a copy: the job's record and the wizard's range stay as they are.
    CfgContext checked = cfg;
    FormToRecordChecked(checked, v);
    FormToRecordRest(checked, v);
    return CfgFileBytes(checked.record, cfg.SoftVersion, saved);
}

OwnDocument ReadOwnDocument(const QByteArray& bytes, const QString& format, int formatVersion) {
    OwnDocument d;
    // A binary file, or a copy a full disk left with zeros: the parser would stop at the zero byte and
    // blame the text around it.
    if (const qsizetype zero = bytes.indexOf('\0'); zero >= 0) {
        if (bytes.trimmed().startsWith('{')) {
            d.outcome = OwnDocument::Outcome::Damaged;
            d.damage = QStringLiteral("нулевой байт в тексте, позиция %1").arg(zero);
        }
        return d;
    }
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // A JSON object cut short or edited into nonsense; anything else is not one of ours at all.
        if (bytes.trimmed().startsWith('{')) {
            d.outcome = OwnDocument::Outcome::Damaged;
            d.damage = JsonParseReason(parseError.error);
        }
        return d;
    }
    d.object = doc.object();
    if (d.object.value(QStringLiteral("format")).toString() != format)
        return d;
    d.outcome = OwnDocument::Outcome::Read;
    if (d.object.value(QStringLiteral("formatVersion")).toInt() != formatVersion) {
        d.outcome = OwnDocument::Outcome::Damaged;
        d.damage = QStringLiteral("неизвестная версия формата");
    }
    return d;
}

namespace {

// controllerVersion: nothing to read the file for the version it names.
CfgFileRead ReadCfgFileFor(const QByteArray& bytes, std::optional<quint8> controllerVersion,
                           const QString& fileName) {
    const OwnDocument doc = ReadOwnDocument(bytes, kFormat, kFormatVersion);
    if (doc.outcome == OwnDocument::Outcome::Foreign)
        return Foreign(fileName);
    if (doc.outcome == OwnDocument::Outcome::Damaged)
        return Damaged(fileName, doc.damage);
    const QJsonObject& o = doc.object;
    const QJsonValue version = o.value(QStringLiteral("softVersion"));
    const int v = version.toInt(-1);
    if (!version.isDouble() || v < 0 || v > 255 || version.toDouble() != v)
        return Damaged(fileName, QStringLiteral("поле softVersion"));
    const quint8 fileVersion = quint8(v);
    if (o.value(QStringLiteral("tableSize")).toInt() != proto::ConfigReadSize(fileVersion))
        return Damaged(fileName, QStringLiteral("поле tableSize"));
    if (controllerVersion && proto::ConfigReadSize(fileVersion) != proto::ConfigReadSize(*controllerVersion))
        return Refused(CfgFileRead::Outcome::OtherLayout,
                       QStringLiteral("Конфигурация в файле ") + Quoted(fileName) +
                           QStringLiteral(" записана для версии ПО ") + QString::number(fileVersion) +
                           TableSizeText(fileVersion) + QStringLiteral(", а у контроллера версия ПО ") +
                           QString::number(*controllerVersion) + TableSizeText(*controllerVersion) +
                           QStringLiteral(": загрузить ее нельзя."));
    FieldProblem problem;
    const std::optional<CfgRecord> record =
        RecordFromJson(o.value(QStringLiteral("fields")).toObject(), fileVersion, &problem);
    if (!record) {
        CfgFileRead r =
            problem.kind == FieldProblem::Kind::Damage
                ? Damaged(fileName, problem.message())
                : Refused(CfgFileRead::Outcome::Unaccepted,
                          QStringLiteral("Конфигурация в файле ") + Quoted(fileName) +
                              QStringLiteral(" не загружена (") + problem.message() + QStringLiteral(")"));
        r.field = problem.field;
        return r;
    }
    CfgFileRead r;
    r.outcome = CfgFileRead::Outcome::Loaded;
    r.softVersion = fileVersion;
    r.record = *record;
    return r;
}

} // namespace

CfgFileRead ReadCfgFile(const QByteArray& bytes, quint8 controllerVersion, const QString& fileName) {
    return ReadCfgFileFor(bytes, controllerVersion, fileName);
}

CfgFileRead ReadCfgFileAlone(const QByteArray& bytes, const QString& fileName) {
    return ReadCfgFileFor(bytes, std::nullopt, fileName);
}

QString OwnFileName(const QString& path) {
    return IsStandardStream(path) ? QStringLiteral("стандартный ввод") : QFileInfo(path).fileName();
}

std::optional<QByteArray> LoadCfgBytes(const QString& path, CfgFileRead* refusal) {
    QString error;
    std::optional<QByteArray> bytes = ReadLimitedFile(path, kOwnFileLimit, &error);
    if (!bytes && refusal)
        *refusal =
            Refused(CfgFileRead::Outcome::Foreign, QStringLiteral("Файл ") + Quoted(OwnFileName(path)) +
                                                       QStringLiteral(" не прочитан: ") + error);
    return bytes;
}

CfgFileRead LoadCfgFile(const QString& path, quint8 controllerVersion) {
    CfgFileRead refusal;
    const std::optional<QByteArray> bytes = LoadCfgBytes(path, &refusal);
    return bytes ? ReadCfgFile(*bytes, controllerVersion, OwnFileName(path)) : refusal;
}

CfgFormValues ApplyFileFields(const CfgFormValues& form, const CfgFileRead& file, quint8 controllerVersion) {
    // Shown as for the controller at hand: its version decides which fields the form offers.
    CfgContext shown;
    shown.SoftVersion = controllerVersion;
    shown.record = file.record;
    CfgFormValues out = form;
    RecordToForm(shown, out);
    const CfgVersionFields taken = CommonFields(file.softVersion, controllerVersion);
    if (!taken.byteOrder)
        out.byteOrder = form.byteOrder;
    if (!taken.tries)
        out.tries = form.tries;
    return out;
}

QString OtherVersionQuestion(const QString& fileName, quint8 fileVersion, quint8 controllerVersion) {
    QString text = QStringLiteral("Конфигурация в файле ") + Quoted(fileName) +
                   QStringLiteral(" записана для версии ПО ") + QString::number(fileVersion) +
                   QStringLiteral(", а у контроллера версия ПО ") + QString::number(controllerVersion) +
                   QStringLiteral(". Загрузить ее?");
    const CfgVersionFields has = VersionFields(controllerVersion);
    const CfgVersionFields taken = CommonFields(fileVersion, controllerVersion);
    QStringList kept;
    if (has.byteOrder && !taken.byteOrder)
        kept << Quoted(QStringLiteral("Порядок байт в float"));
    if (has.tries && !taken.tries)
        kept << Quoted(QStringLiteral("Максимальное количество попыток опроса Вычислителя"));
    if (kept.size() == 1)
        text +=
            QStringLiteral("\nПоля ") + kept[0] + QStringLiteral(" в файле нет: оно останется как в форме.");
    else if (kept.size() > 1)
        text += QStringLiteral("\nПолей ") + kept.join(QStringLiteral(", ")) +
                QStringLiteral(" в файле нет: они останутся как в форме.");
    return text;
}
