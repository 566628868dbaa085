// The key configuration: a full-screen overlay (OVERLAY 1) in which the
// user presses, one after another, the keyboard key for each of the 13
// button keys of app (player 0's six buttons, player 1's six, pause).
// The keys take effect at once and are written to "config.txt" at exit.
#pragma once

#include <cstdint>

constexpr int KEYCONFIG_DONE = 13;   // key_index once every key is chosen

struct keyconfig_record {
    int32_t key_index;   // the button being asked for; KEYCONFIG_DONE at the end
    int32_t ready;       // 1 once no key is held (so a key counts only once)
};
extern keyconfig_record keyconfig_state;

// The names of the 13 buttons (11 characters, padded with spaces) and of
// the keys they have while their entry is 0.
extern const char *const button_name[13];
extern const char *const default_key_name[13];

// Opens the overlay (the console's keyconfig()): keyconfig_init, OVERLAY 1,
// and the buttons blocked until released.
void open_keyconfig();
// Starts asking from the first button and keeps a copy of the keys to go
// back to.
void keyconfig_init();
// Each tick while the overlay is shown: the queued keys (keyconfig_keypress)
// and the next held key.
void keyconfig_update();
// One key from the key queue: Esc before the end puts the old keys back
// and closes the overlay; after the end any key closes it.
void keyconfig_keypress(int key);
// Draws the overlay on the console screen.
void keyconfig_draw();
