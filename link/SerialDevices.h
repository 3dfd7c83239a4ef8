#pragma once
// The serial devices present, as the link dialog offers them: QSerialPortInfo's list with the stable
// /dev/serial/by-id names where there are some, behind a source that tests replace with their own list.
// Widget-free; the source tells when devices come and go.
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

class DeviceWatch;

struct SerialDeviceInfo {
    QString systemPath; // /dev/ttyUSB0
    QString stablePath; // /dev/serial/by-id/usb-FTDI_..., empty when the device has none
    QString description;
    QString manufacturer;
    QString serialNumber;
};

class DeviceSource : public QObject {
    Q_OBJECT
public:
    virtual QList<SerialDeviceInfo> devices() const = 0;
    // Whether a path names something that can be opened: pseudo-terminals and symbolic links exist
    // without being listed.
    virtual bool exists(const QString& path) const = 0;
    // Directories beyond /dev whose entries matter (where mapped links live), watched from now on.
    virtual void watchAlso(const QStringList& paths) { Q_UNUSED(paths); }

signals:
    // Devices came or went (not sent for every node of one plug-in: settle first).
    void changed();
};

// The system's devices; watches /dev and /dev/serial/by-id while it lives.
class SystemDeviceSource : public DeviceSource {
    Q_OBJECT
public:
    SystemDeviceSource();
    ~SystemDeviceSource() override;
    QList<SerialDeviceInfo> devices() const override;
    bool exists(const QString& path) const override;
    void watchAlso(const QStringList& paths) override;

private:
    std::unique_ptr<DeviceWatch> watch_;
};

// The device a mapping names: a name without a leading '/' is one under /dev/, as the serial port itself
// reads it, so that its presence, by-id name and recovery concern the node that is opened.
QString DevicePath(const QString& name);

// The /dev/serial/by-id name of a device node (followed through links), empty when it has none. The
// folder is missing when no USB serial device is present.
QString StableDeviceName(const QString& path, const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

// One line of the device list: the path to open, what the system says about the device, and whether it
// is there.
struct DeviceChoice {
    QString path;
    QString details; // "description, manufacturer, serial number", or that the device is absent
    bool present = false;
};

// The mapped path first (with the details of the device it names, or marked absent), then every other
// device present under its stable name where it has one.
QList<DeviceChoice> DeviceChoices(const DeviceSource& source, const QString& mappedPath);
// The list's text for a choice: "path — details".
QString DeviceChoiceText(const DeviceChoice& choice);
