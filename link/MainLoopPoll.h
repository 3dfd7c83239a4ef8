#pragma once
// A wait in the main thread that serves the application's events and watches one descriptor itself.
//
// Qt's main loop on Linux runs in glib's default context. Waiting there with the serial descriptor added
// to the same poll() lets a request's bytes end the wait straight from poll(), without the dispatch of
// a socket notifier and a nested event loop's exit: on an idle machine that path costs tens of
// microseconds with cold caches, which is most of the imitation's turnaround. Every other source (window
// events, timers, posted events) is dispatched as the event loop would.
#include <functional>

namespace mainloop {

enum class PollOutcome {
    Unavailable, // not the main thread, or Qt's loop is not glib's: wait another way
    Readable,    // the descriptor has input
    HungUp,      // the descriptor reports a hang-up or an error: a read tells which
    Ended,       // `ended` became true after an event was dispatched
    TimedOut,
};

// True when this thread's event dispatcher runs in glib's default context.
bool Usable();

// Serves the application's events until `fd` has input or fails, `ended()` turns true after a dispatch,
// or timeoutMs passes.
PollOutcome Wait(int fd, int timeoutMs, const std::function<bool()>& ended);

} // namespace mainloop
