// Keyboard, mouse and system messages: the portable half (the key slots,
// auto-repeat, the character queue, the hot keys, the window events and
// the mouse mapping). The platform half, which takes the snapshots, is
// platform/sdl_input.cpp; the controllers are platform/sdl_controllers.cpp.
#include "tamu.h"

#include <cstdlib>
#include <cstring>

unsigned char tamukey[TAMU_KEY_SLOTS];
unsigned char last_tamukey[TAMU_KEY_SLOTS];
unsigned char block_tamukey[TAMU_KEY_SLOTS];
int tamukey_buffer[TAMU_KEY_QUEUE];
int tamukey_buffer_pos = 0;
int last_inactive_time = 0;

namespace {

// Scancodes the pump looks at.
enum : int {
    SC_A = 4, SC_Z = 29, SC_1 = 30, SC_9 = 38, SC_0 = 39,
    SC_RETURN = 40, SC_ESCAPE = 41, SC_BACKSPACE = 42, SC_TAB = 43,
    SC_CAPSLOCK = 57, SC_F4 = 61,
    SC_RIGHT = 79, SC_LEFT = 80, SC_DOWN = 81, SC_UP = 82,
    SC_KP_ENTER = 88,
    SC_LCTRL = 224, SC_LSHIFT = 225, SC_LALT = 226,
    SC_RCTRL = 228, SC_RSHIFT = 229, SC_RALT = 230,
};

constexpr int FIRST_REPEAT_MS = 500;
constexpr int QUIT_LOOK_MS = 100;
constexpr int REPEAT_MS = 80;
constexpr int TAB_AFTER_FOCUS_MS = 9;

int repeat_time = 0;          // when the held keys repeat next
int input_time = 0;           // the clock of the latest snapshot
int quit_look_time = 0;       // when a pump or tamu_quit_requested last read the platform
bool queued_this_pump = false;
bool process_ended = false;   // a replaced tamu_end_process returned

// The pointer as the latest snapshot gave it.
int pointer_x = 0, pointer_y = 0, pointer_buttons = 0;
int window_w = 0, window_h = 0;
// tamu_set_mouse: the reported position and the real one at that moment.
bool warped = false;
int warp_x = 0, warp_y = 0;
int warp_real_x = 0, warp_real_y = 0;

tamu_input_source *source = nullptr;

void default_end_process() {
    tamu_exit();
    std::exit(tamu_exit_status);
}

int slot_state(int code) {
    if (tamukey[code] == 0 || block_tamukey[code]) return 0;
    if (tamukey[code] == 3 || last_tamukey[code] == 0) return 3;
    return 1;
}

int pair_state(int a, int b) {
    int s = slot_state(a);
    return s ? s : slot_state(b);
}

bool held(int code) { return tamu_get_key_state(code) != 0; }

void end_process() {
    tamu_end_process();
    process_ended = true;   // only reached when a test's replacement returns
}

void queue_character(int c) {
    if (tamukey_buffer_pos >= TAMU_KEY_QUEUE) return;
    tamukey_buffer[tamukey_buffer_pos++] = c;
    queued_this_pump = true;
}

// A typed or derived character: the hot keys first, else the queue. key
// is the slot of the key that gave it: Alt with either Return key blocks
// that key, so that it reads as up and its repeats neither type nor
// toggle again until it is released.
void handle_character(int c, int key = SC_RETURN) {
    if (c == 13 && held(TAMU_KEY_ALT) && !block_tamukey[key]) {
        tamu_toggle_fullscreen();
        block_tamukey[key] = 1;
        return;
    }
    if (held(TAMU_KEY_CTRL) && slot_state(SC_1) == 3) {
        cconfig.show_fps = !cconfig.show_fps;
        // The 1 key reads as up until it is released: cleared alone, the
        // next refresh would see it as a new press, and every key repeat
        // would toggle the display again.
        tamukey[SC_1] = 0;
        block_tamukey[SC_1] = 1;
        return;
    }
    if ((tamukey[SC_F4] && held(TAMU_KEY_ALT)) || (c == 'q' && held(TAMU_KEY_CTRL))) {
        end_process();
        return;
    }
    queue_character(c);
}

void key_down(int s, int now) {
    if (s < 0 || s >= TAMU_KEY_SLOTS) return;
    if (tamukey[s] == 0) tamukey[s] = 1;
    // AltGr is right Alt (with Ctrl on some systems): it is not Ctrl.
    if (tamukey[SC_RALT]) tamukey[SC_LCTRL] = tamukey[SC_RCTRL] = 0;
    bool alt = held(TAMU_KEY_ALT);
    // F4 types nothing, so Alt+F4 is caught on the key itself.
    if (s == SC_F4 && alt) {
        end_process();
        return;
    }
    int c = 0;
    switch (s) {
    case SC_RETURN:
    case SC_KP_ENTER: c = 13; break;
    case SC_BACKSPACE: c = 8; break;
    case SC_ESCAPE: c = 27; break;
    case SC_TAB:
        if (!alt && now - last_inactive_time > TAB_AFTER_FOCUS_MS) c = 9;
        break;
    case SC_RIGHT:
    case SC_LEFT:
    case SC_DOWN:
    case SC_UP: tamukey[s] = 3; break;   // a press (or a repeat) every time
    default: break;
    }
    if (held(TAMU_KEY_CTRL) && !alt && !held(TAMU_KEY_SHIFT)) {
        if (s >= SC_A && s <= SC_Z) {
            c = 'a' + (s - SC_A);
            tamukey[s] = 3;
        } else if (s >= SC_1 && s <= SC_0) {
            c = s == SC_0 ? '0' : '1' + (s - SC_1);
            tamukey[s] = 3;
        }
    }
    // A blocked key (Return after Alt+Return) types nothing while it is
    // held, repeats included.
    if (c && !block_tamukey[s]) handle_character(c, s);
}

void window_event(int code, int now) {
    switch (code) {
    case TAMU_WINDOW_HIDDEN:
    case TAMU_WINDOW_MINIMIZED:
    case TAMU_WINDOW_FOCUS_LOST: tamu_system_active = 0; break;
    case TAMU_WINDOW_SHOWN:
    case TAMU_WINDOW_MAXIMIZED:
    case TAMU_WINDOW_FOCUS_GAINED:
        tamu_system_active = 1;
        last_inactive_time = now;
        break;
    case TAMU_WINDOW_CLOSE:
        tamu_quit = 1;
        tamu_debugf("window closed (%d)\n", code);
        break;
    default: break;
    }
}

void handle_event(const tamu_input_event &e, int now) {
    switch (e.type) {
    case TAMU_EVENT_KEY_DOWN: key_down(e.code, now); break;
    case TAMU_EVENT_TEXT:
        if (e.text[0] && !e.text[1]) handle_character(static_cast<signed char>(e.text[0]));
        break;
    case TAMU_EVENT_WHEEL:
        tamu_state.wheel_x += e.x;
        tamu_state.wheel_y += e.y;
        break;
    case TAMU_EVENT_QUIT: end_process(); break;
    case TAMU_EVENT_WINDOW: window_event(e.code, now); break;
    default: break;
    }
}

}  // namespace

