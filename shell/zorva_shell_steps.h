// Steps of the shell whose own code comes later: the pause menu and the
// message bar, cart storage, cart data, capture, the key configuration,
// console listings and downloads, and the cart browser. Each has the name
// it keeps and does the least the rest of the shell needs meanwhile (most
// do nothing).
#pragma once

// Cart storage and cart data have their own files.
#include "zorva_cart_data.h"
#include "zorva_cart_storage.h"

struct cbitmap;
struct zorva_cart;

// Pause menu and message bar.
void build_paused_menu();
void process_paused_keypresses();
void draw_paused_menu(cbitmap *target);
// Shows a notice in the message bar for ms milliseconds; each new notice
// flips the colour between 15 and 7.
void show_message(const char *text, int ms);
void draw_message_bar(cbitmap *target);

// Capture. The savers return 0 when the file was written.
int save_screenshot();
void capture_label();
void restart_video_recording();
int save_video();
void record_video_frame();

// Key configuration.
void keyconfig_init();
void keyconfig_update();
void keyconfig_draw();

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

// Editors (inert in this build).
void reset_editor_state();
void clear_command_history();
