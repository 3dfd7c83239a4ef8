#include "DeviceWatch.h"

#include <QFileInfo>

namespace {
// udev makes the node, then the by-id and by-path links, and then sets the node's group.
constexpr int kSettleMs = 150;
} // namespace

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &DeviceWatch::changed);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        arm(); // /dev/serial/by-id comes and goes with the first and last USB serial device
        settle_.start();
    });
    folders_ = {QStringLiteral("/dev"), QStringLiteral("/dev/serial"), QStringLiteral("/dev/serial/by-id")};
    arm();
}

void DeviceWatch::addPathsOf(const QStringList& paths) {
    for (const QString& path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!path.isEmpty() && !folders_.contains(folder))
            folders_ << folder;
    }
    arm();
}

void DeviceWatch::arm() {
    const QStringList watched = watcher_.directories();
    for (const QString& folder : folders_) {
        if (!watched.contains(folder) && QFileInfo(folder).isDir())
            watcher_.addPath(folder);
    }
}
