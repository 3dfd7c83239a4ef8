#include "Now_opros.h"

#include "LinkUi.h"

#include <QCoreApplication>
#include <climits>

namespace {

constexpr quint8 kPreambleByte = 0xFF;
constexpr int kPreambleLength = 3;
constexpr int kReadChunk = 500;

const QString kAccessAdvice = QStringLiteral(
    "Нет доступа к порту: добавьте пользователя в группу dialout (sudo usermod -aG dialout $USER) и войдите "
    "в систему заново.");

Clock& clockOf(Link& link) {
    return link.clock ? *link.clock : SystemClock();
}

} // namespace

bool Link::portOpen() const {
    return port && port->isOpen();
}

void ClosePort(Link& link) {
    if (link.portOpen())
        link.port->close();
}

void OpenPort(Link& link) {
    ClosePort(link);
    if (link.PortNumber == 0 || !link.port)
        return;
    OpenError error;
    if (link.port->open(PortDeviceName(link, link.PortNumber), link.LineSpeed, &error)) {
        // DTR powers many two-wire line converters; a device without modem lines refuses it, which is fine.
        link.port->setDtr(true);
        link.port->purge();
        return;
    }
    // A port that failed once is not tried again at the next start.
    link.PortNumber = 0;
    SaveSettings(link);
    QString text = error.systemText;
    if (error.accessDenied)
        text += QLatin1Char('\n') + kAccessAdvice;
    if (link.ui)
        link.ui->showOpenError(text);
}

quint64 BitTimeTicks(int bits, int baud, qint64 frequency) {
    if (baud <= 0)
        return 0;
    return quint64(double(bits) * (1.0 / double(baud)) * double(frequency));
}

void HoldTicks(Clock& clock, qint64 start, quint64 ticks) {
    while (quint64(clock.perfCounter() - start) <= ticks) {
    }
}

quint64 RtsHoldTicks(int n, qint64 frequency) {
    // n frame bytes plus the preamble, 10 bits each (start, 8 data, stop), plus one bit time so that RTS
    // drops after the last stop bit has left the line. Always at the controller's speed, whatever the line
    // runs at.
    return BitTimeTicks((n + kPreambleLength) * 10 + 1, kControllerBaud, frequency);
}

void Transmit(Link& link, std::span<const quint8> preamble, std::span<const quint8> frame, bool switchRts,
              quint64 holdTicks) {
    if (!link.portOpen())
        return;
    Clock& clock = clockOf(link);
    Port& port = *link.port;
    port.purge();
    qint64 start = 0;
    if (switchRts) {
        // A device without modem lines refuses; the frame goes out all the same.
        port.setRts(true);
        start = clock.perfCounter();
    }
    port.write(preamble.data(), qint64(preamble.size()));
    port.write(frame.data(), qint64(frame.size()));
    link.tap.record(LineEventKind::Bytes, LineDirection::Out, preamble.data(), qint64(preamble.size()));
    link.tap.record(LineEventKind::Frame, LineDirection::Out, frame.data(), qint64(frame.size()));
    if (switchRts) {
        HoldTicks(clock, start, holdTicks);
        port.setRts(false);
    }
    // A purge discards what the driver has not sent yet: let the frame leave first.
    port.drain();
    port.purge();
    link.tap.deliver();
}

void SendFrame(Link& link, int n) {
    // The length byte of a frame is one byte wide; anything else is not a frame and would read past the
    // request buffer.
    if (n < 1 || n > 255)
        return;
    static const quint8 preamble[kPreambleLength] = {kPreambleByte, kPreambleByte, kPreambleByte};
    const bool rts = link.RtsControl != 0;
    const qint64 frequency = link.PerfFrequency > 0 ? link.PerfFrequency : clockOf(link).perfFrequency();
    Transmit(link, preamble, std::span<const quint8>(link.RequestBuffer.data(), std::size_t(n)), rts,
             rts ? RtsHoldTicks(n, frequency) : 0);
}

int ReceiveFrame(Link& link, int firstTimeoutMs, int nextTimeoutMs, quint8 startByte, bool pumpMessages) {
    if (!link.port)
        return 0;
    Clock& clock = clockOf(link);
    Port& port = *link.port;
    auto& answer = link.AnswerBuffer;
    const quint32 firstTimeout = quint32(qMax(0, firstTimeoutMs));
    const quint32 nextTimeout = quint32(qMax(0, nextTimeoutMs));

    bool seenFF = false;
    // Drops what came before, the echo of our own request on a two-wire line included.
    port.purge();
    int count = 0;
    quint32 last = clock.tickMs();
    quint8 scratch[kReadChunk];

    for (;;) {
        if (pumpMessages)
            QCoreApplication::processEvents();
        qint64 got = port.read(scratch, kReadChunk);
        if (got < 0) {
            port.clearError();
            got = 0;
        }
        const quint32 now = clock.tickMs();
        if (got == 0) {
            // Elapsed time as an unsigned difference stays right across the wrap of the tick.
            const quint32 elapsed = now - last;
            const quint32 timeout = count == 0 ? firstTimeout : nextTimeout;
            if (elapsed > timeout)
                return count;
            const quint64 wait = quint64(timeout - elapsed) + 1;
            port.waitForInput(int(qMin<quint64>(wait, INT_MAX)), pumpMessages);
            continue;
        }
        // The start rules apply byte by byte however the bytes are split into reads: a frame is only
        // taken when 0xFF, startByte, 0xFF came in a row.
        for (qint64 i = 0; i < got; ++i) {
            const quint8 b = scratch[i];
            if (count == 0) {
                if (b == startByte && seenFF) {
                    answer[0] = startByte;
                    count = 1;
                    seenFF = false;
                    last = clock.tickMs();
                }
                if (count == 0)
                    seenFF = b == 0xFF;
            } else if (count == 1) {
                if (b == 0xFF) {
                    answer[1] = b;
                    count = 2;
                    last = clock.tickMs();
                } else {
                    count = 0; // hunting again from the next byte
                }
            } else if (count < kAnswerBufferSize) {
                answer[std::size_t(count++)] = b;
                last = clock.tickMs();
            } // else: the buffer is full, the byte is dropped
        }
        if (count >= 3 && count >= answer[2])
            return answer[2];
        if (count == kAnswerBufferSize)
            return kAnswerBufferSize;
    }
}
