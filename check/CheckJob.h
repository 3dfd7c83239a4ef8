#pragma once
// The bench check as a job: reads the controller when no configure job told about it, then runs each
// step of the plan as one imitation run that stops by itself at the step's target, asks for the count,
// judges the step and offers the next. The window and the command line run this same job against their
// views.
#include "CfgJournal.h"
#include "CheckPlan.h"

#include <functional>
#include <optional>

class CheckView;
class Link;
struct CfgContext;
struct StopControl;

// The controller as a configure job's report tells it: identification, state and the configuration
// read, or the one written and acknowledged.
CheckController ControllerFromReport(const CfgJobReport& report);

// Called at the check's end with its record; returns the saves it could not make (the journal), told
// in one message after the job's last one.
using CheckFinished = std::function<QStringList(const CheckRecord& record)>;

// Runs `plan` (CheckPlanProblem passes it). `known` is what the last configure job found; without it
// tables 0, 7 and 4 are read first (no form, no write) into cfg, and a controller that cannot be read
// ends the job before any step. The record is also what `finished` and the view's showCheckEnd get.
// A controller that cannot be read, or a plan that differs from its configuration and is not to be run
// by it (the view's askUseController), gives a record marked aborted with no steps, and neither of them
// hears of it: nothing was checked.
CheckRecord RunCheck(CheckView& view, Link& link, StopControl& stopControl, CfgContext& cfg,
                     const CheckPlan& plan, const std::optional<CheckController>& known,
                     const CheckFinished& finished = {});
