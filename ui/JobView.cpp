#include "JobView.h"

#include "UiCommon.h"

#include "Now_opros.h"

#include <QFileInfo>

void UpdateStatusLabels(JobView& view, const Link& link) {
    view.showLinkStatus(link.PortNumber, link.RtsControl, kControllerBaud);
    if (link.PortNumber == 0) {
        view.showPortDevice({});
        return;
    }
    const QString device = PortDeviceName(link, link.PortNumber);
    QString text = QStringLiteral("Устройство: ") + device;
    const QString node = QFileInfo(device).canonicalFilePath();
    if (node.isEmpty())
        text += QStringLiteral(" (нет в системе)");
    else if (node != device)
        text += QStringLiteral(" → ") + node;
    view.showPortDevice(text);
}
