#pragma once
// Configurations kept in files: a readable JSON document with the tool's and the controller's software
// version, the date, and every field of the record with its unit. No widgets: the configuration form
// asks for the path and shows what these functions say.
#include "CfgRecord.h"

#include <QDateTime>
#include <QJsonObject>
#include <optional>

// The document for a record that passed the form's checks, for a controller of softVersion.
QByteArray CfgFileBytes(const CfgRecord& record, quint8 softVersion, const QDateTime& saved);

// The document for cfg's record as the form's values v change it, after the form's checks: v's edit
// texts come back normalised, and a value the form refuses throws UserError naming it. cfg is not changed.
QByteArray CheckedCfgFileBytes(const CfgContext& cfg, CfgFormValues& v, const QDateTime& saved);

// A document in one of the tool's own JSON formats, parsed and its "format" and "formatVersion" checked.
// Foreign: not JSON, or not that format; Damaged: a JSON object cut short or edited into nonsense, or of
// a format version this program does not know (`damage` says which, in the operator's words).
struct OwnDocument {
    enum class Outcome { Read, Foreign, Damaged };
    Outcome outcome = Outcome::Foreign;
    QString damage;
    QJsonObject object;
};
OwnDocument ReadOwnDocument(const QByteArray& bytes, const QString& format, int formatVersion);

struct CfgFileRead {
    // Unaccepted: sound, but a value the form refuses or a unit that is not the field's own.
    enum class Outcome { Loaded, Foreign, Damaged, OtherLayout, Unaccepted };
    Outcome outcome = Outcome::Foreign;
    QString message;        // why it was refused, in the operator's words
    QString field;          // the field at fault, when one is
    quint8 softVersion = 0; // the version the file was saved for
    CfgRecord record;
};

// Reads a file's bytes for a controller of controllerVersion; fileName only names it in the messages.
// A record of another layout (21 bytes before version 2, 23 from it on) is refused; one of another
// version with the same layout is Loaded, and the caller asks before taking it.
CfgFileRead ReadCfgFile(const QByteArray& bytes, quint8 controllerVersion, const QString& fileName);
// The file judged on its own, as for a controller of the version it was saved for: every refusal but
// another layout, before any controller is asked.
CfgFileRead ReadCfgFileAlone(const QByteArray& bytes, const QString& fileName);

// The bytes of the file at path ("-": standard input), read with ReadLimitedFile's limit; nothing when they
// cannot be read, with *refusal the file refused as foreign with the reason.
std::optional<QByteArray> LoadCfgBytes(const QString& path, CfgFileRead* refusal);
// The name a file goes by in messages: its own name, or "стандартный ввод" for "-".
QString OwnFileName(const QString& path);

// The file at path read as ReadCfgFile reads its bytes, after LoadCfgBytes.
CfgFileRead LoadCfgFile(const QString& path, quint8 controllerVersion);

// The form's values with a loaded file's fields laid over them. A field changes when the file holds it
// and the controller of controllerVersion has it; every other field keeps the form's value, so a file
// from a version without attempts leaves the attempts the form shows as they are.
CfgFormValues ApplyFileFields(const CfgFormValues& form, const CfgFileRead& file, quint8 controllerVersion);

// "Конфигурация в файле … записана для версии ПО 2, а у контроллера версия ПО 4. Загрузить ее?", then the
// fields the controller has and the file lacks, which ApplyFileFields leaves as they are.
QString OtherVersionQuestion(const QString& fileName, quint8 fileVersion, quint8 controllerVersion);
