// The settings file under faults: a directory the user may not write, a read-only file, a save whose
// write is cut short, and a writer killed at arbitrary points of its saves. Whatever happens, the file
// on disk is the old one or the new one, whole; never truncated, never empty.
#include "FileBytes.h"
#include "IniFile.h"
#include "Now_opros.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot);
}

// A hand-kept settings file with a long commentary: writing it takes several system calls, so a fault can
// fall in the middle of the data.
QByteArray settingsText(int port) {
    QByteArray text = "[rs 232]\nCOM Port=" + QByteArray::number(port) + "\nRTS=1\n";
    for (int i = 0; i < 2000; ++i)
        text += "; line " + QByteArray::number(i) + " of the notes kept in this file by the service team\n";
    return text;
}

// File permissions of an unprivileged user for the current thread. Root ignores permissions, so as root
// the thread's file-system user and group become nobody's (which also drops root's override); anyone else
// is unprivileged already. The probe directory must be one the test made unwritable: when a file can
// still be created there, permissions cannot be tested on this machine and the test fails.
class Unprivileged {
public:
    explicit Unprivileged(const QString& lockedDir) {
        if (::geteuid() == 0) {
            ::setfsgid(65534);
            ::setfsuid(65534);
            dropped_ = true;
        }
        QFile probe(lockedDir + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            ADD_FAILURE() << "a read-only directory is writable here: permissions cannot be tested";
        }
    }
    ~Unprivileged() {
        if (dropped_) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }

private:
    bool dropped_ = false;
};

struct SettingsFaults : ::testing::Test {
    QTemporaryDir root;
    QString locked, open;
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        // Both places must be reachable for the unprivileged user: the test directory is made public.
        ASSERT_TRUE(QFile::setPermissions(root.path(), QFileDevice::Permissions(0x7755)));
        locked = root.filePath(QStringLiteral("locked"));
        open = root.filePath(QStringLiteral("open"));
        ASSERT_TRUE(QDir().mkpath(locked));
        ASSERT_TRUE(QDir().mkpath(open));
        // locked: r-x for everybody; open: rwx for everybody.
        ASSERT_TRUE(QFile::setPermissions(open, QFileDevice::Permissions(0x7777)));
    }
    void lock() { ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions(0x5555))); }
    void TearDown() override {
        QFile::setPermissions(locked, QFileDevice::Permissions(0x7777)); // so that the directory can go
    }
};

TEST_F(SettingsFaults, UnwritableDirectoryKeepsTheFileAndGainsNoOther) {
    const QString path = locked + QStringLiteral("/marvil.ini");
    const QByteArray old = settingsText(3);
    writeAll(path, old);
    lock();
    {
        Unprivileged user(locked);
        Link link;
        link.setSettingsPath(path);
        LoadSettings(link);
        EXPECT_EQ(link.PortNumber(), 3); // still readable
        link.setPortNumber(5);
        SaveSettings(link);
        EXPECT_EQ(readAll(path), old);
        EXPECT_EQ(entries(locked), QStringList{QStringLiteral("marvil.ini")});

        // No file yet: none is made, nor the directory's own sub-directory.
        link.setSettingsPath(locked + QStringLiteral("/sub/marvil.ini"));
        SaveSettings(link);
        EXPECT_EQ(entries(locked), QStringList{QStringLiteral("marvil.ini")});
    }
}

