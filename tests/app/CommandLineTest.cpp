// The program's command line, run as the installed program would be: without any display.
#include "Version.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Case {
    QStringList args;
    int status;
    const char* out; // the whole standard output, or a part of it when partOut
    bool partOut;
    const char* err; // a part of standard error ("" when it must be empty)
};

TEST(CommandLineTest, PrintsOrRefusesWithoutADisplay) {
    const Case cases[] = {
        {{"--version"}, 0, "rmz47 " RMZ47_VERSION "\n", false, ""},
        {{"-v"}, 0, "rmz47 " RMZ47_VERSION "\n", false, ""},
        // Qt's own options pass through to QApplication.
        {{"-platform", "offscreen", "--version"}, 0, "rmz47 " RMZ47_VERSION "\n", false, ""},
        {{"--help"}, 0, "  -v, --version  показать версию программы и выйти\n", true, ""},
        {{"--bogus"}, 2, "", false, "rmz47: неизвестный параметр «--bogus»\nСправка: rmz47 --help\n"},
        {{"-x", "--help"}, 2, "", false, "неизвестный параметр «-x»"},
        {{"frobnicate"}, 2, "", false, "rmz47: неизвестная команда «frobnicate» (команды: read, write"},
        // Without a display the window cannot start; the subcommands can.
        {{}, 2, "", false, "окну нужен графический сеанс (не заданы DISPLAY и WAYLAND_DISPLAY)"},
        {{"--monitor"}, 2, "", false, "без окна работают команды: read, write, imitate, listen, check"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess proc;
        proc.setProcessEnvironment(env);
        proc.start(QStringLiteral(RMZ47_PATH), c.args);
        ASSERT_TRUE(proc.waitForFinished(30000)) << proc.errorString().toStdString();
        const QString out = QString::fromUtf8(proc.readAllStandardOutput());
        const QString err = QString::fromUtf8(proc.readAllStandardError());
        EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(proc.exitCode(), c.status) << err.toStdString();
        if (c.partOut)
            EXPECT_TRUE(out.contains(QString::fromUtf8(c.out))) << out.toStdString();
        else
            EXPECT_EQ(out, QString::fromUtf8(c.out));
        if (*c.err)
            EXPECT_TRUE(err.contains(QString::fromUtf8(c.err))) << err.toStdString();
        else
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    }
}

} // namespace
