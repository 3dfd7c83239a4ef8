#pragma once
// Wakes whoever waits for serial devices when nodes appear or vanish in /dev or /dev/serial/by-id (also
// once that folder is created), and when a path asked for elsewhere appears, vanishes or points at
// another node. The kernel tells (inotify): nothing polls.
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <map>

class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject* parent = nullptr);
    // Watches these paths too. Outside the folders of hot-plug a change in their folder counts only when
    // it concerns one of them: a link beside a log or a settings file must not wake anyone at every write.
    void addPathsOf(const QStringList& paths);

signals:
    // Sent once the folders have been quiet for a moment: a plug-in creates several nodes and links.
    void changed();

private:
    void folderChanged(const QString& folder);
    void arm();
    QFileSystemWatcher watcher_;
    QTimer settle_;
    QStringList hotPlugFolders_;
    // A path asked for outside them, and what its folder entry was when last looked at.
    std::map<QString, QString> paths_;
};
