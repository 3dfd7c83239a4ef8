#pragma once
// A bench check of the controller's pulse output: the plan the engineer drew up (runs, line speed, the
// output's volume per pulse and timing, steps at given flows, the tolerance), what each step gave, and
// the record of one check from start to verdict. Values only: no widgets, no clock, no port.
#include "ExpectedPulses.h"
#include "ImitSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QString>
#include <array>
#include <optional>

constexpr int kCheckRunsMax = 3;

// One imitated metering run: the flow computer's address, the run number inside it and the byte order
// of the floats in its answers.
struct CheckRun {
    quint8 address = 1;
    quint8 run = 1;
    bool msbFirst = true;
    bool operator==(const CheckRun&) const = default;
};

// One step: the flow of each run, and where it ends, either after so many output pulses or after so
// many seconds.
struct CheckStep {
    std::array<double, kCheckRunsMax> flowsM3h{3600.0, 3600.0, 3600.0}; // the plan's first runCount count
    enum class Target { Pulses, Seconds };
    Target target = Target::Pulses;
    qint64 pulses = 10;  // when target is Pulses
    double seconds = 60; // when target is Seconds
    // The same flows and the same target; the other target's amount is not part of the step.
    bool operator==(const CheckStep& o) const;
};

struct CheckPlan {
    int runCount = 1; // 1..3
    std::array<CheckRun, kCheckRunsMax> runs{{{1, 1, true}, {2, 1, true}, {3, 1, true}}};
    qint32 speedIndex = 1; // the imitation line's LineSpeedTable row, as ImitSettings::ImitSpeedIndex
    PulseOutput output;
    QList<CheckStep> steps;
    int tolerance = 1; // pulses either way that still pass
    QString site, object, engineer;
    bool operator==(const CheckPlan&) const;
};

// What one step gave. Only answered volume counts: the runs' counters go on from one step to the next,
// and the step's volume is what their last answers of the step added to the previous step's, together.
struct CheckStepResult {
    double durationS = 0;
    double volumeM3 = 0;
    qint64 expectedPulses = 0;
    std::optional<qint64> countedPulses; // entered by the engineer from the counter
    bool lineLost = false;               // the port went away during the step
    QList<QPointF> curve;                // (seconds since the step's start, expected pulses), for the chart
    double totalM3 = 0;                  // the runs' answered volume since the check began, at the step's end
    std::array<int, kCheckRunsMax> answers{}; // answers given per run during the step
    bool operator==(const CheckStepResult&) const = default;
};

// The controller as the last configure job before the check found it.
struct CheckController {
    std::optional<quint8> softVersion;
    QByteArray ident;               // table 0's data bytes
    std::optional<bool> configured; // table 7
    QJsonObject fields;             // table 4 as a configuration file's fields; empty when not read
    bool operator==(const CheckController&) const = default;
};

// One field where the plan and the controller differ, in the engineer's words and units.
struct PlanMismatch {
    QString field;      // "Цена импульса", "Нитка 2: адрес"
    QString plan;       // the plan's value: "0,500 м3"
    QString controller; // the controller's value as read
    bool operator==(const PlanMismatch&) const = default;
};

struct CheckRecord {
    QString id;           // the journal entry's identifier, made when the check starts
    QString program;      // the tool's version that ran it
    QString port, device; // "COM1" and the device behind it
    CheckPlan plan;       // as run: the controller's values where the engineer chose to check by them
    QList<PlanMismatch> planDifferences; // the plan as drawn up beside the controller, field by field
    CheckController controller;
    QDateTime started, ended;
    QList<CheckStepResult> steps; // the steps run so far, in the plan's order
    bool aborted = false;         // stopped by the engineer: no verdict
    bool refused = false;         // the plan differs from the controller and was not run (aborted too)
};

// Why a plan cannot be run, in the engineer's words; empty when it can.
QString CheckPlanProblem(const CheckPlan& plan);

// The imitation settings for one step of the plan: its runs, its flows, the line speed and the output.
ImitSettings ImitSettingsForStep(const CheckPlan& plan, int step);
