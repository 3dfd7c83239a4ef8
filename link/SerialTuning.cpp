#include "SerialTuning.h"

#include "Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cstring>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>

static_assert(sizeof(serial_rs485) == sizeof(std::array<quint32, 8>));

void DriverRs485::attach(int fd) {
    serial_rs485 rs{};
    known_ = ::ioctl(fd, TIOCGRS485, &rs) == 0;
    refused_ = !known_;
    on_ = known_ && (rs.flags & SER_RS485_ENABLED);
    if (known_)
        std::memcpy(saved_.data(), &rs, sizeof rs);
}

bool DriverRs485::set(int fd, bool on) {
    if (on == on_)
        return true;
    if (on && refused_)
        return false;
    serial_rs485 rs{};
    if (known_)
        std::memcpy(&rs, saved_.data(), sizeof rs);
    // RTS high while sending, low after; no extra delays: the driver drops RTS after the last stop bit.
    rs.flags &= ~quint32(SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND |
                         SER_RS485_RX_DURING_TX);
    if (on)
        rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs.delay_rts_before_send = 0;
    rs.delay_rts_after_send = 0;
    // Some drivers take the call and clear what they cannot do: read the mode back.
    const bool taken = ::ioctl(fd, TIOCSRS485, &rs) == 0;
    serial_rs485 now{};
    const bool enabled = taken && ::ioctl(fd, TIOCGRS485, &now) == 0 && (now.flags & SER_RS485_ENABLED);
    if (on && !enabled) {
        refused_ = true;
        return false;
    }
    on_ = on && enabled;
    return taken || !on;
}

void DriverRs485::restore(int fd) {
    if (!known_)
        return;
    serial_rs485 rs{};
    std::memcpy(&rs, saved_.data(), sizeof rs);
    ::ioctl(fd, TIOCSRS485, &rs);
    known_ = false;
    on_ = false;
}

namespace {

// The USB adapter's latency timer in ms, -1 when the device is not a USB adapter that has one.
int LatencyTimer(const QString& path, bool* lowered) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const int ms = file.readAll().trimmed().toInt();
    file.close();
    *lowered = false;
    if (ms > 1 && file.open(QIODevice::WriteOnly))
        *lowered = file.write("1") == 1 && file.flush();
    return ms;
}

} // namespace

void TuneForLowLatency(int fd, const QString& device) {
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &ss); // refused by many drivers: nothing more to do then
    }
    const QString tty = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (tty.isEmpty())
        return;
    const QString timer = QStringLiteral("/sys/bus/usb-serial/devices/%1/latency_timer").arg(tty);
    bool lowered = false;
    const int ms = LatencyTimer(timer, &lowered);
    static QSet<QString> told;
    if (ms <= 1 || lowered || told.contains(tty))
        return;
    told.insert(tty);
    qCWarning(lcLink).noquote().nospace()
        << QStringLiteral("rmz47: USB-адаптер %1 отдаёт принятые байты с задержкой до %2 мс (latency_timer); "
                          "уменьшить её до 1 мс: echo 1 | sudo tee %3")
               .arg(tty, QString::number(ms), timer);
}

#else

void DriverRs485::attach(int) {
    known_ = false;
    refused_ = true;
    on_ = false;
}
bool DriverRs485::set(int, bool on) {
    return !on;
}
void DriverRs485::restore(int) {}
void TuneForLowLatency(int, const QString&) {}

#endif
