#pragma once
// The arithmetic of a check's steps: what an answer does to the step, how long the output still needs
// after the step, how long the step has left, and the verdicts. No widgets and no clock: every time is
// passed in, in seconds since the step started.
#include "CheckPlan.h"

#include <optional>

// The runs' flows of a step together, m3/h.
double StepTotalFlow(const CheckPlan& plan, int step);

// An answer during step `step`, `elapsedS` after the step's first answer, the runs' answered volume
// since the check began standing at `totalM3` (startM3 when the step began): the result takes its
// duration, volumes and expected pulses, and a chart point when the count moved. The expected pulses are
// the whole pulse values the total crossed during the step, floor(total / V) - floor(start / V), as the
// imitation's expected-pulses line counts them: the fraction of a pulse one step leaves is the next
// step's. True when this answer brings the step to its target: the pulses reached, or the duration passed.
bool TakeAnswer(const CheckPlan& plan, int step, double elapsedS, double startM3, double totalM3,
                CheckStepResult& result);

// Seconds until the step reaches its target at its flows, from where the result stands; nothing when
// the pulses cannot be reached (V unknown, no flow).
std::optional<double> StepSecondsLeft(const CheckPlan& plan, int step, const CheckStepResult& result);

// Whole seconds to wait after a step of stepS seconds until the output has emitted pulsesDue pulses:
// it emits one pulse and one pause after another at most, and the last pulse falls due only with the
// step's last answer. 0 when nothing is due or the timing is unknown.
int HeldBackWaitS(const PulseOutput& out, qint64 pulsesDue, double stepS);
// "Подождите 4 с: контроллер выдает импульсы (за шаг ожидается 20 импульсов)."; empty for no wait.
QString HeldBackText(int waitS, qint64 pulsesDue);

enum class CheckVerdict { None, Pass, Fail };
// Counted minus expected; 0 without a count.
qint64 StepDifference(const CheckStepResult& result);
// Pass within the tolerance either way, Fail outside it, None without a count.
CheckVerdict StepVerdict(const CheckStepResult& result, int tolerance);
// None for an aborted check, or one with a step not run or not counted; Fail when any step failed.
CheckVerdict OverallVerdict(const CheckRecord& record);
QString VerdictText(CheckVerdict verdict); // "годен", "не годен", empty

// "1 импульс", "3 импульса", "20 импульсов".
QString PulsesText(qint64 n);

// The running step in the engineer's words: "Шаг 1 из 2: 5 из 10 импульсов, осталось 12 с", or for a
// step of so many seconds "Шаг 2 из 2: 3 из 30 с, 4 импульса, осталось 27 с".
QString StepProgressText(const CheckPlan& plan, int step, const CheckStepResult& result,
                         std::optional<double> left);
