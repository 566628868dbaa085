// Characters, the queue and tamu_readkey, the hot keys and the window
// events, driven through an injected input source.
#include "fake_input.h"
#include "stub_app.h"
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int end_calls = 0;
void count_end() { end_calls++; }

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_input_for_test();
        end_calls = 0;
        tamu_end_process = count_end;
    }
    void TearDown() override { tamu_end_process = default_end; }
    static inline void (*default_end)() = tamu_end_process;
    fake_input in;

    // Presses and releases a key with the given keys held, one pump each.
    void tap(int key) {
        in.press(key);
        in.pump();
        in.release(key);
        in.pump();
        in.pump();
    }
    void hold(int key) {
        in.press(key);
        in.pump();
    }
};

using Characters = InputTest;
using SpecialKeys = InputTest;
using WindowEvents = InputTest;

TEST_F(Characters, KeysThatTypeControlCharacters) {
    struct Case {
        int key, c;
    } cases[] = {{K_RETURN, 13}, {K_KP_ENTER, 13}, {K_BACKSPACE, 8}, {K_ESCAPE, 27}, {K_TAB, 9}};
    for (const Case &c : cases) {
        tap(c.key);
        EXPECT_EQ(drain_queue(), std::vector<int>{c.c}) << c.key;
    }
}

TEST_F(Characters, TextGivesItsByteAndLongerTextsAreIgnored) {
    in.text("a");
    in.text("\xc3\xa9");   // two bytes of UTF-8
    in.text("Z");
    in.text("\xe9");       // one byte above 127 reads as a signed byte
    in.pump();
    EXPECT_EQ(drain_queue(), (std::vector<int>{'a', 'Z', -23}));
}

TEST_F(Characters, ArrowsTypeNothingButReadAsPressedOnEveryKeyDown) {
    for (int key : {K_RIGHT, K_LEFT, K_DOWN, K_UP}) {
        hold(key);
        EXPECT_EQ(tamukey[key], 3) << key;
        EXPECT_EQ(drain_queue(), std::vector<int>{-1}) << key;
        in.pump();
        EXPECT_EQ(tamu_get_key_state(key), 1) << key;
        // The system's own key repeat sends the key down again: a press.
        in.press(key);
        in.pump();
        EXPECT_EQ(tamu_get_key_state(key), 3) << key;
        EXPECT_EQ(drain_queue(), std::vector<int>{-1}) << key;
        in.release(key);
        in.pump();
        in.pump();
        drain_queue();
    }
}

TEST_F(Characters, CtrlWithLettersAndDigitsTypesThemAndMarksTheSlot) {
    hold(K_LCTRL);
    in.pump();
    drain_queue();
    struct Case {
        int key, c;
    } cases[] = {{K_A, 'a'}, {29, 'z'}, {K_2, '2'}, {38, '9'}, {K_0, '0'}};
    for (const Case &c : cases) {
        in.press(c.key);
        in.pump();
        EXPECT_EQ(tamukey[c.key], 3) << c.key;
        EXPECT_EQ(drain_queue(), std::vector<int>{c.c}) << c.key;
        in.press(c.key);   // repeated by the system: pressed again
        in.pump();
        EXPECT_EQ(tamu_get_key_state(c.key), 3) << c.key;
        EXPECT_EQ(drain_queue(), std::vector<int>{c.c}) << c.key;
        in.release(c.key);
        in.pump();
        in.pump();
        drain_queue();
    }
}

TEST_F(Characters, CtrlLetterNeedsNeitherAltNorShift) {
    for (int other : {K_LALT, K_LSHIFT, K_RSHIFT}) {
        tamu_input_reset();
        hold(K_LCTRL);
        hold(other);
        in.pump();
        drain_queue();
        in.press(K_A);
        in.pump();
        EXPECT_EQ(tamukey[K_A], 1) << other;
        EXPECT_EQ(drain_queue(), std::vector<int>{-1}) << other;
        in.release(K_A);
        in.release(other);
        in.release(K_LCTRL);
        in.pump();
        in.pump();
    }
}

TEST_F(Characters, RightAltClearsTheCtrlSlots) {
    // AltGr on systems that send it as Ctrl with right Alt.
    hold(K_LCTRL);
    hold(K_RALT);
    in.pump();
    in.press(K_Q);
    in.pump();
    EXPECT_EQ(tamukey[K_LCTRL], 0);
    EXPECT_EQ(tamukey[K_RCTRL], 0);
    EXPECT_EQ(end_calls, 0);
}

