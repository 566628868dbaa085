// The key configuration overlay driven through injected keys: the order of
// the 13 keys, releasing between keys, resetting a key, cancelling, the
// screen, the effect on the buttons and the keys kept in config.txt.
#include "shell_session.h"

#include "lua.h"
#include "zorva_buttons.h"
#include "zorva_keyconfig.h"
#include "zorva_print.h"
#include "zorva_cpu.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

enum : int {
    K_B = 5, K_C = 6, K_D = 7, K_F = 9, K_G = 10, K_H = 11, K_I = 12, K_J = 13, K_K = 14, K_L = 15,
    K_X = 27, K_Z = 29, K_DELETE = 76,
};

using keys = std::array<int32_t, 13>;

keys current_keys() {
    keys k;
    std::memcpy(k.data(), app.button_keys, sizeof app.button_keys);
    return k;
}
void set_keys(const keys &k) { std::memcpy(app.button_keys, k.data(), sizeof app.button_keys); }

// A tick with nothing held (the overlay becomes ready), then the key
// pressed over a tick and let go.
void tap(shell_session &s, int key) {
    s.pass();
    s.press(key);
}

// The 13 keys pressed in order, Backspace and Delete among them, and what
// they leave.
const int sequence[13] = {K_A, K_B, K_C, K_D, K_BACKSPACE, K_F, K_G, K_H, K_I, K_J, K_DELETE, K_K, K_L};
const keys chosen = {K_A, K_B, K_C, K_D, 0, K_F, K_G, K_H, K_I, K_J, 0, K_K, K_L};
const keys earlier = {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112};

void open_at_console(shell_session &s) {
    s.to_console();
    zorva_shell.keyconfig();
    ASSERT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG);
}

// Row i of the overlay as drawn now matches the text on the background.
bool row_shows(int i, const std::string &text, int background, int colour) {
    int y = 44 + 6 * i;
    cbitmap *expected = tamu_create_bitmap(128, 128, 8);
    tamu_rectfill(expected, 7, y - 1, 120, y + 5, uint32_t(background));
    tamu_draw_text_ex(expected, text.c_str(), zorva_system_font(), 10, y, TAMU_TEXT_SOLID, uint32_t(colour));
    bool same = true;
    for (int yy = y; yy <= y + 4 && same; yy++)
        for (int x = 7; x <= 120 && same; x++) same = expected->rows[yy][x] == pstate.screen->rows[yy][x];
    tamu_destroy_bitmap(expected);
    return same;
}

TEST(KeyConfig, ThirteenKeysInOrderThenAnyKeyCloses) {
    shell_session s;
    set_keys(earlier);
    open_at_console(s);
    EXPECT_EQ(std::memcmp(app.keyconfig_backup, earlier.data(), sizeof app.keyconfig_backup), 0);

    for (int i = 0; i < 13; i++) {
        EXPECT_EQ(keyconfig_state.key_index, i);
        tap(s, sequence[i]);
        // The key counts at once; the overlay stays open after the last.
        EXPECT_EQ(app.button_keys[i], chosen[size_t(i)]) << i;
        EXPECT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG) << i;
    }
    EXPECT_EQ(current_keys(), chosen);
    EXPECT_EQ(keyconfig_state.key_index, KEYCONFIG_DONE);

    // Holding no key and waiting does nothing more.
    s.passes(5);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG);
    EXPECT_EQ(current_keys(), chosen);

    s.press(K_Q);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
    EXPECT_EQ(pstate.draw_state.cursor_y, 120);
    EXPECT_EQ(current_keys(), chosen);
}

TEST(KeyConfig, HeldKeysCountOnlyAfterRelease) {
    shell_session s;
    s.to_console();
    s.in.press(K_A);
    s.passes(2);
    zorva_shell.keyconfig();
    s.passes(4);
    EXPECT_EQ(keyconfig_state.key_index, 0);
    EXPECT_EQ(app.button_keys[0], 0);

    s.in.release(K_A);
    s.passes(2);   // the key state follows the release one pump late
    // One key held over several ticks takes one button only.
    s.in.press(K_B);
    s.passes(4);
    EXPECT_EQ(app.button_keys[0], K_B);
    EXPECT_EQ(keyconfig_state.key_index, 1);
    EXPECT_EQ(app.button_keys[1], 0);
    s.in.release(K_B);
    s.pass();
    tap(s, K_C);
    EXPECT_EQ(app.button_keys[1], K_C);
}

