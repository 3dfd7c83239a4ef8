#pragma once
// Which program holds a serial device that would not open because it is busy: the lock file a
// well-behaved serial program leaves (LCK..ttyUSB0 with its process id), or else a process of the same
// user with the device open. Other users' processes cannot be looked into and are not named.
#include <QString>
#include <QStringList>

struct PortHolder {
    QString name; // the process's command name; empty when none was found
    qint64 pid = 0;
    bool found() const { return pid > 0; }
};

// The folders serial programs put their lock files in, in the order they are looked at.
QStringList DefaultLockFolders();

// The holder of `device` (any path naming it, links followed). This process itself is never named.
PortHolder FindPortHolder(const QString& device, const QStringList& lockFolders = DefaultLockFolders(),
                          const QString& procRoot = QStringLiteral("/proc"));

// The line added to the open error: the holder by name and id, or only that the port is busy.
QString BusyText(const PortHolder& holder);
