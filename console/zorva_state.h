// The console state record `pstate`: everything about the running console
// that the console machine and the shell share, and what the console asks
// of the shell.
#pragma once

#include <cstdint>

#include "zorva_fixed.h"

struct cbitmap;
struct cpod;
struct ctext;
struct zorva_cart;

constexpr int ZORVA_MEMORY_SIZE = 0x8000;   // console addresses 0x0000-0x7FFF
constexpr int ZORVA_PATH_SIZE = 1024;
constexpr int ZORVA_PARAMETER_SIZE = 1025;
constexpr int ZORVA_CODE_TABS = 8;
constexpr int ZORVA_CART_DATA_VALUES = 64;
constexpr int ZORVA_CARTDATA_ID_SIZE = 65;  // at most 64 characters
constexpr int ZORVA_MENU_ITEMS = 5;         // cart menu items 1-5
constexpr int ZORVA_MENU_LABEL_SIZE = 64;
constexpr int ZORVA_ASSERT_MESSAGE_SIZE = 255;
constexpr int ZORVA_PLAYERS = 8;
constexpr int ZORVA_PLAYER_BUTTONS = 8;

// MODE values.
enum { MODE_CONSOLE = 0, MODE_RUNNING = 1, MODE_BOOT = 2, MODE_SPLASH = 3 };
// OVERLAY values.
enum { OVERLAY_NONE = 0, OVERLAY_KEYCONFIG = 1, OVERLAY_BROWSER = 2 };
// REQUEST values (0: none).
enum {
    REQUEST_RUN = 1,
    REQUEST_PAUSE = 2,
    REQUEST_REBOOT = 3,
    REQUEST_RUNTIME_ERROR = 4,
    REQUEST_REBOOT_2 = 5,        // a reboot as well
    REQUEST_RESET_SCRIPT = 6,
};

// The draw-state registers. Their bytes in console memory are at
// 0x5F00-0x5F3F.
struct zorva_draw_state {
    int32_t draw_palette[16];    // bit 4: the colour is transparent
    int32_t screen_palette[16];
    int32_t clip_x0, clip_y0, clip_x1, clip_y1;   // x1 and y1 excluded
    int32_t pen_colour;
    int32_t cursor_x, cursor_y;
    int32_t camera_x, camera_y;  // signed 16-bit
    int32_t screen_mode;
    int32_t hi_colour;           // set by the shell
    int32_t fill_pattern;        // bits 0-15 the pattern, bit 16 transparency
};

struct zorva_button_state {
    int32_t held[ZORVA_PLAYERS][ZORVA_PLAYER_BUTTONS];      // down in this update
    int32_t previous[ZORVA_PLAYERS][ZORVA_PLAYER_BUTTONS];  // held of the update before
    int32_t blocked[ZORVA_PLAYERS][ZORVA_PLAYER_BUTTONS];   // ignored until released
    int32_t repeat_counter;      // one for all buttons
};

struct zorva_state {
    int32_t frame_counter;       // frames since the cart started
    // CPU units
    int32_t spend_remainder;     // charged but not yet passed on in whole 1024s
    int32_t frame_cpu;           // used in this frame
    int32_t frame_overrun;       // the count hook ran out of the frame's budget
    // The cart's main thread is to yield to the shell at its next chance:
    // the frame's budget is spent, a coroutine called flip or stop, or the
    // player is asked to quit. Cleared when the shell ends the frame.
    int32_t frame_over;
    int32_t total_cpu;           // used since the last flip
    int32_t frame_charge;        // charged through spend_cpu since the last flip
    cbitmap *screen;             // 128 x 128, 8 bits, one colour 0-15 per pixel
    cbitmap *back_page;
    int32_t hold_frame;
    int32_t frame_held;          // a frame was not shown for the hold-frame flag
    // Frames the cart did not finish within their tick (the budget ran out
    // before its flip), for its main loop to catch up on.
    int32_t frames_skipped;
    int32_t frames_skipped_last_read;
    int32_t tick_counter;        // the shell's ticks while the cart is held or a download runs
    int32_t paused;
    int32_t suspend_counter;     // 1 or more: no pausing, cart-data writes ignored
    int32_t exec_mode;
    // A cart failed since start-up: a syntax or runtime error, a limit, or
    // running out of memory (-x ends with status 1).
    int32_t run_failed;
    // Read from the data pod by the shell
    cpod *data_pod;
    zorva_cart *boot_sound_cart;
    cpod *resource_pod;
    cpod *font_pod;
    cbitmap *scratch_1x1;
    cbitmap *scratch_8x8;
    ctext *code_tabs[ZORVA_CODE_TABS];
    int32_t current_tab;
    char root_path[ZORVA_PATH_SIZE];
    char current_directory[ZORVA_PATH_SIZE];
    char cdata_path[ZORVA_PATH_SIZE];
    char working_file_name[ZORVA_PATH_SIZE];
    char working_sha1[41];
    // The cart file that reload() or cstore() with a file name last used.
    char last_partial_file[ZORVA_PATH_SIZE];
    int32_t future_version;      // the last cart read had a newer format
    char cartdata_id[ZORVA_CARTDATA_ID_SIZE];
    zorva_fixed cart_data[ZORVA_CART_DATA_VALUES];
    char cart_id[ZORVA_PATH_SIZE];
    char cart_directory[ZORVA_PATH_SIZE];
    int32_t MODE;
    int32_t REQUEST;
    int32_t view;                // 0 the console; others are editor views
    int32_t OVERLAY;             // 0 none, 1 key configuration, 2 cart browser
    int32_t running;             // a cart program (not a command) runs
    int32_t hold_counter;        // frames in which the shell does not run the cart
    zorva_draw_state draw_state;
    int32_t script_memory;       // bytes charged to the cart by its allocator
    zorva_button_state button_state;
    int32_t mainloop_kind;       // 0 none, 1 the cart's own, 2 generated
    int32_t music_channel_mask;
    int32_t mixer_registers[4];  // 0-15 each, behind 0x5F40-0x5F43
    char parameter[ZORVA_PARAMETER_SIZE];
    char pending_parameter[ZORVA_PARAMETER_SIZE];
    // Cart menu items by their number 1-5 (entry 0 is not used).
    char menu_labels[ZORVA_MENU_ITEMS + 1][ZORVA_MENU_LABEL_SIZE];
    int32_t menu_selected[ZORVA_MENU_ITEMS + 1];
    zorva_cart *live_cart;       // backs console memory 0x0000-0x42FF
    // One byte per console address: what was last written there. Backs
    // the ranges that have no structure of their own.
    uint8_t console_memory[ZORVA_MEMORY_SIZE];
    int32_t compiling;
    int32_t devkit_notice_shown;
    int32_t memory_baseline;     // charged for the program text
    int32_t fps;                 // 30 or 60
    int32_t buttons_read;
    int32_t cart_data_dirty;
    int32_t cart_data_saved_at;  // milliseconds
    int32_t soft_yield_requested;
    int32_t out_of_memory;
    char assert_message[ZORVA_ASSERT_MESSAGE_SIZE];
};

