// Keys the shell answers: the hot keys, mute, the pause menu keys, the
// running keys (Ctrl+R, Ctrl+V) and the audio pause, pressed through the
// engine's injected input.
#include "shell_session.h"

#include "cart_overlay.h"
#include "zorva_buttons.h"
#include "lua.h"
#include "zorva_cpu.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

enum : int {
    K_M = 16, K_S = 22, K_Z = 29, K_P = 19, K_R = 21, K_V = 25, K_6 = 35, K_7 = 36, K_8 = 37, K_9 = 38, K_F1 = 58,
};
int fkey(int n) { return K_F1 + n - 1; }

const char *const idle_cart = "function _update() end";

TEST(HotKeys, EachKeyShowsItsMessage) {
    shell_session s;
    s.to_console();
    std::filesystem::remove_all(test_home() + "/Desktop");
    struct Case {
        int key;
        std::vector<int> held;
        std::string message;
        int ms;
    } cases[] = {
        // The desktop folder is made; the message says where each file went.
        {fkey(1), {}, "saved screenshot to ~/Desktop/ZORVA_000.png", 2500},
        {fkey(6), {}, "saved screenshot to ~/Desktop/ZORVA_001.png", 2500},
        {K_6, {K_LCTRL}, "saved screenshot to ~/Desktop/ZORVA_002.png", 2500},
        {fkey(2), {}, "captured label image", 1000},
        {fkey(7), {}, "captured label image", 1000},
        {K_7, {K_RCTRL}, "captured label image", 1000},
        {fkey(3), {}, "set video starting point", 1000},
        {fkey(8), {}, "set video starting point", 1000},
        {K_8, {K_LCTRL}, "set video starting point", 1000},
        {fkey(4), {}, "saved video to ~/Desktop/ZORVA_0.gif", 2500},
        {fkey(9), {}, "saved video to ~/Desktop/ZORVA_1.gif", 2500},
        {K_9, {K_LCTRL}, "saved video to ~/Desktop/ZORVA_2.gif", 2500},
    };
    int colour = app.message_colour;
    for (const Case &c : cases) {
        app.message_text[0] = 0;
        s.press(c.key, c.held);
        EXPECT_EQ(std::string(app.message_text), c.message) << c.key;
        EXPECT_EQ(app.message_end - app.message_start, c.ms) << c.key;
        EXPECT_NE(app.message_colour, colour) << c.key;   // each message flips the colour
        colour = app.message_colour;
    }
}

TEST(HotKeys, KeyboardCursorToggleAltAndTheLaterRow) {
    shell_session s;
    s.to_console();
    s.press(fkey(5));
    EXPECT_EQ(app.keyboard_cursor, 1);
    EXPECT_STREQ(app.message_text, "keyboard cursor: on");
    s.press(fkey(10));
    EXPECT_EQ(app.keyboard_cursor, 0);
    EXPECT_STREQ(app.message_text, "keyboard cursor: off");
    s.press(39, {K_LCTRL});   // Ctrl+0
    EXPECT_EQ(app.keyboard_cursor, 1);

    // Nothing while Alt is held.
    app.message_text[0] = 0;
    s.press(fkey(1), {K_LALT});
    s.press(fkey(5), {K_LALT});
    EXPECT_STREQ(app.message_text, "");
    EXPECT_EQ(app.keyboard_cursor, 1);

    // F1 and F5 in the same pass: the later row wins.
    s.in.press(fkey(1));
    s.in.press(fkey(5));
    s.pass();
    EXPECT_STREQ(app.message_text, "keyboard cursor: off");
}

TEST(HotKeys, CtrlMTogglesTheSound) {
    shell_session s;
    s.to_console();
    int volume = cconfig.sound_volume;
    s.press(K_M, {K_LCTRL});
    if (tamu_state.mixer_running) {
        EXPECT_EQ(cconfig.sound_volume, volume == 0 ? 256 : 0);
        EXPECT_EQ(cconfig.music_volume, cconfig.sound_volume);
        EXPECT_STREQ(app.message_text, volume == 0 ? "sound on" : "sound off");
        s.press(K_M, {K_LCTRL});
        EXPECT_EQ(cconfig.sound_volume, volume);
    }
    EXPECT_EQ(app.message_end - app.message_start, 1000);
    s.press(K_M);   // M alone does nothing
    EXPECT_EQ(cconfig.sound_volume, volume);
}

