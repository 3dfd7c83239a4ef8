// The link dialog with a few devices listed (the machine making the pictures may have none).
#include "LinkDialogShot.h"

#include "Paramsrs.h"
#include "SerialDevices.h"
#include "UiCommon.h"

#include <QApplication>
#include <QPixmap>
#include <map>

namespace {

class SampleDevices : public DeviceSource {
public:
    QList<SerialDeviceInfo> devices() const override {
        return {{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                 "FT232R USB UART", "FTDI", "A50285BI"},
                {"/dev/ttyACM0", "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00", "CP2102 USB to UART",
                 "Silicon Labs", "0001"}};
    }
    bool exists(const QString& path) const override { return path.startsWith(QLatin1String("/dev/serial/")); }
};

} // namespace

bool ShootLinkDialog(const QString& file) {
    SampleDevices devices;
    std::map<int, QString> paths;
    for (int n = 1; n <= 8; ++n)
        paths[n] = QStringLiteral("/dev/ttyS%1").arg(n - 1);
    paths[1] = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    TParamsRSForm form;
    form.PortGroup()->setItemIndex(1);
    form.RTSRadioGroup()->setItemIndex(1);
    form.setDevices(devices, paths);
    form.show();
    QApplication::processEvents();
    return form.grab().save(file);
}