TEST_F(Characters, QueueKeepsTheFirstThirtyTwo) {
    for (int i = 0; i < 40; i++) {
        char t[2] = {char('A' + i % 26), 0};
        in.text(t);
    }
    in.pump();
    std::vector<int> q = drain_queue();
    ASSERT_EQ(q.size(), 32u);
    for (int i = 0; i < 32; i++) EXPECT_EQ(q[i], 'A' + i % 26);
}

TEST_F(Characters, MinusOneOnlyWhenNoCharacterCameInThePump) {
    in.press(K_LSHIFT);
    in.text("A");
    in.pump();
    EXPECT_EQ(drain_queue(), std::vector<int>{'A'});
    in.press(K_LCTRL);
    in.pump();
    EXPECT_EQ(drain_queue(), std::vector<int>{-1});
    in.pump();
    EXPECT_TRUE(drain_queue().empty());
}

TEST_F(Characters, ReadkeyReturnsOldestFirst) {
    in.text("x");
    in.text("y");
    in.pump();
    EXPECT_EQ(tamu_keypressed(), 1);
    EXPECT_EQ(tamu_readkey(), 'x');
    EXPECT_EQ(tamu_readkey(), 'y');
    EXPECT_EQ(tamu_keypressed(), 0);
}

TEST_F(Characters, ReadkeyPumpsUntilACharacterArrives) {
    in.on_take = [](fake_input &f) {
        if (f.takes == 4) f.text("k");
    };
    EXPECT_EQ(tamu_readkey(), 'k');
    EXPECT_EQ(in.takes, 4);
}

TEST_F(Characters, ReadkeyStopsWaitingWhenTheWindowCloses) {
    in.on_take = [](fake_input &f) {
        if (f.takes == 3) f.event(TAMU_EVENT_WINDOW, TAMU_WINDOW_CLOSE);
    };
    EXPECT_EQ(tamu_readkey(), 0);
    EXPECT_EQ(tamu_quit, 1);
    EXPECT_EQ(in.takes, 3);
}

TEST_F(Characters, WheelMovementAddsUp) {
    in.event(TAMU_EVENT_WHEEL, 0, 1, -2);
    in.event(TAMU_EVENT_WHEEL, 0, 0, -1);
    in.pump();
    in.event(TAMU_EVENT_WHEEL, 0, -3, 5);
    in.pump();
    EXPECT_EQ(tamu_state.wheel_x, -2);
    EXPECT_EQ(tamu_state.wheel_y, 2);
}

// ---------------------------------------------------------------------------

TEST_F(SpecialKeys, AltReturnTogglesFullScreenAndBlocksReturnUntilReleased) {
    // Either Return key; the one pressed is blocked, so that its repeats
    // neither type nor toggle again.
    for (int key : {K_RETURN, K_KP_ENTER}) {
        SCOPED_TRACE(key);
        tamu_input_reset();
        hold(K_LALT);
        in.pump();
        drain_queue();
        in.press(key);
        in.pump();
        EXPECT_EQ(block_tamukey[key], 1);
        EXPECT_EQ(tamu_get_key_state(key), 0);
        EXPECT_TRUE(drain_queue().empty());
        in.pump();
        EXPECT_EQ(tamu_get_key_state(key), 0);
        EXPECT_EQ(block_tamukey[key], 1);
        // A second Return while the first is still down types nothing either.
        in.press(key);
        in.pump();
        in.release(K_LALT);
        in.pump();
        in.pump();
        in.press(key);
        in.pump();
        EXPECT_TRUE(drain_queue().empty());
        in.release(key);
        in.pump();
        in.pump();
        EXPECT_EQ(block_tamukey[key], 0);
        in.press(key);
        in.pump();
        EXPECT_EQ(tamu_get_key_state(key), 3);
        EXPECT_EQ(drain_queue(), std::vector<int>{13});
        in.release(key);
        in.pump();
        in.pump();
    }
}

