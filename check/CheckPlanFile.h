#pragma once
// Check plans kept in files: a JSON document whose run and output fields read as a configuration
// file's, then the steps, the tolerance and who checks what where. Read with the care of configuration
// files: a damaged or foreign file is refused and nothing is taken from it. No widgets.
#include "CheckPlan.h"

#include <QDateTime>
#include <QJsonObject>
#include <optional>

// The plan's own part of a document (fields, steps, tolerance, site, object, engineer); the journal
// keeps a check's plan the same way. V goes in single precision, pulse and pause in hundredths of a
// second, as the controller holds them.
QJsonObject PlanToJson(const CheckPlan& plan);
// The plan those members describe; nothing, and *problem names the field ("поле V", "шаг 2, поле
// flows"), when one is missing or of the wrong kind or value.
std::optional<CheckPlan> PlanFromJson(const QJsonObject& object, QString* problem);

// The document for a plan that CheckPlanProblem passes.
QByteArray CheckPlanFileBytes(const CheckPlan& plan, const QDateTime& saved);

struct CheckPlanRead {
    bool loaded = false;
    QString message; // why it was refused, naming the file (fileName) and the field
    CheckPlan plan;
};
CheckPlanRead ReadCheckPlanFile(const QByteArray& bytes, const QString& fileName);
// The plan in the file at path, read as above; a file that cannot be opened is refused with the system's
// reason, one far larger than any plan as damaged.
CheckPlanRead LoadCheckPlanFile(const QString& path);
