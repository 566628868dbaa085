// Keyboard, mouse, game controllers and system messages.
//
// Once per frame the main loop pumps the platform's events
// (tamu_handle_system_messages). The pump refreshes 512 key slots indexed
// by SDL scancode, with edge detection and auto-repeat, queues typed
// characters, follows the window's focus, handles the global hot keys
// (Alt+Return full screen, Ctrl+1 frame rate, Ctrl+Q and Alt+F4 quit) and
// adds up the mouse wheel. The mouse is reported in back-page pixels.
//
// The pump reads the platform through an input source: once per pump it
// takes a snapshot of the key state, the modifiers, the pointer and the
// pending events. The SDL source is the default; tests install their own
// (tamu_set_input_source) to drive the key logic without SDL.
#pragma once

#include <vector>

struct cbitmap;

// ---------------------------------------------------------------------------
// Key slots

constexpr int TAMU_KEY_SLOTS = 512;
constexpr int TAMU_KEY_QUEUE = 32;

// Slot values: 0 up, 1 down, 3 pressed this frame or auto-repeated.
extern unsigned char tamukey[TAMU_KEY_SLOTS];
// The slots as they were before the latest refresh.
extern unsigned char last_tamukey[TAMU_KEY_SLOTS];
// A blocked slot reads as up until its key is released.
extern unsigned char block_tamukey[TAMU_KEY_SLOTS];
// Typed characters, oldest first; -1 stands for a key that gave none.
extern int tamukey_buffer[TAMU_KEY_QUEUE];
extern int tamukey_buffer_pos;

// Slots the modifiers fill in besides their scancodes.
constexpr int TAMU_SLOT_LGUI = 500, TAMU_SLOT_RGUI = 501;
constexpr int TAMU_SLOT_EXTRA_A = 502, TAMU_SLOT_EXTRA_B = 503;

// Pseudo-codes of tamu_get_key_state: the first of a pair that is down.
constexpr int TAMU_KEY_EXTRA = -2;   // slots 502 / 503
constexpr int TAMU_KEY_GUI = -3;     // 500 / 501
constexpr int TAMU_KEY_ALT = -4;     // 226 / 230
constexpr int TAMU_KEY_CTRL = -5;    // 224 / 228, else GUI
constexpr int TAMU_KEY_SHIFT = -6;   // 225 / 229

// Clears the three slot tables.
int tamu_keys_init();
int tamu_keys_exit();
// For a scancode 0..511: 0 when up or blocked, 3 when pressed this frame
// (or auto-repeated), else 1. Negative pseudo-codes above; anything else 0.
int tamu_get_key_state(int code);
// The lowest slot that is not up, Caps Lock (57) aside; 0 when none.
int tamu_get_any_key_down();
// 1 when a character is queued.
int tamu_keypressed();
// Removes and returns the oldest queued character (-1: a key without one).
// While the queue is empty it runs tamu_handle_messages and waits; when
// the program is asked to quit (tamu_quit) while it waits it returns 0.
int tamu_readkey();

// Upper-case key names by scancode 0..310 ("?" for names of 20 characters
// or more). Built by tamu_build_key_names (tamu_keys_init builds them when
// the system start-up has not).
constexpr int TAMU_KEY_NAMES = 311;
extern char tamu_key_name[TAMU_KEY_NAMES][20];
void tamu_build_key_names();

// Forgets every key, character, repeat, focus and mouse-warp state (a
// fresh start for tests and restarts).
void tamu_input_reset();

// ---------------------------------------------------------------------------
// The input source

// Modifier bits of a snapshot (the values of SDL's KMOD_*).
constexpr int TAMU_MOD_LSHIFT = 0x1, TAMU_MOD_RSHIFT = 0x2;
constexpr int TAMU_MOD_LCTRL = 0x40, TAMU_MOD_RCTRL = 0x80;
constexpr int TAMU_MOD_LALT = 0x100, TAMU_MOD_RALT = 0x200;
constexpr int TAMU_MOD_LGUI = 0x400, TAMU_MOD_RGUI = 0x800;

enum tamu_event_type {
    TAMU_EVENT_KEY_DOWN = 1,   // code: the scancode
    TAMU_EVENT_TEXT,           // text: typed UTF-8 text
    TAMU_EVENT_WHEEL,          // x, y: the wheel's movement
    TAMU_EVENT_QUIT,           // the platform asks the program to end
    TAMU_EVENT_WINDOW,         // code: the window event (below)
};

// Window events, numbered as SDL numbers them.
constexpr int TAMU_WINDOW_SHOWN = 1, TAMU_WINDOW_HIDDEN = 2;
constexpr int TAMU_WINDOW_MINIMIZED = 7, TAMU_WINDOW_MAXIMIZED = 8;
constexpr int TAMU_WINDOW_FOCUS_GAINED = 12, TAMU_WINDOW_FOCUS_LOST = 13;
constexpr int TAMU_WINDOW_CLOSE = 14;

struct tamu_input_event {
    int type = 0;
    int code = 0;
    int x = 0, y = 0;
    char text[32] = {};
};

