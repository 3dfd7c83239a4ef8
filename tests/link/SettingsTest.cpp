// The settings file: defaults, values as read, other content kept byte for byte, atomic replacement,
// files that cannot be read or written, and the COMn device mapping.
#include "Settings.h"
#include "FileBytes.h"
#include "IniFile.h"
#include "Now_opros.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct SettingsTest : ::testing::Test {
    QTemporaryDir dir;
    Link link;
    SettingsTest() { link.setSettingsPath(dir.filePath(QStringLiteral("marvil.ini"))); }
    ~SettingsTest() override { IniFile::beforeReplace = nullptr; }
    void load(const QByteArray& text) {
        writeAll(link.settingsPath(), text);
        link.setPortNumber(-77);
        link.setRtsControl(-77);
        LoadSettings(link);
    }
};

TEST_F(SettingsTest, FirstRunHasNoPortAndRtsOnAndSavingCreatesTheFile) {
    link.setSettingsPath(dir.filePath(QStringLiteral("sub/dir/marvil.ini")));
    link.setPortNumber(5);
    link.setRtsControl(0);
    LoadSettings(link);
    EXPECT_EQ(link.PortNumber(), 0);
    EXPECT_EQ(link.RtsControl(), 1);
    SaveSettings(link);
    EXPECT_EQ(readAll(link.settingsPath()), QByteArray("[rs 232]\nCOM Port=0\nRTS=1\n"));
}

TEST_F(SettingsTest, ValuesAreReadAsStoredWithDefaultsForWhatIsNotAnInteger) {
    struct Case {
        const char* text;
        int port, rts;
    };
    const Case cases[] = {
        {"[rs 232]\nCOM Port=2\nRTS=1\n", 2, 1},
        {"[rs 232]\r\nCOM Port=8\r\nRTS=0\r\n", 8, 0},
        {"\xEF\xBB\xBF[rs 232]\r\nCOM Port=4\r\n", 4, 1},
        {"[rs 232]\nRTS=5\n", 0, 5}, // any non-zero RTS stays as stored
        {"[rs 232]\nRTS=-3\nCOM Port=1", 1, -3},
        {"  [ RS 232 ]  \n  com port  =  3  \nrts= 0\n", 3, 0},
        {"[rs 232]\nCOM Port=9\n", 0, 1}, // no COM9: no port
        {"[rs 232]\nCOM Port=-1\n", 0, 1},
        {"[rs 232]\nCOM Port=abc\nRTS=x\n", 0, 1},
        {"[rs 232]\nCOM Port=\nRTS=\n", 0, 1},
        {"[rs 232]\nCOM Port=2.5\nRTS=1e3\n", 0, 1},
        {"[rs 232]\nCOM Port=99999999999\nRTS=99999999999\n", 0, 1},
        {"[rs 232]\n;COM Port=4\n#RTS=0\n", 0, 1},
        {"[other]\nCOM Port=4\nRTS=0\n[rs 232]\n", 0, 1},
        {"[rs%20232]\nCOM%20Port=2\n", 0, 1},
        {"[rs 232]\nCOM Port=6\n[rs 232]\nCOM Port=7\n", 6, 1}, // the first section counts
        {"[rs 232]\nCOM Port=1\nCOM Port=2\n", 1, 1},
    };
    for (const auto& c : cases) {
        load(c.text);
        EXPECT_EQ(link.PortNumber(), c.port) << c.text;
        EXPECT_EQ(link.RtsControl(), c.rts) << c.text;
    }
}

TEST_F(SettingsTest, EverythingElseInTheFileIsKeptByteForByte) {
    const QByteArray before = "; written by hand\r\n"
                              "[ports]\r\n"
                              "COM1=/dev/ttyUSB0\r\n"
                              "\r\n"
                              "[RS 232]\r\n"
                              "; the line converter needs RTS\r\n"
                              "Com Port = 2\r\n"
                              "Extra=yes\r\n"
                              "RTS=7\r\n"
                              "\r\n"
                              "[zzz]\r\n"
                              "a b = c=d\r\n"
                              "no equals sign here";
    load(before);
    EXPECT_EQ(link.PortNumber(), 2);
    EXPECT_EQ(link.RtsControl(), 7);
    link.setPortNumber(3);
    SaveSettings(link);
    QByteArray expected = before;
    expected.replace("Com Port = 2", "Com Port =3");
    EXPECT_EQ(readAll(link.settingsPath()), expected);
}

