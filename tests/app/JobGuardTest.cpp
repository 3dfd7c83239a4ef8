// The main window's job guard on its own: one job at a time, the buttons while a job runs, and a close
// asked for during a job carried out after it.
#include "JobGuard.h"

#include <gtest/gtest.h>
#include <vector>

TEST(JobGuard, OneJobAtATimeAndACloseWaitsForItsEnd) {
    using enum JobGuard::Buttons;
    std::vector<bool> buttons;
    int closes = 0, stops = 0;
    JobGuard guard([&](bool on) { buttons.push_back(on); }, [&] { ++closes; });
    EXPECT_TRUE(guard.mayClose()); // nothing runs: the window closes at once
    {
        const JobGuard::Job configure = guard.start(OffOnLine);
        ASSERT_TRUE(configure);
        EXPECT_TRUE(buttons.empty()); // on between the exchanges
        guard.setOnLine(true);
        // A second job while the first waits on the line is refused, and ends nothing when it goes.
        EXPECT_FALSE(guard.start(OffThroughout, [&] { ++stops; }));
        EXPECT_TRUE(guard.running());
        guard.setOnLine(false);
        EXPECT_FALSE(guard.mayClose());
        EXPECT_EQ(closes + stops, 0); // a job without a stop is waited for
    }
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(buttons, (std::vector<bool>{false, true}));
    {
        const JobGuard::Job imitation = guard.start(OffThroughout, [&] { ++stops; });
        guard.setOnLine(true);
        guard.setOnLine(false); // still off: the whole job keeps them
        EXPECT_FALSE(guard.mayClose());
        EXPECT_EQ(stops, 1);
    }
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(guard.running());
    EXPECT_EQ(buttons, (std::vector<bool>{false, true, false, true}));
}
