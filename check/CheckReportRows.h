#pragma once
// The texts of the check's report, apart from their drawing: the step table's rows, the configuration as
// the controller holds it beside the plan's values, the controller and the conclusion. No painting.
#include "CheckPlan.h"

#include <QStringList>

// The document number: the journal entry's identifier in short form.
QString DocumentNumber(const CheckRecord& record);

QStringList StepHeaders();
QList<double> StepColumnShares(); // shares of the page width, in the headers' order
QList<QStringList> StepRows(const CheckRecord& record);

// "+1", "−2", "0".
QString SignedText(qint64 n);

QString ControllerText(const CheckController& c);
// Field, value as read from table 4 with its unit, and the plan's value where the plan differed; empty
// when the configuration was not read.
QStringList ConfigurationHeaders();
QList<QStringList> ConfigurationRows(const CheckRecord& record);
// The plan's runs, speed and output as lines, for a controller whose configuration was not read.
QStringList PlanConfigurationLines(const CheckPlan& plan);
QString ToleranceText(int tolerance);
QString OverallText(const CheckRecord& record);