TEST_F(SettingsTest, MissingKeysGoToTheEndOfTheirSectionAndMissingSectionToTheEnd) {
    IniFile ini;
    ini.setText("[rs 232]\nRTS=0\n\n[next]\nx=1");
    ini.setValue(QStringLiteral("rs 232"), QStringLiteral("COM Port"), QStringLiteral("4"));
    ini.setValue(QStringLiteral("new one"), QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(ini.text(), QByteArray("[rs 232]\nRTS=0\nCOM Port=4\n\n[next]\nx=1\n[new one]\nk=v\n"));

    ini.setText("[rs 232]");
    ini.setValue(QStringLiteral("RS 232"), QStringLiteral("RTS"), QStringLiteral("1"));
    EXPECT_EQ(ini.text(), QByteArray("[rs 232]\nRTS=1\n"));
}

TEST_F(SettingsTest, GarbageAndBinaryFilesGiveDefaultsAndAreNotLost) {
    QByteArray garbage;
    quint32 x = 12345;
    for (int i = 0; i < 64 * 1024; ++i) {
        x = x * 1103515245u + 12345u;
        garbage += char(x >> 24);
    }
    for (const QByteArray& text :
         {garbage, QByteArray("\0\0\0[rs 232\n=\n==\n[\n]\n", 20), QByteArray("\xFF\xFE[\0r\0s\0")}) {
        load(text);
        EXPECT_EQ(link.PortNumber(), 0);
        EXPECT_EQ(link.RtsControl(), 1);
        link.setPortNumber(2);
        SaveSettings(link);
        const QByteArray after = readAll(link.settingsPath());
        EXPECT_TRUE(after.startsWith(text));
        LoadSettings(link);
        EXPECT_EQ(link.PortNumber(), 2);
    }
}

TEST_F(SettingsTest, FileTooLargeToBeSettingsIsIgnoredAndNotReplaced) {
    QByteArray huge = "[rs 232]\nCOM Port=3\n";
    huge += QByteArray(IniFile::kMaxSize, '#');
    load(huge);
    EXPECT_EQ(link.PortNumber(), 0);
    EXPECT_EQ(link.RtsControl(), 1);
    SaveSettings(link);
    EXPECT_EQ(readAll(link.settingsPath()), huge);
}

TEST_F(SettingsTest, ReplacementIsAtomic) {
    const QByteArray old = "[rs 232]\nCOM Port=1\nRTS=1\n[keep]\nk=v\n";
    writeAll(link.settingsPath(), old);
    link.setPortNumber(2);
    link.setRtsControl(0);

    // Interrupted after the new file is complete and before it replaces the old one: the old file is
    // whole; the new content sits in a temporary file beside it.
    bool called = false;
    IniFile::beforeReplace = [&](const QString& path) {
        called = true;
        EXPECT_EQ(path, link.settingsPath());
        EXPECT_EQ(readAll(path), old);
        QStringList others = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        others.removeAll(QStringLiteral("marvil.ini"));
        EXPECT_LE(others.size(), 1);
        for (const QString& other : others)
            EXPECT_EQ(readAll(dir.filePath(other)), QByteArray("[rs 232]\nCOM Port=2\nRTS=0\n[keep]\nk=v\n"));
        return false;
    };
    SaveSettings(link);
    EXPECT_TRUE(called);
    EXPECT_EQ(readAll(link.settingsPath()), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("marvil.ini")});

    IniFile::beforeReplace = nullptr;
    SaveSettings(link);
    EXPECT_EQ(readAll(link.settingsPath()), QByteArray("[rs 232]\nCOM Port=2\nRTS=0\n[keep]\nk=v\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("marvil.ini")});
}

TEST_F(SettingsTest, UnwritablePlacesLoseTheChangeWithoutHarm) {
    // Below a plain file no directory can be made; /proc takes no new files, not even from root.
    writeAll(dir.filePath(QStringLiteral("plain")), "x");
    for (const QString& path :
         {dir.filePath(QStringLiteral("plain/sub/marvil.ini")), QStringLiteral("/proc/marvil.ini")}) {
        link.setSettingsPath(path);
        link.setPortNumber(4);
        SaveSettings(link);
        EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
        LoadSettings(link);
        EXPECT_EQ(link.PortNumber(), 0);
    }
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("plain"))), QByteArray("x"));

    // A directory in the file's place is neither read nor replaced.
    link.setSettingsPath(dir.filePath(QStringLiteral("isdir")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("isdir")));
    writeAll(dir.filePath(QStringLiteral("isdir/inner")), "kept");
    link.setPortNumber(4);
    SaveSettings(link);
    EXPECT_TRUE(QFileInfo(link.settingsPath()).isDir());
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("isdir/inner"))), QByteArray("kept"));
    LoadSettings(link);
    EXPECT_EQ(link.PortNumber(), 0);
}

TEST_F(SettingsTest, PortsSectionMapsComNamesToDevices) {
    EXPECT_EQ(PortDeviceName(link, 1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(PortDeviceName(link, 8), QStringLiteral("/dev/ttyS7"));
    const QByteArray text = "[rs 232]\nCOM Port=2\n"
                            "[Ports]\n"
                            "COM1=/dev/ttyUSB0\n"
                            "com2 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 \n"
                            "COM3=\n"
                            "COM40=/dev/wrong\n";
    load(text);
    EXPECT_EQ(PortDeviceName(link, 1), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(PortDeviceName(link, 2),
              QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    EXPECT_EQ(PortDeviceName(link, 3), QStringLiteral("/dev/ttyS2"));
    EXPECT_EQ(PortDeviceName(link, 4), QStringLiteral("/dev/ttyS3"));
    link.setPortNumber(1);
    SaveSettings(link);
    QByteArray expected = text;
    expected.replace("COM Port=2", "COM Port=1").replace("[Ports]", "RTS=1\n[Ports]");
    EXPECT_EQ(readAll(link.settingsPath()), expected);
}

TEST(SettingsPath, EmptyPathMeansNoFile) {
    Link link;
    link.setPortNumber(3);
    link.setRtsControl(0);
    const QString home = DefaultSettingsPath();
    const QByteArray before = readAll(home);
    SaveSettings(link);
    EXPECT_EQ(readAll(home), before);
    LoadSettings(link);
    EXPECT_EQ(link.PortNumber(), 0);
    EXPECT_EQ(link.RtsControl(), 1);
    EXPECT_EQ(PortDeviceName(link, 2), QStringLiteral("/dev/ttyS1"));
}

TEST(SettingsPath, FollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/some/config");
    EXPECT_EQ(DefaultSettingsPath(), QStringLiteral("/some/config/marvil.ini"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultSettingsPath(), QDir::homePath() + QStringLiteral("/.config/marvil.ini"));
    if (had)
        qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