void (*tamu_end_process)() = default_end_process;

// ---------------------------------------------------------------------------
// Keys

int tamu_keys_init() {
    std::memset(tamukey, 0, sizeof tamukey);
    std::memset(last_tamukey, 0, sizeof last_tamukey);
    std::memset(block_tamukey, 0, sizeof block_tamukey);
    if (!tamu_key_name[4][0]) tamu_build_key_names();
    return 0;
}

int tamu_keys_exit() { return 0; }

void tamu_input_reset() {
    std::memset(tamukey, 0, sizeof tamukey);
    std::memset(last_tamukey, 0, sizeof last_tamukey);
    std::memset(block_tamukey, 0, sizeof block_tamukey);
    tamukey_buffer_pos = 0;
    repeat_time = 0;
    input_time = 0;
    last_inactive_time = 0;
    queued_this_pump = false;
    process_ended = false;
    pointer_x = pointer_y = pointer_buttons = 0;
    window_w = window_h = 0;
    warped = false;
}

int tamu_get_key_state(int code) {
    if (code >= 0 && code < TAMU_KEY_SLOTS) return slot_state(code);
    switch (code) {
    case TAMU_KEY_EXTRA: return pair_state(TAMU_SLOT_EXTRA_A, TAMU_SLOT_EXTRA_B);
    case TAMU_KEY_GUI: return pair_state(TAMU_SLOT_LGUI, TAMU_SLOT_RGUI);
    case TAMU_KEY_ALT: return pair_state(SC_LALT, SC_RALT);
    case TAMU_KEY_CTRL: {
        int s = pair_state(SC_LCTRL, SC_RCTRL);
        return s ? s : pair_state(TAMU_SLOT_LGUI, TAMU_SLOT_RGUI);
    }
    case TAMU_KEY_SHIFT: return pair_state(SC_LSHIFT, SC_RSHIFT);
    default: return 0;
    }
}

