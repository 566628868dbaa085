// Steps of the shell whose own code comes later: cart storage, cart data,
// console listings and downloads, and the cart browser. Each has the name
// it keeps and does the least the rest of the shell needs meanwhile (most
// do nothing).
#pragma once

// The pause menu and the message bar, which are built: the shell's files
// that show notices find them here.
#include "zorva_message_bar.h"
#include "zorva_pause_menu.h"
struct zorva_cart;

// Cart storage.
// Loads a cart file as the working cart: 0 on success, 1 on failure.
int load_working_cart(const char *name);
// Makes cart the working cart, loaded from name (null: none), and gets it
// ready: the shared sprite/map area, the code tabs, its hash.
void prepare_loaded_cart(zorva_cart *cart, const char *name);
// The main cart of the data pod becomes the working cart, which then runs.
void boot_embedded_cart();
void do_quick_save();
void do_quick_load();
int detect_unsaved_changes();
void save_backup(const char *name, int copy);
// The SHA-1 of the working cart into pstate.
void hash_working_cart();

// Cart data.
void save_cdata();

// Console listings and downloads.
void update_load_download();
int listing_in_progress();
void close_directory_listing();

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

// Editors (inert in this build).
void reset_editor_state();
void clear_command_history();