// A key that acts with Ctrl presses no button: M (mute) and V (paste)
// are keys of button X, S one of player 1's.
TEST(HotKeys, KeysUsedWithCtrlDoNotReachTheCart) {
    shell_session s;
    s.run_code("x, left2 = 0, 0\nfunction _update()\nif (btn(5)) x += 1\nif (btn(0, 1)) left2 += 1\nend");
    ASSERT_EQ(pstate.MODE, MODE_RUNNING);
    auto read = [](const char *name) {
        lua_getglobal(L0, name);
        int v = int(lua_tointeger(L0, -1));
        lua_pop(L0, 1);
        return v;
    };
    for (int key : {K_M, K_V, K_S}) {
        s.in.press(K_LCTRL);
        s.in.press(key);
        s.passes(4);   // held down a while
        s.in.release(key);
        s.in.release(K_LCTRL);
        s.passes(2);
        EXPECT_EQ(read("x"), 0) << key;
        EXPECT_EQ(read("left2"), 0) << key;
    }
    // Alone they are the cart's.
    s.in.press(K_M);
    s.passes(2);
    s.in.release(K_M);
    s.pass();
    EXPECT_GT(read("x"), 0);
}

TEST(PauseKeys, EscAndThePauseKeyOpenThePauseMenu) {
    shell_session s;
    s.run_code(idle_cart);
    s.press(K_ESCAPE);
    EXPECT_EQ(app.pause_menu_open, 1);
    EXPECT_EQ(app.pause_menu_selected, 0);
    s.press(K_ESCAPE);
    EXPECT_EQ(app.pause_menu_open, 0);

    // The pause key opens it too and blocks the buttons: O held meanwhile
    // stays unread until it is let go.
    s.in.press(K_Z);
    s.pass();
    s.press(K_P);
    EXPECT_EQ(app.pause_menu_open, 1);
    EXPECT_EQ(pstate.button_state.blocked[0][4], 1);
    EXPECT_EQ(pstate.button_state.held[0][4], 0);
    s.in.release(K_Z);
    s.press(K_ESCAPE);

    // The cart may suppress one pause.
    zorva_poke(&pstate, pstate.live_cart, 0x5F30, 1);
    s.press(K_P);
    EXPECT_EQ(app.pause_menu_open, 0);
    EXPECT_EQ(zorva_peek(&pstate, pstate.live_cart, 0x5F30), 0);
    s.press(K_P);
    EXPECT_EQ(app.pause_menu_open, 1);

    // Leaving the cart closes the menu.
    pstate.REQUEST = REQUEST_PAUSE;
    s.pass();
    EXPECT_EQ(app.pause_menu_open, 0);
    s.press(K_ESCAPE);   // not while no cart runs
    EXPECT_EQ(app.pause_menu_open, 0);
}

// Whichever key opened the pause menu, the first press of X after a
// choice in it reaches the cart, and a browser the cart then opens stays
// open (the Esc that opened the menu is used up).
TEST(PauseKeys, TheFirstPressAfterTheMenuReachesTheCart) {
    const int K_X = 27;
    for (int opener : {int(K_ESCAPE), int(K_P)}) {
        for (bool reset : {false, true}) {
            SCOPED_TRACE(std::string(opener == K_P ? "P" : "Esc") + (reset ? ", reset cart" : ", continue"));
            shell_session s;
            // A key held for a few passes, as a person's tap is.
            auto tap = [&s](int key) {
                s.in.press(key);
                s.passes(4);
                s.in.release(key);
                s.passes(4);
            };
            s.run_code("n = 0 function _update() if btnp(5) then n += 1 splore() end end");
            s.passes(10);
            tap(opener);
            ASSERT_EQ(app.pause_menu_open, 1);
            s.passes(4);
            if (reset) tap(K_DOWN);
            tap(K_X);
            s.passes(40);
            EXPECT_EQ(app.pause_menu_open, 0);
            EXPECT_EQ(cart_number("n"), 0);
            tap(K_X);
            EXPECT_EQ(cart_number("n"), 1);
            EXPECT_EQ(overlay_over_cart(), 1);   // and still open
        }
    }
}