int tamu_get_any_key_down() {
    for (int i = 0; i < TAMU_KEY_SLOTS; i++)
        if (i != SC_CAPSLOCK && tamukey[i]) return i;
    return 0;
}

int tamu_keypressed() { return tamukey_buffer_pos > 0 ? 1 : 0; }

int tamu_readkey() {
    // A quit request ends the wait: nothing would type the key any more.
    while (tamukey_buffer_pos == 0) {
        if (tamu_quit) return 0;
        tamu_handle_messages();
    }
    int c = tamukey_buffer[0];
    tamukey_buffer_pos--;
    std::memmove(tamukey_buffer, tamukey_buffer + 1, sizeof(int) * size_t(tamukey_buffer_pos));
    return c;
}

// ---------------------------------------------------------------------------
// The pump

void tamu_set_input_source(tamu_input_source *s) { source = s; }

int tamu_input_time() { return input_time; }

void tamu_process_input(const tamu_input_snapshot &snap) {
    const int now = snap.now;
    input_time = now;
    process_ended = false;
    queued_this_pump = false;

    // Refresh the slots from the platform's state.
    int count = snap.key_count < TAMU_KEY_SLOTS ? snap.key_count : TAMU_KEY_SLOTS;
    for (int i = 0; i < count; i++) {
        bool pressed = snap.keys[i] != 0;
        // A press that the previous pump saw first (a marked slot holds 3),
        // or one that shows up in the state before its event: the first
        // repeat waits longer.
        if ((tamukey[i] != 0 && last_tamukey[i] == 0) || (tamukey[i] == 0 && pressed))
            repeat_time = now + FIRST_REPEAT_MS;
        last_tamukey[i] = tamukey[i];
        tamukey[i] = pressed ? 1 : 0;
    }
    const int m = snap.modifiers;
    if (m & TAMU_MOD_LCTRL) tamukey[SC_LCTRL] = 1;
    if (m & TAMU_MOD_RCTRL) tamukey[SC_RCTRL] = 1;
    if (m & TAMU_MOD_LALT) tamukey[SC_LALT] = 1;
    if (m & TAMU_MOD_RALT) tamukey[SC_RALT] = 1;
    if (m & TAMU_MOD_LGUI) tamukey[TAMU_SLOT_LGUI] = 1;
    if (m & TAMU_MOD_RGUI) tamukey[TAMU_SLOT_RGUI] = 1;

    // One repeat time serves all keys.
    if (now - repeat_time >= 0) {
        for (int i = 0; i < TAMU_KEY_SLOTS; i++)
            if (tamukey[i] == 1) tamukey[i] = 3;
        repeat_time = now + REPEAT_MS;
    }
    for (int i = 0; i < TAMU_KEY_SLOTS; i++)
        if (tamukey[i] == 0) block_tamukey[i] = 0;

    pointer_x = snap.mouse_x;
    pointer_y = snap.mouse_y;
    pointer_buttons = snap.mouse_buttons;
    window_w = snap.window_w;
    window_h = snap.window_h;

    for (const tamu_input_event &e : snap.events) {
        handle_event(e, now);
        if (process_ended) return;
    }

    if (!queued_this_pump)
        for (int i = 0; i < TAMU_KEY_SLOTS; i++)
            if (slot_state(i) == 3) {
                queue_character(-1);
                break;
            }
}

