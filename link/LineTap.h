#pragma once
// The tap on the line: every byte the tool writes or reads, with its time, and every frame or fault the
// transmission and receive paths find. On the hot path (between a request's last byte and the answer's
// send, and inside the RTS hold) the tap only records; the observer gets the events afterwards, at
// deliver(). With no observer and the frame trace off nothing is recorded and no clock is read.
#include "ControllerFrames.h"

#include <QByteArray>
#include <QtGlobal>
#include <vector>

class Clock;

enum class LineDirection : quint8 {
    Out, // written by the tool
    In,  // read from the line
};

enum class LineEventKind : quint8 {
    Bytes,       // raw bytes as written or read
    Frame,       // a whole frame: a request or answer sent, or one received
    Silence,     // nothing came before the time-out
    CutShort,    // a frame began but stopped before its length was reached
    Noise,       // bytes skipped while hunting for a frame start (count)
    NotImitated, // a whole flow request for an address and run that is not imitated
    Echo,        // the tool's own transmission read back (count bytes)
    PortLost,    // the device went away; bytes: the system's reason (UTF-8)
    PortBack,    // the device was opened again; bytes: its path (UTF-8)
};

struct LineEvent {
    LineEventKind kind;
    LineDirection direction;
    qint64 timeUs; // monotonic microseconds
    QByteArray bytes;
    int count = 0; // Noise, Echo: how many bytes
    // A controller's answer received (Frame, CutShort, Silence): what its one parse found, against the
    // request it answers. Frames sent and flow frames: Ok.
    proto::AnswerOutcome outcome = proto::AnswerOutcome::Ok;
};

class LineObserver {
public:
    virtual ~LineObserver() = default;
    virtual void lineEvents(const std::vector<LineEvent>& events) = 0;
};

class LineTap {
public:
    void setObserver(LineObserver* observer, Clock* clock);
    // Recording: for an observer, or for the frame trace (debug of rmz47.link).
    bool active() const { return observer_ != nullptr || tracing(); }
    static bool tracing();

    void record(LineEventKind kind, LineDirection direction, const quint8* data, qint64 n, int count = 0,
                proto::AnswerOutcome outcome = proto::AnswerOutcome::Ok);
    void record(LineEventKind kind, LineDirection direction, int count = 0) {
        record(kind, direction, nullptr, 0, count);
    }
    // Hands what was recorded to the frame trace and the observer.
    void deliver();

private:
    LineObserver* observer_ = nullptr;
    Clock* clock_ = nullptr;
    std::vector<LineEvent> pending_;
};
