#pragma once
// Driver settings of a serial device that the link asks for where the system offers them (Linux):
// low-latency delivery, and the driver's own RTS switching for RS-485 transceivers. Elsewhere every
// request is refused and the link times RTS itself.
#include <QString>
#include <array>

// The driver's RS-485 mode (TIOCSRS485): it raises RTS for each transmission and drops it after the
// last stop bit, with no timing in the program. The device's own settings are read at open and given
// back at close, so that a port left in RS-485 mode by the system stays so.
class DriverRs485 {
public:
    void attach(int fd);
    // Turns the driver's switching on or off; true when the driver now does as asked. A driver without
    // the mode (a pseudo-terminal, most USB adapters) refuses `on` once and is not asked again until the
    // next attach.
    bool set(int fd, bool on);
    void restore(int fd);

private:
    std::array<quint32, 8> saved_{}; // struct serial_rs485 as read at attach
    bool known_ = false;             // saved_ holds the device's settings
    bool refused_ = false;
    bool on_ = false;
};

// Asks the driver for low-latency delivery (ASYNC_LOW_LATENCY) where it offers it. A USB adapter whose
// latency timer is above 1 ms holds received bytes that long: it is lowered when the program may, and
// otherwise the program says so once per device on stderr, with the command that lowers it.
void TuneForLowLatency(int fd, const QString& device);
