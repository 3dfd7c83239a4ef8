#pragma once
// The imitation's port while its device is away: the imitation panel tells that the port is lost (with
// the system's reason) and when it came back; the wait sleeps until the device's folders change or a
// retry is due, and the device is opened again at the imitation's speed, quietly (no box, the port
// number and the settings file left alone). Also tells once when the adapter runs at another speed than
// the one asked for.
#include <QString>
#include <memory>

class DeviceWatch;
class JobView;
class Link;

class PortRevival {
public:
    PortRevival(JobView& view, Link& link);
    ~PortRevival();

    // True while the device is lost: the caller waits on wakeSource() instead of the port, then calls
    // retry(). The first call after a loss tells the operator.
    bool lost();
    // Wakes a waiting caller when a device node or link appears or vanishes; null while not lost.
    DeviceWatch* wakeSource() const;
    // Tries to open the device again; true when the port is back.
    bool retry();

private:
    void checkSpeed();

    JobView& view_;
    Link& link_;
    std::unique_ptr<DeviceWatch> watch_; // only while the device is away
    QString lostText_;
    bool speedTold_ = false;
};

// What the panel says about a speed the adapter did not make; empty when it made it (within 2 %).
QString SpeedNoticeText(int requested, int actual);
