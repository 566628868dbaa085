// The console's buttons, and the cart functions btn and btnp.
#include "zorva_buttons.h"

#include "lua.h"
#include "tamu.h"
#include "zorva_api.h"
#include "zorva_cpu.h"
#include "zorva_state.h"

button_config zorva_button_config = {nullptr, nullptr, nullptr, nullptr};

int (*button_joystick_reader)(int index, int *x, int *y, int *buttons) = tamu_get_joystick;

namespace {

// Default keys (SDL scancodes) of players 0 and 1, buttons 0-5; 0 ends a
// list.
const int default_keys[2][6][5] = {
    {{80}, {79}, {82}, {81}, {29, 6, 17, 86}, {27, 25, 16}},
    {{22}, {9}, {8}, {7}, {225, 43, 26}, {4, 20}},
};

// The pause key's default: P.
constexpr int DEFAULT_PAUSE_KEY = 19;
constexpr int PAUSE_BUTTON = 6;

int setting(const int32_t *value) { return value ? *value : 0; }

// Down now, or pressed since the last tick.
bool key_down(int scancode) {
    if (tamu_get_key_state(scancode) != 0) return true;
    const unsigned char *since = zorva_button_config.keys_pressed_since_tick;
    return since && scancode >= 0 && scancode < TAMU_KEY_SLOTS && since[scancode];
}

int configured_key(int b, int p) {
    const int32_t *keys = zorva_button_config.keys;
    return keys ? keys[p * 6 + b] : 0;
}

bool valid(int b, int p) { return b >= 0 && b < ZORVA_PLAYER_BUTTONS && p >= 0 && p < ZORVA_PLAYERS; }

bool at_60_fps() { return pstate.fps == 60; }

zorva_button_state &buttons() { return pstate.button_state; }

// A stick direction as 0-255.
int clamp_255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}  // namespace

int player_button(int b, int p) {
    if (!valid(b, p)) return 0;
    int index = p - setting(zorva_button_config.joystick_index);
    if (index < 0 || index >= TAMU_MAX_JOYSTICKS || !button_joystick_reader) return 0;
    int x = 0, y = 0, mask = 0;
    button_joystick_reader(index, &x, &y, &mask);
    if (b < 4) {
        // Inside the dead zone no direction counts.
        if (int64_t(y / 2) * y + int64_t(x / 2) * x <= 0x8000000) return 0;
        switch (b) {
        case 0: return clamp_255(-x / 128);
        case 1: return clamp_255((x + 127) / 128);
        case 2: return clamp_255(-y / 128);
        default: return clamp_255((y + 127) / 128);
        }
    }
    static const int masks[4] = {9, 6, 64, 0};
    return mask & masks[b - 4] ? 255 : 0;
}

int player_key(int b, int p) {
    if (p == 0 && b == PAUSE_BUTTON) {
        const int32_t *keys = zorva_button_config.keys;
        int key = keys ? keys[ZORVA_BUTTON_KEY_PAUSE] : 0;
        return key_down(key != 0 ? key : DEFAULT_PAUSE_KEY);
    }
    if (p < 0 || p > 1 || b < 0 || b > 5) return 0;
    int key = configured_key(b, p);
    if (key != 0) return key_down(key);
    for (int k : default_keys[p][b]) {
        if (k == 0) break;
        if (key_down(k)) return 1;
    }
    return 0;
}

void read_buttons() {
    zorva_button_state &s = buttons();
    if (setting(zorva_button_config.glitch_test) != 0) {
        for (int p = 0; p < ZORVA_PLAYERS; p++)
            for (int b = 0; b < 6; b++) s.held[p][b] = int32_t(tamu_random(2));
        return;
    }
    for (int p = 0; p < ZORVA_PLAYERS; p++) {
        for (int b = 0; b < ZORVA_PLAYER_BUTTONS; b++) {
            bool down = player_key(b, p) || player_button(b, p) >= 129;
            if (!down) {
                s.blocked[p][b] = 0;
            } else if (!s.blocked[p][b]) {
                s.held[p][b] = 1;
                if (s.previous[p][b] == 0) s.repeat_counter = at_60_fps() ? 30 : 15;
            }
        }
    }
}

void update_buttons() {
    zorva_button_state &s = buttons();
    if (s.repeat_counter > 0) {
        s.repeat_counter--;
        if (s.repeat_counter == 0) s.repeat_counter = at_60_fps() ? 8 : 4;
    }
}

void clear_buttons() {
    zorva_button_state &s = buttons();
    for (int p = 0; p < ZORVA_PLAYERS; p++)
        for (int b = 0; b < ZORVA_PLAYER_BUTTONS; b++) {
            s.previous[p][b] = s.held[p][b];
            s.held[p][b] = 0;
        }
}

void block_buttons() {
    zorva_button_state &s = buttons();
    for (int p = 0; p < ZORVA_PLAYERS; p++)
        for (int b = 0; b < ZORVA_PLAYER_BUTTONS; b++) {
            s.blocked[p][b] = 1;
            s.held[p][b] = 0;
        }
}

int button_pressed(int b, int p) {
    if (!valid(b, p)) return 0;
    const zorva_button_state &s = buttons();
    if (s.previous[p][b] == 0 || s.repeat_counter == 1) return s.held[p][b];
    return 0;
}

int button_pressed_nok(int b, int p) {
    if (!button_pressed(b, p)) return 0;
    return player_button(b, p) >= 129 ? 1 : 0;
}

void block_buttons_of_key(int scancode) {
    zorva_button_state &s = buttons();
    for (int p = 0; p < 2; p++)
        for (int b = 0; b < 6; b++) {
            int key = configured_key(b, p);
            bool bound = key == scancode;
            for (int k : default_keys[p][b]) bound = bound || (key == 0 && k != 0 && k == scancode);
            if (!bound) continue;
            s.blocked[p][b] = 1;
            s.held[p][b] = 0;
        }
}

bool is_key_bound(int scancode) {
    for (int b = 0; b < 6; b++) {
        int key = configured_key(b, 0);
        if (key != 0 && key == scancode) return true;
    }
    return false;
}

int get_repeat_delay() { return 15; }
int get_repeat_delay_2() { return 4; }

// ---------------------------------------------------------------------------
// btn and btnp

static int button_function(lua_State *L, int (*value)(int b, int p)) {
    pstate.buttons_read = 1;
    spend_cpu(4);
    if (lua_gettop(L) == 0) {
        int mask = 0;
        for (int b = 0; b < ZORVA_PLAYER_BUTTONS; b++) {
            if (value(b, 0)) mask |= 1 << b;
            if (value(b, 1)) mask |= 1 << (b + 8);
        }
        zv_push_int(L, mask);
        return 1;
    }
    int i = zv_arg_int(L, 1), p = zv_arg_int(L, 2);
    if (p < 0 || p >= ZORVA_PLAYERS) {
        lua_pushboolean(L, 0);
        return 1;
    }
    i = i < 0 ? 0 : i > 7 ? 7 : i;
    lua_pushboolean(L, value(i, p) != 0);
    return 1;
}

static int held_value(int b, int p) { return buttons().held[p][b]; }

int zv_btn(lua_State *L) { return button_function(L, held_value); }

int zv_btnp(lua_State *L) { return button_function(L, button_pressed); }
