// Steps of the shell whose own code comes later: the cart browser. Each
// has the name it keeps and does the least the rest of the shell needs
// meanwhile (most do nothing).
#pragma once

// The pause menu, the message bar, cart storage and cart data are built:
// the shell's files that use them find them here.
#include "zorva_cart_data.h"
#include "zorva_cart_storage.h"
#include "zorva_message_bar.h"
#include "zorva_pause_menu.h"

struct zorva_cart;


// Cart browser.
void splore_init();
void splore_enter();
void splore_update();
void splore_draw();
void restart_browser_selection();
// The cart started from the browser among the favourites: whether it is
// one, and toggling it (the pause menu's heart).
int running_cart_is_favourite();
void toggle_running_cart_favourite();
// The console's greeting on leaving the browser.
void print_splore_exit_message();
// Favourites: "favourites.txt" written from the favourites list, and
// appended to it again.
void save_splore_favourites();
void reload_favourites();
// The running browser item from a forum cart's info table.
struct cdict;
void set_running_item_from_nfo(const cdict *info);

// Editors (inert in this build).
void reset_editor_state();
