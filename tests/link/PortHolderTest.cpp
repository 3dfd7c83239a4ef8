// Who holds a busy port: named from a live lock file, else from a process of the same user with the
// device open, else not at all; the line speed a driver really set, against the one asked for; and the
// device watch beyond the folders of hot-plug.
#include "PortHolder.h"
#include "DeviceWatch.h"
#include "Pty.h"
#include "SpeedReadback.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(PortHolder, NamedFromALiveLockFileElseFromAnOpenDescriptorElseOnlyBusy) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QTemporaryDir locks;
    ASSERT_TRUE(locks.isValid());
    QProcess holder; // has the device open, as its standard input
    holder.setStandardInputFile(pty.slavePath());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QProcess locker; // only named in the lock file
    locker.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted() && locker.waitForStarted());
    const qint64 holderPid = holder.processId(), lockerPid = locker.processId();

    // As serial programs name it: /dev/pts/N is LCK..pts_N.
    const QString lock = locks.filePath(QStringLiteral("LCK..pts_") + pty.slavePath().section(u'/', -1));
    const struct {
        QByteArray lockText; // none when empty
        qint64 pid;          // expected holder
    } rows[] = {
        {QByteArray::number(lockerPid).rightJustified(10, ' ') + "\n", lockerPid}, // UUCP form
        {QByteArray::number(lockerPid) + "\nminicom\nhost\n", lockerPid},          // Qt's form
        {"2147483646\n", holderPid},                                               // stale lock
        {"", holderPid},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lockText.toStdString());
        QFile::remove(lock);
        if (!row.lockText.isEmpty()) {
            QFile f(lock);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(row.lockText);
        }
        const PortHolder found = FindPortHolder(pty.slavePath(), {locks.path()});
        EXPECT_EQ(found.pid, row.pid);
        EXPECT_EQ(found.name, QStringLiteral("sleep"));
        EXPECT_EQ(BusyText(found), QStringLiteral("Порт занят программой sleep (pid %1).").arg(row.pid));
    }

    holder.kill();
    holder.waitForFinished();
    QFile::remove(lock);
    EXPECT_FALSE(FindPortHolder(pty.slavePath(), {locks.path()}).found());
    EXPECT_EQ(BusyText({}), QStringLiteral("Порт занят другой программой."));
    locker.kill();
    locker.waitForFinished();
}

TEST(SpeedReadback, MoreThanTwoPercentOffIsMissed) {
    const struct {
        qint32 requested, actual;
        bool missed;
    } rows[] = {
        {7680, 7680, false},  {9600, 9615, false}, {12800, 13056, false}, // 2.0 % exactly
        {12800, 13057, true}, {3200, 3000, true},  {7680, 9600, true},    // refused: the old speed kept
        {6400, 0, false},                                                 // cannot be read back
    };
    for (const auto& row : rows)
        EXPECT_EQ(SpeedMissed(row.requested, row.actual), row.missed) << row.requested << " " << row.actual;
}

// A mapped link's folder wakes the watch for that link only, not for a log written beside it.
TEST(DeviceWatch, ALinksFolderCountsOnlyForTheLink) {
    QTemporaryDir dir;
    DeviceWatch watch;
    watch.addPathsOf({dir.filePath(QStringLiteral("com1"))});
    QSignalSpy changed(&watch, &DeviceWatch::changed);
    QFile log(dir.filePath(QStringLiteral("rmz47-sim.log")));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    EXPECT_FALSE(changed.wait(600));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("com1"))));
    EXPECT_TRUE(changed.wait(3000));
}

} // namespace
