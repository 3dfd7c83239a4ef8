#include "Journal.h"

#include "NumText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kType = QStringLiteral("type");
const QString kId = QStringLiteral("id");
const QString kSite = QStringLiteral("site");
const QString kObject = QStringLiteral("object");

QString Error(const char* what) {
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// Writes all of line at the end of the file, after a newline when the file's last line was cut off.
bool WriteLine(int fd, QByteArray line, QString* error) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
            line.prepend('\n');
    }
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = Error("write");
            return false;
        }
        done += n;
    }
    if (::fsync(fd) != 0) {
        *error = Error("fsync");
        return false;
    }
    return true;
}

QString Cell(const QJsonObject& e, const QString& key) {
    return e.value(key).toString();
}

QString FieldsText(const QJsonObject& record) {
    const QJsonObject fields = record.value(QStringLiteral("fields")).toObject();
    QStringList parts;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const QJsonObject f = it.value().toObject();
        const QJsonValue v = f.value(QStringLiteral("value"));
        const QString unit = f.value(QStringLiteral("unit")).toString();
        parts << it.key() + QLatin1Char('=') + (v.isString() ? v.toString() : QString::number(v.toDouble())) +
                     (unit == QStringLiteral("-") ? QString() : QLatin1Char(' ') + unit);
    }
    return parts.join(QStringLiteral("; "));
}

// A note's site or object; a check without a note keeps its plan's.
QString NoteOrPlan(const QJsonObject& e, const QString& key) {
    const QString note = Cell(e, key);
    return note.isEmpty() ? e.value(QStringLiteral("plan")).toObject().value(key).toString() : note;
}

// The steps run, the pulses expected and counted over all of them, and the verdict.
QStringList CheckFigures(const QJsonObject& e) {
    const QJsonArray steps = e.value(QStringLiteral("steps")).toArray();
    qint64 expected = 0;
    qint64 counted = 0;
    bool anyCounted = false;
    for (const auto& step : steps) {
        expected += qint64(step.toObject().value(QStringLiteral("expected")).toDouble());
        const QJsonValue count = step.toObject().value(QStringLiteral("counted"));
        anyCounted = anyCounted || count.isDouble();
        counted += qint64(count.toDouble());
    }
    return {QString::number(steps.size()), QString::number(expected),
            anyCounted ? QString::number(counted) : QString(),
            e.value(QStringLiteral("aborted")).toBool() ? QStringLiteral("прервана")
                                                        : Cell(e, QStringLiteral("verdict"))};
}

QString CsvField(const QString& s) {
    QString q = s;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

QString JournalDirectory() {
    QString own = qEnvironmentVariable("RMZ47_DATA_DIR");
    if (!own.isEmpty())
        return own;
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    const QString base = xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : xdg;
    return base + QStringLiteral("/rmz47");
}

QString JournalPath() {
    return JournalDirectory() + QStringLiteral("/journal.jsonl");
}

QJsonObject JournalNote(const QString& entryId, const QString& site, const QString& object,
                        const QDateTime& time) {
    return {{kType, QStringLiteral("note")},
            {kId, entryId},
            {kSite, site},
            {kObject, object},
            {QStringLiteral("time"), MomentText(time)}};
}

bool AppendJournal(const QString& path, const QJsonObject& object, QString* error) {
    QString ignored;
    QString& why = error ? *error : ignored;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        why = QStringLiteral("не удалось создать папку ") + QFileInfo(path).absolutePath();
        return false;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = Error("open");
        return false;
    }
    // The window and the command line append at once: without the lock one of them could take the other's
    // line in progress for a line cut off by a crash and end it early, or land in the middle of it.
    int locked = ::flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR)
        locked = ::flock(fd, LOCK_EX);
    if (locked != 0) {
        why = Error("flock");
        ::close(fd);
        return false;
    }
    const bool ok = WriteLine(fd, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', &why);
    ::close(fd); // and with it the lock
    return ok;
}

JournalKind EntryKind(const QJsonObject& entry) {
    const QJsonValue kind = entry.value(QStringLiteral("kind"));
    if (kind.isUndefined())
        return JournalKind::Configure;
    return kind.toString() == QStringLiteral("check") ? JournalKind::Check : JournalKind::Other;
}