TEST_F(SpecialKeys, CtrlOneTogglesTheFrameRateAndQueuesNothing) {
    hold(K_LCTRL);
    in.pump();
    drain_queue();
    in.press(K_1);
    in.pump();
    EXPECT_EQ(cconfig.show_fps, 1);
    EXPECT_EQ(tamukey[K_1], 0);
    EXPECT_TRUE(drain_queue().empty());
    // While it is held the 1 key reads as up: no late press, no -1, and
    // the system's own key repeat does not toggle the display again (for
    // 300 ms, before the held Ctrl's own auto-repeat queues -1s).
    for (int i = 0; i < 30; i++) {
        if (i % 10 == 5) in.press(K_1);
        in.pump();
        ASSERT_EQ(tamu_get_key_state(K_1), 0) << i;
        ASSERT_TRUE(drain_queue().empty()) << i;
    }
    EXPECT_EQ(cconfig.show_fps, 1);
    in.release(K_1);
    in.pump();
    in.pump();
    EXPECT_TRUE(drain_queue().empty());
    in.press(K_1);
    in.pump();
    EXPECT_EQ(cconfig.show_fps, 0);
}

TEST_F(SpecialKeys, QuitKeysEndTheProcess) {
    struct Case {
        std::vector<int> held;
        int key;
        int ends;
    } cases[] = {
        {{K_LCTRL}, K_Q, 1},
        {{K_RCTRL}, K_Q, 1},
        {{K_LGUI}, K_Q, 1},   // Command+Q
        {{K_LCTRL, K_LSHIFT}, K_Q, 0},
        {{K_LALT}, K_F4, 1},
        {{K_RALT}, K_F4, 1},
        {{}, K_F4, 0},
        {{K_LCTRL}, K_F4, 0},
        {{}, K_Q, 0},
    };
    for (const Case &c : cases) {
        tamu_input_reset();
        end_calls = 0;
        for (int k : c.held) hold(k);
        in.pump();
        in.press(c.key);
        in.pump();
        EXPECT_EQ(end_calls, c.ends) << c.key << " with " << c.held.size() << " held";
        for (int k : c.held) in.release(k);
        in.release(c.key);
        in.pump();
        in.pump();
    }
}

TEST_F(SpecialKeys, TypedQWithCtrlHeldEndsTheProcess) {
    hold(K_LCTRL);
    in.text("q");
    in.pump();
    EXPECT_EQ(end_calls, 1);
}

TEST_F(SpecialKeys, CharacterTypedWhileAltAndF4AreHeldEndsTheProcess) {
    in.set_state(K_F4, true);   // F4 went down unseen (while unfocused)
    hold(K_LALT);
    in.text("x");
    in.pump();
    EXPECT_EQ(end_calls, 1);
}

TEST_F(SpecialKeys, EventsAfterTheProcessEndAreNotHandled) {
    hold(K_LCTRL);
    drain_queue();
    in.press(K_Q);
    in.text("a");
    in.event(TAMU_EVENT_WHEEL, 0, 0, 4);
    in.pump();
    EXPECT_EQ(end_calls, 1);
    EXPECT_TRUE(drain_queue().empty());
    EXPECT_EQ(tamu_state.wheel_y, 0);
}

TEST_F(SpecialKeys, TabRightAfterRegainingFocusOrWithAltTypesNothing) {
    struct Case {
        int ms_after_focus;
        bool alt;
        bool types;
    } cases[] = {{0, false, false}, {9, false, false}, {10, false, true}, {500, false, true}, {500, true, false}};
    for (const Case &c : cases) {
        tamu_input_reset();
        if (c.alt) hold(K_LALT);
        in.pump();
        drain_queue();
        in.event(TAMU_EVENT_WINDOW, TAMU_WINDOW_FOCUS_GAINED);
        if (c.ms_after_focus == 0) {
            in.press(K_TAB);
            in.pump();
        } else {
            in.pump();
            in.clock += c.ms_after_focus - 10;   // the next pump sleeps 10 ms
            in.press(K_TAB);
            in.pump();
        }
        std::vector<int> q = drain_queue();
        EXPECT_EQ(!q.empty() && q[0] == 9, c.types) << c.ms_after_focus << " alt " << c.alt;
        in.release(K_TAB);
        if (c.alt) in.release(K_LALT);
        in.pump();
        in.pump();
    }
}

TEST_F(SpecialKeys, AltDoesNotHoldBackReturnRightAfterFocus) {
    // Only Tab waits after focus; Alt+Return still toggles.
    hold(K_LALT);
    in.event(TAMU_EVENT_WINDOW, TAMU_WINDOW_FOCUS_GAINED);
    in.press(K_RETURN);
    in.pump();
    EXPECT_EQ(block_tamukey[K_RETURN], 1);
}