// On a display of 60 Hz a cart of 30 fps gets a tick every other pass: a
// tap of P whose key-down falls on a pass without a tick still opens the
// menu, whichever pass it falls on.
TEST(PauseKeys, ATapOnAPassWithoutATickIsKept) {
    constexpr int PASS_60HZ = 16;
    for (int phase = 0; phase < 4; phase++) {
        shell_session s;
        s.run_code(idle_cart);
        s.passes(phase + 4, PASS_60HZ);
        s.in.press(K_P);
        s.in.release(K_P);   // down and up again before the pass: seen on it alone
        s.pass(PASS_60HZ);
        s.passes(3, PASS_60HZ);
        EXPECT_EQ(app.pause_menu_open, 1) << "phase " << phase;
    }
}

TEST(PauseKeys, AConfiguredPauseKeyReplacesP) {
    shell_session s;
    s.run_code(idle_cart);
    app.button_keys[ZORVA_BUTTON_KEY_PAUSE] = K_RETURN;
    s.press(K_P);
    EXPECT_EQ(app.pause_menu_open, 0);
    s.press(K_RETURN);
    EXPECT_EQ(app.pause_menu_open, 1);
}

TEST(RunningKeys, CtrlRRestartsTheCartOnceInHalfASecond) {
    shell_session s;
    s.run_code(idle_cart);
    s.press(K_R, {K_LCTRL});
    EXPECT_GE(pstate.suspend_counter, 1);
    s.passes(5);
    EXPECT_EQ(pstate.suspend_counter, 0);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    // Again at once: too soon after the last.
    s.press(K_R, {K_LCTRL});
    EXPECT_EQ(pstate.suspend_counter, 0);
    s.passes(15);
    s.press(K_R, {K_LCTRL});
    EXPECT_GE(pstate.suspend_counter, 1);
}

TEST(RunningKeys, CtrlVTakesTheClipboardText) {
    shell_session s;
    s.run_code("function _update() t = stat(4) end");
    ASSERT_EQ(tamu_set_clipboard_text("from the clipboard"), 0);
    s.press(K_V, {K_LCTRL});
    ASSERT_NE(app.clipboard_text, nullptr);
    EXPECT_STREQ(app.clipboard_text, "from the clipboard");
    s.pass();
    lua_getglobal(L0, "t");
    EXPECT_STREQ(lua_tostring(L0, -1), "from the clipboard");
    lua_pop(L0, 1);
}

TEST(AudioPause, FollowsThePauseMenuAndTheCartsChoice) {
    shell_session s;
    s.run_code(idle_cart);
    EXPECT_EQ(tamu_state.audio_paused, 0);
    open_pause_menu();
    s.pass();
    EXPECT_EQ(tamu_state.audio_paused, 1);
    app.pause_menu_open = 0;
    std::vector<int> seen;
    for (int i = 0; i < 6; i++) {
        s.pass();
        seen.push_back(tamu_state.audio_paused);
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 5, 0, 0}));

    struct Case {
        int mode, menu, paused;
    } cases[] = {{2, 1, 0}, {1, 0, 1}, {0, 1, 1}, {0, 0, 0}};
    for (const Case &c : cases) {
        zorva_poke(&pstate, pstate.live_cart, 0x5F2F, c.mode);
        app.pause_menu_open = c.menu;
        tamu_state.audio_paused = 0;
        determine_audio_pause_state();
        EXPECT_EQ(tamu_state.audio_paused, c.paused) << c.mode << " " << c.menu;
    }
    app.pause_menu_open = 0;
}

}  // namespace