extern zorva_state pstate;

// ---------------------------------------------------------------------------
// What the console asks of the shell

// The shell installs these at start-up. Until then the defaults keep the
// console working on its own: runtime errors are recorded (below), there
// is no working cart, and the operations on cart files fail.
struct zorva_shell_hooks {
    // Reports a cart's runtime error (the shell stops the cart at its next
    // update).
    void (*runtime_error)(const char *message);
    // The working cart: the cart as loaded from its file; null for none.
    zorva_cart *(*working_cart)();
    // Writes a cart as a PNG cartridge; 0 on success.
    int (*save_png_cart)(const zorva_cart *cart, const char *path);
    // reload() from another cart file: resolves the cart's name for it and
    // copies len bytes from its address src to console memory at dest; 0
    // on success.
    int (*reload_from_file)(const char *name, int dest, int src, int len);
    // cstore(): resolves the name (null: the running cart's own cstore
    // file) and copies len bytes of console memory from src into that
    // cart at dest, then saves it; 0 on success.
    int (*cstore_to_file)(const char *name, int dest, int src, int len);

    // The hooks below may be null: the console then does what the comment
    // says after "Null:".

    // Moves the text cursor to the next console line, scrolling the screen
    // when it reaches the bottom (print calls it after text without a
    // position, console output after every line). Null: print leaves the
    // cursor where it is; console output moves it with console_cursor_cr.
    void (*cursor_cr)();
    // Sees every text printed on the console with its colour (tools and
    // tests read the console's output through it). Null: nothing.
    void (*console_printed)(const char *text, int colour);
    // The shell's wait-for-button flag (after a program stops, the shell
    // waits for the buttons to be let go). Null: nothing.
    void (*set_wait_for_button)(int on);
    // The shell's part of pausing a running program (the cart browser's
    // selection animation starts again). Null: nothing.
    void (*program_paused)();
    // The clipboard text that the shell holds. Null: none.
    const char *(*clipboard_text)();
    // Shows a notice in the message bar for ms milliseconds. Null: nothing.
    void (*show_message)(const char *text, int ms);
    // 1 when the player was started on a cart or the cart browser from the
    // command line. Null: 0.
    int (*started_from_command_line)();
    // Claims a cart-data id and reads its file: 0 when existing data was
    // read. Null: 1 (no data).
    int (*load_cdata)(const char *id);
    // Writes the cart data when claimed and dirty. Null: nothing.
    void (*save_cdata)();
    // Loads a cart file as the working cart: 0 on success. Null: 1.
    int (*load_working_cart)(const char *name);
    // Saves the working cart under a path: 0 on success. Null: 1.
    int (*save_working_cart)(const char *path);
    // The clipboard's cart text made the working cart: 0 on success.
    // Null: 1.
    int (*load_clip_cart)();
    // The working cart put on the clipboard as cart text: 0 on success.
    // Null: 1.
    int (*save_clip_cart)();
    // Clears the shell's option to open the cart browser at start.
    void (*clear_browser_at_start)();
    // Lists the current directory on the console (filter may be null).
    void (*list_files)(const char *filter);
    void (*install_demos)();
    // Installs the preloaded forum carts among the browser's favourites:
    // 0 when they are in place. Null: 1.
    int (*install_games)();
    // Opens the key configuration (overlay 1).
    void (*keyconfig)();
    // Opens the cart browser (overlay 2).
    void (*splore)();
    void (*do_export)(const char *name);
    void (*do_import)(const char *path);
    // The size of the code once compressed for a PNG cart. Null: 0.
    int (*compressed_size)(const char *code);
};
extern zorva_shell_hooks zorva_shell;
// Puts back the defaults.
void zorva_reset_shell_hooks();

// Reports a runtime error of the cart through the shell's hook; without
// one the message is kept below.
void console_runtime_error(const char *message);
// The last message reported without a shell hook, and how many were.
extern char console_error_message[512];
extern int console_error_count;
