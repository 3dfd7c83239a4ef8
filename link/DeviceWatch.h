#pragma once
// Wakes whoever waits for serial devices when nodes appear or vanish in /dev, in /dev/serial/by-id (also
// once that folder is created) and in any further folder asked for. The kernel tells (inotify): nothing
// polls.
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject* parent = nullptr);
    // Watches the folders of these paths too.
    void addPathsOf(const QStringList& paths);

signals:
    // Sent once the folders have been quiet for a moment: a plug-in creates several nodes and links.
    void changed();

private:
    void arm();
    QFileSystemWatcher watcher_;
    QTimer settle_;
    QStringList folders_;
};
