#pragma once
// The settings file marvil.ini: section "rs 232" with the keys "COM Port" and "RTS", and the "ports"
// section that maps COMn to a device path.
#include <QString>

class Link;

QString DefaultSettingsPath(); // $XDG_CONFIG_HOME/marvil.ini, else ~/.config/marvil.ini
// The settings file: the one named by the environment variable RMZ47_SETTINGS when it is set and not
// empty (a demo set-up or a test keeps its own file there), else the operator's marvil.ini.
QString SettingsPathFromEnvironment();
void LoadSettings(Link& link);
void SaveSettings(const Link& link);

// Device behind COMn: the path chosen in the link dialog, else the "ports" section's "COMn" key when
// present, else the default /dev/ttyS(n-1) (COMn on Windows); a short name resolved under /dev/.
QString PortDeviceName(const Link& link, int portNumber);
QString DefaultPortDevice(int portNumber);
