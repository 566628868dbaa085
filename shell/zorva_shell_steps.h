// Steps of the shell whose own code comes later: the pause menu and the
// message bar, cart storage, cart data, capture, the key configuration,
// and console listings and downloads. Each has the name it keeps and does
// the least the rest of the shell needs meanwhile (most do nothing).
#pragma once

#include "zorva_splore.h"

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

// The cart browser: zorva_splore.h.

// Editors (inert in this build).
void reset_editor_state();
void clear_command_history();
