#include "SerialDevices.h"

#include "DeviceWatch.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

QString DevicePath(const QString& name) {
#ifdef Q_OS_UNIX
    if (!name.isEmpty() && !name.startsWith(QLatin1Char('/')))
        return QStringLiteral("/dev/") + name;
#endif
    return name;
}

QString StableDeviceName(const QString& path, const QString& byIdDir) {
    const QString target = QFileInfo(DevicePath(path)).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir dir(byIdDir);
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return {};
}

SystemDeviceSource::SystemDeviceSource() : watch_(std::make_unique<DeviceWatch>()) {
    connect(watch_.get(), &DeviceWatch::changed, this, &DeviceSource::changed);
}

SystemDeviceSource::~SystemDeviceSource() = default;

QList<SerialDeviceInfo> SystemDeviceSource::devices() const {
    QList<SerialDeviceInfo> list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        list.append({info.systemLocation(), StableDeviceName(info.systemLocation()), info.description(),
                     info.manufacturer(), info.serialNumber()});
    }
    return list;
}

bool SystemDeviceSource::exists(const QString& path) const {
    return QFileInfo::exists(path); // a dangling link does not
}

void SystemDeviceSource::watchAlso(const QStringList& paths) {
    watch_->addPathsOf(paths);
}

namespace {

QString Details(const SerialDeviceInfo& info) {
    QStringList parts;
    for (const QString& part : {info.description, info.manufacturer})
        if (!part.isEmpty())
            parts << part;
    if (!info.serialNumber.isEmpty())
        parts << QStringLiteral("№ ") + info.serialNumber;
    // The stable name says little about where the node is now; the list shows both.
    if (!info.stablePath.isEmpty())
        parts << info.systemPath;
    return parts.join(QStringLiteral(", "));
}

} // namespace

QList<DeviceChoice> DeviceChoices(const DeviceSource& source, const QString& mappedPath) {
    QList<DeviceChoice> choices;
    const QList<SerialDeviceInfo> devices = source.devices();
    bool mappedListed = false;
    const QString mappedDevice = DevicePath(mappedPath);
    for (const SerialDeviceInfo& info : devices) {
        const bool isMapped =
            !mappedPath.isEmpty() && (mappedDevice == info.systemPath || mappedDevice == info.stablePath);
        const QString path =
            isMapped ? mappedPath : (info.stablePath.isEmpty() ? info.systemPath : info.stablePath);
        DeviceChoice choice{path, Details(info), true};
        if (isMapped && !mappedListed) {
            mappedListed = true;
            choices.prepend(choice);
        } else {
            choices.append(choice);
        }
    }
    if (!mappedListed && !mappedPath.isEmpty()) {
        const bool present = source.exists(mappedDevice);
        choices.prepend({mappedPath, present ? QString() : QStringLiteral("нет в системе"), present});
    }
    return choices;
}

QString DeviceChoiceText(const DeviceChoice& choice) {
    return choice.details.isEmpty() ? choice.path : choice.path + QStringLiteral(" — ") + choice.details;
}
