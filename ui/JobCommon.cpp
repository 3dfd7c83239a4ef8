#include "JobCommon.h"

#include "Now_opros.h"
#include "PortRecovery.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

QString ApplicationTitleFrom(const QString& programPath) {
    QString name = programPath;
    const qsizetype slash = std::max(name.lastIndexOf(QLatin1Char('\\')), name.lastIndexOf(QLatin1Char('/')));
    if (slash >= 0)
        name = name.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.left(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ApplicationTitle() {
    const QStringList args = QCoreApplication::arguments();
    return ApplicationTitleFrom(args.isEmpty() ? QStringLiteral("rmz47") : args.first());
}

QString ExceptionBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void UpdateStatusLabels(JobView& view, const Link& link) {
    view.showLinkStatus(link.PortNumber(), link.RtsControl(), proto::kControllerBaud);
    ShowPortDevice(view, link);
}

void TellFailedSaves(JobView& view, const QStringList& problems) {
    if (!problems.isEmpty())
        view.tell(Notice::Warning, QStringLiteral("Ошибка!"),
                  QStringLiteral("Не удалось сохранить:\n") + problems.join(QLatin1Char('\n')));
}

void ShowPortDevice(JobView& view, const Link& link) {
    if (link.PortNumber() == 0) {
        view.showPortDevice({});
        return;
    }
    const QString device = CurrentPortDevice(link);
    QString text = QStringLiteral("Устройство: ") + device;
    const QString node = QFileInfo(device).canonicalFilePath();
    if (link.deviceLost())
        text += QStringLiteral(" (потеряно: ") + link.lostReason() + QLatin1Char(')');
    else if (node.isEmpty())
        text += QStringLiteral(" (нет в системе)");
    else if (node != device)
        text += QStringLiteral(" → ") + node;
    view.showPortDevice(text);
}

QString AddressStatusText() {
    return QStringLiteral("Короткий адр. %1").arg(int(proto::kControllerAddress));
}

QString PortStatusText(int portNumber) {
    if (portNumber >= 1 && portNumber <= 8)
        return QStringLiteral("Порт COM%1").arg(portNumber);
    return QStringLiteral("Порт  - NONE");
}

QString RtsStatusText(int rtsControl) {
    return rtsControl ? QStringLiteral("RTS - управлять") : QStringLiteral("RTS - не управлять");
}

QString SpeedStatusText(int baud) {
    return QStringLiteral(" скор.%1").arg(baud);
}
