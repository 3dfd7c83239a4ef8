#include "PortRecovery.h"

#include "Logging.h"
#include "Now_opros.h"
#include "SerialDevices.h"
#include "Settings.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

void Report(Link& link, LineEventKind kind, const QString& text) {
    const QString line =
        QStringLiteral("rmz47: порт COM%1 (%2): %3").arg(link.PortNumber).arg(link.device.path, text);
    if (kind == LineEventKind::PortLost)
        qCWarning(lcLink).noquote().nospace() << line;
    else
        qCInfo(lcLink).noquote().nospace() << line;
    const QByteArray bytes =
        (kind == LineEventKind::PortLost ? link.device.reason : link.device.path).toUtf8();
    link.tap.record(kind, LineDirection::In, reinterpret_cast<const quint8*>(bytes.constData()),
                    bytes.size());
    link.tap.deliver();
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
    // DTR powers many two-wire line converters; a device without modem lines refuses it, which is fine.
    link.port->setDtr(true);
    link.port->purge();
    link.echo.clear();
    OpenedDevice& device = link.device;
    device = {};
    device.path = path;
    // An adapter that comes back after a pull may get another node; its by-id name stays.
    device.stablePath = StableDeviceName(path);
    device.pathStamp = NodeStamp(path);
    device.stableStamp = NodeStamp(device.stablePath);
}

bool NoticePortLoss(Link& link) {
    if (link.device.lost)
        return true;
    if (!link.port || !link.port->lost())
        return false;
    link.device.lost = true;
    link.device.reason = link.port->lostReason();
    // Nothing goes out on a dead device (no RTS hold either) until it is opened again.
    link.port->close();
    Report(link, LineEventKind::PortLost, QStringLiteral("устройство потеряно: ") + link.device.reason);
    return true;
}

QStringList LostDevicePaths(const Link& link) {
    QStringList paths;
    if (!link.device.stablePath.isEmpty())
        paths << link.device.stablePath;
    if (link.PortNumber > 0) {
        const QString mapped = PortDeviceName(link, link.PortNumber);
        if (!paths.contains(mapped))
            paths << mapped;
    }
    return paths;
}

bool ReopenLostPort(Link& link) {
    if (!link.device.lost || !link.port || link.PortNumber == 0)
        return false;
    for (const QString& path : LostDevicePaths(link)) {
        OpenError error;
        if (!Renewed(link.device, path) || !link.port->open(path, link.LineSpeed, &error))
            continue;
        const QString reason = link.device.reason;
        TakeUpOpenedPort(link, path);
        Report(link, LineEventKind::PortBack, QStringLiteral("устройство открыто снова"));
        link.device.reason = reason;
        return true;
    }
    return false;
}

QString CurrentPortDevice(const Link& link) {
    if (link.PortNumber == 0)
        return {};
    return link.device.path.isEmpty() ? PortDeviceName(link, link.PortNumber) : link.device.path;
}
