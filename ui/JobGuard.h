#pragma once
// One job at a time on the main window. A job's waits dispatch window messages, so a click or a close of
// the window can arrive in the middle of an exchange, when a second job would overwrite the shared frame
// buffers and a close would take the port from under it. The guard keeps the job buttons off while they
// must be, refuses a second job, and holds a close back until the job has ended.
#include <functional>

class JobGuard {
public:
    // How long a job keeps the job buttons off: while it is on the line, or from its start to its end
    // (the imitation: its settings dialog, its loop and the way back to 1200 bit/s).
    enum class Buttons { OffOnLine, OffThroughout };

    // setButtons turns the window's job buttons on or off together; close closes the window.
    JobGuard(std::function<void(bool on)> setButtons, std::function<void()> close);

    // The running job, for the scope of the handler that runs it. Empty (false) when another job was
    // already running: the caller must not start its own. At its end a close asked for meanwhile is
    // carried out.
    class Job {
    public:
        ~Job();
        Job(const Job&) = delete;
        Job& operator=(const Job&) = delete;
        explicit operator bool() const { return guard_ != nullptr; }

    private:
        friend class JobGuard;
        explicit Job(JobGuard* guard) : guard_(guard) {}
        JobGuard* guard_;
    };

    // stop: what a close of the window asks of the job while it runs (none: the close only waits).
    [[nodiscard]] Job start(Buttons buttons, std::function<void()> stop = {});
    bool running() const { return running_; }
    // The running job is on the line (true) or quiet again.
    void setOnLine(bool on);
    // Asked when the window is to close: true when it may close now; otherwise the job is asked to stop
    // and the close follows its end.
    bool mayClose();

private:
    void finish();
    void applyButtons();

    std::function<void(bool)> setButtons_;
    std::function<void()> close_;
    std::function<void()> stop_;
    bool running_ = false;
    bool throughout_ = false;
    bool onLine_ = false;
    bool buttonsOn_ = true;
    bool closePending_ = false;
};
