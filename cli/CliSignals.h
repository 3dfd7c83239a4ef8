#pragma once
// Ctrl+C, SIGTERM and a hang-up for the subcommands that run until told to stop (imitate, listen,
// check): the signal only writes a byte into a pipe; the event loop reads it and calls the handler, so
// the job ends at a point of its own choosing and prints its summary.
#include <QObject>

#include <functional>

class QSocketNotifier;

class StopOnSignals : public QObject {
public:
    // While this object lives SIGINT, SIGTERM and SIGHUP (unless ignored at the start) call onStop
    // (from the event loop, once per signal); the handlers before it come back when it goes.
    explicit StopOnSignals(std::function<void()> onStop);
    ~StopOnSignals() override;
    // The signal that arrived last (SIGINT, SIGTERM, SIGHUP), 0 for none.
    int received() const { return received_; }
    // Readable as soon as a signal arrived, before the event loop has taken it: a wait that sleeps outside
    // the event loop wakes on it too. -1 when the handlers could not be set.
    int wakeFd() const;

private:
    void drain();

    std::function<void()> onStop_;
    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};
