#include "ExpectedPulses.h"

#include "NumText.h"

#include <cmath>

bool PulseOutput::knowsV() const {
    return std::isfinite(v) && v > 0;
}

bool PulseOutput::knowsTiming() const {
    return std::isfinite(pulseS) && std::isfinite(pauseS) && pulseS + pauseS > 0;
}

PulseOutput OutputFromRecord(float v, quint8 nag, quint8 pause) {
    return {double(v), nag / 100.0, pause / 100.0};
}

PulseExpectation ExpectPulses(const PulseOutput& out, double totalM3, double totalFlowM3h) {
    PulseExpectation e;
    e.totalM3 = totalM3;
    e.vKnown = out.knowsV();
    if (!e.vKnown)
        return e;
    // V is kept in single precision (0,1 lies a hair above a tenth, some 1.5e-8 of it): a volume of
    // exactly so many shown pulse values counts all of them.
    const double pulses = std::floor(totalM3 / out.v * (1 + 1e-6));
    e.pulses = pulses > 0 ? qint64(pulses) : 0;
    e.ratePerS = totalFlowM3h / 3600.0 / out.v;
    e.timingKnown = out.knowsTiming();
    if (e.timingKnown) {
        e.maxRatePerS = 1.0 / (out.pulseS + out.pauseS);
        e.fallsBehind = e.ratePerS > e.maxRatePerS;
    }
    return e;
}

QString PulseSummaryText(const PulseExpectation& e) {
    QString text = QStringLiteral("Выход контроллера : объем газа ") + FormatNumber(e.totalM3, 3) +
                   QStringLiteral(" м3");
    if (!e.vKnown)
        return text +
               QStringLiteral(". Цена импульса неизвестна: прочитайте конфигурацию контроллера "
                              "(«Конфигурирование контроллера») или введите её в параметрах имитации.");
    text += QStringLiteral(", ожидается импульсов : ") + QString::number(e.pulses) +
            QStringLiteral(", частота ") + FormatNumber(e.ratePerS, 3) + QStringLiteral(" имп/с.");
    if (e.fallsBehind)
        text += QStringLiteral(" Выход не успевает: суммарный расход требует ") +
                FormatNumber(e.ratePerS, 3) +
                QStringLiteral(" имп/с, а длительность импульса и паузы позволяет не более ") +
                FormatNumber(e.maxRatePerS, 3) + QStringLiteral(" имп/с; импульсов будет меньше ожидаемого.");
    else if (!e.timingKnown)
        text += QStringLiteral(" Длительность импульса и паузы неизвестна: успевает ли выход, не проверено.");
    return text;
}
