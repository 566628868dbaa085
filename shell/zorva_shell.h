// The shell's run of the console: requests, frame pacing, the boot
// sequence, the reset glitch, hot keys and drawing each frame.
#pragma once

#include "tamu_input.h"

#include <cstdint>

struct cbitmap;

constexpr int ZORVA_ERROR_STRING_SIZE = 512;
extern char zorva_error_string[ZORVA_ERROR_STRING_SIZE];

// One console tick in 16.16.
constexpr int32_t TICK = 0x10000;
// Ticks banked at most.
constexpr int32_t FRAME_PILE_LIMIT = 0x40000;

// The update's private words: 16.16 ticks banked, the time of the last
// update and the frame flipper (every other tick at 60 fps).
extern int32_t frame_pile;
extern int32_t last_t;
extern int32_t frame_flipper;
// When Ctrl+R last restarted the cart (ms).
extern int32_t last_quick_load;
// One flag a key slot: pressed on a pass of the update since the last
// tick (the buttons and the pause key read them; each tick clears them).
extern unsigned char keys_pressed_since_tick[];
void clear_key_presses();
// Throws away the characters typed so far (keys that were meant for
// what came before).
inline void drain_key_queue() {
    while (tamu_keypressed()) tamu_readkey();
}
// 1 when the console has a cart that Ctrl+R runs again (one with a file).
int console_can_run_again();

// Reports a cart's runtime error: the cart stops at the next update
// (dropped while the reset glitch runs).
void zorva_runtime_error(const char *message);
// Carries out the pending request and clears it.
void process_command();
// Banks the time since the last update as ticks; returns 1 when a tick
// is due.
int bank_frame_time(int now);

// The boot sequence.
void boot_init();
void move_boot();
void move_splash();
void reboot_machine();
void update_reset_glitch();

void toggle_mute();
void process_running_keypresses();
void process_hot_keys();
void determine_audio_pause_state();
void open_pause_menu();

// Frame drawing.
void blit_zorva_back_page_to_zorva_screen();
void apply_draw_mode(cbitmap *bitmap, int mode);
void apply_screen_mode(cbitmap *bitmap);
void draw_command_string(int draw_cursor, int draw_prompt);
void scroll_immediate_mode_screen();
// The console's line feed (the shell's cursor_cr hook).
void shell_cursor_cr();
// Clears the console screen and puts the text cursor at the top.
void clear_console_screen();

// Makes the eight code tabs anew (limit bytes each); tab 0 is current.
void create_code_tabs(int limit);
