#pragma once
// An in-memory port for tests: every call is recorded with the clock's time, received bytes are
// scripted to arrive at given ticks, and waits move the manual clock instead of sleeping.
#include "ManualClock.h"
#include "Port.h"

#include <QByteArray>
#include <deque>
#include <functional>
#include <vector>

class FakePort : public Port {
public:
    enum class Kind { Open, Close, SetRts, SetDtr, Purge, Drain, Write, Read, ClearError, Wait };
    struct Call {
        Kind kind;
        quint32 ms;      // clock tick when called
        qint64 perf;     // high-resolution counter when called (read without advancing it)
        QByteArray data; // Write: the bytes; Read: the bytes returned
        bool on = false; // SetRts/SetDtr: the level; Wait: whether input came
        QString device;  // Open
        qint32 baud = 0; // Open
    };

    explicit FakePort(ManualClock& clock) : clock_(clock) {}

    // Script: bytes that become readable when the clock reaches atMs.
    void arrive(quint32 atMs, const QByteArray& bytes);
    void arriveNow(const QByteArray& bytes) { arrive(clock_.tickMs(), bytes); }
    // Called after every write with the bytes written (to script an answer to a request).
    std::function<void(const QByteArray& written)> onWrite;

    // Faults.
    bool failOpen = false;
    OpenError openError{QStringLiteral("No such file or directory"), false};
    bool refuseModemLines = false; // setRts/setDtr return false, as on a pseudo-terminal
    bool failReads = false;        // read() returns -1
    bool hasRs485 = false;         // the driver can switch RTS itself
    bool lostDevice = false;       // the device went away under the open port (cleared by an open)
    QString lostText = QStringLiteral("Input/output error");
    qint32 actualBaudValue = 0; // what actualBaud() reads back (0: unknown)

    // Observations.
    std::vector<Call> calls;
    QByteArray written() const; // every byte written, in order
    bool rts() const { return rts_; }
    bool dtr() const { return dtr_; }
    bool driverSwitchesRts() const { return driverRts_; }
    QString openedDevice() const { return device_; }
    qint32 openedBaud() const { return baud_; }
    int count(Kind kind) const;
    void clearCalls() { calls.clear(); }

    // Port
    bool open(const QString& device, qint32 baud, OpenError* error) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool setRts(bool on) override;
    bool setDtr(bool on) override;
    bool letDriverSwitchRts(bool on) override {
        driverRts_ = on && hasRs485;
        return driverRts_ == on;
    }
    void purge() override; // drops the bytes that have already arrived, not the scripted ones
    void drain() override;
    qint64 read(quint8* buf, qint64 max) override;
    qint64 write(const quint8* data, qint64 n) override;
    void clearError() override;
    // Moves the clock to the next arrival when it lies within timeoutMs, else by timeoutMs.
    bool waitForInput(int timeoutMs, bool pumpMessages) override;
    void wake() override {}
    bool lost() const override { return open_ && lostDevice; }
    QString lostReason() const override { return lostText; }
    qint32 actualBaud() const override { return actualBaudValue; }

private:
    void record(Kind kind, QByteArray data = {}, bool on = false);
    struct Pending {
        quint32 atMs;
        QByteArray bytes;
    };
    ManualClock& clock_;
    std::deque<Pending> pending_;
    bool open_ = false, rts_ = false, dtr_ = false, driverRts_ = false;
    QString device_;
    qint32 baud_ = 0;
};
