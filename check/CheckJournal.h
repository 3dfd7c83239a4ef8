#pragma once
// A bench check in the journal: one entry ("kind": "check") with the plan, the controller, each step's
// figures and counts and the verdict, written when the check ends or is aborted; and back from such an
// entry to the check, so that its report can be made again. No widgets.
#include "CheckPlan.h"

#include <QJsonObject>
#include <optional>

// The entry for a check, appended with AppendJournal; the time is the check's end.
QJsonObject CheckJournalEntry(const CheckRecord& record, int portNumber, const QString& device);

// The check an entry of kind "check" holds; nothing, and *problem names what is wrong, when it is not
// one this version can read. A note on the entry (ReadJournal puts its site and object in the entry)
// stands over the plan's own.
std::optional<CheckRecord> CheckFromJournal(const QJsonObject& entry, QString* problem);
