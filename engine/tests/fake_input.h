// An input source for the tests: a clock that the pump's sleep advances,
// a keyboard whose state follows its events by one pump (as SDL's does:
// the state a pump reads is the one the previous pump's events left), and
// a pointer.
#pragma once

#include "tamu.h"

#include <cstring>
#include <vector>

class fake_input final : public tamu_input_source {
  public:
    int clock = 100000;
    int mouse_x = 0, mouse_y = 0, mouse_buttons = 0;
    int window_w = 0, window_h = 0;
    int takes = 0;
    // Runs at each take, before the snapshot is made (to script a wait).
    void (*on_take)(fake_input &) = nullptr;

    fake_input() { tamu_set_input_source(this); }
    ~fake_input() override { tamu_set_input_source(nullptr); }

    void sleep(int ms) override { clock += ms; }

    void take(tamu_input_snapshot &s) override {
        takes++;
        if (on_take) on_take(*this);
        s.now = clock;
        s.key_count = TAMU_KEY_SLOTS;
        std::memcpy(s.keys, keys_, sizeof keys_);
        s.modifiers = mods_;
        s.mouse_x = mouse_x;
        s.mouse_y = mouse_y;
        s.mouse_buttons = mouse_buttons;
        s.window_w = window_w;
        s.window_h = window_h;
        s.events = std::move(events_);
        events_.clear();
        std::memcpy(keys_, next_keys_, sizeof keys_);
        mods_ = next_mods_;
    }

    // A key goes down: its event comes with the next pump, its state (and
    // modifier bit) with the one after.
    void press(int scancode) {
        tamu_input_event e;
        e.type = TAMU_EVENT_KEY_DOWN;
        e.code = scancode;
        events_.push_back(e);
        next_keys_[scancode] = 1;
        next_mods_ |= modifier_of(scancode);
    }
    void release(int scancode) {
        next_keys_[scancode] = 0;
        next_mods_ &= ~modifier_of(scancode);
    }
    // The key state alone, without an event (a press SDL reports only in
    // its state).
    void set_state(int scancode, bool down) { keys_[scancode] = next_keys_[scancode] = down; }
    void text(const char *t) {
        tamu_input_event e;
        e.type = TAMU_EVENT_TEXT;
        std::snprintf(e.text, sizeof e.text, "%s", t);
        events_.push_back(e);
    }
    void event(int type, int code = 0, int x = 0, int y = 0) {
        tamu_input_event e;
        e.type = type;
        e.code = code;
        e.x = x;
        e.y = y;
        events_.push_back(e);
    }
    // One pump.
    void pump() { tamu_handle_system_messages(); }

    static int modifier_of(int scancode) {
        switch (scancode) {
        case 224: return TAMU_MOD_LCTRL;
        case 225: return TAMU_MOD_LSHIFT;
        case 226: return TAMU_MOD_LALT;
        case 227: return TAMU_MOD_LGUI;
        case 228: return TAMU_MOD_RCTRL;
        case 229: return TAMU_MOD_RSHIFT;
        case 230: return TAMU_MOD_RALT;
        case 231: return TAMU_MOD_RGUI;
        default: return 0;
        }
    }

  private:
    unsigned char keys_[TAMU_KEY_SLOTS] = {};
    unsigned char next_keys_[TAMU_KEY_SLOTS] = {};
    int mods_ = 0, next_mods_ = 0;
    std::vector<tamu_input_event> events_;
};

// Scancodes the tests use.
enum : int {
    K_A = 4, K_Q = 20, K_1 = 30, K_2 = 31, K_0 = 39, K_RETURN = 40, K_ESCAPE = 41, K_BACKSPACE = 42,
    K_TAB = 43, K_CAPSLOCK = 57, K_F4 = 61, K_RIGHT = 79, K_LEFT = 80, K_DOWN = 81, K_UP = 82,
    K_KP_ENTER = 88, K_LCTRL = 224, K_LSHIFT = 225, K_LALT = 226, K_LGUI = 227, K_RCTRL = 228,
    K_RSHIFT = 229, K_RALT = 230,
};

// Resets the input state, the configuration words the pump reads and the
// process-end seam, for a test of its own.
inline void reset_input_for_test() {
    tamu_input_reset();
    tamu_quit = 0;
    tamu_system_active = 1;
    cconfig.frame_sleep_ms = 10;
    cconfig.show_fps = 0;
    cconfig.rmb_key = 0;
    cconfig.headless = 1;   // the full-screen toggle does nothing without a window
    tamu_state.wheel_x = tamu_state.wheel_y = 0;
}

// The queued characters, drained.
inline std::vector<int> drain_queue() {
    std::vector<int> out;
    while (tamu_keypressed()) out.push_back(tamu_readkey());
    return out;
}
