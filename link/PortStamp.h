#pragma once
// A stamp per serial device in the user's runtime folder: which process holds the device, whether it
// closed it, and (the file's time) when it last sent a request. A program killed mid-exchange never says
// it closed; the next one to open the device learns from the stamp that an answer to the killed one's last
// request may still be on its way, and must not take it for the answer to its own.
#include <QString>
#include <chrono>

class PortStamp {
public:
    PortStamp() = default;
    ~PortStamp();
    PortStamp(const PortStamp&) = delete;
    PortStamp& operator=(const PortStamp&) = delete;

    // The device was just opened by this process: takes over its stamp. True when the holder before
    // ended without closing it within kLingerMs of its last request.
    bool take(const QString& device);
    // A request goes out now.
    void requestSent();
    // The device is closed cleanly.
    void release();

    // The folder of the stamps: $XDG_RUNTIME_DIR/rmz47, else rmz47-UID in the temporary folder; empty
    // when neither is a folder of this user's alone.
    static QString folder();
    // An answer starts within the controller's turnaround and is at most 255 bytes, 2.1 s at 1200 bit/s:
    // after this long without a request nothing of an abandoned exchange is still on the line.
    static constexpr std::chrono::milliseconds kLingerMs{5000};

private:
    int fd_ = -1;
};
