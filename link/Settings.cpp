#include "Settings.h"
#include "IniFile.h"
#include "LinkState.h"
#include "SerialDevices.h"

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

QString PortKey(int portNumber) {
    return QStringLiteral("COM%1").arg(portNumber);
}

// The file's own mapping of COMn; an empty value maps nothing.
std::optional<QString> FileMapping(const IniFile& ini, int portNumber) {
    const auto mapped = ini.value(kPortsSection, PortKey(portNumber));
    if (mapped && !mapped->isEmpty())
        return mapped;
    return std::nullopt;
}

} // namespace

QString DefaultSettingsPath() {
    QString dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/marvil.ini");
}

QString SettingsPathFromEnvironment() {
    const QString path = qEnvironmentVariable("RMZ47_SETTINGS");
    return path.isEmpty() ? DefaultSettingsPath() : path;
}

void LoadSettings(Link& link) {
    LinkState& s = Inside(link);
    IniFile ini;
    if (!s.settingsPath.isEmpty())
        ini.load(s.settingsPath); // a missing or unreadable file leaves the defaults
    const int port = intValue(ini, kSection, kPortKey, kDefaultPort);
    // The port name is built from one digit: anything outside COM1..COM8 means no port.
    s.PortNumber = (port >= 0 && port <= kMaxPort) ? port : kDefaultPort;
    s.RtsControl = intValue(ini, kSection, kRtsKey, kDefaultRts);
}

void SaveSettings(const Link& link) {
    const LinkState& s = Inside(link);
    const QString& path = s.settingsPath;
    if (path.isEmpty())
        return;
    IniFile ini;
    // A file that exists but cannot be read whole (unreadable, not a plain file, larger than any settings
    // file) is left alone rather than replaced by one that would lose its contents.
    if (ini.load(path) == IniFile::LoadResult::Unreadable)
        return;
    ini.setValue(kSection, kPortKey, QString::number(s.PortNumber));
    ini.setValue(kSection, kRtsKey, QString::number(s.RtsControl));
    // Only mappings that change what the file yields are written: a default is not added for every COM
    // item, and a line the operator wrote stays as it is while it still says the same.
    for (const auto& [number, chosen] : s.portPaths) {
        if (FileMapping(ini, number).value_or(DefaultPortDevice(number)) != chosen)
            ini.setValue(kPortsSection, PortKey(number), chosen);
    }
    ini.save(path); // a failed write loses the change silently; the old file stays whole
}

QString DefaultPortDevice(int portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    // COMn is the n-th on-board port unless the "ports" section or the link dialog maps it elsewhere.
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QString PortDeviceName(const Link& link, int portNumber) {
    const LinkState& s = Inside(link);
    const auto chosen = s.portPaths.find(portNumber);
    if (chosen != s.portPaths.end() && !chosen->second.isEmpty())
        return DevicePath(chosen->second);
    // Read at every open, so that a file mapped by hand while the program runs is followed.
    IniFile ini;
    if (!s.settingsPath.isEmpty() && ini.load(s.settingsPath) == IniFile::LoadResult::Ok) {
        if (const auto mapped = FileMapping(ini, portNumber))
            return DevicePath(*mapped);
    }
    return DefaultPortDevice(portNumber);
}
