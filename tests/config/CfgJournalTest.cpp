// The journal of configure jobs: appending under a writer killed at any moment, a cut-off last line,
// two writers at once, and the window's table, filters, notes, export and a check's report made again.
#include "CfgJournal.h"
#include "CheckJournal.h"
#include "JournalWindow.h"
#include "ModalScript.h"
#include "NumText.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QJsonObject Entry(int n) {
    CfgJobReport report;
    report.result = CfgJobReport::Result::Written;
    report.softVersion = 2;
    report.ident = QByteArray(14, char(n));
    report.written = CfgRecord{};
    const QDateTime moscow(QDate(2026, 12, n), QTime(21, 39, 33), Qt::OffsetFromUTC, 3 * 3600);
    return JournalEntry(report, 1, QStringLiteral("/dev/ttyS%1").arg(n), moscow);
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

TEST(CfgJournal, WriterKilledMidLoopLeavesEveryEarlierEntryWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    const QJsonObject entry = Entry(1); // built before the fork: the child only appends
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (;;)
            AppendJournal(path, entry, nullptr);
    }
    for (int i = 0; i < 1000 && ReadJournal(path).entries.size() < 30; ++i)
        QThread::msleep(5);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const QByteArray bytes = FileBytes(path);
    const JournalContents read = ReadJournal(path);
    ASSERT_GE(read.entries.size(), 30);
    EXPECT_EQ(read.entries.size(), bytes.count('\n')); // every finished line is a whole entry
    EXPECT_LE(read.skipped, 1);
}

// Two programs append 1,000 entries each while a third holds the lock in the middle of a line: they wait
// for it, and every line comes out whole.
TEST(CfgJournal, TwoWritersAtOnceLeaveEveryLineWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    const QByteArray held = QJsonDocument(Entry(9)).toJson(QJsonDocument::Compact) + '\n';
    const QJsonObject entry = Entry(1); // built before the fork: the children only append
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    ASSERT_TRUE(fd >= 0 && ::flock(fd, LOCK_EX) == 0 && ::write(fd, held.constData(), 40) == 40);
    pid_t writers[2];
    for (pid_t& child : writers)
        if ((child = fork()) == 0) {
            ::close(fd); // the lock stays with the holder's open file
            bool ok = true;
            for (int i = 0; i < 1000; ++i)
                ok = AppendJournal(path, entry, nullptr) && ok;
            _exit(ok ? 0 : 1);
        }
    QThread::msleep(100);
    EXPECT_EQ(FileBytes(path).size(), 40);
    ASSERT_EQ(::write(fd, held.constData() + 40, size_t(held.size() - 40)), held.size() - 40);
    ::close(fd);
    for (const pid_t child : writers) {
        int status = -1;
        EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const JournalContents read = ReadJournal(path);
    EXPECT_EQ(read.entries.size(), 2001);
    EXPECT_EQ(read.skipped, 0);
}

TEST(CfgJournal, CutOffLastLineIsSkippedAndNeverRewritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/journal.jsonl")); // the folder is made
    for (int n = 1; n <= 2; ++n)
        ASSERT_TRUE(AppendJournal(path, Entry(n), nullptr));
    {
        // A crash in the middle of a line: half an entry, no newline.
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QJsonDocument(Entry(3)).toJson(QJsonDocument::Compact).left(60));
    }
    const QByteArray torn = FileBytes(path);
    const QJsonObject next = Entry(4);
    ASSERT_TRUE(AppendJournal(path, next, nullptr));
    EXPECT_TRUE(FileBytes(path).startsWith(torn));
    const JournalContents read = ReadJournal(path);
    ASSERT_EQ(read.entries.size(), 3);
    EXPECT_EQ(read.skipped, 1);
    EXPECT_EQ(read.entries[0].value(QStringLiteral("id")), next.value(QStringLiteral("id"))); // newest first
}

