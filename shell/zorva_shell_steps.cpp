// Steps of the shell whose own code comes later (see zorva_shell_steps.h).
#include "zorva_shell_steps.h"

#include "zorva_app.h"

// ---------------------------------------------------------------------------
// Cart browser

void splore_init() {}
void splore_enter() {}
void splore_update() {}
void splore_draw() {}
void restart_browser_selection() {}
int running_cart_is_favourite() { return 0; }
void toggle_running_cart_favourite() {}
void print_splore_exit_message() {}
void save_splore_favourites() {}
void reload_favourites() {}
void set_running_item_from_nfo(const cdict *) {}

// ---------------------------------------------------------------------------
// Editors: there are none, so their state is only their reset words.

void reset_editor_state() {
    app.editor_word = 0;
    app.editor_flag = 1;
}

