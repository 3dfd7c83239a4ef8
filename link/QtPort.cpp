#include "QtPort.h"

#include "SpeedReadback.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {
// Longest a write may take to reach the driver: 600 bytes at 600 baud are 10 s.
constexpr int kWriteTimeoutMs = 15000;
// A read that found the input queue empty this recently stands for the input flush of a purge.
constexpr std::chrono::microseconds kFreshEmptyRead{1000};
} // namespace

QtPort::QtPort() {
    waitTimer_.setSingleShot(true);
    waitTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&waitTimer_, &QTimer::timeout, &waitLoop_, &QEventLoop::quit);
    // New bytes end the innermost pumped wait; while no wait runs (the application's own loop between
    // exchanges) QSerialPort just keeps them.
    QObject::connect(&serial_, &QSerialPort::readyRead, &serial_, [this] {
        if (inputLoop_)
            inputLoop_->quit();
    });
    // Errors also come while the application's own event loop runs between exchanges; a device that is
    // gone would otherwise keep its descriptor readable (hung up) and the loop busy.
    QObject::connect(&serial_, &QSerialPort::errorOccurred, &serial_, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError)
            return;
        if (inputLoop_ || polledWaits_ > 0)
            waitFailed_ = true;
        if (inputLoop_)
            inputLoop_->quit();
        if (!open_ || lost_)
            return;
        if (e == QSerialPort::ResourceError || deviceGone())
            markLost(false);
    });
}

QtPort::~QtPort() {
    close();
}

bool QtPort::open(const QString& device, qint32 baud, OpenError* error) {
    close();
    serial_.setPortName(device);
    serial_.setBaudRate(baud);
    serial_.setDataBits(QSerialPort::Data8);
    serial_.setParity(QSerialPort::NoParity);
    serial_.setStopBits(QSerialPort::OneStop);
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    // QSerialPort opens the device exclusively (a lock file and TIOCEXCL on POSIX).
    if (!serial_.open(QIODevice::ReadWrite)) {
        if (error) {
            error->systemText = serial_.errorString();
            error->accessDenied = false;
#ifdef Q_OS_UNIX
            // Tell "you may not use this device" from "someone else holds it": QSerialPort reports both
            // as a permission error (the second from its lock file), only the first is cured by joining
            // the device's group.
            if (serial_.error() == QSerialPort::PermissionError) {
                const QString path = device.startsWith(u'/') ? device : QStringLiteral("/dev/") + device;
                const bool denied =
                    ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES;
                error->systemText = QString::fromLocal8Bit(std::strerror(denied ? EACCES : EBUSY));
                error->accessDenied = denied;
                error->busy = !denied;
            }
#else
            error->accessDenied = serial_.error() == QSerialPort::PermissionError;
#endif
        }
        serial_.clearError();
        return false;
    }
    open_ = true;
    lost_ = false;
    lostReason_.clear();
    wakePending_ = false;
    rtsRefused_ = false;
    drained_ = false;
    emptiedAt_.reset();
#ifdef Q_OS_UNIX
    rs485_.attach(fd());
    TuneForLowLatency(fd(), device.startsWith(u'/') ? device : QStringLiteral("/dev/") + device);
#endif
    actualBaud_ = ReadBackBaud(int(serial_.handle()));
    if (stamp_.take(device.startsWith(u'/') ? device : QStringLiteral("/dev/") + device))
        lingerFrom_ = std::chrono::steady_clock::now();
    // Both modem lines start low; a device without them (a pseudo-terminal) refuses, which is fine.
    setDtr(false);
    setRts(false);
    return true;
}

void QtPort::close() {
    if (loop_)
        loop_->quit();
#ifdef Q_OS_UNIX
    if (usable())
        rs485_.restore(fd());
#endif
    if (serial_.isOpen())
        serial_.close();
    serial_.clearError();
    stamp_.release();
    lingerFrom_.reset();
    open_ = false;
    lost_ = false;
}

bool QtPort::takeLingeringAnswer() {
    const bool lingering =
        lingerFrom_ && std::chrono::steady_clock::now() - *lingerFrom_ < PortStamp::kLingerMs;
    lingerFrom_.reset();
    return lingering;
}

bool QtPort::setRts(bool on) {
    // A device without modem lines refuses every time: asked once per open, not before every answer.
    if (!usable() || rtsRefused_)
        return false;
    const bool ok = serial_.setRequestToSend(on);
    if (!ok) {
        serial_.clearError();
        rtsRefused_ = !deviceGone();
    }
    return ok;
}

bool QtPort::letDriverSwitchRts(bool on) {
#ifdef Q_OS_UNIX
    if (usable())
        return rs485_.set(fd(), on);
#endif
    return !on;
}

bool QtPort::setDtr(bool on) {
    if (!usable())
        return false;
    const bool ok = serial_.setDataTerminalReady(on);
    if (!ok)
        serial_.clearError();
    return ok;
}

void QtPort::purge() {
    if (!usable())
        return;
    // The imitation purges right after it read a request whole. A flush then could only take bytes that
    // came in the microseconds since, and it costs as much as the read itself (on a pseudo-terminal it
    // also restarts the driver's delivery work): it is left out, and such bytes are read as any others.
    bool ok = inputJustEmptied() || serial_.clear(QSerialPort::Input);
    emptiedAt_.reset();
    // The output side is flushed only when something is still waiting to be sent. A pseudo-terminal
    // passes written bytes straight to its peer, where an output flush would destroy them on the peer's
    // side although they count as sent; a UART reports its untransmitted bytes in TIOCOUTQ.
    bool outputPending = serial_.bytesToWrite() > 0;
#ifdef Q_OS_UNIX
    // After a drain with nothing written since, the driver holds nothing: no need to ask it (the
    // imitation purges before every answer, right after the request came).
    int queued = 0;
    if (!drained_ && (::ioctl(int(serial_.handle()), TIOCOUTQ, &queued) != 0 || queued > 0))
        outputPending = true;
#else
    outputPending = true;
#endif
    if (outputPending)
        ok = serial_.clear(QSerialPort::Output) && ok;
    if (!ok)
        noteError();
}

