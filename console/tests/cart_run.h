// Running carts in the console's tests: the console state of
// console_state.h with eight code tabs, the console's output collected
// line by line, runtime errors turned into the shell's stop request, and
// the shell's part of a frame (requests, buttons, the cart's slice).
#pragma once

#include "console_state.h"
#include "tamu_pod.h"
#include "lua.h"
#include "zorva_buttons.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_run_chain.h"
#include "zorva_sound_hooks.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

struct printed_line {
    std::string text;
    int colour;
    bool operator==(const printed_line &o) const { return text == o.text && colour == o.colour; }
};

inline std::ostream &operator<<(std::ostream &os, const printed_line &l) {
    return os << "[" << l.colour << "] " << l.text;
}

struct cart_run {
    static inline std::vector<printed_line> output;
    static inline std::string error_text;

    console_state console;

    // The console's system font, loaded once.
    static cpod *font() {
        static cpod *pod = tamu_load_pod(ZORVA_SOURCE_DIR "/assets/font/system_font.pod");
        return pod;
    }

    static void printed(const char *text, int colour) { output.push_back({text, colour}); }
    static void runtime_error(const char *message) {
        if (pstate.suspend_counter >= 1) return;
        pstate.REQUEST = REQUEST_RUNTIME_ERROR;
        error_text = message ? message : "";
    }

    cart_run() {
        static bool fonts = (tamu_text_init(), true);
        (void)fonts;
        output.clear();
        error_text.clear();
        zorva_shell.console_printed = printed;
        zorva_shell.runtime_error = runtime_error;
        zorva_shell.cursor_cr = console_cursor_cr;
        pstate.font_pod = font();
        zorva_reset_sound_hooks();
        for (int t = 0; t < ZORVA_CODE_TABS; t++) pstate.code_tabs[t] = tamu_create_ctext(nullptr, ZORVA_CODE_LIMIT);
        reset_runtime_state();
        reset_run_chain();
        tamu_quit = 0;
    }
    ~cart_run() {
        if (L0) {
            lua_State *L = L0;
            L0 = nullptr;
            lua_close(L);
        }
        for (int t = 0; t < ZORVA_CODE_TABS; t++) tamu_destroy_ctext(pstate.code_tabs[t]);
        for (int t = 0; t < ZORVA_CODE_TABS; t++) pstate.code_tabs[t] = nullptr;
        zorva_reset_sound_hooks();
        tamu_quit = 0;
    }

    // The working cart's code, split into the tabs as the shell does after
    // loading a cart.
    void set_code(const std::string &code) {
        std::snprintf(console.rom()->code, ZORVA_CODE_BUFFER_SIZE, "%s", code.c_str());
        split_code_to_tabs();
    }
    // What the shell does with a pending request.
    void carry_out_request() {
        int request = pstate.REQUEST;
        switch (request) {
        case REQUEST_RUN: run_cart(); break;
        case REQUEST_PAUSE: pause_program(); break;
        case REQUEST_RUNTIME_ERROR:
            pause_program();
            reset_lua_machine();
            zorva_print("");
            zorva_print(error_text.c_str());
            break;
        case REQUEST_RESET_SCRIPT: reset_lua_machine(); break;
        default: break;
        }
        pstate.REQUEST = 0;
    }
    // Starts the working cart as the shell's run request does.
    void start(const std::string &code) {
        set_code(code);
        pstate.REQUEST = REQUEST_RUN;
        carry_out_request();
    }
    // One shell update while a cart may run.
    void frame() {
        if (pstate.REQUEST) carry_out_request();
        if (pstate.MODE == MODE_RUNNING) {
            if (pstate.hold_counter > 0) {
                pstate.hold_counter--;
            } else {
                if (pstate.mainloop_kind < 2) {
                    clear_buttons();
                    read_buttons();
                    update_buttons();
                }
                run_slice();
            }
        }
        pstate.frame_counter++;
    }
    void frames(int n) {
        for (int i = 0; i < n; i++) frame();
    }

    // A global of the cart as a number (raw 16.16), a string, or its type.
    static zorva_fixed number(const char *name) {
        lua_getglobal(L0, name);
        zorva_fixed v = lua_tonumberx(L0, -1, nullptr);
        lua_pop(L0, 1);
        return v;
    }
    static int whole(const char *name) { return number(name) >> 16; }
    static std::string string(const char *name) {
        lua_getglobal(L0, name);
        const char *s = lua_tostring(L0, -1);
        std::string text = s ? s : "(nil)";
        lua_pop(L0, 1);
        return text;
    }
    static bool truthy(const char *name) {
        lua_getglobal(L0, name);
        bool b = lua_toboolean(L0, -1);
        lua_pop(L0, 1);
        return b;
    }

    static std::vector<std::string> texts() {
        std::vector<std::string> t;
        for (const printed_line &l : output) t.push_back(l.text);
        return t;
    }
};
