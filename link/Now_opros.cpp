#include "Now_opros.h"

#include "FrameHunter.h"
#include "LinkState.h"
#include "LinkUi.h"
#include "PortHolder.h"
#include "PortRecovery.h"
#include "PortStamp.h"
#include "Settings.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <climits>

namespace {

using proto::kPreambleByte;
using proto::kRequestPreamble;
constexpr int kReadChunk = 500;
// How long the controller may take to start its answer.
constexpr int kFirstAnswerMs = 500;
static_assert(kReadChunk > EchoFilter::kMaxSent, "a read must have room beside a held echo");
// The last stretch of an RTS hold is spun: waking from a sleep takes tens of microseconds.
constexpr qint64 kHoldSpinUs = 150;

const QString kAccessAdvice = QStringLiteral(
    "Нет доступа к порту: добавьте пользователя в группу dialout (sudo usermod -aG dialout $USER) и войдите "
    "в систему заново.");

} // namespace

void ClosePort(Link& link) {
    LinkState& s = Inside(link);
    if (link.portOpen())
        s.port->close();
    s.device = {};
}

void OpenPort(Link& link) {
    LinkState& s = Inside(link);
    ClosePort(link);
    if (s.PortNumber == 0 || !s.port)
        return;
    OpenError error;
    const QString device = PortDeviceName(link, s.PortNumber);
    if (s.port->open(device, s.LineSpeed, &error)) {
        TakeUpOpenedPort(link, device);
        return;
    }
    // A port that failed once is not tried again at the next start.
    s.PortNumber = 0;
    if (s.saveOnFailedOpen)
        SaveSettings(link);
    QString text = error.systemText;
    if (error.accessDenied)
        text += QLatin1Char('\n') + kAccessAdvice;
    // Who holds the port is what the operator acts on; the system's words follow for the search.
    if (error.busy)
        text = BusyText(FindPortHolder(device)) + QStringLiteral("\n(") + error.systemText + QLatin1Char(')');
    if (s.ui)
        s.ui->showOpenError(text);
}

quint64 BitTimeTicks(int bits, int baud, qint64 frequency) {
    if (baud <= 0)
        return 0;
    return quint64(double(bits) * (1.0 / double(baud)) * double(frequency));
}

void HoldTicks(Clock& clock, qint64 start, quint64 ticks) {
    const quint64 spin = quint64(clock.perfFrequency() / 1000000 * kHoldSpinUs);
    if (ticks > spin)
        clock.sleepUntil(start + qint64(ticks - spin));
    while (quint64(clock.perfCounter() - start) <= ticks) {
    }
}

quint64 RtsHoldTicks(int n, qint64 frequency) {
    // n frame bytes plus the preamble, 10 bits each (start, 8 data, stop), plus one bit time so that RTS
    // drops after the last stop bit has left the line. Always at the controller's speed, whatever the line
    // runs at.
    return BitTimeTicks((n + kRequestPreamble) * 10 + 1, proto::kControllerBaud, frequency);
}

void Transmit(Link& link, std::span<const quint8> preamble, std::span<const quint8> frame, bool switchRts,
              quint64 holdTicks) {
    LinkState& s = Inside(link);
    if (!link.portOpen())
        return;
    Clock& clock = link.timeSource();
    Port& port = *s.port;
    port.purge();
    s.echo.expect(preamble, frame);
    // Asked every time, so that RTS stays low when switching is off; the port remembers the mode.
    const bool byDriver = port.letDriverSwitchRts(switchRts) && switchRts;
    const bool timed = switchRts && !byDriver;
    qint64 start = 0;
    if (timed) {
        // A device without modem lines refuses; the frame goes out all the same.
        port.setRts(true);
        start = clock.perfCounter();
    }
    // One write: the preamble and the frame reach the driver together.
    std::array<quint8, EchoFilter::kMaxSent> line;
    const std::size_t n = qMin(preamble.size() + frame.size(), line.size());
    std::copy(preamble.begin(), preamble.end(), line.begin());
    std::copy_n(frame.begin(), n - preamble.size(), line.begin() + preamble.size());
    port.write(line.data(), qint64(n));
    s.tap.record(LineEventKind::Bytes, LineDirection::Out, preamble.data(), qint64(preamble.size()));
    s.tap.record(LineEventKind::Frame, LineDirection::Out, frame.data(), qint64(frame.size()));
    // RTS must not drop while the driver still sends (a USB adapter sends after write() returns).
    port.drain();
    if (timed) {
        HoldTicks(clock, start, holdTicks);
        port.setRts(false);
    }
    s.tap.deliver();
}

namespace {

// The answer to a killed holder's last request may still be coming. It is read and dropped until the line
// has been quiet for the first answer time-out (an answer starts within it), within the time such an
// answer can take at most; the monitor shows it as noise.
void DropLingeringAnswer(Link& link) {
    LinkState& s = Inside(link);
    Clock& clock = link.timeSource();
    const quint32 start = clock.tickMs();
    quint32 quietSince = start;
    int dropped = 0;
    quint8 scratch[kReadChunk];
    for (;;) {
        const quint32 now = clock.tickMs();
        if (now - quietSince >= quint32(kFirstAnswerMs) ||
            now - start >= quint32(PortStamp::kLingerMs.count()) || !link.portOpen())
            break;
        if (!s.port->waitForInput(int(quint32(kFirstAnswerMs) - (now - quietSince)), false))
            continue;
        const qint64 got = s.port->read(scratch, kReadChunk);
        if (got < 0)
            s.port->clearError();
        if (got > 0) {
            dropped += int(got);
            quietSince = clock.tickMs();
        }
    }
    if (dropped > 0) {
        s.tap.record(LineEventKind::Noise, LineDirection::In, dropped);
        s.tap.deliver();
    }
}

} // namespace

