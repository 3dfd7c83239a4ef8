#pragma once
// Ctrl+C and SIGTERM for the subcommands that run until told to stop (imitate, listen, check): the
// signal only writes a byte into a pipe; the event loop reads it and calls the handler, so the job ends
// at a point of its own choosing and prints its summary.
#include <QObject>

#include <functional>

class QSocketNotifier;

class StopOnSignals : public QObject {
public:
    // While this object lives SIGINT and SIGTERM call onStop (from the event loop, once per signal);
    // the handlers before it come back when it goes.
    explicit StopOnSignals(std::function<void()> onStop);
    ~StopOnSignals() override;
    // The signal that arrived last (SIGINT, SIGTERM), 0 for none.
    int received() const { return received_; }

private:
    void drain();

    std::function<void()> onStop_;
    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};
