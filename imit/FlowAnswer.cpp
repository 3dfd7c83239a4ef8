#include "FlowAnswer.h"

#include "ControllerFrames.h"
#include "FlowFrames.h"
#include "Now_opros.h"

quint64 AnswerHoldTicks(int length, int baud, qint64 frequency) {
    // 10 bits per byte (start, 8 data, stop) for the FF and the answer, plus one bit time so that
    // RTS drops after the last stop bit has left the line.
    return BitTimeTicks(10 * (length + 1) + 1, baud, frequency);
}

void SendAnswer(Link& link, const quint8* answer, int length) {
    static const quint8 preamble[1] = {proto::kPreambleByte};
    // Transmit sends nothing without an open port.
    Transmit(link, preamble, std::span<const quint8>(answer, std::size_t(length)), true,
             AnswerHoldTicks(length, link.LineSpeed(), link.PerfFrequency()));
}

QString ImitFlowProblem(double flowM3h) {
    if (!(flowM3h > 0))
        return QString::fromUtf16(ImitText::NotPositive);
    if (!proto::FlowFitsAnswer(flowM3h))
        return QString::fromUtf16(ImitText::FlowTooLarge);
    return {};
}
