#pragma once
// A configure job in the journal (journal/Journal.h): what the job found and did, made into one entry
// with the port it ran on. No widgets.
#include "CfgRecord.h"
#include "Journal.h"

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
    // A written record read back (the command line's write, which has nobody to look at the controller):
    // not made, the same, differing (readBack holds what came back), or unanswered.
    enum class Check { None, Matched, Differs, NoAnswer };
    Check check = Check::None;
    std::optional<CfgRecord> readBack;
    // Saves that failed at the job's end (the journal): told once, after the job's last box.
    QStringList problems;
};

// Called at the end of a configure job; returns the saves it could not make (for the same message).
using CfgFinished = std::function<QStringList(const CfgJobReport& report)>;

// One entry: a fresh id, the time, the port and its device, the tool's version and the report.
QJsonObject JournalEntry(const CfgJobReport& report, int portNumber, const QString& device,
                         const QDateTime& time);
// Appends a configure job's entry for the link's port to the journal at journalPath; the save that
// failed, if it did.
QStringList RecordInJournal(const QString& journalPath, const Link& link, const CfgJobReport& report);
// The device behind the link's port as the journal names it; empty without a port.
QString JournalDevice(const Link& link);
