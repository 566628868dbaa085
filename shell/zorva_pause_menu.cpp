// The pause menu.
#include "zorva_pause_menu.h"

#include "tamu.h"
#include "zorva_app.h"
#include "zorva_buttons.h"
#include "zorva_draw.h"
#include "zorva_message_bar.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_run_chain.h"
#include "zorva_shell_steps.h"
#include "zorva_splore.h"
#include "zorva_state.h"

#include <cstddef>
#include <cstdio>

paused_menu_entry paused_menu_item[PAUSED_MENU_ENTRIES];

namespace {

enum { BUTTON_UP = 2, BUTTON_DOWN = 3, BUTTON_O = 4, BUTTON_X = 5, BUTTON_PAUSE = 6 };
constexpr int PREVIOUS_CART_HOLD_FRAMES = 20;
constexpr int LABEL_COLOUR = 7;
constexpr int NOT_FAVOURITE_COLOUR = 13;

// The panel behind the menu: whatever the cart showed, darkened to deep
// tones (nothing brighter than colour 5), so that the white labels read
// over any picture.
constexpr int PANEL_COLOUR = 0;
constexpr uint8_t panel_tint[16] = {0, 0, 1, 1, 2, 1, 5, 5, 2, 4, 4, 3, 1, 1, 2, 4};

// Sprites: one console colour a pixel, '.' for none.
const char *const marker_sprite[] = {
    "......",
    ".7....",
    ".77...",
    ".777..",
    ".77...",
    ".7....",
};
const char *const heart_sprite[] = {
    ".88.88.",
    "8ee8888",
    "8e88888",
    "8888888",
    ".88888.",
    "..888..",
    "...8...",
};

template <size_t N>
void draw_pixels(cbitmap *target, const char *const (&rows)[N], int x, int y, int solid_colour = -1) {
    for (size_t j = 0; j < N; j++)
        for (int i = 0; rows[j][i]; i++) {
            char c = rows[j][i];
            if (c == '.') continue;
            int colour = solid_colour >= 0 ? solid_colour : c >= 'a' ? c - 'a' + 10 : c - '0';
            tamu_putpixel(target, x + i, y + int(j), uint32_t(colour));
        }
}

void close_menu() { app.pause_menu_open = 0; }

// Back to the cart at the top of the run chain, with the parameter it
// was left with. A cart that no longer loads stays on the chain; the menu
// stays open and says so.
void go_back_along_run_chain() {
    const char *file = get_run_chain_filename();
    if (!file) return;
    if (load_working_cart(file) != 0) {
        show_message("could not load", MESSAGE_FAILURE_MS);
        return;
    }
    pstate.REQUEST = REQUEST_RUN;
    // The run takes its parameter from the pending one.
    std::snprintf(pstate.pending_parameter, sizeof pstate.pending_parameter, "%s", get_run_chain_param_str());
    pstate.hold_counter = PREVIOUS_CART_HOLD_FRAMES;
    pop_run_chain();
    close_menu();
}

void leave_browser_for_console() {
    close_menu();
    pause_program();
    pstate.OVERLAY = OVERLAY_NONE;
    pstate.MODE = MODE_CONSOLE;
    pstate.view = 0;
    print_splore_exit_message();
    pstate.view = 1;
    pstate.draw_state.pen_colour = 6;
}

void choose(int32_t code) {
    switch (code) {
    case PAUSED_CONTINUE: close_menu(); break;
    case PAUSED_RESET_CART:
        close_menu();
        pstate.suspend_counter = 1;   // the reset glitch, then the cart runs again
        break;
    case PAUSED_TOGGLE_FAVOURITE: splore_toggle_favourite_ingame(running_item.lid, running_item.path); break;
    case PAUSED_EXIT_TO_BROWSER:
        close_menu();
        pstate.REQUEST = REQUEST_PAUSE;
        app.browser_waits_for_button = 2;
        break;
    case PAUSED_LEAVE_BROWSER: leave_browser_for_console(); break;
    case PAUSED_PREVIOUS_CART: go_back_along_run_chain(); break;
    case PAUSED_QUIT: tamu_quit = 1; break;
    default:
        if (code > PAUSED_CART_ITEM && code <= PAUSED_CART_ITEM + ZORVA_MENU_ITEMS) {
            close_menu();
            // The cart's main loop reports it (and clears it) after its frame.
            pstate.menu_selected[code - PAUSED_CART_ITEM] = 1;
        }
        break;
    }
}

}  // namespace

