// The pause menu: opened over the frozen cart by Esc or the pause button,
// driven by player 0's buttons (up and down move, O, X or pause choose).
// Its entries: "continue", the cart's own items (menuitem), "reset cart",
// the way back along the run chain, "quit", and "exit to splore" while the
// cart was started from the cart browser.
#pragma once

#include <cstdint>

struct cbitmap;

constexpr int PAUSED_MENU_ENTRIES = 16;
constexpr int PAUSED_MENU_LABEL_SIZE = 68;
constexpr int PAUSED_MENU_LABEL_CHARS = 16;

// What an entry does when chosen.
enum : int32_t {
    PAUSED_CONTINUE = 0,
    PAUSED_RESET_CART = 1,
    PAUSED_TOGGLE_FAVOURITE = 2,
    PAUSED_EXIT_TO_BROWSER = 3,
    PAUSED_LEAVE_BROWSER = 4,     // for the console
    PAUSED_PREVIOUS_CART = 5,     // the top of the run chain
    PAUSED_QUIT = 6,
    PAUSED_CART_ITEM = 256,       // + the cart's item number 1-5
};

struct paused_menu_entry {
    char label[PAUSED_MENU_LABEL_SIZE];   // at most 16 characters
    int32_t code;
};
// The entries; app.pause_menu_count are in use.
extern paused_menu_entry paused_menu_item[PAUSED_MENU_ENTRIES];

// Fills the menu anew from the cart's items, the run chain and the
// overlay, and selects the first entry.
void build_paused_menu();
// Appends an entry (its label cut to 16 characters); a full menu takes no
// more.
void add_paused_menu_item(const char *label, int32_t code);
// One paused tick of the menu: moves the selection and carries out the
// chosen entry. Once the menu has closed (and the cart has not paused
// itself) the buttons stay blocked until they are let go, so that the
// press that chose does not reach the cart.
void process_paused_keypresses();
// Draws the open menu on target (the library back page).
void draw_paused_menu(cbitmap *target);
