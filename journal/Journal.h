#pragma once
// The journal of configure jobs and bench checks: one JSON line per job in the user's data folder, notes
// (site, object) as further lines that name their entry, so that a file is only ever appended to. A line cut
// off by a crash is skipped on reading and never rewritten. The entries themselves are made by their jobs
// (config/CfgJournal.h, check/CheckJournal.h); here they are JSON objects. No widgets.
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QStringList>

// $RMZ47_DATA_DIR when set (tests), else $XDG_DATA_HOME/rmz47, else ~/.local/share/rmz47.
QString JournalDirectory();
QString JournalPath(); // journal.jsonl in JournalDirectory()

// A note on an entry; the last note of an entry is the one that counts.
QJsonObject JournalNote(const QString& entryId, const QString& site, const QString& object,
                        const QDateTime& time);

// Appends one object as one line in a single write, then flushes it to the disk, holding the file's
// exclusive lock (flock) meanwhile so that writers in other processes wait their turn; readers take no
// lock. A cut-off last line left by an earlier crash stays a line of its own. False with *error set when
// it failed.
bool AppendJournal(const QString& path, const QJsonObject& object, QString* error);
// Appends any entry (a configure job's, a bench check's) to the journal at journalPath; the save that
// failed, if it did.
QStringList AppendJournalEntry(const QString& journalPath, const QJsonObject& entry);

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
