// The key slots: states 0, 1 and 3, blocking, the pseudo-codes, the
// modifiers and auto-repeat, driven through an injected input source.
#include "fake_input.h"
#include "stub_app.h"
#include "tamu.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class KeySlots : public ::testing::Test {
  protected:
    void SetUp() override { reset_input_for_test(); }
    fake_input in;
};

TEST_F(KeySlots, PressReadsThreeThenOneWhileHeldThenZeroAfterRelease) {
    in.press(K_A);
    in.pump();   // the key-down event
    EXPECT_EQ(tamukey[K_A], 1);
    EXPECT_EQ(tamu_get_key_state(K_A), 3);
    in.pump();   // the state now says down
    EXPECT_EQ(tamu_get_key_state(K_A), 1);
    in.pump();
    EXPECT_EQ(tamu_get_key_state(K_A), 1);
    in.release(K_A);
    in.pump();
    EXPECT_EQ(tamu_get_key_state(K_A), 1);   // the release shows a pump later, as SDL's state does
    in.pump();
    EXPECT_EQ(tamu_get_key_state(K_A), 0);
    EXPECT_EQ(tamukey[K_A], 0);
}

TEST_F(KeySlots, PressSeenOnlyInTheStateReadsThreeOnce) {
    in.set_state(K_A, true);
    in.pump();
    EXPECT_EQ(tamu_get_key_state(K_A), 3);
    in.pump();
    EXPECT_EQ(tamu_get_key_state(K_A), 1);
}

TEST_F(KeySlots, BlockedSlotReadsZeroUntilItsKeyIsReleased) {
    in.press(K_A);
    in.pump();
    in.pump();
    block_tamukey[K_A] = 1;
    EXPECT_EQ(tamu_get_key_state(K_A), 0);
    in.pump();
    EXPECT_EQ(tamu_get_key_state(K_A), 0);
    in.release(K_A);
    in.pump();
    in.pump();   // the slot is 0 now: unblocked
    EXPECT_EQ(block_tamukey[K_A], 0);
    in.press(K_A);
    in.pump();
    EXPECT_EQ(tamu_get_key_state(K_A), 3);
}

TEST_F(KeySlots, StatesOfSlotValues) {
    struct Case {
        int slot, last, blocked, expected;
    } cases[] = {
        {0, 0, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 3}, {1, 1, 0, 1}, {3, 1, 0, 3},
        {3, 3, 0, 3}, {1, 0, 1, 0}, {3, 1, 1, 0},
    };
    for (const Case &c : cases) {
        tamukey[100] = static_cast<unsigned char>(c.slot);
        last_tamukey[100] = static_cast<unsigned char>(c.last);
        block_tamukey[100] = static_cast<unsigned char>(c.blocked);
        EXPECT_EQ(tamu_get_key_state(100), c.expected) << c.slot << " " << c.last << " " << c.blocked;
    }
    EXPECT_EQ(tamu_get_key_state(512), 0);
    EXPECT_EQ(tamu_get_key_state(-1), 0);
    EXPECT_EQ(tamu_get_key_state(-7), 0);
}

TEST_F(KeySlots, PseudoCodesReportTheFirstOfTheirPairThatIsDown) {
    struct Case {
        int code, first, second;
    } cases[] = {
        {TAMU_KEY_EXTRA, 502, 503}, {TAMU_KEY_GUI, 500, 501}, {TAMU_KEY_ALT, 226, 230},
        {TAMU_KEY_CTRL, 224, 228}, {TAMU_KEY_SHIFT, 225, 229},
    };
    for (const Case &c : cases) {
        tamu_input_reset();
        EXPECT_EQ(tamu_get_key_state(c.code), 0) << c.code;
        // Second down (held), first up.
        tamukey[c.second] = last_tamukey[c.second] = 1;
        EXPECT_EQ(tamu_get_key_state(c.code), 1) << c.code;
        // First newly pressed: its state wins.
        tamukey[c.first] = 1;
        EXPECT_EQ(tamu_get_key_state(c.code), 3) << c.code;
    }
    // Ctrl falls back on GUI (Command on a Mac keyboard).
    tamu_input_reset();
    tamukey[501] = 1;
    EXPECT_EQ(tamu_get_key_state(TAMU_KEY_CTRL), 3);
    // The Alt pair does not include GUI.
    EXPECT_EQ(tamu_get_key_state(TAMU_KEY_ALT), 0);
}

TEST_F(KeySlots, ModifierStateFillsCtrlAltAndGuiSlots) {
    struct Case {
        int modifier, slot;
    } cases[] = {
        {TAMU_MOD_LCTRL, 224}, {TAMU_MOD_RCTRL, 228}, {TAMU_MOD_LALT, 226},
        {TAMU_MOD_RALT, 230},  {TAMU_MOD_LGUI, 500},  {TAMU_MOD_RGUI, 501},
    };
    for (const Case &c : cases) {
        tamu_input_reset();
        tamu_input_snapshot snap;
        snap.now = 1000;
        snap.key_count = TAMU_KEY_SLOTS;
        tamu_process_input(snap);
        snap.now += 10;
        snap.modifiers = c.modifier;
        tamu_process_input(snap);
        EXPECT_EQ(tamukey[c.slot], 1) << c.slot;
        EXPECT_EQ(tamu_get_key_state(c.slot), 3) << c.slot;
        int others = 0;
        for (int i = 0; i < TAMU_KEY_SLOTS; i++)
            if (i != c.slot) others += tamukey[i];
        EXPECT_EQ(others, 0) << c.slot;
        snap.now += 10;
        tamu_process_input(snap);
        EXPECT_EQ(tamu_get_key_state(c.slot), 1) << c.slot;
    }
    // Shift comes from the key state only.
    tamu_input_reset();
    tamu_input_snapshot snap;
    snap.key_count = TAMU_KEY_SLOTS;
    snap.modifiers = TAMU_MOD_LSHIFT;
    tamu_process_input(snap);
    EXPECT_EQ(tamukey[K_LSHIFT], 0);
}

