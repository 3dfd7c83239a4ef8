// The port of a subcommand: chosen as the window chooses it, opened through the link's own open so that
// the reasons (absent, busy with its holder, no permission) are the window's texts.
#include "CliCommand.h"

#include "FileRead.h"
#include "LinkUi.h"
#include "Now_opros.h"
#include "QtPort.h"
#include "SerialDevices.h"
#include "Settings.h"

#include <QFileInfo>

#include <cerrno>

namespace {

// The link's boxes as text: the open error is kept for the subcommand's message.
class ConsoleLinkUi : public LinkUi {
public:
    void showOpenError(const QString& text) override { openError = text; }
    void showBadRequest(QObject*) override {}
    QString openError;
};

// One subcommand opens one port for the process's life.
QtPort& CliPort() {
    static QtPort port;
    return port;
}

ConsoleLinkUi& CliLinkUi() {
    static ConsoleLinkUi ui;
    return ui;
}

// The COM number the choice names; the settings file's own for --port and for no choice, so that the
// journal tells the same port as the window would.
int ChosenPortNumber(const Link& settings, const PortChoice& choice) {
    if (choice.com)
        return *choice.com;
    return settings.PortNumber() > 0 ? settings.PortNumber() : 1;
}

// Why a device would not open, in Russian where the path itself tells: the system's English for a
// missing path, a folder or a plain file ("Inappropriate ioctl for device") says nothing to a script's
// reader. Otherwise the link's own text (busy with its holder, no permission).
QString PlainReason(const QString& device, const QString& linkText) {
    const QFileInfo info(device);
    if (!info.exists())
        return QStringLiteral("устройства нет");
    if (info.isDir())
        return SystemReason(EISDIR);
    if (info.isFile())
        return SystemReason(ENOTTY);
    return linkText;
}

} // namespace

QString ChosenDevice(const PortChoice& choice, QString* message) {
    // A value with a slash is a path as the shell gave it (./simf, ../x, /dev/pts/3); only a bare name
    // (ttyUSB0) is one of the system's devices under /dev.
    if (choice.device.contains(QLatin1Char('/')))
        return QFileInfo(choice.device).absoluteFilePath();
    if (!choice.device.isEmpty())
        return DevicePath(choice.device);
    Link settings;
    settings.setSettingsPath(SettingsPathFromEnvironment());
    LoadSettings(settings);
    if (!choice.com && settings.PortNumber() == 0) {
        if (message)
            *message = QStringLiteral("в файле настроек %1 порт не выбран: задайте --port или --com")
                           .arg(settings.settingsPath());
        return {};
    }
    return PortDeviceName(settings, ChosenPortNumber(settings, choice));
}

int OpenCliLink(Link& link, const PortChoice& choice, QString* message, int baud) {
    QString why;
    const QString device = ChosenDevice(choice, &why);
    if (device.isEmpty()) {
        if (message)
            *message = QStringLiteral("порт не открыт: ") + why;
        return kExitPort;
    }
    link.setPort(&CliPort());
    link.setClock(&SystemClock());
    link.setSettingsPath(SettingsPathFromEnvironment());
    LoadSettings(link); // the RTS mode and the COM number, as the window has them
    const int number = ChosenPortNumber(link, choice);
    // The settings file is only read: a failed open forgets the port in memory alone, and the chosen
    // device is a mapping of this run.
    link.setSaveOnFailedOpen(false);
    link.mapPortDevice(number, device);
    link.setPortNumber(number);
    link.setChosenPortName(choice.device);
    link.setLineSpeed(baud);
    ConsoleLinkUi& ui = CliLinkUi();
    ui.openError.clear();
    link.setUi(&ui);
    OpenPort(link);
    if (link.portOpen())
        return kExitDone;
    if (message) {
        const QString reason = PlainReason(device, ui.openError);
        *message = QStringLiteral("порт %1 не открыт: %2").arg(device, reason);
    }
    return kExitPort;
}
