#include "DeviceWatch.h"

#include <QFileInfo>

namespace {
// udev makes the node, then the by-id and by-path links, and then sets the node's group.
constexpr int kSettleMs = 150;

// What a folder's entry is: the node a link points at and whether that is there; empty for no entry.
QString EntryState(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink() && !info.exists())
        return {};
    return info.symLinkTarget() + (info.exists() ? QStringLiteral("|there") : QStringLiteral("|dangling"));
}

} // namespace

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &DeviceWatch::changed);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DeviceWatch::folderChanged);
    // /dev/serial only to see by-id come and go with the first and last USB serial device.
    hotPlugFolders_ = {QStringLiteral("/dev"), QStringLiteral("/dev/serial"),
                       QStringLiteral("/dev/serial/by-id")};
    arm();
}

void DeviceWatch::addPathsOf(const QStringList& paths) {
    for (const QString& path : paths) {
        if (!path.isEmpty() && !hotPlugFolders_.contains(QFileInfo(path).absolutePath()))
            paths_[QFileInfo(path).absoluteFilePath()] = EntryState(path);
    }
    arm();
}

void DeviceWatch::folderChanged(const QString& folder) {
    arm();
    bool concerns = hotPlugFolders_.contains(folder);
    for (auto& [path, state] : paths_) {
        if (QFileInfo(path).absolutePath() != folder)
            continue;
        const QString now = EntryState(path);
        concerns = concerns || now != state;
        state = now;
    }
    if (concerns)
        settle_.start();
}

void DeviceWatch::arm() {
    QStringList folders = hotPlugFolders_;
    for (const auto& entry : paths_)
        folders << QFileInfo(entry.first).absolutePath();
    folders.removeDuplicates();
    const QStringList watched = watcher_.directories();
    for (const QString& folder : folders) {
        if (!watched.contains(folder) && QFileInfo(folder).isDir())
            watcher_.addPath(folder);
    }
}
