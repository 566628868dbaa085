// Buttons from keys (through the engine's injected input) and controllers
// (through a stand-in reader): default and configured keys, repeat timing,
// blocking, the stick's dead zone, and btn and btnp as a cart calls them.
#include "console_state.h"
#include "fake_input.h"
#include "lauxlib.h"
#include "lua.h"
#include "zorva_api.h"
#include "zorva_buttons.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

enum : int { K_Z = 29, K_X = 27, K_C = 6, K_S = 22, K_F = 9, K_E = 8, K_D = 7, K_W = 26, K_P = 19 };

// Controllers as the tests set them.
struct pad {
    int x = 0, y = 0, buttons = 0;
};
pad pads[TAMU_MAX_JOYSTICKS];
int read_pad(int i, int *x, int *y, int *buttons) {
    *x = pads[i].x;
    *y = pads[i].y;
    *buttons = pads[i].buttons;
    return 0;
}

class Buttons : public ::testing::Test {
  public:
    console_state console;
    fake_input in;
    int32_t keys[ZORVA_BUTTON_KEYS] = {};
    int32_t joystick_index = 0;
    int32_t glitch = 0;

    void SetUp() override {
        reset_input_for_test();
        for (pad &p : pads) p = pad();
        button_joystick_reader = read_pad;
        zorva_button_config = {keys, &joystick_index, &glitch, nullptr};
    }
    void TearDown() override {
        button_joystick_reader = tamu_get_joystick;
        zorva_button_config = {nullptr, nullptr, nullptr, nullptr};
    }

    // A key goes down and is seen by the next pump's key state.
    void hold_key(int key) {
        in.press(key);
        in.pump();
        in.pump();
    }
    void release_key(int key) {
        in.release(key);
        in.pump();
        in.pump();
    }
    // One cart update: a pump, then the buttons sampled as the main loop
    // does it.
    void update() {
        in.pump();
        clear_buttons();
        read_buttons();
        update_buttons();
    }
    static int held(int b, int p = 0) { return pstate.button_state.held[p][b]; }
};

TEST_F(Buttons, DefaultKeysOfPlayersZeroAndOne) {
    struct Case {
        int key, player, button;
    } cases[] = {
        {K_LEFT, 0, 0}, {K_RIGHT, 0, 1}, {K_UP, 0, 2}, {K_DOWN, 0, 3}, {K_Z, 0, 4},   {K_C, 0, 4},
        {17, 0, 4},     {86, 0, 4},      {K_X, 0, 5},  {25, 0, 5},     {16, 0, 5},    {K_S, 1, 0},
        {K_F, 1, 1},    {K_E, 1, 2},     {K_D, 1, 3},  {K_LSHIFT, 1, 4}, {K_TAB, 1, 4}, {K_W, 1, 4},
        {K_A, 1, 5},    {K_Q, 1, 5},
    };
    for (const Case &c : cases) {
        hold_key(c.key);
        update();
        for (int p = 0; p < ZORVA_PLAYERS; p++)
            for (int b = 0; b < ZORVA_PLAYER_BUTTONS; b++)
                EXPECT_EQ(held(b, p), p == c.player && b == c.button) << c.key << " player " << p << " button " << b;
        release_key(c.key);
        update();
        EXPECT_EQ(held(c.button, c.player), 0) << c.key;
    }
}

TEST_F(Buttons, AConfiguredKeyReplacesAllDefaultKeysOfItsButton) {
    keys[4] = K_P;        // player 0 O
    keys[6 + 5] = K_Z;    // player 1 X
    hold_key(K_C);        // a default key of player 0's O no longer counts
    update();
    EXPECT_EQ(held(4, 0), 0);
    hold_key(K_P);
    update();
    EXPECT_EQ(held(4, 0), 1);
    hold_key(K_Z);
    update();
    EXPECT_EQ(held(5, 1), 1);
    EXPECT_EQ(held(4, 0), 1);   // K_Z is no key of player 0 any more
    release_key(K_P);
    update();
    EXPECT_EQ(held(4, 0), 0);

    EXPECT_TRUE(is_key_bound(K_P));
    EXPECT_FALSE(is_key_bound(K_Z));     // player 1's keys do not count
    EXPECT_FALSE(is_key_bound(K_LEFT));  // nor default keys
    EXPECT_FALSE(is_key_bound(0));
}

// btnp while O is held from the first update on.
std::vector<int> btnp_updates(Buttons &t, int fps, int updates) {
    pstate.fps = fps;
    std::vector<int> seen;
    t.in.press(K_Z);
    t.in.pump();
    for (int u = 1; u <= updates; u++) {
        t.update();
        if (button_pressed(4, 0)) seen.push_back(u);
    }
    return seen;
}

