#pragma once
// The plan beside the controller it is run against: the controller's configuration as read (table 4)
// names the runs it polls, their line speed and its pulse output, and a check whose plan says otherwise
// would imitate runs nobody polls or judge the output by a volume per pulse it does not have. Values
// only: no widgets.
#include "CheckPlan.h"

#include <QList>
#include <QString>
#include <optional>

// The plan's runs, line speed and output as the controller holds them; nothing when its configuration
// was not read (a controller that is not configured holds none).
std::optional<CheckPlan> PlanOnController(const CheckPlan& plan, const CheckController& controller);

// Field by field where the plan differs from the controller's configuration: the number of runs, each
// served run's address, run number, byte order (where the version keeps one) and line speed, V, pulse
// and pause. Empty when they agree or the configuration was not read.
QList<PlanMismatch> PlanMismatches(const CheckPlan& plan, const CheckController& controller);

// "Нитка 1: адрес: в плане 1, в контроллере 3", one line a field.
QString MismatchLines(const QList<PlanMismatch>& mismatches);

// The steps (0-based) whose flows need more pulses a second than pulse and pause let the output emit:
// the output cannot keep up and its held-back pulses pile up.
QList<int> StepsTooFast(const CheckPlan& plan);
// "Шаги 2, 3: выход не успевает …"; empty when every step can be followed.
QString TooFastText(const CheckPlan& plan, const QList<int>& steps);
