// Saves a picture of the link dialog with a few devices listed, for the documentation:
//   QT_QPA_PLATFORM=offscreen build/bin/dialog_shot docs/link-dialog.png
// Offscreen, the window system's decorations are not part of the picture.
#include "Paramsrs.h"
#include "SerialDevices.h"
#include "UiCommon.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <cstdio>

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

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_shot FILE.png\n");
        return 2;
    }
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
    app.processEvents();
    return form.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
