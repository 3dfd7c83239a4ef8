// The journal of configure jobs: appending under a writer killed at any moment, a cut-off last line,
// two writers at once, and the window's table, filters, notes, export and a check's report made again.
#include "CfgJournal.h"
#include "CheckJournal.h"
#include "JournalWindow.h"
#include "ModalScript.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
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

// Two programs append at once while a third holds the lock in the middle of a line: the appenders wait,
// and every line comes out whole.
TEST(CfgJournal, TwoWritersAtOnceLeaveEveryLineWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    const QByteArray held = QJsonDocument(Entry(9)).toJson(QJsonDocument::Compact) + '\n';
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    ASSERT_EQ(::write(fd, held.constData(), 40), 40);
    QList<pid_t> writers;
    for (int w = 1; w <= 2; ++w) {
        const QJsonObject entry = Entry(w);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fd); // the lock belongs to the holder's open file, not to this copy of it
            bool ok = true;
            for (int i = 0; i < 1000; ++i)
                ok = AppendJournal(path, entry, nullptr) && ok;
            _exit(ok ? 0 : 1);
        }
        writers << child;
    }
    QThread::msleep(100);
    EXPECT_EQ(FileBytes(path).size(), 40); // the appenders wait for the line in progress
    ASSERT_EQ(::write(fd, held.constData() + 40, size_t(held.size() - 40)), held.size() - 40);
    ::close(fd);
    for (const pid_t child : writers) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const JournalContents read = ReadJournal(path);
    EXPECT_EQ(read.entries.size(), 2001);
    EXPECT_EQ(read.skipped, 0);
    EXPECT_EQ(FileBytes(path).count('\n'), 2001);
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

// Checks beside configure jobs: the kind filter, a check's figures in its row and in the CSV, and its report
// made again through the window, or the problem told for an entry that cannot make one.
TEST(CfgJournal, WindowListsChecksAndMakesTheirReportAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    CheckRecord check;
    check.plan.output = OutputFromRecord(0.1f, 20, 30);
    check.plan.steps = {CheckStep{}};
    check.plan.site = QStringLiteral("ГРС Южная");
    check.controller.softVersion = 3;
    check.steps = {{2.0, 2.0, 20, 21, false, {}}};
    check.ended = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0), Qt::OffsetFromUTC, 3 * 3600);
    const QJsonObject good = CheckJournalEntry(check, 1, QStringLiteral("/dev/ttyS0"));
    QJsonObject damaged = good;
    damaged.remove(QStringLiteral("plan"));
    for (const QJsonObject& e : {Entry(1), good, damaged})
        ASSERT_TRUE(AppendJournal(path, e, nullptr));
    JournalWindow window(path);
    window.reload();
    QTableWidget* table = window.table();
    ASSERT_EQ(table->rowCount(), 3); // newest first: damaged, good, the configure job
    const QStringList row = JournalRow(ReadJournal(path, JournalKind::Check).entries[1]);
    EXPECT_EQ(row.mid(12), (QStringList{"Проверка", "1", "20", "21", "годен"}));
    EXPECT_EQ(row[3], QStringLiteral("3"));
    EXPECT_EQ(row[6], QStringLiteral("ГРС Южная"));
    const struct {
        int kind;
        QList<bool> hidden;
    } filters[] = {{0, {false, false, false}}, {1, {true, true, false}}, {2, {false, false, true}}};
    for (const auto& f : filters) {
        window.kindFilter()->setCurrentIndex(f.kind);
        for (int r = 0; r < 3; ++r)
            EXPECT_EQ(table->isRowHidden(r), f.hidden[r]) << f.kind << " " << r;
    }
    QString error;
    const QString csv = dir.filePath(QStringLiteral("checks.csv"));
    ASSERT_TRUE(window.exportCsv(csv, &error));
    const QStringList lines =
        QString::fromUtf8(FileBytes(csv)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\"Насчитано импульсов\";\"Заключение\"")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("\"Проверка\";\"1\";\"20\";\"21\";\"годен\"")));

    window.kindFilter()->setCurrentIndex(0);
    table->setCurrentCell(2, 0);
    EXPECT_FALSE(window.reportButton()->isEnabled()); // a configure job has no report
    const QString pdf = dir.filePath(QStringLiteral("again"));
    table->setCurrentCell(1, 0);
    OnNextModal([&pdf](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(pdf);
        static_cast<QDialog*>(dialog)->accept(); // as its Save button does
    });
    window.reportButton()->click();
    EXPECT_TRUE(FileBytes(pdf + QStringLiteral(".pdf")).startsWith("%PDF"));
    BoxSeen box;
    table->setCurrentCell(0, 0);
    CloseNextBox(box);
    window.reportButton()->click();
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("По этой записи протокол не составить: ")))
        << box.text.toStdString();
}

} // namespace
