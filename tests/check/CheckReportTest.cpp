// The check's report read back as text with pdftotext, made again from the journal, and written whole
// or not at all.
#include "CheckReport.h"
#include "../link/FileBytes.h"
#include "CfgJournal.h"
#include "CfgJson.h"
#include "CheckJournal.h"
#include "CheckSteps.h"
#include "FileReplace.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Two runs, two steps run to their ends the way the job runs them: one counted within the tolerance,
// one outside it.
CheckRecord TwoStepCheck() {
    CheckRecord record;
    CheckPlan& plan = record.plan;
    plan.runCount = 2;
    plan.speedIndex = 7;
    plan.output = OutputFromRecord(0.1f, 20, 30);
    plan.steps = {{{1800.0, 1800.0, 3600.0}, CheckStep::Target::Pulses, 20, 0},
                  {{360.0, 720.0, 3600.0}, CheckStep::Target::Seconds, 0, 30}};
    plan.site = QStringLiteral("ГРС Южная");
    plan.object = QStringLiteral("Узел учета 2");
    plan.engineer = QStringLiteral("Петров П. П.");
    record.controller = {3, QByteArray::fromHex("0301020304"), true, RecordToJson(CfgRecord{}, 3)};
    record.started = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0), Qt::OffsetFromUTC, 3 * 3600);
    record.ended = record.started.addSecs(300);
    double total = 0.05; // the runs' counters start off a pulse value: steps carry the fractions
    for (int s = 0; s < 2; ++s) {
        CheckStepResult r;
        const double m3PerS = StepTotalFlow(plan, s) / 3600.0, start = total;
        for (int t = 1; !TakeAnswer(plan, s, t, start, start + t * m3PerS, r); ++t) {
        }
        total = r.totalM3;
        r.countedPulses = r.expectedPulses + (s == 0 ? 1 : -3);
        r.lineLost = s == 1;
        record.steps.append(r);
    }
    return record;
}

QString PdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(CheckReport, PdfSaysWhatTheCheckFoundAndTheJournalMakesItAgain) {
    QTemporaryDir dir;
    const CheckRecord record = TwoStepCheck();
    ASSERT_EQ(record.steps[0].expectedPulses, 20); // 1 m3/s: the answer at 2 s reaches 20 pulses
    ASSERT_EQ(record.steps[1].expectedPulses, 90); // 0.3 m3/s for 30 s
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    QString error;
    ASSERT_TRUE(WriteCheckReport(record, pdf, &error)) << error.toStdString();
    const QString text = PdfText(pdf);
    for (const QString& expected :
         {QStringLiteral("Протокол проверки"), QStringLiteral("Площадка: ГРС Южная"),
          QStringLiteral("Объект: Узел учета 2"), QStringLiteral("Исполнитель: Петров П. П."),
          QStringLiteral("Версия ПО 3"), QStringLiteral("законфигурирован"), QStringLiteral("03 01 02 03 04"),
          QStringLiteral("Цена импульса: 0,100 м3"), QStringLiteral("скорость 9600 бит/с"),
          QStringLiteral("1800,000 / 1800,000"), QStringLiteral("2,000"), QStringLiteral("9,000"),
          QStringLiteral("связь терялась"), QStringLiteral("Заключение: не годен"),
          QStringLiteral("Представитель заказчика")})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
    // The step rows: expected, counted, difference and verdict in that order.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\b20\\s+21\\s+1\\s+годен"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\b90\\s+87\\s+-3\\b"))));

    const QString journal = dir.filePath(QStringLiteral("journal.jsonl"));
    ASSERT_TRUE(AppendJournal(journal, CheckJournalEntry(record, 1, QStringLiteral("/dev/ttyS0")), &error));
    const JournalContents configurations = ReadJournal(journal);
    EXPECT_TRUE(configurations.entries.isEmpty());
    EXPECT_EQ(configurations.skipped, 0);
    const JournalContents checks = ReadJournal(journal, JournalKind::Check);
    ASSERT_EQ(checks.entries.size(), 1);
    EXPECT_EQ(checks.entries[0].value(QStringLiteral("verdict")).toString(), QStringLiteral("не годен"));
    const std::optional<CheckRecord> again = CheckFromJournal(checks.entries[0], &error);
    ASSERT_TRUE(again) << error.toStdString();
    EXPECT_EQ(again->plan, record.plan);
    EXPECT_EQ(again->steps, record.steps);
    EXPECT_EQ(again->controller, record.controller);
    const QString pdfAgain = dir.filePath(QStringLiteral("again.pdf"));
    ASSERT_TRUE(WriteCheckReport(*again, pdfAgain, &error));
    EXPECT_EQ(PdfText(pdfAgain), text);
}

TEST(CheckReport, FailedOrKilledWriteLeavesTheEarlierFileWhole) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    CheckRecord record = TwoStepCheck();
    ASSERT_TRUE(WriteCheckReport(record, pdf, nullptr));
    const QByteArray earlier = readAll(pdf);

    // A full disk: files may not grow past 4 KiB while the next report is written.
    record.plan.site = QStringLiteral("Другая площадка");
    rlimit saved{}, small{};
    getrlimit(RLIMIT_FSIZE, &saved);
    small = {4096, saved.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    QString error;
    const bool written = WriteCheckReport(record, pdf, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(pdf), earlier);

    // A writer killed at any moment of its writes.
    const QByteArray next = CheckReportPdf(record); // drawn before the fork: the child only writes
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (;;)
            WriteWholeFile(pdf, next, nullptr);
    }
    QThread::msleep(300);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const QByteArray after = readAll(pdf);
    EXPECT_TRUE(after == earlier || after == next);
    // A kill within a write may leave the writer's temporary file, never a second report.
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("report.pdf")});
}

} // namespace