int tamu_handle_system_messages() {
    tamu_input_source *s = source ? source : tamu_platform_input_source();
    s->sleep(cconfig.frame_sleep_ms < 1 ? 1 : cconfig.frame_sleep_ms);
    tamu_input_snapshot snap;
    s->take(snap);
    quit_look_time = tamu_get_time();
    tamu_process_input(snap);
    return 0;
}

int tamu_quit_requested() {
    if (tamu_quit) return 1;
    int now = tamu_get_time();
    if (now - quit_look_time < QUIT_LOOK_MS && now - quit_look_time >= 0) return 0;
    quit_look_time = now;
    tamu_input_source *s = source ? source : tamu_platform_input_source();
    if (!s->quit_pending()) return 0;
    tamu_debug("quit requested between two frames\n");
    tamu_quit = 1;
    return 1;
}

// ---------------------------------------------------------------------------
// Mouse

int tamu_mouse_init() {
    tamu_make_cursor_bitmaps();
    return 0;
}

int tamu_get_mouse(int *x, int *y, int *buttons) {
    cbitmap *page = tamu_back_page;
    if (!page) {
        if (x) *x = 0;
        if (y) *y = 0;
        if (buttons) *buttons = 0;
        return 0;
    }
    if (window_w <= 0 || window_h <= 0) return 0;
    auto r = tamu_dest_rect_for(window_w, window_h, page->width, page->height);
    int mx = r.w ? int((long long)(pointer_x - r.x) * page->width / r.w) : 0;
    int my = r.h ? int((long long)(pointer_y - r.y) * page->height / r.h) : 0;
    if (warped) {
        if (pointer_x != warp_real_x && pointer_y != warp_real_y) {
            warped = false;
        } else {
            mx = warp_x;
            my = warp_y;
        }
    }
    int b = pointer_buttons & 7;
    if (cconfig.rmb_key && (b & 1) && tamu_get_key_state(cconfig.rmb_key)) b = (b & ~1) | 2;
    if (x) *x = mx;
    if (y) *y = my;
    if (buttons) *buttons = b;
    return 0;
}

void tamu_set_mouse(int x, int y) {
    warped = true;
    warp_x = x;
    warp_y = y;
    warp_real_x = pointer_x;
    warp_real_y = pointer_y;
}

void tamu_get_mouse_deltas(int *dx, int *dy) {
    int x = tamu_last_mouse_x, y = tamu_last_mouse_y;
    tamu_get_mouse(&x, &y, nullptr);
    if (dx) *dx = x - tamu_last_mouse_x;
    if (dy) *dy = y - tamu_last_mouse_y;
}

// ---------------------------------------------------------------------------
// Controller validation

int tamu_validate_axis(tamu_pad_validation &v, int axis, int raw) {
    if (axis < 0 || axis >= 32) return 0;
    if (raw >= -16383 && raw <= 16383) v.axis[axis] = 1;
    return v.axis[axis] ? raw : 0;
}

int tamu_validate_button(tamu_pad_validation &v, int button, int pressed) {
    if (button < 0 || button >= 32) return 0;
    if (!pressed) {
        v.button[button] = 1;
        return 0;
    }
    return v.button[button] ? 1 : 0;
}