JournalContents ReadJournal(const QString& path, JournalKind kind) {
    return ReadJournal(path, QList<JournalKind>{kind});
}

JournalContents ReadJournal(const QString& path, const QList<JournalKind>& kinds) {
    JournalContents out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    QHash<QString, QJsonObject> notes;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString type = o.value(kType).toString();
        if (type == QStringLiteral("entry") && !o.value(kId).toString().isEmpty()) {
            if (kinds.contains(EntryKind(o)))
                out.entries.prepend(o);
        } else if (type == QStringLiteral("note")) {
            notes[o.value(kId).toString()] = o;
        } else {
            ++out.skipped;
        }
    }
    for (QJsonObject& e : out.entries) {
        const QJsonObject note = notes.value(e.value(kId).toString());
        e[kSite] = note.value(kSite).toString();
        e[kObject] = note.value(kObject).toString();
    }
    return out;
}

QString KindText(JournalKind kind) {
    return kind == JournalKind::Check ? QStringLiteral("Проверка") : QStringLiteral("Настройка");
}

QStringList JournalHeaders() {
    return {QStringLiteral("Время"),
            QStringLiteral("Порт"),
            QStringLiteral("Устройство"),
            QStringLiteral("Версия ПО"),
            QStringLiteral("Состояние"),
            QStringLiteral("Результат"),
            QStringLiteral("Площадка"),
            QStringLiteral("Объект"),
            QStringLiteral("Прочитано"),
            QStringLiteral("Записано"),
            QStringLiteral("Таблица 0"),
            QStringLiteral("Программа"),
            QStringLiteral("Вид записи"),
            QStringLiteral("Шагов"),
            QStringLiteral("Ожидалось импульсов"),
            QStringLiteral("Насчитано импульсов"),
            QStringLiteral("Заключение")};
}

QStringList JournalRow(const QJsonObject& e) {
    const bool check = EntryKind(e) == JournalKind::Check;
    // A configure job keeps what it found of the controller at the top of its entry, a check in its own
    // object beside the plan.
    const QJsonObject controller = check ? e.value(QStringLiteral("controller")).toObject() : e;
    const QJsonValue configured = controller.value(QStringLiteral("configured"));
    const QJsonValue version = controller.value(QStringLiteral("softVersion"));
    QStringList row{Cell(e, QStringLiteral("time")),
                    Cell(e, QStringLiteral("port")),
                    Cell(e, QStringLiteral("device")),
                    version.isDouble() ? QString::number(version.toInt()) : QString(),
                    configured.isBool() ? (configured.toBool() ? QStringLiteral("законфигурирован")
                                                               : QStringLiteral("не законфигурирован"))
                                        : QString(),
                    Cell(e, QStringLiteral("result")),
                    NoteOrPlan(e, kSite),
                    NoteOrPlan(e, kObject),
                    FieldsText(check ? controller : e.value(QStringLiteral("read")).toObject()),
                    FieldsText(e.value(QStringLiteral("written")).toObject()),
                    Cell(controller, QStringLiteral("ident")),
                    Cell(e, QStringLiteral("program"))};
    if (!check)
        return row << KindText(JournalKind::Configure) << QString() << QString() << QString() << QString();
    return row << KindText(JournalKind::Check) << CheckFigures(e);
}

QByteArray JournalCsv(const QList<QJsonObject>& entries) {
    // Semicolons and a byte-order mark: a spreadsheet under Russian settings opens it as it is.
    QStringList lines;
    const auto row = [](const QStringList& cells) {
        QStringList quoted;
        for (const QString& c : cells)
            quoted << CsvField(c);
        return quoted.join(QLatin1Char(';'));
    };
    lines << row(JournalHeaders());
    for (const QJsonObject& e : entries)
        lines << row(JournalRow(e));
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

QStringList AppendJournalEntry(const QString& journalPath, const QJsonObject& entry) {
    QString error;
    if (AppendJournal(journalPath, entry, &error))
        return {};
    const bool check = entry.value(QStringLiteral("kind")).toString() == QStringLiteral("check");
    return {(check ? QStringLiteral("журнал проверок ") : QStringLiteral("журнал конфигураций ")) +
            journalPath + QStringLiteral(" (") + error + QStringLiteral(")")};
}
