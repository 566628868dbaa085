// The key configuration overlay.
#include "zorva_keyconfig.h"

#include "cart_overlay.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_buttons.h"
#include "zorva_print.h"
#include "zorva_shell.h"
#include "zorva_state.h"

#include <cctype>
#include <cstdio>
#include <cstring>

keyconfig_record keyconfig_state;
// The key latch lives here, beside the overlay that reads it, so that a
// program using the overlay needs none of the player's update loop.
unsigned char keys_pressed_since_tick[TAMU_KEY_SLOTS];

const char *const button_name[13] = {
    "p1 left    ", "p1 right   ", "p1 up      ", "p1 down    ", "p1 button o", "p1 button x", "p2 left    ",
    "p2 right   ", "p2 up      ", "p2 down    ", "p2 button o", "p2 button x", "pause      ",
};
const char *const default_key_name[13] = {
    "left", "right", "up", "down", "z", "x", "s", "f", "e", "d", "tab", "q", "p",
};

namespace {

enum : int { KEY_ESCAPE_CHAR = 27, SCANCODE_BACKSPACE = 42, SCANCODE_DELETE = 76 };
constexpr int NAMED_SCANCODES = 256;   // the key-name table's part that is shown
constexpr int ROW_Y = 44, ROW_HEIGHT = 6;
constexpr int CONSOLE_CURSOR_Y = 120;

bool any_key_held() {
    for (int code = 0; code < TAMU_KEY_SLOTS; code++)
        if (tamu_get_key_state(code)) return true;
    return false;
}

// Held, or tapped since the last tick (a tap between two ticks counts).
int first_held_key() {
    for (int code = 0; code < TAMU_KEY_SLOTS; code++)
        if (tamu_get_key_state(code) || keys_pressed_since_tick[code]) return code;
    return -1;
}

void close_overlay() { pstate.OVERLAY = OVERLAY_NONE; }

// The shown name of button i's key, in lower case.
void key_name(int i, char *out, size_t size) {
    int code = app.button_keys[i];
    const char *name = code == 0                               ? default_key_name[i]
                       : code > 0 && code < NAMED_SCANCODES ? tamu_key_name[code]
                                                               : "?";
    std::snprintf(out, size, "%s", name);
    for (char *p = out; *p; p++) *p = char(std::tolower(static_cast<unsigned char>(*p)));
}

void text(cbitmap *s, const char *t, int x, int y, int colour) {
    tamu_draw_text_ex(s, t, zorva_system_font(), x, y, TAMU_TEXT_SOLID, uint32_t(colour));
}

// A small pad at x, y (48 x 29) with the part for button index marked:
// the d-pad, O and X for either player's buttons, the pause button.
void draw_controller(cbitmap *s, int x, int y, int index) {
    constexpr int BODY = 13, EDGE = 7, PART = 1, MARK = 8;
    tamu_rectfill(s, x + 1, y + 4, x + 46, y + 28, BODY);
    tamu_rect(s, x + 1, y + 4, x + 46, y + 28, EDGE);
    int part = index < 12 ? index % 6 : index == 12 ? 6 : -1;
    auto colour = [&](int p) { return uint32_t(p == part ? MARK : PART); };
    int cx = x + 12, cy = y + 16;   // the d-pad's centre
    tamu_rectfill(s, cx - 1, cy - 1, cx + 1, cy + 1, PART);
    tamu_rectfill(s, cx - 5, cy - 1, cx - 2, cy + 1, colour(0));
    tamu_rectfill(s, cx + 2, cy - 1, cx + 5, cy + 1, colour(1));
    tamu_rectfill(s, cx - 1, cy - 5, cx + 1, cy - 2, colour(2));
    tamu_rectfill(s, cx - 1, cy + 2, cx + 1, cy + 5, colour(3));
    tamu_rectfill(s, x + 30, y + 17, x + 33, y + 20, colour(4));
    tamu_rectfill(s, x + 37, y + 12, x + 40, y + 15, colour(5));
    tamu_rectfill(s, x + 21, y + 8, x + 26, y + 9, colour(6));
}

}  // namespace

void open_keyconfig() {
    keyconfig_init();
    show_overlay(OVERLAY_KEYCONFIG);
    block_buttons();
}

void keyconfig_init() {
    keyconfig_state.key_index = 0;
    keyconfig_state.ready = 0;
    std::memcpy(app.keyconfig_backup, app.button_keys, sizeof app.keyconfig_backup);
}

void keyconfig_update() {
    // The queue first, so that Esc cancels even when it is the key the
    // last button would take.
    while (pstate.OVERLAY == OVERLAY_KEYCONFIG && tamu_keypressed()) keyconfig_keypress(tamu_readkey());
    if (pstate.OVERLAY != OVERLAY_KEYCONFIG) return;

    keyconfig_record &k = keyconfig_state;
    if (!k.ready) {
        if (k.key_index < KEYCONFIG_DONE && !any_key_held()) k.ready = 1;
        return;
    }
    int code = first_held_key();
    if (code < 0) return;
    app.button_keys[k.key_index] = code == SCANCODE_BACKSPACE || code == SCANCODE_DELETE ? 0 : code;
    k.key_index++;
    k.ready = 0;
    if (k.key_index == KEYCONFIG_DONE)
        drain_key_queue();
}

void keyconfig_keypress(int key) {
    if (keyconfig_state.key_index < KEYCONFIG_DONE) {
        if (key == KEY_ESCAPE_CHAR) {
            std::memcpy(app.button_keys, app.keyconfig_backup, sizeof app.button_keys);
            close_overlay();
        }
        return;
    }
    close_overlay();
    pstate.draw_state.cursor_y = CONSOLE_CURSOR_Y;
}

void keyconfig_draw() {
    cbitmap *s = pstate.screen;
    if (!s) return;
    int index = keyconfig_state.key_index;
    tamu_rectfill(s, 0, 0, 127, 127, 1);
    tamu_rectfill(s, 4, 41, 123, 124, 6);
    tamu_rectfill(s, 0, 0, 127, 6, 7);
    text(s, "player key config", 6, 1, 12);
    draw_controller(s, 6, 8, index);
    if (index < KEYCONFIG_DONE) {
        text(s, "press key for:", 60, 12, 6);
        text(s, button_name[index], 60, 19, 7);
        text(s, "del to reset", 60, 26, 13);
        text(s, "esc to cancel", 60, 33, 13);
    } else {
        text(s, "saved config.", 60, 12, 11);
        text(s, "any key to quit", 60, 22, 12);
    }
    for (int i = 0; i < KEYCONFIG_DONE; i++) {
        int y = ROW_Y + ROW_HEIGHT * i;
        char name[32], row[64];
        key_name(i, name, sizeof name);
        std::snprintf(row, sizeof row, "%s : %s", button_name[i], name);
        if (i == index) {
            tamu_rectfill(s, 7, y - 1, 120, y + 5, 14);
            text(s, row, 10, y, 1);
        } else {
            text(s, row, 10, y, 5);
        }
    }
}
