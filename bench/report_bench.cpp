// Writing the bench check's report: a check of forty steps at three runs, each step's chart fed with an
// answer every 3 s, written as PDF to a temporary folder. The first write loads the fonts; the rest show
// what the engineer waits for after "Сохранить протокол…". Prints its figures; asserts nothing.
//   report_bench [runs] [keep.pdf]
#include "CfgJson.h"
#include "CheckReport.h"
#include "CheckSteps.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

CheckRecord FortyStepCheck() {
    CheckRecord record;
    record.id = QStringLiteral("5e1f0c2a-8d3b-4c7e-9a61-2f4b8c0d7e93");
    record.port = QStringLiteral("COM1");
    record.device = QStringLiteral("/dev/ttyUSB0");
    CheckPlan& plan = record.plan;
    plan.runCount = 3;
    plan.output = OutputFromRecord(0.5f, 20, 20);
    for (int s = 0; s < 40; ++s) {
        CheckStep step;
        step.flowsM3h = {100.0 * (s % 10 + 1), 250.0, 37.5 * (s % 10 + 1)};
        step.target = s % 2 ? CheckStep::Target::Seconds : CheckStep::Target::Pulses;
        step.pulses = 50 + 20 * (s % 10);
        step.seconds = 300;
        plan.steps.append(step);
    }
    plan.site = QStringLiteral("ГРС «Северная»");
    plan.object = QStringLiteral("Узел учета газа №1");
    plan.engineer = QStringLiteral("Иванов И. И.");
    record.controller = {3, QByteArray::fromHex("0301020304050607"), true, RecordToJson(CfgRecord{}, 3)};
    record.started = QDateTime::currentDateTime();
    double total = 0, volume = 0;
    for (int s = 0; s < plan.steps.size(); ++s) {
        CheckStepResult r;
        const double m3PerS = StepTotalFlow(plan, s) / 3600.0, start = volume;
        for (int t = 3; !TakeAnswer(plan, s, t, start, start + t * m3PerS, r); t += 3) {
        }
        volume = r.totalM3;
        r.countedPulses = r.expectedPulses + (s % 3) - 1;
        total += r.durationS;
        record.steps.append(r);
    }
    record.ended = record.started.addSecs(qint64(total));
    return record;
}

double WriteMs(const CheckRecord& record, const QString& path) {
    const auto start = std::chrono::steady_clock::now();
    QString error;
    if (!WriteCheckReport(record, path, &error))
        std::fprintf(stderr, "report_bench: %s\n", qPrintable(error));
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;
    QTemporaryDir dir;
    const QString path =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("report.pdf"));
    const CheckRecord record = FortyStepCheck();
    int points = 0;
    for (const CheckStepResult& r : record.steps)
        points += int(r.curve.size());

    const double first = WriteMs(record, path);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i)
        ms.push_back(WriteMs(record, path));
    std::sort(ms.begin(), ms.end());
    std::printf("forty-step report (%d chart corners, %lld KiB): first write %.1f ms (fonts loaded)\n",
                points, QFileInfo(path).size() / 1024, first);
    std::printf("forty-step report: median %.1f ms, worst %.1f ms over %d writes (target under 200 ms)\n",
                ms[ms.size() / 2], ms.back(), runs);
    return 0;
}
