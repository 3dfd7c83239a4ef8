#pragma once
// The serial port over QSerialPort. An absolute device path (/dev/ttyUSB0, /dev/pts/3) or a system port
// name (ttyS0, COM1) is accepted.
#include "Port.h"
#include "PortStamp.h"
#include "SerialTuning.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <chrono>
#include <optional>

class QtPort : public Port {
public:
    QtPort();
    ~QtPort() override;

    bool open(const QString& device, qint32 baud, OpenError* error) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool setRts(bool on) override;
    bool setDtr(bool on) override;
    bool letDriverSwitchRts(bool on) override;
    void purge() override;
    void drain() override;
    qint64 read(quint8* buf, qint64 max) override;
    qint64 write(const quint8* data, qint64 n) override;
    void clearError() override;
    bool waitForInput(int timeoutMs, bool pumpMessages) override;
    void wake() override;

    // True once the device went away under an open port (a USB adapter pulled, a pty peer closed): every
    // operation then fails at once and waits only sleep, until the port is closed.
    bool lost() const override { return lost_; }
    QString lostReason() const override { return lostReason_; }
    qint32 actualBaud() const override { return actualBaud_; }
    bool takeLingeringAnswer() override;
    void requestSent() override { stamp_.requestSent(); }

private:
    bool usable() const { return open_ && !lost_ && serial_.isOpen(); }
    // Moves bytes the kernel already holds into QSerialPort's buffer; false on a device error.
    bool pullQueued();
    // Records a device error; a lost device is closed so that its descriptor stops reporting hang-ups.
    void noteError();
    bool deviceGone() const;
    bool inputJustEmptied() const;
    QString lossReason() const;
    void markLost(bool closeNow);
    void sleepWait(int timeoutMs, bool pumpMessages);
    bool pumpedWait(int timeoutMs);
    // Waits in the main loop's own poll; nothing when that poll cannot be used here.
    std::optional<bool> polledWait(int timeoutMs);
    // Waits in a kept nested event loop.
    bool loopWait(int timeoutMs);

    int fd() const { return int(serial_.handle()); }

    QSerialPort serial_;
    PortStamp stamp_;
    // Since when an answer to the killed previous holder's request may still come; unset when none may.
    std::optional<std::chrono::steady_clock::time_point> lingerFrom_;
    DriverRs485 rs485_;
    bool open_ = false;
    bool lost_ = false;
    bool wakePending_ = false;
    bool rtsRefused_ = false; // the device has no RTS line (a pseudo-terminal)
    bool drained_ = false;    // a drain succeeded and nothing was written since
    // When a read last found the driver's input queue empty (it returned less than it had room for).
    std::optional<std::chrono::steady_clock::time_point> emptiedAt_;
    QString lostReason_;
    qint32 actualBaud_ = 0;
    QEventLoop* loop_ = nullptr;      // the innermost wait that dispatches events, if any
    QEventLoop* inputLoop_ = nullptr; // the innermost of them that waits for input
    QEventLoop waitLoop_;             // the pumped wait's, kept between waits
    QTimer waitTimer_;
    bool waitFailed_ = false; // an error came during the innermost pumped wait
    int polledWaits_ = 0;     // how many waits in the main loop's own poll are running
    quint64 inputs_ = 0;      // counts the polled waits that ended on input
};
