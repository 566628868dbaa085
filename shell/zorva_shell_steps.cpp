// Steps of the shell whose own code comes later (see zorva_shell_steps.h).
#include "zorva_shell_steps.h"

#include "zorva_app.h"

#include <cstdio>

// ---------------------------------------------------------------------------
// Pause menu and message bar

void build_paused_menu() { app.pause_menu_count = 0; }
void process_paused_keypresses() {}
void draw_paused_menu(cbitmap *) {}

void show_message(const char *text, int ms) {
    std::snprintf(app.message_text, sizeof app.message_text, "%s", text ? text : "");
    app.message_start = zorva_clock();
    app.message_end = app.message_start + ms;
    app.message_colour = app.message_colour == 15 ? 7 : 15;
}

void draw_message_bar(cbitmap *) {}

// ---------------------------------------------------------------------------
// Cart storage (loading the working cart and booting the main cart live
// in zorva_cart_storage.cpp)

void do_quick_save() {}
void do_quick_load() {}
int detect_unsaved_changes() { return 0; }
void save_backup(const char *, int) {}

// ---------------------------------------------------------------------------
// Cart data

void save_cdata() {}

// ---------------------------------------------------------------------------
// Capture: nothing is saved yet.

int save_screenshot() { return 1; }
void capture_label() {}
void restart_video_recording() {}
int save_video() { return 1; }
void record_video_frame() {}

// ---------------------------------------------------------------------------
// Key configuration

void keyconfig_init() {}
void keyconfig_update() {}
void keyconfig_draw() {}

// ---------------------------------------------------------------------------
// Console listings and downloads

void update_load_download() {}
int listing_in_progress() { return 0; }
void close_directory_listing() {}

// ---------------------------------------------------------------------------
// Editors: there are none, so their state is only their reset words.

void reset_editor_state() {
    app.editor_word = 0;
    app.editor_flag = 1;
}

void clear_command_history() {}
