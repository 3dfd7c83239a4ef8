#include "PortRecovery.h"

#include "LinkState.h"
#include "Logging.h"
#include "SerialDevices.h"
#include "Settings.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

void Report(Link& link, LineEventKind kind, const QString& text) {
    LinkState& s = Inside(link);
    // The port as the operator named it, and the device behind it where that says more.
    const QString name = link.PortName();
    const QString port = name == s.device.path ? name : QStringLiteral("%1 (%2)").arg(name, s.device.path);
    const QString line = QStringLiteral("rmz47: порт %1: %2").arg(port, text);
    if (kind == LineEventKind::PortLost)
        qCWarning(lcLink).noquote().nospace() << line;
    else
        qCInfo(lcLink).noquote().nospace() << line;
    const QByteArray bytes = (kind == LineEventKind::PortLost ? s.device.reason : s.device.path).toUtf8();
    s.tap.record(kind, LineDirection::In, reinterpret_cast<const quint8*>(bytes.constData()), bytes.size());
    s.tap.deliver();
}

// The identity of the node or link itself (not followed); empty when there is none.
QString NodeStamp(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QStringLiteral("%1:%2.%3").arg(st.st_ino).arg(st.st_ctim.tv_sec).arg(st.st_ctim.tv_nsec);
#else
    Q_UNUSED(path);
    return {};
#endif
}

// Whether `path` names something other than what was opened before.
bool Renewed(const OpenedDevice& device, const QString& path) {
    QString before;
    if (path == device.stablePath)
        before = device.stableStamp;
    else if (path == device.path)
        before = device.pathStamp;
    const QString now = NodeStamp(path);
    return !now.isEmpty() && now != before;
}

} // namespace

void TakeUpOpenedPort(Link& link, const QString& path) {
    LinkState& s = Inside(link);
    // DTR powers many two-wire line converters; a device without modem lines refuses it, which is fine.
    s.port->setDtr(true);
    s.port->purge();
    s.echo.clear();
    OpenedDevice& device = s.device;
    device = {};
    device.path = path;
    // An adapter that comes back after a pull may get another node; its by-id name stays.
    device.stablePath = StableDeviceName(path);
    device.pathStamp = NodeStamp(path);
    device.stableStamp = NodeStamp(device.stablePath);
}

bool NoticePortLoss(Link& link) {
    LinkState& s = Inside(link);
    if (s.device.lost)
        return true;
    if (!s.port || !s.port->lost())
        return false;
    s.device.lost = true;
    s.device.reason = s.port->lostReason();
    // Nothing goes out on a dead device (no RTS hold either) until it is opened again.
    s.port->close();
    Report(link, LineEventKind::PortLost, QStringLiteral("устройство потеряно: ") + s.device.reason);
    return true;
}

QStringList LostDevicePaths(const Link& link) {
    const LinkState& s = Inside(link);
    QStringList paths;
    if (!s.device.stablePath.isEmpty())
        paths << s.device.stablePath;
    if (s.PortNumber > 0) {
        const QString mapped = PortDeviceName(link, s.PortNumber);
        if (!paths.contains(mapped))
            paths << mapped;
    }
    return paths;
}

bool ReopenLostPort(Link& link) {
    LinkState& s = Inside(link);
    if (!s.device.lost || !s.port || s.PortNumber == 0)
        return false;
    for (const QString& path : LostDevicePaths(link)) {
        OpenError error;
        if (!Renewed(s.device, path) || !s.port->open(path, s.LineSpeed, &error))
            continue;
        const QString reason = s.device.reason;
        TakeUpOpenedPort(link, path);
        Report(link, LineEventKind::PortBack, QStringLiteral("устройство открыто снова"));
        s.device.reason = reason;
        return true;
    }
    return false;
}

QString CurrentPortDevice(const Link& link) {
    const LinkState& s = Inside(link);
    if (s.PortNumber == 0)
        return {};
    return s.device.path.isEmpty() ? PortDeviceName(link, s.PortNumber) : s.device.path;
}
