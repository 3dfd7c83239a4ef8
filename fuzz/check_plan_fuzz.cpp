// Arbitrary files through the check-plan reader and arbitrary journal lines through the check entry's
// reader. A plan file is either refused with a message or a plan that can run, saves and reads back
// unchanged, and whose step arithmetic stays finite; a journal line is either refused with a problem
// or a check whose entry reads back as the same check.
#include "CheckJournal.h"
#include "CheckPlanFile.h"
#include "CheckSteps.h"
#include "FuzzSupport.h"

#include <QJsonDocument>
#include <cmath>

namespace {

void PlanFile(const QByteArray& bytes) {
    const CheckPlanRead read = ReadCheckPlanFile(bytes, QStringLiteral("p.json"));
    if (!read.loaded) {
        Require(!read.message.isEmpty());
        return;
    }
    const CheckPlan& plan = read.plan;
    Require(CheckPlanProblem(plan).isEmpty());
    const CheckPlanRead again =
        ReadCheckPlanFile(CheckPlanFileBytes(plan, QDateTime()), QStringLiteral("p.json"));
    Require(again.loaded && again.plan == plan);
    for (int s = 0; s < plan.steps.size(); ++s) {
        CheckStepResult result;
        TakeAnswer(plan, s, 1.0, plan.output.v * 0.5, plan.output.v * 3.5, result);
        Require(result.expectedPulses >= 0);
        if (const std::optional<double> left = StepSecondsLeft(plan, s, result))
            Require(std::isfinite(*left) && *left >= 0);
        Require(HeldBackWaitS(plan.output, result.expectedPulses, 1.0) >= 0);
    }
}

void JournalLine(const QByteArray& bytes) {
    const QJsonObject entry = QJsonDocument::fromJson(bytes).object();
    QString problem;
    const std::optional<CheckRecord> record = CheckFromJournal(entry, &problem);
    if (!record) {
        Require(!problem.isEmpty());
        return;
    }
    QString again;
    const std::optional<CheckRecord> back =
        CheckFromJournal(CheckJournalEntry(*record, 1, QString()), &again);
    Require(back && back->plan == record->plan && back->steps == record->steps);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    PlanFile(bytes);
    JournalLine(bytes);
    return 0;
}
