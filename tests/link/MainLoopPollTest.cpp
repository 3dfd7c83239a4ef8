// The main loop's own poll on a pipe: what ends it, and that the application's timers still run.
#include "MainLoopPoll.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using mainloop::PollOutcome;

TEST(MainLoopPoll, EndsOnInputHangUpEndOrTimeOutAndServesTimersMeanwhile) {
    if (!mainloop::Usable())
        GTEST_SKIP() << "Qt's main loop is not glib's here";
    enum class Act { Write, CloseWriter, EndAfterTimer, Nothing };
    const struct {
        Act act;
        PollOutcome expected;
    } cases[] = {{Act::Write, PollOutcome::Readable},
                 {Act::CloseWriter, PollOutcome::HungUp},
                 {Act::EndAfterTimer, PollOutcome::Ended},
                 {Act::Nothing, PollOutcome::TimedOut}};
    for (const auto& c : cases) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        bool timerRan = false;
        QTimer::singleShot(20, [&] {
            timerRan = true;
            if (c.act == Act::Write) {
                EXPECT_EQ(::write(fds[1], "x", 1), 1);
            }
            if (c.act == Act::CloseWriter) {
                ::close(fds[1]);
                fds[1] = -1;
            }
        });
        const int timeoutMs = c.act == Act::Nothing ? 200 : 10000;
        const PollOutcome got =
            mainloop::Wait(fds[0], timeoutMs, [&] { return c.act == Act::EndAfterTimer && timerRan; });
        EXPECT_EQ(got, c.expected) << int(c.act);
        EXPECT_TRUE(timerRan) << int(c.act);
        ::close(fds[0]);
        if (fds[1] >= 0)
            ::close(fds[1]);
    }
}

} // namespace