void SendFrame(Link& link, int n) {
    LinkState& s = Inside(link);
    // The length byte of a frame is one byte wide; anything else is not a frame and would read past the
    // request buffer.
    if (n < 1 || n > 255)
        return;
    if (link.portOpen()) {
        if (s.port->takeLingeringAnswer())
            DropLingeringAnswer(link);
        s.port->requestSent();
    }
    static const quint8 preamble[kRequestPreamble] = {kPreambleByte, kPreambleByte, kPreambleByte};
    const bool rts = s.RtsControl != 0;
    const qint64 frequency = link.PerfFrequency();
    Transmit(link, preamble, std::span<const quint8>(s.RequestBuffer.data(), std::size_t(n)), rts,
             rts ? RtsHoldTicks(n, frequency) : 0);
}

namespace {

// What the receive path found, for the tap: the frame, or the silence or cut frame at the time-out, with
// the answer's outcome, and the noise skipped on the way.
void TapReceived(LineTap& tap, const proto::FrameHunter& hunter, bool complete,
                 proto::AnswerOutcome outcome) {
    if (!tap.active())
        return;
    if (hunter.noiseSkipped() > 0)
        tap.record(LineEventKind::Noise, LineDirection::In, hunter.noiseSkipped());
    const auto frame = hunter.frame();
    const LineEventKind kind = complete             ? LineEventKind::Frame
                               : hunter.count() > 0 ? LineEventKind::CutShort
                                                    : LineEventKind::Silence;
    tap.record(kind, LineDirection::In, frame.data(), qint64(frame.size()), 0, outcome);
    tap.deliver();
}

} // namespace

qint64 ReadLine(Link& link, quint8* out, qint64 max) {
    LinkState& s = Inside(link);
    if (!s.port)
        return -1;
    quint8 raw[kReadChunk];
    const qint64 room = qMin<qint64>(max - s.echo.held(), kReadChunk);
    const qint64 got = room > 0 ? s.port->read(raw, room) : 0;
    if (got < 0) {
        s.port->clearError();
        return -1;
    }
    if (got == 0)
        return 0;
    s.tap.record(LineEventKind::Bytes, LineDirection::In, raw, got);
    int echo = 0;
    const int kept = s.echo.pass(raw, int(got), out, &echo);
    if (echo > 0)
        s.tap.record(LineEventKind::Echo, LineDirection::In, echo);
    return kept;
}

namespace {

// Feeds the line to the hunter until its frame is complete or the buffer full (true), or until the
// time-out ends it (false).
bool Hunt(Link& link, proto::FrameHunter& hunter, int firstTimeoutMs, int nextTimeoutMs, bool pumpMessages) {
    Clock& clock = link.timeSource();
    Port& port = *Inside(link).port;
    const quint32 firstTimeout = quint32(qMax(0, firstTimeoutMs));
    const quint32 nextTimeout = quint32(qMax(0, nextTimeoutMs));
    // Nothing is discarded: the read-back of our own request on a two-wire line is recognised by the echo
    // filter, and an answer that came quickly is already the answer.
    quint32 last = clock.tickMs();
    quint8 scratch[kReadChunk];
    for (;;) {
        if (pumpMessages)
            QCoreApplication::processEvents();
        const qint64 got = ReadLine(link, scratch, kReadChunk);
        if (got <= 0) {
            // Elapsed time as an unsigned difference stays right across the wrap of the tick.
            const quint32 elapsed = clock.tickMs() - last;
            const quint32 timeout = hunter.count() == 0 ? firstTimeout : nextTimeout;
            if (elapsed > timeout)
                return false;
            const quint64 wait = quint64(timeout - elapsed) + 1;
            port.waitForInput(int(qMin<quint64>(wait, INT_MAX)), pumpMessages);
            continue;
        }
        // The start rules apply byte by byte however the bytes are split into reads; every byte taken
        // into the frame starts the silence time-out again.
        for (qint64 i = 0; i < got; ++i) {
            const proto::HuntStep step = hunter.feed(scratch[i]);
            if (step == proto::HuntStep::Taken || step == proto::HuntStep::Complete)
                last = clock.tickMs();
        }
        if (hunter.complete() || hunter.full())
            return true;
    }
}

} // namespace

int ReceiveFrame(Link& link, int firstTimeoutMs, int nextTimeoutMs, quint8 startByte, bool pumpMessages) {
    return ReceiveAnswer(link, firstTimeoutMs, nextTimeoutMs, startByte, pumpMessages, 0).count;
}

Received ReceiveAnswer(Link& link, int firstTimeoutMs, int nextTimeoutMs, quint8 startByte, bool pumpMessages,
                       quint8 requestFunction) {
    LinkState& s = Inside(link);
    Received got;
    if (!s.port)
        return got;
    proto::FrameHunter hunter(startByte, s.AnswerBuffer);
    const bool complete = Hunt(link, hunter, firstTimeoutMs, nextTimeoutMs, pumpMessages);
    got.count = hunter.complete() ? hunter.frameLength() : hunter.count();
    got.answer = proto::CheckAnswer(s.AnswerBuffer, got.count, requestFunction);
    TapReceived(s.tap, hunter, complete, got.answer.outcome);
    return got;
}
