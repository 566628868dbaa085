// The application: its state record `app`, start-up and shut-down, the
// command line and the application's keys of "config.txt".
#pragma once

#include <cstdint>

struct cbitmap;
struct cfile;
struct cthread;
struct zorva_cart;

constexpr const char *ZORVA_VERSION = "0.1.11b";
constexpr int APP_BUTTON_KEYS = 13;
constexpr int APP_TEXT_SIZE = 1024;
constexpr int APP_MESSAGE_SIZE = 256;
constexpr int APP_TOUCHED_CSTORE_SIZE = 262144;

// Download slot states.
enum { DOWNLOAD_IDLE = 0, DOWNLOAD_RUNNING = 1, DOWNLOAD_DONE = 2, DOWNLOAD_FAILED = 3 };

// The one download slot. Only the main thread writes it: a download's
// worker reports through a record of its own, which the main thread takes
// into `state` (collect_download_result, zorva_splore.h).
struct download_slot_record {
    cthread *thread;
    volatile int32_t state;
    int32_t start_time;              // ms
    char url[APP_TEXT_SIZE];
    char temp_path[APP_TEXT_SIZE];
    char final_path[APP_TEXT_SIZE];  // empty: none
};

struct app_record {
    int32_t autoload_ok;             // the cart named on the command line was loaded
    int32_t run;                     // -run (also set by -x)
    int32_t splore;                  // -splore: the cart browser at boot
    int32_t joystick_index;          // player at which controllers begin (0..7)
    int32_t editor_word;
    int32_t png_load_error;          // 0 ok, 1 not a PNG, 2 no file or wrong size, 3 future version
    int32_t button_keys[APP_BUTTON_KEYS];       // scancodes; 0 = the default key
    int32_t keyconfig_backup[APP_BUTTON_KEYS];
    int32_t live_notes;
    int32_t screenshot_scale;        // 1..32
    int32_t gif_scale;
    int32_t keyboard_cursor;         // 1: the keyboard moves the mouse cursor
    int32_t cursor_snap;
    int32_t gif_length;              // seconds, 1..120
    int32_t gui_theme;
    int32_t gpio_base;
    int32_t shift_glyphs;
    download_slot_record download_slot;
    int32_t browser_waits_for_button;   // 1 a program stopped, 2 sent to the browser
    int32_t pause_menu_open;
    int32_t pause_menu_count;
    int32_t pause_menu_selected;
    char *clipboard_text;            // owned (tamu_malloc), or null
    char download_title[APP_TEXT_SIZE];
    char touched_cstore[APP_TOUCHED_CSTORE_SIZE + 1];
    cbitmap *splash;                 // owned, or null
    char listing_filter[APP_TEXT_SIZE];
    int32_t glitch_test;             // -glitch_test; counts up while it runs
    int32_t glitch_shots;
    int32_t editor_flag;
    char message_text[APP_MESSAGE_SIZE];
    int32_t message_start, message_end;   // ms
    int32_t message_colour;          // 15 or 7
    cbitmap *capture;                // 128 x 128, 8 bits: each recorded frame
};
extern app_record app;

// The cart file named on the command line (owned), or null.
extern char *auto_load_fn;

// The cart table: only the last slot is used, for the working cart.
constexpr int PITEM_SLOTS = 33;
extern zorva_cart *pitem[PITEM_SLOTS];
extern int pitems;
zorva_cart *working_cart();
// Replaces the working cart (the old one is destroyed).
void set_working_cart(zorva_cart *cart);

// The non-zero defaults of app.
void set_default_app_config();
// The application's options of the command line.
void process_arguments(int argc, char **argv);
// 1 when the command line asks for the usage text (-h, --help).
int wants_usage(int argc, char **argv);
// Writes the usage text to standard output.
void print_usage();
// The configuration hooks: one line of "config.txt" that the library does
// not take itself, and the application's block at the end of the file.
void zorva_load_config(const char *line);
void zorva_save_config(cfile *file);

// The shell's clock in ms (tamu_get_time; tests drive their own).
extern int (*zorva_clock)();

// Puts the shell's functions into the console's hooks.
void install_shell_hooks();
// Frees everything the shell made (after shut-down, and before a test
// starts the shell again).
void release_shell();
