#include "Now_opros.h"

#include <QDir>

QString DefaultSettingsPath() {
    QString dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/marvil.ini");
}

void LoadSettings(Link& link) {
    link.PortNumber = 0;
    link.RtsControl = 1;
}

void SaveSettings(const Link&) {}

QString PortDeviceName(const Link&, int portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}
