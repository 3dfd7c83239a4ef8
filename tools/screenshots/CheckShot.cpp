#include "CheckShot.h"

#include "CheckPlanEditor.h"
#include "CheckReport.h"
#include "CheckSteps.h"
#include "CheckWindow.h"
#include "Main.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <cstdio>

namespace {

constexpr int kWaitMs = 20000;

bool Fail(const char* why) {
    std::fprintf(stderr, "rmz47-screenshots: %s\n", why);
    return false;
}

// Two steps at the runs' configured layout: one to 20 pulses, one for half a minute; the counts one
// pulse over and on the mark. Fixed moments, so that the pictures come out the same at every run.
CheckRecord SampleCheck(CheckPlan plan) {
    if (!plan.output.knowsV())
        plan.output.v = 0.1;
    plan.steps = {CheckStep{{1800.0, 900.0, 3600.0}, CheckStep::Target::Pulses, 20, 0},
                  CheckStep{{360.0, 180.0, 3600.0}, CheckStep::Target::Seconds, 0, 30}};
    plan.site = QStringLiteral("ГРС Северная");
    plan.object = QStringLiteral("Узел учета газа № 2");
    plan.engineer = QStringLiteral("Иванов И. И.");
    CheckRecord record;
    record.plan = plan;
    record.controller = {3, QByteArray::fromHex("0301020304"), true, {}};
    record.started = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0), Qt::OffsetFromUTC, 3 * 3600);
    record.ended = record.started.addSecs(240);
    double total = 0;
    for (int s = 0; s < plan.steps.size(); ++s) {
        CheckStepResult r;
        const double m3PerS = StepTotalFlow(plan, s) / 3600.0, start = total;
        for (int t = 1; !TakeAnswer(plan, s, t, start, start + t * m3PerS, r); ++t) {
        }
        total = r.totalM3;
        r.countedPulses = r.expectedPulses + (s == 0 ? 1 : 0);
        record.steps << r;
    }
    return record;
}

bool ShootReport(const CheckRecord& record, const QDir& out, const QDir& workDir) {
    const QString pdf = workDir.filePath(QStringLiteral("check-report.pdf"));
    QString error;
    if (!WriteCheckReport(record, pdf, &error))
        return Fail("cannot write the check's report");
    QProcess render;
    render.start(QStringLiteral("pdftoppm"), {"-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile", pdf,
                                              out.filePath(QStringLiteral("check-report"))});
    if (!render.waitForFinished(kWaitMs) || render.exitCode() != 0)
        return Fail("pdftoppm (poppler-utils) could not draw the report's first page");
    std::printf("%s\n", qPrintable(out.filePath(QStringLiteral("check-report.png"))));
    return true;
}

} // namespace

bool ShootCheck(TMainForm& form, const QDir& out, const QDir& workDir) {
    if (!form.openCheck)
        return Fail("the check window is not attached");
    form.openCheck();
    auto* window = form.findChild<CheckWindow*>();
    CheckPlan plan;
    QString error;
    if (!window || !window->editor()->readPlan(&plan, &error))
        return Fail("the check window holds no plan");
    const CheckRecord record = SampleCheck(plan);
    window->editor()->setPlan(record.plan);
    // The sample's figures go through the window as the job would show them, without the line.
    window->run = [&record](CheckView& view, const CheckPlan&) {
        for (int s = 0; s < record.steps.size(); ++s)
            view.showCheckStep(s, record.steps[s], StepVerdict(record.steps[s], record.plan.tolerance));
        view.showCheckEnd(record);
        return record;
    };
    window->start();
    window->resize(980, 600);
    QApplication::processEvents();
    const QString path = out.filePath(QStringLiteral("check-window.png"));
    if (!window->grab().save(path))
        return Fail("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
    window->close();
    return ShootReport(record, out, workDir);
}
