#pragma once
// The journal of configure jobs and bench checks: one JSON line per job in the user's data folder, notes
// (site, object) as further lines that name their entry, so that a file is only ever appended to. A line cut
// off by a crash is skipped on reading and never rewritten. No widgets.
#include "CfgRecord.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

class Link;

// One exchange of a configure job: the request's function and table, and what came of it (the link's
// fault or the answer's outcome, "refused" for a sound answer the table's own rules turned down).
struct CfgExchange {
    quint8 function = 0;
    quint8 table = 0;
    QString outcome;
    bool operator==(const CfgExchange&) const = default;
};

// What one configure job found and did, collected by the job without changing its course.
struct CfgJobReport {
    enum class Result { NoIdent, NoState, NoConfig, Cancelled, Written, WriteFailed };
    Result result = Result::NoIdent;
    std::optional<quint8> softVersion;
    QByteArray ident;                 // table 0's data bytes as the controller sent them
    std::optional<bool> configured;   // table 7
    std::optional<CfgRecord> read;    // table 4 of a configured controller
    std::optional<CfgRecord> written; // the record the write carried
    QList<CfgExchange> exchanges;     // every attempt, in order
    // Saves that failed at the job's end (the journal): told once, after the job's last box.
    QStringList problems;
};

// Called at the end of a configure job; returns the saves it could not make (for the same message).
using CfgFinished = std::function<QStringList(const CfgJobReport& report)>;

// $RMZ47_DATA_DIR when set (tests), else $XDG_DATA_HOME/rmz47, else ~/.local/share/rmz47.
QString JournalDirectory();
QString JournalPath(); // journal.jsonl in JournalDirectory()

// One entry: a fresh id, the time, the port and its device, the tool's version and the report.
QJsonObject JournalEntry(const CfgJobReport& report, int portNumber, const QString& device,
                         const QDateTime& time);
// A note on an entry; the last note of an entry is the one that counts.
QJsonObject JournalNote(const QString& entryId, const QString& site, const QString& object,
                        const QDateTime& time);

// Appends one object as one line in a single write, then flushes it to the disk, holding the file's
// exclusive lock (flock) meanwhile so that writers in other processes wait their turn; readers take no
// lock. A cut-off last line left by an earlier crash stays a line of its own. False with *error set when
// it failed.
bool AppendJournal(const QString& path, const QJsonObject& object, QString* error);
// Appends a configure job's entry for the link's port to the journal at journalPath; the save that
// failed, if it did.
QStringList RecordInJournal(const QString& journalPath, const Link& link, const CfgJobReport& report);
// Appends any entry (a configure job's, a bench check's) to the journal at journalPath; the save that
// failed, if it did.
QStringList AppendJournalEntry(const QString& journalPath, const QJsonObject& entry);
// The device behind the link's port as the journal names it; empty without a port.
QString JournalDevice(const Link& link);

// What an entry records: an entry without a "kind" is a configure job, "check" a bench check; kinds
// this version does not know are Other.
enum class JournalKind { Configure, Check, Other };
JournalKind EntryKind(const QJsonObject& entry);

struct JournalContents {
    QList<QJsonObject> entries; // newest first; "site" and "object" from the entry's last note
    int skipped = 0;            // lines that could not be read (a cut-off last line)
};
// The entries of one kind, or of several; entries of the other kinds are left out, not counted as skipped.
JournalContents ReadJournal(const QString& path, JournalKind kind = JournalKind::Configure);
JournalContents ReadJournal(const QString& path, const QList<JournalKind>& kinds);
// "Настройка", "Проверка": a row's kind as the window and CSV name it.
QString KindText(JournalKind kind);

// The journal as the window shows it and as CSV exports it: one row of texts per entry. A check fills
// the columns it shares with a configure job from its controller and plan, and the last ones with its
// steps, pulses and verdict ("прервана" for an aborted check).
QStringList JournalHeaders();
QStringList JournalRow(const QJsonObject& entry);
QByteArray JournalCsv(const QList<QJsonObject>& entries);