// What the platform reports for one pump. The key state is the one the
// previous pump's events left (the events of this pump come on top of
// it), as SDL's keyboard state is before its queue is read.
struct tamu_input_snapshot {
    int now = 0;                          // milliseconds
    int key_count = 0;                    // scancodes reported, at most 512
    unsigned char keys[TAMU_KEY_SLOTS] = {};   // 1 while pressed
    int modifiers = 0;                    // TAMU_MOD_* bits
    int mouse_x = 0, mouse_y = 0;         // pointer, window coordinates
    int mouse_buttons = 0;                // bit 0 left, bit 1 right, bit 2 middle
    int window_w = 0, window_h = 0;       // the window's size (0 x 0: none)
    std::vector<tamu_input_event> events; // pending, oldest first
};

class tamu_input_source {
  public:
    virtual ~tamu_input_source() = default;
    // The pump's pause before it reads the platform.
    virtual void sleep(int ms) = 0;
    // Fills the snapshot (cleared by the caller) and hides the system
    // cursor.
    virtual void take(tamu_input_snapshot &snapshot) = 0;
    // 1 when the platform's pending events hold a request to quit (the
    // quit event, a window close, Ctrl+Q, Alt+F4); the events stay queued
    // for the next pump. The default sees none.
    virtual int quit_pending() { return 0; }
};

// The SDL source (platform/sdl_input.cpp).
tamu_input_source *tamu_platform_input_source();
// Installs a source; null goes back to the platform's.
void tamu_set_input_source(tamu_input_source *source);

// Handles one snapshot as a pump does after its sleep (the refresh,
// auto-repeat, events and the -1 for keys without characters).
void tamu_process_input(const tamu_input_snapshot &snapshot);

// The millisecond clock as the latest pump read it (0 before the first).
// What happens within a frame (the GUI's click timing, the text cursor's
// blink) is timed by it, so an injected source drives that time too.
int tamu_input_time();

// The quit event, Ctrl+Q and Alt+F4 call this. The default runs tamu_exit
// and ends the process with tamu_exit_status; tests may put a function
// here that returns, after which the pump ignores the rest of its
// snapshot.
extern void (*tamu_end_process)();

// ---------------------------------------------------------------------------
// System messages

// One pump: sleeps frame_sleep_ms (at least 1), reads a snapshot from the
// source and handles it. Returns 0.
int tamu_handle_system_messages();
// For code that runs a long time between two pumps (a cart's count hook):
// 1 once the program is asked to quit, from tamu_quit or, when no pump
// has looked for 100 ms, from a look at the pending events (which then
// sets tamu_quit, so that the main loop ends and the program shuts down
// as it does on any quit).
int tamu_quit_requested();
// 1 when the window has the keyboard focus.
int tamu_is_app_active();
// When the window last became active (milliseconds).
extern int last_inactive_time;

// ---------------------------------------------------------------------------
// Mouse

// Builds the cursor bitmap and makes it current with focus (16, 16).
int tamu_mouse_init();
// The pointer in back-page pixels (outputs may be null): all 0 without a
// back page; unchanged while the window reports a zero size. Buttons: bit
// 0 left, bit 1 right, bit 2 middle; while cconfig's rmb_key is down the
// left button counts as the right one.
int tamu_get_mouse(int *x, int *y, int *buttons);
// Reports (x, y), in back-page pixels, until the real pointer has moved
// away from where it was in both coordinates.
void tamu_set_mouse(int x, int y);
// The position minus where the main loop saw it at the end of the last
// frame (tamu_last_mouse_x, tamu_last_mouse_y).
void tamu_get_mouse_deltas(int *dx, int *dy);

// ---------------------------------------------------------------------------
// Game controllers

constexpr int TAMU_MAX_JOYSTICKS = 8;
constexpr int TAMU_JOYSTICK_BUTTONS = 15;

// Adds the built-in mappings and those of "sdl_controllers.txt" in the
// application-data folder (made, holding a comment, when missing), then
// opens the first eight devices: each as a game controller where SDL has a
// mapping, and as a joystick in every case.
int tamu_joystick_init();
// Closes the devices.
int tamu_joystick_exit();
int tamu_count_joysticks();
// Buttons of device i; 0 when it is not open.
int tamu_count_joystick_buttons(int i);
// Axes 0 and 1 (the left stick of a game controller) and a mask of
// buttons 0..14; all 0 for a device that is not open. A control counts
// only once it has been seen at rest: an axis within -16383..16383, a
// button released.
int tamu_get_joystick(int i, int *x, int *y, int *buttons);
// The same for two given axes.
int tamu_get_joystick_axes(int i, int axis_x, int axis_y, int *x, int *y);

// The built-in mapping lines, in SDL's mapping-string format.
extern const char *const tamu_controller_mappings[];
extern const int tamu_controller_mapping_count;

// Validation of controls, separate from the platform for the tests: one
// record per device, a flag per axis and button.
struct tamu_pad_validation {
    unsigned char axis[32];
    unsigned char button[32];
};
// The value to report for a raw axis reading (0 until validated).
int tamu_validate_axis(tamu_pad_validation &v, int axis, int raw);
// 1 when a pressed validated button counts; a released one validates.
int tamu_validate_button(tamu_pad_validation &v, int button, int pressed);