TEST_F(SpecialKeys, QuitEventEndsTheProcess) {
    in.event(TAMU_EVENT_QUIT);
    in.pump();
    EXPECT_EQ(end_calls, 1);
}

// The real end: tamu_exit runs (the application's shut-down callback with
// it) and the process ends with status 0.
void quit_by(int how) {
    stub_app_reset();
    stub_app_on_exit = [] { std::fputs("application shut down\n", stderr); };
    tamu_console_program();
    tamu_init();
    reset_input_for_test();
    fake_input in;
    switch (how) {
    case 0:
        in.press(K_LCTRL);
        in.press(K_Q);
        break;
    case 1:
        in.press(K_LALT);
        in.press(K_F4);
        break;
    default: in.event(TAMU_EVENT_QUIT); break;
    }
    in.pump();
    std::fputs("still running\n", stderr);
    std::exit(3);
}

using SpecialKeysDeathTest = InputTest;

TEST_F(SpecialKeysDeathTest, CtrlQShutsDownAndExitsWithZero) {
    tamu_end_process = default_end;
    EXPECT_EXIT(quit_by(0), ::testing::ExitedWithCode(0), "application shut down");
}

TEST_F(SpecialKeysDeathTest, AltF4ShutsDownAndExitsWithZero) {
    tamu_end_process = default_end;
    EXPECT_EXIT(quit_by(1), ::testing::ExitedWithCode(0), "application shut down");
}

TEST_F(SpecialKeysDeathTest, QuitEventShutsDownAndExitsWithZero) {
    tamu_end_process = default_end;
    EXPECT_EXIT(quit_by(2), ::testing::ExitedWithCode(0), "application shut down");
}

// ---------------------------------------------------------------------------

TEST_F(WindowEvents, FocusAndVisibilityKeepSystemActive) {
    struct Case {
        int event, active;
    } cases[] = {
        {TAMU_WINDOW_HIDDEN, 0},       {TAMU_WINDOW_SHOWN, 1},     {TAMU_WINDOW_MINIMIZED, 0},
        {TAMU_WINDOW_MAXIMIZED, 1},    {TAMU_WINDOW_FOCUS_LOST, 0}, {TAMU_WINDOW_FOCUS_GAINED, 1},
    };
    for (const Case &c : cases) {
        tamu_system_active = 1 - c.active;
        last_inactive_time = 0;
        in.event(TAMU_EVENT_WINDOW, c.event);
        in.pump();
        EXPECT_EQ(tamu_system_active, c.active) << c.event;
        EXPECT_EQ(last_inactive_time, c.active ? in.clock : 0) << c.event;
    }
    // Other window events change nothing.
    tamu_system_active = 0;
    in.event(TAMU_EVENT_WINDOW, 3);   // exposed
    in.event(TAMU_EVENT_WINDOW, 5);   // resized
    in.pump();
    EXPECT_EQ(tamu_system_active, 0);
}

TEST_F(WindowEvents, CloseSetsQuitAndLogs) {
    std::string path = test_home() + "/close_log.txt";
    tamu_state.log = std::fopen(path.c_str(), "wb");
    ASSERT_NE(tamu_state.log, nullptr);
    tamu_debug_indentation = 0;
    in.event(TAMU_EVENT_WINDOW, TAMU_WINDOW_CLOSE);
    in.pump();
    std::fclose(tamu_state.log);
    tamu_state.log = nullptr;
    EXPECT_EQ(tamu_quit, 1);
    EXPECT_EQ(end_calls, 0);
    EXPECT_EQ(read_file(path), "window closed (14)\n");
}

TEST_F(WindowEvents, InactiveMainLoopPumpsElevenTimesAFrame) {
    tamu_system_active = 0;
    tamu_handle_messages();
    EXPECT_EQ(in.takes, 11);
    tamu_system_active = 1;
    tamu_handle_messages();
    EXPECT_EQ(in.takes, 12);
}

TEST_F(WindowEvents, PumpSleepsTheFrameSleepAtLeastOneMs) {
    struct Case {
        int setting, slept;
    } cases[] = {{10, 10}, {1, 1}, {0, 1}, {-5, 1}};
    for (const Case &c : cases) {
        cconfig.frame_sleep_ms = c.setting;
        int before = in.clock;
        in.pump();
        EXPECT_EQ(in.clock - before, c.slept) << c.setting;
    }
}

}  // namespace