// A key down and up again between two ticks (a display of 60 Hz, ticks
// at 30 a second) is taken all the same.
TEST(KeyConfig, ATapBetweenTwoTicksCounts) {
    for (int phase = 0; phase < 4; phase++) {
        shell_session s;
        open_at_console(s);
        s.passes(phase + 3, 16);
        s.in.press(K_B);
        s.in.release(K_B);
        s.passes(4, 16);
        EXPECT_EQ(app.button_keys[0], K_B) << "phase " << phase;
    }
}

TEST(KeyConfig, EscPutsTheEarlierKeysBack) {
    // After three keys, and as the key the last button would take.
    for (int before_esc : {3, 12}) {
        shell_session s;
        set_keys(earlier);
        open_at_console(s);
        for (int i = 0; i < before_esc; i++) tap(s, sequence[i]);
        EXPECT_EQ(app.button_keys[0], K_A);
        tap(s, K_ESCAPE);
        EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE) << before_esc;
        EXPECT_EQ(current_keys(), earlier) << before_esc;
    }
}

TEST(KeyConfig, TheScreen) {
    shell_session s;
    open_at_console(s);
    s.pass();
    // The frame, the title bar and the current row on its bar.
    EXPECT_EQ(pstate.screen->rows[127][0], 1);
    EXPECT_EQ(pstate.screen->rows[41][4], 6);
    EXPECT_EQ(pstate.screen->rows[124][123], 6);
    EXPECT_EQ(pstate.screen->rows[0][127], 7);
    EXPECT_EQ(pstate.screen->rows[43][7], 14);
    EXPECT_TRUE(row_shows(0, "p1 left     : left", 14, 1));
    EXPECT_TRUE(row_shows(4, "p1 button o : z", 6, 5));
    EXPECT_TRUE(row_shows(12, "pause       : p", 6, 5));

    for (int i = 0; i < 5; i++) tap(s, sequence[i]);
    s.pass();
    EXPECT_EQ(pstate.screen->rows[46][7], 6);   // row 0 is done
    EXPECT_TRUE(row_shows(0, "p1 left     : a", 6, 5));
    EXPECT_TRUE(row_shows(4, "p1 button o : z", 6, 5));   // Backspace: the default key
    EXPECT_TRUE(row_shows(5, "p1 button x : x", 14, 1));

    app.button_keys[6] = 300;   // outside the names shown
    app.button_keys[7] = -5;
    s.pass();
    EXPECT_TRUE(row_shows(6, "p2 left     : ?", 6, 5));
    EXPECT_TRUE(row_shows(7, "p2 right    : ?", 6, 5));
}

TEST(KeyConfig, ChosenKeysDriveTheButtonsAndAreKept) {
    {
        // A cart opens it; it shows once the cart has stopped.
        shell_session s;
        s.run_code("keyconfig()");
        s.passes(2);
        ASSERT_EQ(pstate.MODE, MODE_CONSOLE);
        ASSERT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG);
        for (int key : sequence) tap(s, key);
        tap(s, K_Q);
        ASSERT_EQ(pstate.OVERLAY, OVERLAY_NONE);

        s.run_code("function _update() b = btn() end");
        ASSERT_EQ(pstate.MODE, MODE_RUNNING);
        struct Case {
            int key, mask;
        } cases[] = {
            {K_A, 1},            // p1 left is A now
            {K_LEFT, 0},         // and no longer the arrow
            {K_Z, 1 << 4},       // p1 O was reset: its default keys again
            {K_F, 1 << 5},       // p1 X
            {K_X, 0},
            {K_G, 1 << 8},       // p2 left
            {K_TAB, 1 << 12},    // p2 O reset
            {K_K, 1 << 13},      // p2 X
        };
        for (const Case &c : cases) {
            s.in.press(c.key);
            s.passes(3);
            lua_getglobal(L0, "b");
            EXPECT_EQ(int(lua_tointeger(L0, -1)), c.mask) << c.key;
            lua_pop(L0, 1);
            s.in.release(c.key);
            s.passes(2);
        }
    }
    std::string config = read_file(appdata_path("config.txt"));
    EXPECT_NE(config.find("button_keys 4 5 6 7 0 9 10 11 12 13 0 14 15 \n"), std::string::npos) << config;

    shell_session again({}, true);
    EXPECT_EQ(current_keys(), chosen);
}

}  // namespace
