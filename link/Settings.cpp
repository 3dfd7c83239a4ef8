#include "IniFile.h"
#include "Now_opros.h"

#include <QDir>

namespace {

const QString kSection = QStringLiteral("rs 232");
const QString kPortKey = QStringLiteral("COM Port");
const QString kRtsKey = QStringLiteral("RTS");
const QString kPortsSection = QStringLiteral("ports");
constexpr int kDefaultPort = 0;
constexpr int kDefaultRts = 1;
constexpr int kMaxPort = 8; // COM1..COM8

int intValue(const IniFile& ini, const QString& section, const QString& key, int fallback) {
    const auto text = ini.value(section, key);
    if (!text)
        return fallback;
    bool ok = false;
    const int v = text->toInt(&ok, 10);
    return ok ? v : fallback;
}

} // namespace

QString DefaultSettingsPath() {
    QString dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/marvil.ini");
}

void LoadSettings(Link& link) {
    IniFile ini;
    if (!link.settingsPath.isEmpty())
        ini.load(link.settingsPath); // a missing or unreadable file leaves the defaults
    const int port = intValue(ini, kSection, kPortKey, kDefaultPort);
    // The port name is built from one digit: anything outside COM1..COM8 means no port.
    link.PortNumber = (port >= 0 && port <= kMaxPort) ? port : kDefaultPort;
    link.RtsControl = intValue(ini, kSection, kRtsKey, kDefaultRts);
}

void SaveSettings(const Link& link) {
    const QString& path = link.settingsPath;
    if (path.isEmpty())
        return;
    IniFile ini;
    // A file that exists but cannot be read whole (unreadable, not a plain file, larger than any settings
    // file) is left alone rather than replaced by one that would lose its contents.
    if (ini.load(path) == IniFile::LoadResult::Unreadable)
        return;
    ini.setValue(kSection, kPortKey, QString::number(link.PortNumber));
    ini.setValue(kSection, kRtsKey, QString::number(link.RtsControl));
    ini.save(path); // a failed write loses the change silently; the old file stays whole
}

QString PortDeviceName(const Link& link, int portNumber) {
#ifdef Q_OS_WIN
    Q_UNUSED(link);
    return QStringLiteral("COM%1").arg(portNumber);
#else
    // Only COM1..COM8 exist for the operator; the "ports" section maps them to any device
    // (COM1=/dev/ttyUSB0), else COMn is the n-th on-board port.
    IniFile ini;
    if (!link.settingsPath.isEmpty() && ini.load(link.settingsPath) == IniFile::LoadResult::Ok) {
        const auto mapped = ini.value(kPortsSection, QStringLiteral("COM%1").arg(portNumber));
        if (mapped && !mapped->isEmpty())
            return *mapped;
    }
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}
