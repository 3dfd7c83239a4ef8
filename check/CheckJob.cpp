#include "CheckJob.h"

#include "CfgJournal.h"
#include "CfgJson.h"
#include "CheckMatch.h"
#include "CheckSteps.h"
#include "CheckView.h"
#include "ConfigureJob.h"
#include "ImitJob.h"
#include "JobCommon.h"
#include "Now_opros.h"
#include "Version.h"

#include <QUuid>

#include <array>

namespace {

// The check's view as one step's imitation sees it: everything goes on to the check's view (and through
// it to the main window's panels), and a port lost on the way marks the step.
class StepLineWatch : public RelayView {
public:
    StepLineWatch(CheckView& view, CheckStepResult& result) : RelayView(view), result_(result) {}
    void showLinkNotice(LinkNotice which, const QString& text) override {
        if (which == LinkNotice::Port && !text.isEmpty())
            result_.lineLost = true;
        RelayView::showLinkNotice(which, text);
    }

private:
    CheckStepResult& result_;
};

// Each run's volume as its last answer in the check reported it: a flow computer's counter, which goes on
// from one step to the next and never goes back within the check.
using RunVolumes = std::array<float, kCheckRunsMax>;

double TotalOf(const CheckPlan& plan, const RunVolumes& volumes) {
    double total = 0;
    for (int r = 0; r < plan.runCount; ++r)
        total += double(volumes[std::size_t(r)]);
    return total;
}

// One step as one imitation run, its volumes going on from `volumes` and growing from the step's first
// answer. Each answer moves the step's figures on; the answer that reaches the target ends the run. False
// when the operator stopped it first.
bool RunStep(CheckView& view, Link& link, StopControl& stopControl, const CheckPlan& plan, int step,
             RunVolumes& volumes, CheckStepResult& result) {
    ImitSettings imit = ImitSettingsForStep(plan, step);
    ImitVolumeStart start{{volumes[0], volumes[1], volumes[2]}, true};
    const double startM3 = TotalOf(plan, volumes);
    result.totalM3 = startM3;
    const ImitAnswerHook afterAnswer = [&](const ImitAnswer& answer) {
        if (answer.slot < 0 || answer.slot >= plan.runCount)
            return false;
        volumes[std::size_t(answer.slot)] = answer.volume;
        ++result.answers[std::size_t(answer.slot)];
        const bool reached =
            TakeAnswer(plan, step, answer.elapsedMs / 1000.0, startM3, TotalOf(plan, volumes), result);
        view.showCheckProgress(step, result, StepSecondsLeft(plan, step, result));
        return reached;
    };
    StepLineWatch watch(view, result);
    RunWatchedImitation(watch, link, imit, stopControl, afterAnswer, start);
    return stopControl.StopRequested == 0;
}

// After the step: the wait for the pulses the output still owes, the engineer's count and the verdict.
// False when no count came.
bool JudgeStep(CheckView& view, const CheckPlan& plan, int step, CheckStepResult& result) {
    // The output learns of the volume only from the answers: its pulses start with the step's first
    // answer, however late that came (the controller pauses after its own table reads).
    const double outputS = result.curve.isEmpty() ? 0.0 : result.durationS - result.curve.first().x();
    const int waitS = HeldBackWaitS(plan.output, result.expectedPulses, outputS);
    view.showCheckWait(HeldBackText(waitS, result.expectedPulses), waitS);
    const std::optional<qint64> counted = view.askCountedPulses(step, result);
    view.showCheckWait({}, 0);
    if (!counted)
        return false;
    result.countedPulses = *counted;
    view.showCheckStep(step, result, StepVerdict(result, plan.tolerance));
    return true;
}

// Every step of the record's plan in turn; false when the engineer aborted. A step cut short stays in the
// record with what it got so far.
bool RunSteps(CheckView& view, Link& link, StopControl& stopControl, CheckRecord& record) {
    const CheckPlan& plan = record.plan;
    RunVolumes volumes{};
    for (int step = 0; step < plan.steps.size(); ++step) {
        if (step > 0 && !view.askNextStep(step))
            return false;
        CheckStepResult result;
        const bool done = RunStep(view, link, stopControl, plan, step, volumes, result) &&
                          JudgeStep(view, plan, step, result);
        record.steps.append(result);
        if (!done)
            return false;
    }
    return true;
}

// Tables 0, 7 and 4 as the configure job reads them, with its messages; nothing when one cannot be read.
std::optional<CheckController> ReadController(CheckView& view, Link& link, CfgContext& cfg) {
    CfgJobReport report;
    // A controller that is not configured leaves no record of an earlier one behind.
    cfg.record = CfgRecord{};
    if (!ReadControllerTables(view, link, cfg, report))
        return std::nullopt;
    return ControllerFromReport(report);
}

// The plan meets the controller: runs, speed and output as it holds them, or the engineer's word that
// the check goes by the controller's configuration. Either way the steps' expected pulses use the V the
// controller really has. False when the check is not to start.
bool MeetController(CheckView& view, CheckRecord& record) {
    const std::optional<CheckPlan> held = PlanOnController(record.plan, record.controller);
    if (!held)
        return true;
    const QList<PlanMismatch> mismatches = PlanMismatches(record.plan, record.controller);
    if (!mismatches.isEmpty() && !view.askUseController(MismatchLines(mismatches), *held))
        return false;
    record.plan = *held;
    record.planDifferences = mismatches;
    return true;
}

} // namespace

CheckController ControllerFromReport(const CfgJobReport& report) {
    CheckController c;
    c.softVersion = report.softVersion;
    c.ident = report.ident;
    c.configured = report.configured;
    // An acknowledged write is what the controller holds now, and it holds a configuration from then on.
    const bool written = report.result == CfgJobReport::Result::Written && report.written;
    if (written)
        c.configured = true;
    const std::optional<CfgRecord>& record = written ? report.written : report.read;
    if (record)
        c.fields = RecordToJson(*record, report.softVersion.value_or(0));
    return c;
}

CheckRecord RunCheck(CheckView& view, Link& link, StopControl& stopControl, CfgContext& cfg,
                     const CheckPlan& plan, const std::optional<CheckController>& known,
                     const CheckFinished& finished) {
    CheckRecord record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.program = QStringLiteral(RMZ47_VERSION);
    record.port =
        link.PortNumber() > 0 ? QStringLiteral("COM%1").arg(link.PortNumber()) : QStringLiteral("нет");
    record.device = JournalDevice(link);
    record.plan = plan;
    record.started = QDateTime::currentDateTime();
    const std::optional<CheckController> controller = known ? known : ReadController(view, link, cfg);
    if (!controller) {
        record.aborted = true;
        record.ended = QDateTime::currentDateTime();
        return record;
    }
    record.controller = *controller;
    if (!MeetController(view, record)) {
        record.aborted = record.refused = true;
        record.ended = QDateTime::currentDateTime();
        return record;
    }
    record.aborted = !RunSteps(view, link, stopControl, record);
    record.ended = QDateTime::currentDateTime();
    view.showCheckEnd(record);
    if (finished)
        TellFailedSaves(view, finished(record));
    return record;
}