void add_paused_menu_item(const char *label, int32_t code) {
    if (app.pause_menu_count < 0) app.pause_menu_count = 0;
    if (app.pause_menu_count >= PAUSED_MENU_ENTRIES) return;
    paused_menu_entry &e = paused_menu_item[app.pause_menu_count++];
    std::snprintf(e.label, PAUSED_MENU_LABEL_CHARS + 1, "%s", label ? label : "");
    e.code = code;
}

void build_paused_menu() {
    app.pause_menu_count = 0;
    add_paused_menu_item("continue", PAUSED_CONTINUE);
    for (int i = 1; i <= ZORVA_MENU_ITEMS; i++)
        if (pstate.menu_labels[i][0]) add_paused_menu_item(pstate.menu_labels[i], PAUSED_CART_ITEM + i);
    add_paused_menu_item("reset cart", PAUSED_RESET_CART);
    if (const char *label = get_run_chain_label()) add_paused_menu_item(label, PAUSED_PREVIOUS_CART);
    add_paused_menu_item("quit", PAUSED_QUIT);
    if (pstate.OVERLAY == OVERLAY_BROWSER) add_paused_menu_item("exit to splore", PAUSED_EXIT_TO_BROWSER);
    app.pause_menu_selected = 0;
}

void process_paused_keypresses() {
    int n = app.pause_menu_count;
    // The cart's own pause (the menu closed) leaves the menu alone.
    if (app.pause_menu_open && n > 0) {
        int selected = app.pause_menu_selected;
        if (button_pressed(BUTTON_UP, 0)) selected--;
        if (button_pressed(BUTTON_DOWN, 0)) selected++;
        selected %= n;
        if (selected < 0) selected += n;
        app.pause_menu_selected = selected;
        if (button_pressed(BUTTON_O, 0) || button_pressed(BUTTON_X, 0) || button_pressed(BUTTON_PAUSE, 0)) {
            for (int b : {BUTTON_O, BUTTON_X, BUTTON_PAUSE}) pstate.button_state.held[0][b] = 1;
            choose(paused_menu_item[selected].code);
        }
    }
    if (!tamu_state.paused && !app.pause_menu_open) block_buttons();
}

void draw_paused_menu(cbitmap *target) {
    if (!target || target->bpp != 8) return;
    int n = app.pause_menu_count;
    if (n < 0) n = 0;
    if (n > PAUSED_MENU_ENTRIES) n = PAUSED_MENU_ENTRIES;
    int h = (8 * n + 8) / 2;
    // A tinted rim, and inside the outline an opaque panel, so that the
    // cart's picture never shows through the labels.
    draw_tinted_rect_adaptive(target, 23, 63 - h, 105, 65 + h, panel_tint);
    tamu_rectfill(target, 25, 65 - h, 103, 63 + h, PANEL_COLOUR);
    tamu_rect(target, 24, 64 - h, 104, 64 + h, LABEL_COLOUR);
    cpod *font = zorva_system_font();
    for (int k = 0; k < n; k++) {
        const paused_menu_entry &e = paused_menu_item[k];
        int y = 69 - h + 8 * k;
        bool selected = k == app.pause_menu_selected;
        tamu_draw_text_ex(target, e.label, font, selected ? 35 : 34, y + 1, TAMU_TEXT_SOLID, LABEL_COLOUR);
        if (selected) draw_pixels(target, marker_sprite, 25, y);
        if (e.code == PAUSED_TOGGLE_FAVOURITE) {
            bool favourite = is_favourite(running_item.lid, running_item.path);
            draw_pixels(target, heart_sprite, 74, y, favourite ? -1 : NOT_FAVOURITE_COLOUR);
        }
    }
}
