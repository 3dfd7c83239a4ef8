#pragma once
// What the check job asks of its view beyond the imitation's panels: the step's progress, the wait for
// the pulses the output still owes, the count from the engineer's counter, the step's verdict and the
// way on to the next step. The window shows them in "Проверка на стенде"; a console prints and asks on
// the terminal; a test answers from lists.
#include "CheckPlan.h"
#include "CheckSteps.h"
#include "JobView.h"

#include <optional>

class CheckView : public virtual JobView {
public:
    // The running step after an answer that moved it: its figures so far and the seconds it has left at
    // its flows (nothing when that cannot be known). Called after the answer went out.
    virtual void showCheckProgress(int step, const CheckStepResult& result,
                                   std::optional<double> secondsLeft) = 0;
    // The output still emits the step's pulses: `text` says how long to wait ("Подождите 4 с: …"), for
    // waitS seconds from now; an empty text clears it.
    virtual void showCheckWait(const QString& text, int waitS) = 0;
    // The pulses the engineer counted during the step ("Насчитано импульсов"); nothing aborts the check.
    virtual std::optional<qint64> askCountedPulses(int step, const CheckStepResult& result) = 0;
    // The step as it ended: its figures, the count, the difference and the verdict.
    virtual void showCheckStep(int step, const CheckStepResult& result, CheckVerdict verdict) = 0;
    // The plan differs from the controller's configuration as read: `differences` names the fields, one
    // a line; `held` is the plan with the controller's values. True checks against those; false does not
    // start the check.
    virtual bool askUseController(const QString& differences, const CheckPlan& held) = 0;
    // Whether to go on with step `next` (0-based); false aborts the check.
    virtual bool askNextStep(int next) = 0;
    // The check is over (finished or aborted): the record as the report and the journal take it.
    virtual void showCheckEnd(const CheckRecord& record) = 0;
};