TEST_F(SettingsFaults, ReadOnlyFileIsNotReplaced) {
    const QString path = open + QStringLiteral("/marvil.ini");
    const QByteArray old = settingsText(3);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    // The owner, group and other bits of the file's mode (the "user" ones depend on who asks).
    const auto modeBits = [](const QString& p) {
        return QFileInfo(p).permissions() & QFileDevice::Permissions(0x7077);
    };
    lock();
    // Saving into a writable directory could rename a new file over a read-only one; the operator made it
    // read-only to keep it as it is. Tried as this user and as an unprivileged one.
    for (bool unprivileged : {false, true}) {
        writeAll(path, old);
        ASSERT_TRUE(QFile::setPermissions(path, readOnly));
        std::optional<Unprivileged> user;
        if (unprivileged)
            user.emplace(locked);
        Link link;
        link.setSettingsPath(path);
        LoadSettings(link);
        EXPECT_EQ(link.PortNumber(), 3);
        link.setPortNumber(5);
        SaveSettings(link);
        user.reset();
        EXPECT_EQ(readAll(path), old) << "unprivileged " << unprivileged;
        EXPECT_EQ(modeBits(path), readOnly) << "unprivileged " << unprivileged;
        EXPECT_EQ(entries(open), QStringList{QStringLiteral("marvil.ini")});
        ASSERT_TRUE(QFile::setPermissions(path, readOnly | QFileDevice::WriteOwner));
    }
    // Writable again, it is saved.
    Link link;
    link.setSettingsPath(path);
    link.setPortNumber(5);
    SaveSettings(link);
    EXPECT_TRUE(readAll(path).startsWith("[rs 232]\nCOM Port=5\n"));
}

// The data of the new file cannot all be written (a full disk, a file-size limit): the old file stays.
TEST_F(SettingsFaults, WriteCutShortLeavesTheOldFile) {
    const QString path = open + QStringLiteral("/marvil.ini");
    const QByteArray old = settingsText(3);
    writeAll(path, old);

    // Writing past 4 KB fails with EFBIG instead of raising SIGXFSZ.
    struct sigaction ignore {
    }, saved{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &saved), 0);
    rlimit limit{}, before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    limit = before;
    limit.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);

    Link link;
    link.setSettingsPath(path);
    LoadSettings(link);
    link.setPortNumber(5);
    SaveSettings(link);
    IniFile ini;
    ini.setText(old);
    const bool savedOk = ini.save(path);

    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &before), 0);
    ASSERT_EQ(::sigaction(SIGXFSZ, &saved, nullptr), 0);

    EXPECT_FALSE(savedOk); // and the failure is reported
    EXPECT_EQ(readAll(path), old);
    EXPECT_EQ(entries(open), QStringList{QStringLiteral("marvil.ini")});

    // Without the limit the same save goes through.
    SaveSettings(link);
    EXPECT_TRUE(readAll(path).startsWith("[rs 232]\nCOM Port=5\n"));
}

// A writer that saves over and over is killed at points spread over its saves (the delays only spread
// the kill points; nothing is timed): each time the file is one of the two versions, whole, and the
// program reads it.
TEST_F(SettingsFaults, WriterKilledAtAnyPointLeavesAWholeFile) {
    const QString path = open + QStringLiteral("/marvil.ini");
    const QByteArray port1 = settingsText(1), port2 = settingsText(2);
    writeAll(path, port1);

    int seen[2] = {0, 0};
    for (int round = 0; round < 40; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(RMZ_SETTINGS_WRITER), {path});
        ASSERT_TRUE(writer.waitForStarted(30000)) << writer.errorString().toStdString();
        ASSERT_TRUE(writer.waitForReadyRead(30000)) << "the writer never finished a save";
        ::usleep(useconds_t((round * 389) % 4000));
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(30000));

        const QByteArray now = readAll(path);
        ASSERT_TRUE(now == port1 || now == port2) << "round " << round << ": " << now.size() << " bytes";
        ++seen[now == port2];
        Link link;
        link.setSettingsPath(path);
        LoadSettings(link);
        EXPECT_EQ(link.PortNumber(), now == port1 ? 1 : 2);
    }
    // A temporary file left by a killed writer is never taken for the settings; the next save works and
    // removes what the killed ones left.
    const QString left = entries(open).join(QStringLiteral(", "));
    Link link;
    link.setSettingsPath(path);
    link.setPortNumber(7);
    SaveSettings(link);
    EXPECT_EQ(readAll(path), settingsText(7));
    EXPECT_EQ(entries(open), QStringList{QStringLiteral("marvil.ini")});
    std::printf("killed writer left port 1 %d times, port 2 %d times; directory: %s\n", seen[0], seen[1],
                qPrintable(left));
}

} // namespace
