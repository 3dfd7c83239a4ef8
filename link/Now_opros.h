#pragma once
// The link state of the program and the serial link operations: opening and closing the port, sending a
// request frame with the preamble and the RTS hold, collecting an answer frame with its time-outs.
#include "Clock.h"
#include "ControllerFrames.h"
#include "EchoFilter.h"
#include "LineSpeed.h"
#include "LineTap.h"
#include "Port.h"

#include <QString>
#include <array>
#include <map>
#include <memory>
#include <span>

class DeviceSource;
class LinkUi;

constexpr int kRequestBufferSize = 600;
constexpr int kAnswerBufferSize = 300;

// The device behind the open port, kept so that a device that went away can be opened again.
struct OpenedDevice {
    QString path;       // as opened (the mapped path)
    QString stablePath; // its /dev/serial/by-id name at the open, when it had one
    // The nodes or links of both as they were at the open (inode and change time): a device that comes
    // back gets new ones, a dangling link or a dead node keeps the old.
    QString pathStamp, stableStamp;
    bool lost = false; // gone since the open; reported once
    QString reason;    // the system's text for the loss
};

struct LinkState; // LinkState.h, for the link's own code

// The serial link of the program: its settings, buffers, port, clock and device state, kept by link/ and
// reached from elsewhere through these calls only.
class Link {
public:
    Link();
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The settings file's parameters and the line's state.
    int PortNumber() const; // 0 = no port, 1..8 = COM1..COM8
    void setPortNumber(int portNumber);
    // The port's name in messages, as the operator chose it: the device path or short name given for it,
    // else COMn of PortNumber (empty with no port).
    QString PortName() const;
    // The device path or short name the port was chosen by; empty when it was chosen by its number.
    void setChosenPortName(const QString& name);
    int RtsControl() const; // 0 = leave RTS alone, other = raise RTS around each transmission
    void setRtsControl(int rtsControl);
    int LineSpeed() const;
    void setLineSpeed(int baud);
    // The high-resolution counter's rate as the main window read it, else the clock's own.
    qint64 PerfFrequency() const;
    void setPerfFrequency(qint64 frequency);

    std::array<quint8, kRequestBufferSize>& RequestBuffer();
    const std::array<quint8, kRequestBufferSize>& RequestBuffer() const;
    std::array<quint8, kAnswerBufferSize>& AnswerBuffer();
    const std::array<quint8, kAnswerBufferSize>& AnswerBuffer() const;

    // What the link works with; none is owned. Without a clock the system clock is used.
    void setPort(Port* port);
    void setClock(Clock* clock);
    // The boxes the link raises (a failed open, a refused request); none are shown without it.
    void setUi(LinkUi* ui);
    // Full path of the settings file (marvil.ini), normally DefaultSettingsPath(). Empty: no settings file
    // at all (defaults are loaded, nothing is saved), so that a test never touches the user's own file.
    const QString& settingsPath() const;
    void setSettingsPath(const QString& path);
    // Whether a failed open saves the settings with the port forgotten (see OpenPort): yes by default, as
    // the window's start and the imitation's reopen do; a caller that only reads the file says no.
    void setSaveOnFailedOpen(bool save);
    // The serial devices present, for the link dialog; the system's own when null.
    DeviceSource* devices() const;
    void setDevices(DeviceSource* devices);
    // COMn -> device path as chosen in the link dialog, over the settings file's "ports" section; written
    // there at the next save.
    void mapPortDevice(int portNumber, const QString& path);
    const std::map<int, QString>& mappedDevices() const;

    // Every byte and frame on the line, for whoever observes it.
    LineTap& tap();
    Clock& timeSource() const;
    bool portOpen() const;
    // The open port's own calls, for a loop that waits on the line itself.
    void wake();
    bool waitForInput(int timeoutMs, bool pumpMessages);
    qint32 actualBaud() const;
    // The device went away since the open, and the system's text for it.
    bool deviceLost() const;
    QString lostReason() const;

private:
    friend LinkState& Inside(Link& link);
    friend const LinkState& Inside(const Link& link);
    std::unique_ptr<LinkState> state_;
};

// Does two things: (re)opens the port of PortNumber at LineSpeed, and on failure forgets the port (sets
// PortNumber to 0 and, unless the link was told not to, saves the settings, so it is not tried at the next
// start) and shows the system's text.
void OpenPort(Link& link);
void ClosePort(Link& link);
// The one way a frame goes on the line, for requests to the controller and imitated answers alike:
// purge, RTS up when switchRts, the preamble and the frame in one write, output drained, RTS held until
// holdTicks of the high-resolution counter have passed since it went up, RTS down. Where the driver has
// RS-485 mode it switches RTS itself and nothing is timed here. What comes back of the transmission is
// left to the echo filter: the other side's bytes that follow it are kept. Nothing is sent without an
// open port.
void Transmit(Link& link, std::span<const quint8> preamble, std::span<const quint8> frame, bool switchRts,
              quint64 holdTicks);
// Sends the first n (1..255) bytes of RequestBuffer after three 0xFF bytes, RTS switched when RtsControl
// says so.
void SendFrame(Link& link, int n);
// Reads what is queued, at most max less the echo held back, into out and returns the bytes that are not
// the tool's own echo: 0 when nothing or only echo came, -1 when the read failed (the error is cleared).
qint64 ReadLine(Link& link, quint8* out, qint64 max);
// Collects one frame that starts 0xFF, startByte, 0xFF into AnswerBuffer. Returns 0 when no frame start
// was seen, the length byte's value once the frame is complete, or the count collected at the time-out.
int ReceiveFrame(Link& link, int firstTimeoutMs, int nextTimeoutMs, quint8 startByte, bool pumpMessages);
// What one receive collected, and what the answer's one parse (proto::CheckAnswer) found; the answer's
// data point into AnswerBuffer until the next exchange.
struct Received {
    int count = 0; // as ReceiveFrame returns it
    proto::ParsedAnswer answer;
};
// ReceiveFrame, the answer checked against the request of `requestFunction` (0: the frame checks alone);
// the tap's event carries the outcome.
Received ReceiveAnswer(Link& link, int firstTimeoutMs, int nextTimeoutMs, quint8 startByte, bool pumpMessages,
                       quint8 requestFunction);

// Ticks of a counter running at `frequency` Hz for `bits` bit times at `baud` bit/s, truncated; kept in
// 64 bits, since a nanosecond counter passes 2^32 within seconds.
quint64 BitTimeTicks(int bits, int baud, qint64 frequency);
// Waits until the counter has moved more than `ticks` past `start`: asleep until shortly before, then
// spinning, since a sleep alone may overshoot by more than a bit time at the higher speeds.
void HoldTicks(Clock& clock, qint64 start, quint64 ticks);

// RTS hold of SendFrame in high-resolution counter ticks for an n-byte frame: (n + 3) * 10 + 1 bit times
// at 1200 baud.
quint64 RtsHoldTicks(int n, qint64 frequency);
