// The step arithmetic of a bench check: the answer that ends a step, the wait for the pulses the output
// still owes, the time left, and the verdicts at and around the tolerance.
#include "CheckSteps.h"
#include "CfgRecord.h"

#include <gtest/gtest.h>

namespace {

// One run at 3600 m3/h (1 m3/s) and V = 0.1 m3 as the controller keeps it (single precision).
CheckPlan PlanWith(CheckStep::Target target, double amount) {
    CheckPlan plan;
    plan.output = OutputFromRecord(0.1f, 10, 10);
    CheckStep step;
    step.flowsM3h = {3600.0, 0, 0};
    step.target = target;
    step.pulses = qint64(amount);
    step.seconds = amount;
    plan.steps = {step};
    return plan;
}

TEST(CheckSteps, TheAnswerThatReachesTheTargetEndsTheStep) {
    using T = CheckStep::Target;
    // startM3: the runs' total when the step began; the fraction of a pulse it holds counts in this step.
    const struct {
        T target;
        double amount, elapsedS, startM3, totalM3;
        qint64 expected;
        bool reached;
    } rows[] = {
        {T::Pulses, 20, 19.0, 0, 1.9, 19, false},     {T::Pulses, 20, 19.99, 0, 1.999, 19, false},
        {T::Pulses, 20, 20.0, 0, 2.0, 20, true},      {T::Pulses, 20, 23.0, 0, 2.3, 23, true},
        {T::Seconds, 60, 59.9, 0, 5.99, 59, false},   {T::Seconds, 60, 60.0, 0, 6.0, 60, true},
        {T::Seconds, 60, 63.0, 0, 6.3, 63, true},     {T::Pulses, 20, 19.0, 0.25, 2.15, 19, false},
        {T::Pulses, 20, 19.5, 0.25, 2.2, 20, true},   {T::Pulses, 6, 0.0, 2.0, 2.0, 0, false},
        {T::Seconds, 10, 10.0, 7.95, 8.95, 10, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.amount << " " << row.elapsedS << " from " << row.startM3);
        const CheckPlan plan = PlanWith(row.target, row.amount);
        CheckStepResult result;
        EXPECT_EQ(TakeAnswer(plan, 0, row.elapsedS, row.startM3, row.totalM3, result), row.reached);
        EXPECT_EQ(result.expectedPulses, row.expected);
        EXPECT_DOUBLE_EQ(result.totalM3, row.totalM3);
    }
}

TEST(CheckSteps, ChartKeepsOnlyTheCornersAndTimeLeftFollowsTheRate) {
    const CheckPlan plan = PlanWith(CheckStep::Target::Pulses, 20);
    CheckStepResult result;
    // From 0.05 m3: half a pulse of the previous step's is this step's.
    for (const auto& [t, v] :
         {std::pair{3.0, 0.35}, std::pair{6.0, 0.35}, std::pair{9.0, 0.95}, std::pair{12.0, 1.55}})
        TakeAnswer(plan, 0, t, 0.05, v, result);
    EXPECT_EQ(result.curve, (QList<QPointF>{{3, 3}, {9, 9}, {12, 15}}));
    EXPECT_NEAR(*StepSecondsLeft(plan, 0, result), 0.45, 1e-6); // 0.45 m3 to 2.0 m3 at 1 m3/s
    const CheckPlan timed = PlanWith(CheckStep::Target::Seconds, 60);
    EXPECT_DOUBLE_EQ(*StepSecondsLeft(timed, 0, result), 48.0);
}

TEST(CheckSteps, WaitForHeldBackPulsesFromPulsePauseAndPulsesDue) {
    const struct {
        double pulseS, pauseS;
        qint64 due;
        double stepS;
        int waitS;
    } rows[] = {
        {0.5, 0.5, 20, 16.0, 4}, // the last of 20 pulses ends at 19.5 s
        {0.1, 0.2, 31, 6.1, 3},  // ends at 9.1 s: exactly 3 s more, not 4
        {0.2, 0.3, 100, 40.0, 10},
        {0.1, 0.1, 10, 60.0, 1}, // kept up: the pulse due with the last answer still takes its length
        {1.5, 1.0, 1, 0.5, 2},
        {0.1, 0.1, 0, 5.0, 0}, // nothing due
        {0, 0, 20, 1.0, 0},    // timing unknown
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.pulseS << "+" << row.pauseS << " x" << row.due);
        EXPECT_EQ(HeldBackWaitS({0.1, row.pulseS, row.pauseS}, row.due, row.stepS), row.waitS);
    }
    EXPECT_EQ(HeldBackText(4, 20),
              QStringLiteral("Подождите 4 с: контроллер выдает импульсы (за шаг ожидается 20 импульсов)."));
    EXPECT_TRUE(HeldBackText(2, 21).endsWith(QStringLiteral("21 импульс).")));
    EXPECT_EQ(HeldBackText(0, 3), QString());
}

TEST(CheckSteps, VerdictAtAndAroundTheTolerance) {
    const struct {
        int tolerance;
        std::optional<qint64> counted;
        CheckVerdict verdict;
    } rows[] = {
        {1, 98, CheckVerdict::Fail},  {1, 99, CheckVerdict::Pass},  {1, 100, CheckVerdict::Pass},
        {1, 101, CheckVerdict::Pass}, {1, 102, CheckVerdict::Fail}, {0, 100, CheckVerdict::Pass},
        {0, 101, CheckVerdict::Fail}, {3, 97, CheckVerdict::Pass},  {1, std::nullopt, CheckVerdict::None},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.tolerance << " " << row.counted.value_or(-1));
        CheckStepResult r;
        r.expectedPulses = 100;
        r.countedPulses = row.counted;
        EXPECT_EQ(StepVerdict(r, row.tolerance), row.verdict);
        EXPECT_EQ(StepDifference(r), row.counted ? *row.counted - 100 : 0);
    }
}

TEST(CheckSteps, OverallVerdictNeedsEveryStepCountedAndNoAbort) {
    CheckRecord record;
    record.plan = PlanWith(CheckStep::Target::Pulses, 10);
    record.plan.steps.append(record.plan.steps[0]);
    const auto counted = [](std::optional<qint64> n) {
        CheckStepResult r;
        r.expectedPulses = 10;
        r.countedPulses = n;
        return r;
    };
    const CheckStepResult pass = counted(11), fail = counted(12), none = counted(std::nullopt);
    const struct {
        QList<CheckStepResult> steps;
        bool aborted;
        CheckVerdict verdict;
    } rows[] = {
        {{pass, pass}, false, CheckVerdict::Pass}, {{pass, fail}, false, CheckVerdict::Fail},
        {{pass, pass}, true, CheckVerdict::None},  {{pass}, false, CheckVerdict::None},
        {{fail, none}, false, CheckVerdict::None},
    };
    for (const auto& row : rows) {
        record.steps = row.steps;
        record.aborted = row.aborted;
        EXPECT_EQ(OverallVerdict(record), row.verdict);
    }
}

} // namespace
