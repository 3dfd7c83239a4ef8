#include "SimProcess.h"

#include "Now_opros.h"
#include "RecordingLinkUi.h"
#include "Settings.h"

#include <QFile>
#include <QFileInfo>
#include <chrono>

namespace {
// Generous: the machine running the tests may be busy, and the controller is a separate process.
constexpr int kStartMs = 10000;
} // namespace

::testing::AssertionResult StartSim(QProcess& sim, const QString& program, const QStringList& args,
                                    QString* device) {
    if (!QFileInfo(program).isExecutable())
        return ::testing::AssertionFailure() << "virtual controller not built: " << program.toStdString();
    sim.start(program, args);
    if (!sim.waitForStarted(kStartMs))
        return ::testing::AssertionFailure()
               << "virtual controller did not start: " << sim.errorString().toStdString();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
    while (!sim.canReadLine() && std::chrono::steady_clock::now() < end)
        sim.waitForReadyRead(100);
    const QByteArray line = sim.readLine();
    if (!line.startsWith("PTY "))
        return ::testing::AssertionFailure()
               << "no PTY line from the virtual controller: " << line.toStdString();
    if (device)
        *device = QString::fromLocal8Bit(line.mid(4).trimmed());
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WriteCom1Settings(const QString& path, const QString& device, int rts,
                                             const QByteArray& eol) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return ::testing::AssertionFailure() << "cannot write " << path.toStdString();
    const QByteArray text = "[rs 232]" + eol + "COM Port=1" + eol + "RTS=" + QByteArray::number(rts) + eol +
                            "[ports]" + eol + "COM1=" + device.toLocal8Bit() + eol;
    if (f.write(text) != text.size())
        return ::testing::AssertionFailure() << "short write to " << path.toStdString();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult OpenCom1(Link& link, Port& port, RecordingLinkUi& ui,
                                    const QString& settingsPath) {
    link.setSettingsPath(settingsPath);
    link.setPort(&port);
    link.setClock(&SystemClock());
    link.setPerfFrequency(SystemClock().perfFrequency());
    link.setUi(&ui);
    LoadSettings(link);
    if (link.PortNumber() != 1)
        return ::testing::AssertionFailure() << "the settings file chose COM" << link.PortNumber();
    link.setLineSpeed(proto::kControllerBaud);
    OpenPort(link);
    if (!link.portOpen())
        return ::testing::AssertionFailure()
               << "COM1 did not open: " << ui.openErrors.join(u'\n').toStdString();
    return ::testing::AssertionSuccess();
}
