// A run of the command line killed in the middle of an exchange, and the next job started at once on the
// same line: the answer to the killed run's request must not be taken for the answer to the next one's.
#include "Now_opros.h"
#include "PortStamp.h"
#include "Protocol.h"
#include "QtPort.h"
#include "SimProcess.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// What the controller answers to a read of its table 0 at --soft-version 3, and the start of the record it
// keeps in table 4 (as the field demo's, whose fourth byte would read as version 200).
const QByteArray kIdentStart = QByteArray::fromHex("2f010003");

TEST(CliKilledRun, NextJobTakesNoAnswerMeantForTheKilledOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess sim;
    QString device;
    // Every answer 0.25 s after its request.
    ASSERT_TRUE(StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), {"--field", "--answer-delay", "250"}, &device));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("RMZ47_SETTINGS"), dir.filePath(QStringLiteral("marvil.ini")));
    env.insert(QStringLiteral("RMZ47_DATA_DIR"), dir.path());
    QProcess killed;
    killed.setProcessEnvironment(env);
    killed.start(QStringLiteral(RMZ47_PATH), {QStringLiteral("read"), QStringLiteral("--port"), device});
    // Killed as soon as the controller has its read of table 4, before the answer goes out.
    QByteArray log;
    while (!log.contains("read table 4") && sim.waitForReadyRead(30000))
        log += sim.readAllStandardOutput();
    ASSERT_TRUE(log.contains("read table 4")) << log.toStdString();
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(30000));

    QtPort port;
    Link link;
    link.setPort(&port);
    link.setClock(&SystemClock());
    OpenError error;
    ASSERT_TRUE(port.open(device, 1200, &error)) << error.systemText.toStdString();
    for (int round = 0; round < 2; ++round) {
        const Reply ident = ReadTable(link, nullptr, 0);
        ASSERT_TRUE(ident.ok()) << OutcomeName(ident);
        const QByteArray data(reinterpret_cast<const char*>(ident.answer.data.data()),
                              qsizetype(ident.answer.data.size()));
        EXPECT_TRUE(data.startsWith(kIdentStart))
            << "round " << round << ": " << data.toHex(' ').toStdString();
    }
    sim.kill();
    sim.waitForFinished();
}

// Only a holder that is gone without closing, shortly after its last request, makes the next one wait.
TEST(CliKilledRun, StampTellsAKilledHolderFromAClosedOrOldOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString device = dir.filePath(QStringLiteral("ttyX"));
    QFile(device).open(QIODevice::WriteOnly);
    QProcess ended;
    ended.start(QStringLiteral("true"), {});
    ASSERT_TRUE(ended.waitForStarted(30000));
    const QByteArray gone = QByteArray::number(ended.processId());
    ASSERT_TRUE(ended.waitForFinished(30000));
    const QByteArray living = QByteArray::number(qint64(::getppid()));
    struct Case {
        QByteArray text;
        int ageS;
        bool waits;
    } const cases[] = {{gone + " open\n", 0, true},    {gone + " closed\n", 0, false},
                       {living + " open\n", 0, false}, {gone + " open\n", 6, false},
                       {"open\n", 0, false},           {"", 0, false}};
    const QString stamp =
        PortStamp::folder() + QStringLiteral("/") + QString(device).mid(1).replace(u'/', u'_');
    for (const Case& c : cases) {
        QFile f(stamp);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.text);
        f.flush();
        f.setFileTime(QDateTime::currentDateTime().addSecs(-c.ageS), QFileDevice::FileModificationTime);
        f.close();
        PortStamp taken;
        EXPECT_EQ(taken.take(device), c.waits) << c.text.toStdString() << " " << c.ageS << " s";
    }
}

} // namespace
