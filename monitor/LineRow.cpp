#include "LineRow.h"

#include "NumText.h"

#include <QDateTime>
#include <QStringList>

namespace monitor {

QString TimeText(const LineRow& row) {
    return QDateTime::fromMSecsSinceEpoch(row.wallMs).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString GapText(const LineRow& row) {
    if (row.gapUs < 0)
        return {};
    return QStringLiteral("+") + DurationText((row.gapUs + 500) / 1000);
}

QString DurationText(qint64 ms) {
    // Whole minutes before the seconds: a long pause stays readable in a narrow column.
    const qint64 minutes = ms / 60000;
    QString text;
    if (minutes > 0)
        text = QString::number(minutes) + QStringLiteral(" мин ");
    return text + FormatNumber(double(ms % 60000) / 1000, 3) + QStringLiteral(" с");
}

QString DirectionText(const LineRow& row) {
    const bool out = row.direction == LineDirection::Out;
    if (row.role == LineRole::Imitation)
        return out ? QStringLiteral("ответ") : QStringLiteral("запрос");
    return out ? QStringLiteral("к контроллеру") : QStringLiteral("от контроллера");
}

QString HexText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString RowLine(const LineRow& row) {
    return QStringList{TimeText(row), GapText(row), DirectionText(row), HexText(row.bytes), row.meaning}.join(
        QLatin1Char('\t'));
}

QString SavedHeader(const SaveOrigin& origin) {
    QStringList lines{QStringLiteral("Обмен по линии: rmz47 ") + origin.program};
    if (origin.portNumber > 0)
        lines << QStringLiteral("Порт COM%1, устройство %2").arg(origin.portNumber).arg(origin.device);
    else
        lines << QStringLiteral("Порт не выбран");
    lines << QStringLiteral("Скорость %1 бит/с").arg(origin.baud);
    lines << QStringLiteral("Сохранено ") + LocalMomentText(origin.saved);
    return lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n");
}

} // namespace monitor
