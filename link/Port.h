#pragma once
// The serial port as the link needs it. One implementation over QSerialPort (QtPort), one in-memory
// fake for tests (FakePort) that records every call with the clock's time.
#include <QString>
#include <QtGlobal>

struct OpenError {
    QString systemText;        // the system's own error text
    bool accessDenied = false; // permission denied on the device (most often: not in the dialout group)
    bool busy = false;         // another program holds the device
};

class Port {
public:
    virtual ~Port() = default;

    // Opens the device for exclusive use at baud, 8 data bits, no parity, one stop bit, no flow control,
    // DTR and RTS low. On failure returns false and fills *error.
    virtual bool open(const QString& device, qint32 baud, OpenError* error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Modem lines. A device that refuses them (a pseudo-terminal does) returns false; callers ignore it.
    virtual bool setRts(bool on) = 0;
    virtual bool setDtr(bool on) = 0;
    // With `on`, lets the driver raise RTS for each transmission and drop it after the last stop bit
    // (RS-485 mode); without, gives RTS back to setRts. True when the driver now does as asked: a device
    // without the mode refuses `on`, and the caller then times RTS itself.
    virtual bool letDriverSwitchRts(bool on) { return !on; }

    // Discards both queues: what was received and not read, and what was written and not yet sent.
    virtual void purge() = 0;
    // Blocks until everything written has left the transmitter (tcdrain on POSIX).
    virtual void drain() = 0;
    // Returns at once with what is queued, up to max bytes: 0 when nothing is, -1 when the read failed.
    virtual qint64 read(quint8* buf, qint64 max) = 0;
    // Hands the bytes to the driver; returns the count taken or -1.
    virtual qint64 write(const quint8* data, qint64 n) = 0;
    // Clears a line error after a failed read.
    virtual void clearError() = 0;

    // Waits until input is queued or timeoutMs has passed, whichever comes first; true when input is
    // queued. With pumpMessages the application's events (windows, timers, keys) are dispatched while
    // waiting; without it nothing is dispatched. wake() ends a pumped wait early.
    virtual bool waitForInput(int timeoutMs, bool pumpMessages) = 0;
    virtual void wake() = 0;

    // The device went away under the open port (an adapter pulled, a pty peer gone): every operation fails
    // until the port is opened again. The reason is the system's text.
    virtual bool lost() const { return false; }
    virtual QString lostReason() const { return {}; }
    // The speed the driver really set at the last open, in bit/s; 0 when it cannot be read back.
    virtual qint32 actualBaud() const { return 0; }

    // The device's previous holder was killed shortly after a request of its own, whose answer may still
    // come: true once, at the first request after such an open, within a few seconds of it.
    virtual bool takeLingeringAnswer() { return false; }
    // A request to the controller goes out now (remembered for the next holder, should this one be killed).
    virtual void requestSent() {}
};
