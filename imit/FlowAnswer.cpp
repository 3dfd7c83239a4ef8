#include "FlowAnswer.h"

#include "ControllerFrames.h"
#include "Now_opros.h"

quint64 AnswerHoldTicks(int length, int baud, qint64 frequency) {
    // 10 bits per byte (start, 8 data, stop) for the FF and the answer, plus one bit time so that
    // RTS drops after the last stop bit has left the line.
    return BitTimeTicks(10 * (length + 1) + 1, baud, frequency);
}

void SendAnswer(Link& link, const quint8* answer, int length) {
    Port* port = link.port;
    if (port == nullptr || !port->isOpen())
        return;
    Clock& clock = link.clock ? *link.clock : SystemClock();
    const qint64 frequency = link.PerfFrequency > 0 ? link.PerfFrequency : clock.perfFrequency();
    const quint64 hold = AnswerHoldTicks(length, link.LineSpeed, frequency);

    port->purge();
    port->setRts(true); // a device without modem lines refuses; the answer goes out all the same
    const qint64 start = clock.perfCounter();
    const quint8 preamble = proto::kPreambleByte;
    port->write(&preamble, 1);
    port->write(answer, length);
    HoldTicks(clock, start, hold);
    port->setRts(false);
    // The purge below would otherwise throw away answer bytes still queued for the transmitter.
    port->drain();
    port->purge();
}
