#include "LineTrace.h"

namespace {

QLatin1String KindName(LineEventKind kind) {
    switch (kind) {
    case LineEventKind::Bytes:
        return QLatin1String("bytes");
    case LineEventKind::Frame:
        return QLatin1String("frame");
    case LineEventKind::Silence:
        return QLatin1String("silence");
    case LineEventKind::CutShort:
        return QLatin1String("cut short");
    case LineEventKind::Noise:
        return QLatin1String("noise");
    case LineEventKind::NotImitated:
        return QLatin1String("not imitated");
    case LineEventKind::Echo:
        return QLatin1String("echo");
    case LineEventKind::PortLost:
        return QLatin1String("port lost");
    case LineEventKind::PortBack:
        return QLatin1String("port back");
    }
    return QLatin1String("?");
}

} // namespace

QString TraceLine(const LineEvent& e) {
    QString line = QString::number(double(e.timeUs) / 1e6, 'f', 6);
    line += e.direction == LineDirection::Out ? QLatin1String(" out ") : QLatin1String(" in ");
    line += KindName(e.kind);
    if (e.count > 0)
        line += u' ' + QString::number(e.count);
    // A received answer that failed a check says which, as the journal names it.
    if (e.kind == LineEventKind::Frame && e.direction == LineDirection::In &&
        e.outcome != proto::AnswerOutcome::Ok)
        line += u' ' + QLatin1String(proto::OutcomeName(e.outcome));
    if (e.bytes.isEmpty())
        return line;
    const bool text = e.kind == LineEventKind::PortLost || e.kind == LineEventKind::PortBack;
    return line + u' ' +
           (text ? QString::fromUtf8(e.bytes) : QString::fromLatin1(e.bytes.toHex(' ').toUpper()));
}