// The pause key (P, or the one configured) presses player 0's button 6,
// as a controller's pause button does; player 1 has no pause key.
TEST_F(Buttons, ThePauseKeyPressesButtonSix) {
    constexpr int K_P = 19, K_O = 18;
    hold_key(K_P);
    update();
    EXPECT_EQ(held(6), 1);
    EXPECT_EQ(held(6, 1), 0);
    release_key(K_P);
    keys[ZORVA_BUTTON_KEY_PAUSE] = K_O;
    hold_key(K_P);
    update();
    EXPECT_EQ(held(6), 0);
    release_key(K_P);
    hold_key(K_O);
    update();
    EXPECT_EQ(held(6), 1);
}

// A key pressed since the last tick counts as down for one read, even
// when it is up again by then.
TEST_F(Buttons, AKeyPressedSinceTheLastTickCountsOnce) {
    unsigned char since[TAMU_KEY_SLOTS] = {};
    zorva_button_config.keys_pressed_since_tick = since;
    since[K_Z] = 1;
    update();
    EXPECT_EQ(held(4), 1);
    EXPECT_TRUE(button_pressed(4, 0));
    since[K_Z] = 0;
    update();
    EXPECT_EQ(held(4), 0);
}

TEST_F(Buttons, HeldButtonRepeatsAt30Fps) {
    EXPECT_EQ(btnp_updates(*this, 30, 30), (std::vector<int>{1, 14, 18, 22, 26, 30}));
}

TEST_F(Buttons, HeldButtonRepeatsAt60Fps) {
    EXPECT_EQ(btnp_updates(*this, 60, 53), (std::vector<int>{1, 29, 37, 45, 53}));
}

TEST_F(Buttons, ANewPressOfAnyButtonRestartsTheSharedCounter) {
    pstate.fps = 30;
    hold_key(K_Z);
    for (int u = 0; u < 10; u++) update();   // counter at 5
    EXPECT_EQ(pstate.button_state.repeat_counter, 5);
    in.press(K_X);
    update();   // X is down from here: the counter starts again
    EXPECT_TRUE(button_pressed(5, 0));
    EXPECT_FALSE(button_pressed(4, 0));
    EXPECT_EQ(pstate.button_state.repeat_counter, 14);
}

TEST_F(Buttons, BlockedButtonsWaitUntilReleasedAndPressedAgain) {
    hold_key(K_Z);
    update();
    EXPECT_EQ(held(4), 1);
    block_buttons();
    EXPECT_EQ(held(4), 0);
    for (int u = 0; u < 5; u++) {
        update();
        EXPECT_EQ(held(4), 0);
        EXPECT_FALSE(button_pressed(4, 0));
    }
    release_key(K_Z);
    update();
    EXPECT_EQ(pstate.button_state.blocked[0][4], 0);
    hold_key(K_Z);
    update();
    EXPECT_EQ(held(4), 1);
    EXPECT_TRUE(button_pressed(4, 0));
}

TEST_F(Buttons, StickDirectionsAndTheDeadZone) {
    struct Case {
        int x, y;
        int left, right, up, down;
    } cases[] = {
        {0, 0, 0, 0, 0, 0},
        {-32768, 0, 255, 0, 0, 0},
        {32767, 0, 0, 255, 0, 0},
        {0, -32768, 0, 0, 255, 0},
        {0, 32767, 0, 0, 0, 255},
        {-16384, 0, 0, 0, 0, 0},          // half-way: inside the dead zone
        {16384, 0, 0, 0, 0, 0},
        {-16386, 0, 128, 0, 0, 0},        // just outside: a value, but not down
        {-16512, 0, 129, 0, 0, 0},        // far enough to count
        {16385, 0, 0, 129, 0, 0},
        {-20000, 20000, 156, 0, 0, 157},  // diagonal
        {12000, -12000, 0, 94, 93, 0},    // diagonal outside the dead zone, values below 129
    };
    for (const Case &c : cases) {
        pads[0] = {c.x, c.y, 0};
        EXPECT_EQ(player_button(0, 0), c.left) << c.x << "," << c.y;
        EXPECT_EQ(player_button(1, 0), c.right) << c.x << "," << c.y;
        EXPECT_EQ(player_button(2, 0), c.up) << c.x << "," << c.y;
        EXPECT_EQ(player_button(3, 0), c.down) << c.x << "," << c.y;
    }
}

TEST_F(Buttons, ControllerButtonMasks) {
    struct Case {
        int mask;
        int o, x, six;
    } cases[] = {{1, 1, 0, 0}, {8, 1, 0, 0}, {2, 0, 1, 0}, {4, 0, 1, 0}, {64, 0, 0, 1}, {16 | 32 | 128, 0, 0, 0}};
    for (const Case &c : cases) {
        pads[3].buttons = c.mask;
        update();
        EXPECT_EQ(held(4, 3), c.o) << c.mask;
        EXPECT_EQ(held(5, 3), c.x) << c.mask;
        EXPECT_EQ(held(6, 3), c.six) << c.mask;
        EXPECT_EQ(held(7, 3), 0) << c.mask;
    }
    EXPECT_EQ(player_button(4, 8), 0);
    EXPECT_EQ(player_button(8, 0), 0);
}