bool QtPort::inputJustEmptied() const {
    return emptiedAt_ && serial_.bytesAvailable() == 0 &&
           std::chrono::steady_clock::now() - *emptiedAt_ < kFreshEmptyRead;
}

void QtPort::drain() {
    if (!usable())
        return;
#ifdef Q_OS_UNIX
    int r;
    while ((r = ::tcdrain(int(serial_.handle()))) != 0 && errno == EINTR) {
    }
    drained_ = r == 0;
#endif
}

QString QtPort::lossReason() const {
#ifdef Q_OS_UNIX
    // The descriptor's own answer names what happened to the device ("Input/output error", "No such
    // device"); QSerialPort's last error text may be a generic one.
    termios t{};
    if (serial_.isOpen() && ::tcgetattr(int(serial_.handle()), &t) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
#endif
    return serial_.errorString();
}

bool QtPort::deviceGone() const {
#ifdef Q_OS_UNIX
    // A hung-up terminal (pty peer closed, USB adapter pulled) fails every ioctl with EIO or ENODEV.
    termios t{};
    if (serial_.isOpen() && ::tcgetattr(int(serial_.handle()), &t) != 0)
        return errno == EIO || errno == ENODEV || errno == ENXIO || errno == EBADF;
    return false;
#else
    return serial_.error() == QSerialPort::ResourceError;
#endif
}

void QtPort::markLost(bool closeNow) {
    if (!lost_)
        lostReason_ = lossReason();
    lost_ = true;
    if (loop_)
        loop_->quit();
    if (closeNow) {
        if (serial_.isOpen())
            serial_.close();
        serial_.clearError();
        return;
    }
    // Not from inside QSerialPort's own notification: close once it has returned.
    QMetaObject::invokeMethod(
        &serial_,
        [this] {
            if (lost_ && serial_.isOpen())
                serial_.close();
            if (lost_)
                serial_.clearError();
        },
        Qt::QueuedConnection);
}

void QtPort::noteError() {
    const QSerialPort::SerialPortError e = serial_.error();
    if (open_ && (lost_ || e == QSerialPort::ResourceError || deviceGone()))
        markLost(true);
    serial_.clearError();
}

bool QtPort::pullQueued() {
    if (serial_.bytesAvailable() > 0)
        return true;
    // A zero wait polls the descriptor once and reads what is there into the buffer.
    if (serial_.waitForReadyRead(0))
        return true;
    // Nothing queued is a time-out to QSerialPort, not a failure.
    if (serial_.error() == QSerialPort::TimeoutError || serial_.error() == QSerialPort::NoError) {
        serial_.clearError();
        return true;
    }
    noteError();
    return false;
}

qint64 QtPort::read(quint8* buf, qint64 max) {
    if (!usable())
        return -1;
#ifdef Q_OS_UNIX
    // What QSerialPort has buffered (its notifier reads while the event loop runs) comes first; else the
    // descriptor is read directly, one system call.
    if (serial_.bytesAvailable() > 0) {
        const qint64 n = serial_.read(reinterpret_cast<char*>(buf), max);
        if (n < 0)
            noteError();
        return n;
    }
    const ssize_t r = ::read(fd(), buf, size_t(max));
    if (r < max && (r >= 0 || errno == EAGAIN))
        emptiedAt_ = std::chrono::steady_clock::now();
    if (r >= 0)
        return r;
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    // QSerialPort meets the failure itself: it tells a device that is gone (a resource error) from a
    // passing fault, and a loss is handled as everywhere else.
    if (!pullQueued())
        return -1;
    return serial_.read(reinterpret_cast<char*>(buf), max);
#else
    if (!pullQueued())
        return -1;
    const qint64 n = serial_.read(reinterpret_cast<char*>(buf), max);
    if (n < 0)
        noteError();
    return n;
#endif
}

qint64 QtPort::write(const quint8* data, qint64 n) {
    if (!usable())
        return -1;
    drained_ = false;
#ifdef Q_OS_UNIX
    // Straight to the driver when QSerialPort holds nothing back: one system call, no event loop turn.
    if (serial_.bytesToWrite() == 0) {
        qint64 done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd(), data + done, size_t(n - done));
            if (w > 0) {
                done += w;
                continue;
            }
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0 && errno == EAGAIN) {
                pollfd p{fd(), POLLOUT, 0};
                if (::poll(&p, 1, kWriteTimeoutMs) > 0)
                    continue;
            }
            noteError();
            return done > 0 ? done : -1;
        }
        return n;
    }
#endif
    const qint64 taken = serial_.write(reinterpret_cast<const char*>(data), n);
    if (taken < 0) {
        noteError();
        return -1;
    }
    // QSerialPort buffers writes until its event loop runs: hand everything to the driver now, so that
    // the RTS hold covers the bytes' real transmission.
    while (serial_.bytesToWrite() > 0) {
        if (!serial_.waitForBytesWritten(kWriteTimeoutMs)) {
            noteError();
            break;
        }
    }
    return taken;
}

void QtPort::clearError() {
    if (serial_.error() != QSerialPort::NoError)
        noteError();
}
