#pragma once
// The device choice of the link dialog: for the COM item selected, an editable list of the device it is
// mapped to and of every serial device present, with what the system says about each. The mappings
// edited for any COM item are kept here until the dialog is accepted; the list follows devices plugged
// in and out.
#include "SerialDevices.h"

#include <QList>
#include <QObject>
#include <QString>
#include <map>

class QComboBox;
class QLabel;

class PortDevicePanel : public QObject {
    Q_OBJECT
public:
    // `paths` holds the device of every COM item (1..8) as it stands.
    PortDevicePanel(QComboBox* combo, QLabel* title, QLabel* info, DeviceSource& source,
                    std::map<int, QString> paths, QObject* parent = nullptr);

    // Shows the COM item `portNumber` (0: none, the list is off).
    void showPort(int portNumber);
    // The device of every COM item as edited (an empty text means the item's default device).
    std::map<int, QString> paths() const { return paths_; }

private:
    // The devices listed for the item shown, the field's text as it comes.
    void fillList();
    // Devices came or went.
    void refresh();
    void textEdited(const QString& text);
    // What the line under the list says about `path`.
    QString describe(const QString& path) const;
    bool active() const { return port_ >= 1 && port_ <= 8; }

    QComboBox* combo_;
    QLabel* title_;
    QLabel* info_;
    DeviceSource& source_;
    std::map<int, QString> paths_;
    QList<DeviceChoice> choices_; // as listed for the item shown
    int port_ = 0;
    bool filling_ = false;
};
