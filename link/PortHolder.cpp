#include "PortHolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString CommandName(const QString& procRoot, qint64 pid) {
    QFile comm(QStringLiteral("%1/%2/comm").arg(procRoot).arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

bool Alive(const QString& procRoot, qint64 pid) {
    return pid > 0 && QFileInfo(QStringLiteral("%1/%2").arg(procRoot).arg(pid)).isDir();
}

// A lock file's process id: the first line, in ASCII (the UUCP form pads it to ten characters; Qt's lock
// files add the program and host names on the lines after it).
qint64 LockPid(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 pid = f.readLine(64).trimmed().toLongLong(&ok);
    return ok ? pid : 0;
}

PortHolder FromLockFiles(const QString& node, const QStringList& lockFolders, const QString& procRoot) {
    // Named after the node below /dev, a '/' written as '_' (/dev/pts/3 is LCK..pts_3).
    QString name = node.startsWith(QLatin1String("/dev/")) ? node.mid(5) : QFileInfo(node).fileName();
    const QString lockName = QStringLiteral("LCK..") + name.replace(u'/', u'_');
    for (const QString& folder : lockFolders) {
        const qint64 pid = LockPid(QDir(folder).filePath(lockName));
        // A lock left by a program that has ended holds nothing.
        if (Alive(procRoot, pid) && pid != QCoreApplication::applicationPid())
            return {CommandName(procRoot, pid), pid};
    }
    return {};
}

PortHolder FromOpenFiles(const QString& node, const QString& procRoot) {
    const QDir proc(procRoot);
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || pid == QCoreApplication::applicationPid())
            continue;
        // Another user's descriptors are not readable: the listing comes back empty.
        const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == node)
                return {CommandName(procRoot, pid), pid};
        }
    }
    return {};
}

} // namespace

QStringList DefaultLockFolders() {
    // Where serial programs (Qt's serial port among them) put them, in Qt's order.
    return {
        QStringLiteral("/var/lock"),         QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"),   QStringLiteral("/tmp"),       QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock")};
}

PortHolder FindPortHolder(const QString& device, const QStringList& lockFolders, const QString& procRoot) {
    const QString node = QFileInfo(device).canonicalFilePath();
    if (node.isEmpty())
        return {};
    const PortHolder locked = FromLockFiles(node, lockFolders, procRoot);
    return locked.found() ? locked : FromOpenFiles(node, procRoot);
}

QString BusyText(const PortHolder& holder) {
    if (!holder.found())
        return QStringLiteral("Порт занят другой программой.");
    const QString name = holder.name.isEmpty() ? QStringLiteral("?") : holder.name;
    return QStringLiteral("Порт занят программой %1 (pid %2).").arg(name).arg(holder.pid);
}
