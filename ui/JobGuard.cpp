#include "JobGuard.h"

#include <utility>

JobGuard::JobGuard(std::function<void(bool on)> setButtons, std::function<void()> close)
    : setButtons_(std::move(setButtons)), close_(std::move(close)) {}

JobGuard::Job::~Job() {
    if (guard_)
        guard_->finish();
}

JobGuard::Job JobGuard::start(Buttons buttons, std::function<void()> stop) {
    if (running_)
        return Job(nullptr);
    running_ = true;
    throughout_ = buttons == Buttons::OffThroughout;
    stop_ = std::move(stop);
    applyButtons();
    return Job(this);
}

void JobGuard::setOnLine(bool on) {
    onLine_ = on;
    applyButtons();
}

bool JobGuard::mayClose() {
    if (!running_)
        return true;
    closePending_ = true;
    if (stop_)
        stop_();
    return false;
}

void JobGuard::finish() {
    running_ = false;
    throughout_ = false;
    stop_ = nullptr;
    applyButtons();
    if (std::exchange(closePending_, false) && close_)
        close_();
}

void JobGuard::applyButtons() {
    const bool on = !onLine_ && !throughout_;
    if (on == buttonsOn_)
        return;
    buttonsOn_ = on;
    if (setButtons_)
        setButtons_(on);
}