TEST_F(KeySlots, StateBeyondThePlatformCountIsLeftAlone) {
    tamu_input_snapshot snap;
    snap.now = 1000;
    snap.key_count = 284;
    tamu_process_input(snap);   // settles the repeat time
    tamukey[300] = 1;
    snap.now += 10;
    tamu_process_input(snap);
    EXPECT_EQ(tamukey[300], 1);
    EXPECT_EQ(last_tamukey[300], 0);
}

TEST_F(KeySlots, AnyKeyDownIsTheLowestSlotSkippingCapsLock) {
    EXPECT_EQ(tamu_get_any_key_down(), 0);
    tamukey[K_CAPSLOCK] = 1;
    EXPECT_EQ(tamu_get_any_key_down(), 0);
    tamukey[K_LSHIFT] = 1;
    EXPECT_EQ(tamu_get_any_key_down(), K_LSHIFT);
    tamukey[K_1] = 3;
    EXPECT_EQ(tamu_get_any_key_down(), K_1);
}

TEST_F(KeySlots, KeysInitClearsTheThreeTables) {
    tamukey[5] = 3;
    last_tamukey[6] = 1;
    block_tamukey[7] = 1;
    tamu_keys_init();
    EXPECT_EQ(tamukey[5], 0);
    EXPECT_EQ(last_tamukey[6], 0);
    EXPECT_EQ(block_tamukey[7], 0);
}

TEST_F(KeySlots, KeyNamesAreUpperCaseScancodeNames) {
    tamu_build_key_names();
    EXPECT_STREQ(tamu_key_name[K_A], "A");
    EXPECT_STREQ(tamu_key_name[K_RETURN], "RETURN");
    EXPECT_STREQ(tamu_key_name[K_LCTRL], "LEFT CTRL");
    EXPECT_STREQ(tamu_key_name[K_KP_ENTER], "KEYPAD ENTER");
    EXPECT_STREQ(tamu_key_name[0], "");
    for (int i = 0; i < TAMU_KEY_NAMES; i++)
        for (const char *p = tamu_key_name[i]; *p; p++) EXPECT_FALSE(*p >= 'a' && *p <= 'z') << i;
}

// ---------------------------------------------------------------------------

class KeyRepeat : public ::testing::Test {
  protected:
    void SetUp() override { reset_input_for_test(); }
    fake_input in;

    // Pumps for the given time and returns the clock readings (relative
    // to start) at which the key read 3.
    std::vector<int> presses_of(int key, int start, int until) {
        std::vector<int> at;
        while (in.clock - start <= until) {
            in.pump();
            if (tamu_get_key_state(key) == 3) at.push_back(in.clock - start);
        }
        return at;
    }
};

TEST_F(KeyRepeat, HeldKeyRepeatsEveryEightyMsFromHalfASecond) {
    in.pump();   // idle pumps before the press
    in.pump();
    int start = in.clock;
    in.press(K_A);
    std::vector<int> at = presses_of(K_A, start, 800);
    // The press itself, then from 500 ms on every 80 ms (10 ms frames; the
    // delay counts from the pump after the press).
    std::vector<int> expected = {10, 520, 600, 680, 760};
    EXPECT_EQ(at, expected);
}

TEST_F(KeyRepeat, PressFirstSeenInTheStateAlsoWaitsHalfASecond) {
    in.pump();
    int start = in.clock;
    in.set_state(K_A, true);
    std::vector<int> at = presses_of(K_A, start, 700);
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at[0], 10);
    ASSERT_GE(at.size(), 2u);
    EXPECT_GE(at[1] - at[0], 500);
}

TEST_F(KeyRepeat, MarkedArrowKeyWaitsHalfASecondToo) {
    in.pump();
    int start = in.clock;
    in.press(K_UP);
    std::vector<int> at = presses_of(K_UP, start, 600);
    ASSERT_GE(at.size(), 2u);
    EXPECT_EQ(at[0], 10);
    EXPECT_EQ(at[1], 520);
}

TEST_F(KeyRepeat, ANewPressRestartsTheDelayForAllHeldKeys) {
    in.press(K_A);
    in.pump();
    for (int i = 0; i < 60; i++) in.pump();   // A repeats by now
    in.press(K_Q);
    in.pump();
    int start = in.clock;
    std::vector<int> a = presses_of(K_A, start, 400);
    EXPECT_TRUE(a.empty());
}

TEST_F(KeyRepeat, RepeatsQueueMinusOneForKeysWithoutCharacters) {
    in.press(K_LSHIFT);
    in.pump();
    EXPECT_EQ(drain_queue(), std::vector<int>{-1});
    in.pump();
    EXPECT_TRUE(drain_queue().empty());
    while (in.clock < 100000 + 600) in.pump();
    std::vector<int> q = drain_queue();
    EXPECT_FALSE(q.empty());
    for (int c : q) EXPECT_EQ(c, -1);
}

}  // namespace
