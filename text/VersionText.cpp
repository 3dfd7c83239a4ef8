#include "VersionText.h"

#include "ConfigRecord.h"

QString VersionMessage(quint8 softVersion) {
    return QStringLiteral("Версия ПО ") + QString::number(softVersion) +
           QStringLiteral(" (выдача импульсов по ") +
           (proto::PulsesByFlow(softVersion) ? QStringLiteral("расходу)") : QStringLiteral("объему)"));
}
