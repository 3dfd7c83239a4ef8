// The line monitor's window over the real tap: the filter by kind, pause, copy, clear, and its place kept
// in its own settings file.
#include "MonitorWindow.h"
#include "Clock.h"
#include "Now_opros.h"
#include "Version.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/file.h>

namespace {

// A read of table 0, 3 noise bytes, the time-out: one request and two faults, as the link's tap sees them.
void Exchange(Link& link) {
    static const quint8 read0[] = {0xCC, 0xFF, 0x0A, 0x01, 0x00, 0x00, 0x00, 0xFF, 0x3E, 0x2B};
    link.tap().record(LineEventKind::Frame, LineDirection::Out, read0, sizeof read0);
    link.tap().record(LineEventKind::Noise, LineDirection::In, 3);
    link.tap().record(LineEventKind::Silence, LineDirection::In);
    link.tap().deliver();
}

TEST(MonitorWindow, FilterPauseCopyClearAndItsPlace) {
    QTemporaryDir dir;
    qputenv("RMZ47_MONITOR_SETTINGS", dir.filePath(QStringLiteral("monitor.ini")).toLocal8Bit());
    Link link;
    link.setClock(&SystemClock());
    link.setPortNumber(3);
    link.mapPortDevice(3, QStringLiteral("/dev/ttyUSB5"));
    monitor::LineMonitor lineMonitor(link.timeSource());
    lineMonitor.attach(link);
    auto form = std::make_unique<TMonitorForm>(link, lineMonitor);
    form->open();
    auto* rows = form->findChild<QTableView*>(QStringLiteral("RowsView"));
    auto click = [&](const char* name) { form->findChild<QAbstractButton*>(QLatin1String(name))->click(); };
    ASSERT_NE(rows, nullptr);

    Exchange(link);
    form->monitor().flush();
    EXPECT_EQ(rows->model()->rowCount(), 3);
    click("FaultsCheckBox");
    EXPECT_EQ(rows->model()->rowCount(), 1);
    click("FaultsCheckBox");
    click("RequestsCheckBox");
    EXPECT_EQ(rows->model()->rowCount(), 2);
    click("RequestsCheckBox");

    click("PauseButton");
    Exchange(link);
    form->monitor().flush();
    EXPECT_EQ(rows->model()->rowCount(), 3);
    click("PauseButton");
    EXPECT_EQ(rows->model()->rowCount(), 6);

    rows->selectRow(1);
    click("CopyButton");
    const QStringList columns = QApplication::clipboard()->text().trimmed().split(QLatin1Char('\t'));
    ASSERT_EQ(columns.size(), 5);
    EXPECT_EQ(columns[2], QStringLiteral("от контроллера"));
    EXPECT_EQ(columns[4], QStringLiteral("пропущено байт шума: 3"));

    // A saved file says first where and when it was taken.
    ASSERT_TRUE(form->saveTo(dir.filePath(QStringLiteral("line.txt"))));
    QFile saved(dir.filePath(QStringLiteral("line.txt")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.mid(0, 3), (QStringList{QStringLiteral("Обмен по линии: rmz47 " RMZ47_VERSION),
                                            QStringLiteral("Порт COM3, устройство /dev/ttyUSB5"),
                                            QStringLiteral("Скорость 1200 бит/с")}));
    EXPECT_TRUE(lines.value(3).startsWith(QStringLiteral("Сохранено "))) << lines.value(3).toStdString();

    // A long pause shows whole, in minutes and seconds, in its column.
    for (auto [us, text] : {std::pair<qint64, const char*>{512'000, "+0,512 с"},
                            {107'880'000, "+1 мин 47,880 с"},
                            {86'399'999'600, "+1440 мин 0,000 с"}}) {
        monitor::LineRow row;
        row.gapUs = us;
        EXPECT_EQ(monitor::GapText(row), QString::fromUtf8(text));
        EXPECT_GT(rows->columnWidth(1), rows->fontMetrics().horizontalAdvance(monitor::GapText(row)) + 6);
    }

    click("ClearButton");
    EXPECT_EQ(rows->model()->rowCount(), 0);
    // Closing stops neither the line nor the recording; the next window comes back where this one was.
    form->resize(1010, 610);
    form->close();
    EXPECT_TRUE(link.tap().active());
    form = std::make_unique<TMonitorForm>(link, lineMonitor);
    EXPECT_EQ(form->size(), QSize(1010, 610));
    qunsetenv("RMZ47_MONITOR_SETTINGS");
}

// Rows the ring recorded before the window was first made are shown (filter applied) and saved with it; a
// save replaces the file whole, removing what a killed save left beside it, but not the temporary file of
// a save still running.
TEST(MonitorWindow, ShowsAndSavesWhatWasRecordedBeforeItOpened) {
    QTemporaryDir dir;
    qputenv("RMZ47_MONITOR_SETTINGS", dir.filePath(QStringLiteral("monitor.ini")).toLocal8Bit());
    Link link;
    link.setClock(&SystemClock());
    monitor::LineMonitor lineMonitor(link.timeSource());
    lineMonitor.attach(link);
    Exchange(link);
    Exchange(link);
    lineMonitor.flush();

    auto form = std::make_unique<TMonitorForm>(link, lineMonitor);
    form->open();
    auto* rows = form->findChild<QTableView*>(QStringLiteral("RowsView"));
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->model()->rowCount(), 6);
    form->findChild<QAbstractButton*>(QStringLiteral("FaultsCheckBox"))->click();
    form->close();
    Exchange(link);
    lineMonitor.flush();
    form->open();
    EXPECT_EQ(rows->model()->rowCount(), 3);

    const QString target = dir.filePath(QStringLiteral("line.txt"));
    const auto plant = [&](const QString& name) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("partial");
    };
    plant(QStringLiteral("line.txt"));
    plant(QStringLiteral("line.txt.k1LLed"));
    plant(QStringLiteral("line.txt.Runs01"));
    plant(QStringLiteral("line.txt.notours"));
    QFile running(dir.filePath(QStringLiteral("line.txt.Runs01")));
    ASSERT_TRUE(running.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(running.handle(), LOCK_EX), 0);
    ASSERT_TRUE(form->saveTo(target));
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 4 + 3);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("line.txt*")}, QDir::Files),
              (QStringList{QStringLiteral("line.txt"), QStringLiteral("line.txt.notours"),
                           QStringLiteral("line.txt.Runs01")}));
    qunsetenv("RMZ47_MONITOR_SETTINGS");
}

} // namespace