TEST_F(Buttons, ControllersBeginAtTheConfiguredPlayer) {
    joystick_index = 2;
    pads[0].buttons = 1;   // controller 0 serves player 2
    pads[5].buttons = 1;   // controller 5 serves player 7
    update();
    for (int p = 0; p < ZORVA_PLAYERS; p++) EXPECT_EQ(held(4, p), p == 2 || p == 7) << p;
}

TEST_F(Buttons, ControllerOnlyPressesForTheMenus) {
    hold_key(K_Z);
    update();
    EXPECT_TRUE(button_pressed(4, 0));
    EXPECT_FALSE(button_pressed_nok(4, 0));
    release_key(K_Z);
    update();
    pads[0].buttons = 1;
    update();
    EXPECT_TRUE(button_pressed_nok(4, 0));
    EXPECT_EQ(get_repeat_delay(), 15);
    EXPECT_EQ(get_repeat_delay_2(), 4);
}

TEST_F(Buttons, GlitchTestSetsRandomButtons) {
    glitch = 1;
    pstate.button_state.held[0][6] = 1;
    int ones = 0;
    for (int u = 0; u < 8; u++) {
        read_buttons();
        for (int p = 0; p < ZORVA_PLAYERS; p++)
            for (int b = 0; b < 6; b++) {
                ASSERT_TRUE(held(b, p) == 0 || held(b, p) == 1);
                ones += held(b, p);
            }
    }
    EXPECT_GT(ones, 0);
    EXPECT_LT(ones, 8 * 8 * 6);
    EXPECT_EQ(held(6, 0), 1);   // buttons 6 and 7 are left as they were
}

// ---------------------------------------------------------------------------
// btn and btnp

class ButtonApi : public Buttons {
  protected:
    lua_State *L = luaL_newstate();
    void SetUp() override {
        Buttons::SetUp();
        L0 = L;
        lua_register(L, "btn", zv_btn);
        lua_register(L, "btnp", zv_btnp);
    }
    void TearDown() override {
        L0 = nullptr;
        lua_close(L);
        Buttons::TearDown();
    }
    // The first result: a boolean as 0/1, a number as its whole part.
    int run(const std::string &code) {
        if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, 1, 0) != LUA_OK) {
            ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
            lua_pop(L, 1);
            return -1;
        }
        int r = lua_isboolean(L, -1) ? lua_toboolean(L, -1) : lua_tonumber(L, -1) >> 16;
        lua_pop(L, 1);
        return r;
    }
};

TEST_F(ButtonApi, ArgumentsResultsAndCost) {
    zorva_button_state &s = pstate.button_state;
    s.held[0][7] = 1;
    s.held[1][0] = 1;
    s.held[3][2] = 1;
    s.previous[3][2] = 1;
    s.repeat_counter = 5;
    struct Case {
        const char *code;
        int result;
    } cases[] = {
        {"return btn(7)", 1},       {"return btn(9)", 1},      // clamped to 7
        {"return btn(-3, 1)", 1},   {"return btn(0, 8)", 0},   {"return btn(0, -1)", 0},
        {"return btn(2, 3)", 1},    {"return btnp(2, 3)", 0},  // held, no new press
        {"return btn(0, 1.9)", 1},  {"return btn(0, nil)", 0},
        {"return btn()", 0x80 | 0x100},
        {"return btnp()", 0x80 | 0x100},
    };
    for (const Case &c : cases) {
        pstate.buttons_read = 0;
        int before = pstate.total_cpu;
        EXPECT_EQ(run(c.code), c.result) << c.code;
        EXPECT_EQ(pstate.total_cpu - before, 4) << c.code;
        EXPECT_EQ(pstate.buttons_read, 1) << c.code;
    }
    s.repeat_counter = 1;   // the repeat comes round
    EXPECT_EQ(run("return btnp(2, 3)"), 1);
}

TEST_F(ButtonApi, BtnpSeesANewPressInTheUpdateOfThePress) {
    in.press(K_X);
    in.pump();
    update();
    EXPECT_EQ(run("return btnp(5)"), 1);
    EXPECT_EQ(run("return btn(5)"), 1);
    update();
    EXPECT_EQ(run("return btnp(5)"), 0);
    EXPECT_EQ(run("return btn(5)"), 1);
    EXPECT_EQ(run("return btn()"), 1 << 5);
}

}  // namespace
