// The console's buttons: 8 players with 8 buttons each (0 left, 1 right,
// 2 up, 3 down, 4 O, 5 X, 6 pause: a controller's button mask 64 or, for
// player 0, the pause key; 7 none).
// Players 0 and 1 read the keyboard and a controller, players 2-7 only a
// controller. The state in pstate.button_state is sampled once per cart
// update (clear_buttons, read_buttons, update_buttons) with one repeat
// counter for all buttons.
#pragma once

#include <cstdint>

// The key configuration: 13 scancodes, player 0's buttons 0-5, player 1's
// buttons 0-5, then pause; 0 keeps the button's default keys, any other
// scancode replaces them all.
constexpr int ZORVA_BUTTON_KEYS = 13;
constexpr int ZORVA_BUTTON_KEY_PAUSE = 12;

// Where the shell keeps the settings the buttons follow; a null pointer
// reads as 0 (every key at its default, controllers from player 0, no
// glitch test). Values are read at every use, so changes count at once.
struct button_config {
    const int32_t *keys;            // ZORVA_BUTTON_KEYS scancodes
    const int32_t *joystick_index;  // the player that controller 0 serves
    const int32_t *glitch_test;     // nonzero: random buttons instead
    // One flag a scancode (TAMU_KEY_SLOTS): the key was pressed since the
    // last tick, and counts as down for that tick even when it is already
    // up again.
    const unsigned char *keys_pressed_since_tick;
};
extern button_config zorva_button_config;

// The controller reader (x, y of the left stick, a mask of buttons 0-14);
// tamu_get_joystick unless a test puts its own here.
extern int (*button_joystick_reader)(int index, int *x, int *y, int *buttons);

// Samples the keys and controllers into held: a button that is down and
// not blocked is held, and a new press restarts the repeat counter.
void read_buttons();
// Steps the repeat counter; once it runs out it starts again with the
// shorter delay.
void update_buttons();
// previous = held, held = 0.
void clear_buttons();
// Blocks every button until it is seen released, and clears held.
void block_buttons();
// The same for the buttons of players 0 and 1 that the keyboard key
// (scancode) presses, so that a key used for something else (a hot key
// with Ctrl) does not reach the cart.
void block_buttons_of_key(int scancode);

// 0-255 from player p's controller for button b (129 or more: down).
int player_button(int b, int p);
// 1 when a keyboard key of player p (0 or 1) for button b is down
// (button 6 of player 0: the pause key).
int player_key(int b, int p);
// Held, on a new press or when the repeat counter comes round; 0 for b or
// p outside 0-7.
int button_pressed(int b, int p);
// The same, only while a controller (not the keyboard) holds the button.
int button_pressed_nok(int b, int p);
// True when the scancode is one of player 0's six configured keys.
bool is_key_bound(int scancode);
// The menus' repeat timing: the first delay and the following ones.
int get_repeat_delay();
int get_repeat_delay_2();
