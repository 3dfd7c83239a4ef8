#pragma once
// The configure job: the controller's tables read, the configuration edited in the view's form and
// written back, each exchange told to the view and noted in the job's report. No widgets.
#include "CfgJournal.h"
#include "CfgRecord.h"

#include <functional>

class ConfigureView;
class JobView;
class Link;

// The configuration the operator confirmed in the form, with the line speed chosen for run 1 (an
// index of LineSpeedTable). Told before the write, whatever the write's result.
using CfgConfirmed = std::function<void(const CfgRecord& record, int speedIndex)>;

// The configure job's steps on the line, for jobs that need them without the form. Each exchange is up
// to five attempts told to the view as the step on the line and noted in the report.
// Tables 0, 7 and, on a configured controller, 4, with the job's messages (the software version, a
// controller not configured); false after its message when one cannot be read.
bool ReadControllerTables(JobView& view, Link& link, CfgContext& cfg, CfgJobReport& report);
// Table 4 alone into cfg.record, without a message; false when no attempt gave an acceptable answer.
bool ReadConfigTable(JobView& view, Link& link, CfgContext& cfg, CfgJobReport& report);
// Writes cfg's record as table 4; true only for the controller's acknowledgement.
bool WriteConfiguration(JobView& view, Link& link, const CfgContext& cfg, CfgJobReport& report);

// The configure job, run by the main window's UstavkiButton and the command line's write: reads the
// identification, state and configuration tables, lets the operator edit the configuration in the view's form
// and writes it back. Each exchange is told to the view as the step on the line. At the end `finished` learns
// what the job found and did; the saves it could not make (the journal) are told in one message after the
// job's last one.
void RunConfigureJob(ConfigureView& view, Link& link, CfgContext& cfg, const CfgConfirmed& confirmed,
                     const CfgFinished& finished = {});