TEST(CfgJournal, WindowShowsNewestFirstFiltersAttachesNotesAndExports) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(AppendJournal(path, Entry(n), nullptr));
    JournalWindow window(path);
    const QByteArray tz = qgetenv("TZ");
    qputenv("TZ", "YEKT-5"); // the file's moment on a clock at UTC+5
    window.reload();
    QTableWidget* table = window.table();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("03.12.2026 23:39:33"));
    tz.isNull() ? qunsetenv("TZ") : qputenv("TZ", tz);
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("/dev/ttyS3"));
    window.filterEdit()->setText(QStringLiteral("ttys2"));
    EXPECT_TRUE(table->isRowHidden(0));
    EXPECT_FALSE(table->isRowHidden(1));

    QString error;
    const QString id = ReadJournal(path).entries[1].value(QStringLiteral("id")).toString();
    ASSERT_TRUE(window.attachNote(id, QStringLiteral("ГРС-1"), QStringLiteral("Узел 1"), &error));
    ASSERT_TRUE(window.attachNote(id, QStringLiteral("ГРС \"Север\""), QStringLiteral("Узел 2"),
                                  &error)); // the last counts
    EXPECT_EQ(table->item(1, 6)->text(), QStringLiteral("ГРС \"Север\""));
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    ASSERT_TRUE(window.exportCsv(csv, &error));
    const QStringList lines =
        QString::fromUtf8(FileBytes(csv)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2); // the header and the one entry the filter shows
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\"ГРС \"\"Север\"\"\";\"Узел 2\"")));
}

// A check beside a configure job: the kind filter, the check's figures in its row, its report made again
// through the window, and the problem told for an entry that cannot make one.
TEST(CfgJournal, WindowListsChecksAndMakesTheirReportAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    CheckRecord check;
    check.plan.output = OutputFromRecord(0.1f, 20, 30);
    check.plan.steps = {CheckStep{}};
    check.plan.site = QStringLiteral("ГРС Южная");
    check.steps = {{2.0, 2.0, 20, 21, false, {}}};
    const QJsonObject sound = CheckJournalEntry(check, 1, QStringLiteral("/dev/ttyS0"));
    QJsonObject damaged = sound;
    damaged.remove(QStringLiteral("plan"));
    for (const QJsonObject& e : {Entry(1), sound, damaged})
        ASSERT_TRUE(AppendJournal(path, e, nullptr));
    JournalWindow window(path);
    window.reload();
    window.kindFilter()->setCurrentIndex(2); // checks only: the damaged one, then the sound one
    EXPECT_TRUE(window.table()->isRowHidden(2));
    const QStringList row = JournalRow(sound); // as the table and CSV show it
    EXPECT_EQ(row.mid(6, 1) + row.mid(12), (QStringList{"ГРС Южная", "Проверка", "1", "20", "21", "годен"}));
    // The export: the entries' rows as before, then one row per step of each check that can be read.
    QString error;
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    ASSERT_TRUE(window.exportCsv(csv, &error)) << error.toStdString();
    const QStringList lines = QString::fromUtf8(FileBytes(csv)).split(QStringLiteral("\r\n"));
    const qsizetype steps =
        lines.indexOf(QStringLiteral("Проверка;Шаг;Расход, м3/ч;Цель;Объем шага, м3;"
                                     "Ожидалось;Насчитано;Разница;Вердикт;Площадка;Объект;"
                                     "Исполнитель"));
    ASSERT_EQ(steps, 4) << lines.join('\n').toStdString(); // header, two checks, a blank line
    EXPECT_TRUE(
        lines[steps + 1].startsWith(sound.value(QStringLiteral("id")).toString() + QStringLiteral(";1;")));
    EXPECT_TRUE(lines[steps + 1].endsWith(QStringLiteral(";10 имп.;2") + DecimalSeparator() +
                                          QStringLiteral("000;20;21;1;годен;ГРС Южная;;")))
        << lines[steps + 1].toStdString();
    const QString pdf = dir.filePath(QStringLiteral("again"));
    window.table()->setCurrentCell(1, 0);
    OnNextModal([&pdf](QWidget* w) {
        qobject_cast<QFileDialog*>(w)->selectFile(pdf);
        static_cast<QDialog*>(w)->accept(); // as its Save button does
    });
    window.reportButton()->click();
    EXPECT_TRUE(FileBytes(pdf + QStringLiteral(".pdf")).startsWith("%PDF"));
    BoxSeen box;
    window.table()->setCurrentCell(0, 0);
    CloseNextBox(box);
    window.reportButton()->click();
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("По этой записи протокол не составить: ")));

    // Another writer (the command line, a check) appends: the open window follows the file.
    window.show();
    ASSERT_TRUE(AppendJournal(path, Entry(2), nullptr));
    for (int waited = 0; window.table()->rowCount() < 4 && waited < 5000; waited += 50)
        QTest::qWait(50);
    EXPECT_EQ(window.table()->rowCount(), 4);
}

} // namespace
