// The check's report read back as text with pdftotext, made again from the journal, and written whole
// or not at all.
#include "CheckReport.h"
#include "../link/FileBytes.h"
#include "CfgJournal.h"
#include "CfgJson.h"
#include "CheckJournal.h"
#include "CheckSteps.h"
#include "FileReplace.h"
#include "LineSpeed.h"
#include "NumText.h"

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

// Two runs, steps run to their ends the way the job runs them, alternately to 20 pulses and for 30 s;
// the first counted within the tolerance, the others outside it. The controller as read differs from
// the plan drawn up in V only, and the check went by the controller's.
CheckRecord BenchCheck(int steps) {
    CheckRecord record;
    record.id = QStringLiteral("1a2b3c4d-0000-4000-8000-000000000000");
    record.program = QStringLiteral("9.9.9");
    record.port = QStringLiteral("COM3");
    record.device = QStringLiteral("/dev/ttyUSB0");
    CheckPlan& plan = record.plan;
    plan.runCount = 2;
    plan.speedIndex = 7;
    plan.output = OutputFromRecord(0.1f, 20, 30);
    for (int s = 0; s < steps; ++s)
        plan.steps << (s % 2 ? CheckStep{{360.0, 720.0, 3600.0}, CheckStep::Target::Seconds, 0, 30}
                             : CheckStep{{1800.0, 1800.0, 3600.0}, CheckStep::Target::Pulses, 20, 0});
    plan.site = QStringLiteral("ГРС Южная");
    plan.object = QStringLiteral("Узел учета 2");
    plan.engineer = QStringLiteral("Петров П. П.");
    CfgRecord held;
    held.FlCount = 2;
    held.V = 0.1f;
    held.Nag = 20;
    held.Pause = 30;
    held.Period = 200;
    held.Answer = 700;
    held.Addr = {1, 2, 3};
    held.Nitka = {1, 1, 1};
    held.Speed = {proto::SpeedIndexToCode(7), proto::SpeedIndexToCode(7), proto::SpeedIndexToCode(7)};
    held.Flags = {proto::RunFlags(true, 4), proto::RunFlags(true), proto::RunFlags(true)};
    record.controller = {3, QByteArray::fromHex("0301020304"), true, RecordToJson(held, 3)};
    record.planDifferences = {
        {QStringLiteral("Цена импульса"), QStringLiteral("0,500 м3"), QStringLiteral("0,100 м3")}};
    record.started = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0), Qt::OffsetFromUTC, 3 * 3600);
    record.ended = record.started.addSecs(300);
    double total = 0.05; // the runs' counters start off a pulse value: steps carry the fractions
    for (int s = 0; s < steps; ++s) {
        CheckStepResult r;
        const double m3PerS = StepTotalFlow(plan, s) / 3600.0, start = total;
        for (int t = 1; !TakeAnswer(plan, s, t, start, start + t * m3PerS, r); ++t)
            r.answers = {t, t, 0};
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
    const CheckRecord record = BenchCheck(2);
    ASSERT_EQ(record.steps[0].expectedPulses, 20); // 1 m3/s: the answer at 2 s reaches 20 pulses
    ASSERT_EQ(record.steps[1].expectedPulses, 90); // 0.3 m3/s for 30 s
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    QString error;
    ASSERT_TRUE(WriteCheckReport(record, pdf, &error)) << error.toStdString();
    const QString text = PdfText(pdf);
    const QString sep = DecimalSeparator();
    for (const QString& expected : {QStringLiteral("Протокол проверки № 1A2B3C4D"),
                                    QStringLiteral("Страница 2 из 2"),
                                    QStringLiteral("Площадка: ГРС Южная"),
                                    QStringLiteral("Объект: Узел учета 2"),
                                    QStringLiteral("Исполнитель: Петров П. П."),
                                    QStringLiteral("Программа: rmz47 9.9.9; порт: COM3 (/dev/ttyUSB0)."),
                                    QStringLiteral("Версия ПО 3"),
                                    QStringLiteral("законфигурирован"),
                                    QStringLiteral("03 01 02 03 04"),
                                    QStringLiteral("Период опроса"),
                                    QStringLiteral("2") + sep + QStringLiteral("00 с"),
                                    QStringLiteral("Время ожидания ответа"),
                                    QStringLiteral("7") + sep + QStringLiteral("00 с"),
                                    QStringLiteral("Число попыток"),
                                    QStringLiteral("Нитка 2: скорость линии"),
                                    QStringLiteral("9600 бит/с"),
                                    QStringLiteral("Допуск: ±1 импульс на шаг."),
                                    QStringLiteral("20 имп."),
                                    QStringLiteral("30 с"),
                                    QStringLiteral("1800") + sep + QStringLiteral("000 /"),
                                    QStringLiteral("терялась"),
                                    QStringLiteral("Заключение: не годен"),
                                    QStringLiteral("Представитель заказчика"),
                                    QStringLiteral("Дата: «____»")})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
    // V as read beside the plan's, and the step rows: answers per run, expected, counted, the signed
    // difference and the verdict in that order.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Цена импульса\\s+0.100 м3\\s+0,500 м3"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\b1/1\\b.*\\b20\\s+21\\s+\\+1\\s+годен"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\b90\\s+87\\s+−3\\b"))));

    const QString journal = dir.filePath(QStringLiteral("journal.jsonl"));
    ASSERT_TRUE(AppendJournal(journal, CheckJournalEntry(record, 3, QStringLiteral("/dev/ttyUSB0")), &error));
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
    EXPECT_EQ(again->planDifferences, record.planDifferences);
    const QString pdfAgain = dir.filePath(QStringLiteral("again.pdf"));
    ASSERT_TRUE(WriteCheckReport(*again, pdfAgain, &error));
    EXPECT_EQ(PdfText(pdfAgain), text);
}

// Forty steps: every page carries the document number and its page of all, and the chart's step numbers
// stand apart.
TEST(CheckReport, EveryPageOfALongReportIsNumbered) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("long.pdf"));
    QString error;
    ASSERT_TRUE(WriteCheckReport(BenchCheck(40), pdf, &error)) << error.toStdString();
    QStringList pages = PdfText(pdf).split(QLatin1Char('\f'));
    if (pages.last().trimmed().isEmpty())
        pages.removeLast();
    ASSERT_GE(pages.size(), 2);
    for (int p = 0; p < pages.size(); ++p) {
        EXPECT_TRUE(pages[p].contains(QStringLiteral("Протокол проверки № 1A2B3C4D"))) << p;
        EXPECT_TRUE(pages[p].contains(QStringLiteral("Страница %1 из %2").arg(p + 1).arg(pages.size()))) << p;
    }
    EXPECT_TRUE(pages.join(QString()).contains(QRegularExpression(QStringLiteral("\\b40\\s+30 с"))));
}

TEST(CheckReport, FailedOrKilledWriteLeavesTheEarlierFileWhole) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    CheckRecord record = BenchCheck(2);
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
