// Frame pacing: real time banked as 16.16 ticks at 30 or 60 a second, at
// most four banked and at most one run per pass, on a clock the test
// drives.
#include "shell_session.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class BankedTime : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&app, 0, sizeof app);
        std::memset(&pstate, 0, sizeof pstate);
        tamu_state.paused = 0;
        frame_pile = 0;
        last_t = 1000;
        pstate.fps = 30;
    }
    int now = 1000;
    // Advances the clock by ms and banks it; returns whether a tick is due.
    int after(int ms) {
        now += ms;
        return bank_frame_time(now);
    }
};

TEST_F(BankedTime, TenMillisecondPassesAt30FramesASecond) {
    EXPECT_EQ(after(10), 0);
    EXPECT_EQ(frame_pile, 19650);   // 10 * 65536 / 1000 = 655, times 30
    EXPECT_EQ(after(10), 0);
    EXPECT_EQ(after(10), 0);
    EXPECT_EQ(frame_pile, 58950);
    EXPECT_EQ(after(10), 1);        // the fourth such pass runs a tick
    EXPECT_EQ(frame_pile, 78600);
}

TEST_F(BankedTime, TheRateFollowsFpsUnlessPaused) {
    struct Case {
        int fps, paused, menu, expected;
    } cases[] = {
        {30, 0, 0, 655 * 30}, {60, 0, 0, 655 * 60}, {60, 1, 0, 655 * 30}, {60, 0, 1, 655 * 30},
    };
    for (const Case &c : cases) {
        frame_pile = 0;
        pstate.fps = c.fps;
        tamu_state.paused = c.paused;
        app.pause_menu_open = c.menu;
        after(10);
        EXPECT_EQ(frame_pile, c.expected) << c.fps << " " << c.paused << " " << c.menu;
    }
    tamu_state.paused = 0;
}

TEST_F(BankedTime, AtMostFourTicksAreBankedAndTimeGoingBackBanksNothing) {
    EXPECT_EQ(after(1000), 1);
    EXPECT_EQ(frame_pile, FRAME_PILE_LIMIT);
    frame_pile = 100;
    EXPECT_EQ(after(-50), 0);
    EXPECT_EQ(frame_pile, 0);
    // A stall long enough to wrap 32-bit arithmetic is still held in range.
    after(40000);
    EXPECT_GE(frame_pile, 0);
    EXPECT_LE(frame_pile, FRAME_PILE_LIMIT);
}

TEST_F(BankedTime, TheGlitchTestRunsExactlyOneTickEveryPass) {
    app.glitch_test = 1;
    for (int ms : {0, 1, 500, 5000}) {
        EXPECT_EQ(after(ms), 1) << ms;
        EXPECT_EQ(frame_pile, TICK) << ms;
    }
}

// Through the shell's update: one tick at most per pass, however long the
// stall before it.
TEST(FramePacing, AfterAStallTicksComeOneAPassUntilTheBankIsEmpty) {
    shell_session s;
    s.to_console();
    s.pass();
    int start = pstate.frame_counter;
    s.pass(1000);
    EXPECT_EQ(pstate.frame_counter, start + 1);
    EXPECT_EQ(frame_pile, FRAME_PILE_LIMIT - TICK);
    s.passes(3, 0);
    EXPECT_EQ(pstate.frame_counter, start + 4);
    s.passes(3, 0);
    EXPECT_EQ(pstate.frame_counter, start + 4);
}

TEST(FramePacing, ACartAt60FramesASecondGetsTwiceTheTicks) {
    shell_session s;
    s.run_code("function _update60() end");
    ASSERT_EQ(pstate.fps, 60);
    int start = pstate.frame_counter;
    for (int i = 0; i < 60; i++) s.pass(17);   // a little over one 60th of a second each
    EXPECT_EQ(pstate.frame_counter, start + 60);
    // Paused (the pause menu open), the cart does not run and no frames
    // count.
    open_pause_menu();
    int before = pstate.frame_counter;
    s.passes(30, 17);
    EXPECT_EQ(pstate.frame_counter, before);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
}

}  // namespace
