// The player started in the test program: the shell's start-up with a
// command line, passes of the main loop on a clock the test drives, keys
// from an injected input source, and what the console printed.
#pragma once

#include "fake_input.h"
#include "tamu.h"
#include "test_util.h"
#include "zorva_app.h"
#include "zorva_cart.h"
#include "zorva_shell.h"
#include "zorva_shell_steps.h"
#include "zorva_state.h"
#include "cart_text.h"
#include "lua.h"
#include "zorva_cpu.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

inline int test_now = 0;
inline int test_clock() { return test_now; }

// Every line the console printed, with its colour.
inline std::vector<std::pair<std::string, int>> printed;
inline void record_printed(const char *text, int colour) { printed.emplace_back(text, colour); }

inline bool printed_line(const std::string &text) {
    for (auto &[line, colour] : printed)
        if (line == text) return true;
    return false;
}

// A text cart of the given code, or null when it does not read.
inline zorva_cart *cart_from_code(const std::string &code) {
    std::string text = "zorva cartridge\nversion 11\n__lua__\n" + code + "\n";
    cfile *file = tamu_fopen_memory(text.data(), int(text.size()));
    zorva_cart *cart = tamu_load_zorva_cart_from_file(file);
    tamu_fclose(file);
    return cart;
}

// Milliseconds of one pass: a little over one tick at 30 fps.
constexpr int PASS_MS = 34;

class shell_session {
  public:
    fake_input in;

    // Each session starts from the defaults unless keep_config is set: the
    // last session's "config.txt" is removed first.
    explicit shell_session(std::vector<std::string> args = {}, bool keep_config = false) {
        if (!keep_config) std::remove((test_home() + "/.ostrel/zorva/config.txt").c_str());
        kept_ = {"zorva"};
        for (auto &a : args) kept_.push_back(a);
        for (auto &a : kept_) argv_.push_back(a.data());
        argv_.push_back(nullptr);
        printed.clear();
        test_now = 100000;
        zorva_clock = test_clock;
        tamu_quit = 0;
        tamu_argc = int(kept_.size());
        tamu_argv = argv_.data();
        tamu_main_init(tamu_argc, tamu_argv);
        zorva_shell.console_printed = record_printed;
    }
    ~shell_session() {
        tamu_exit();
        zorva_clock = tamu_get_time;
        tamu_quit = 0;
        tamu_argc = 0;
        tamu_argv = nullptr;
    }
    shell_session(const shell_session &) = delete;
    shell_session &operator=(const shell_session &) = delete;

    // One pass of the main loop, ms after the last: the message pump (the
    // keys pressed since), the update and the draw.
    void pass(int ms = PASS_MS) {
        in.pump();
        test_now += ms;
        tamu_main_update();
        tamu_main_draw();
    }
    void passes(int n, int ms = PASS_MS) {
        for (int i = 0; i < n; i++) pass(ms);
    }
    // Presses a key (with the given keys held down before it), runs one
    // pass and lets them all go again.
    void press(int key, std::vector<int> held = {}) {
        for (int k : held) in.press(k);
        in.pump();
        in.press(key);
        pass();
        in.release(key);
        for (int k : held) in.release(k);
        in.pump();
        in.pump();
    }

    // Leaves the boot sequence for the console.
    void to_console() {
        pstate.MODE = MODE_CONSOLE;
        pstate.REQUEST = 0;
    }
    // Makes the code the working cart and runs it (one pass).
    void run_code(const std::string &code, const char *name = "test.zv") {
        to_console();
        prepare_loaded_cart(cart_from_code(code), name);
        pstate.REQUEST = REQUEST_RUN;
        pass();
    }

  private:
    std::vector<std::string> kept_;
    std::vector<char *> argv_;
};

// The running cart's global as a number, or -1 when it holds none.
inline double cart_number(const char *global) {
    lua_getglobal(L0, global);
    double v = lua_isnumber(L0, -1) ? lua_tonumber(L0, -1) / 65536.0 : -1;
    lua_pop(L0, 1);
    return v;
}

inline std::string appdata_path(const std::string &name) { return test_home() + "/.ostrel/zorva/" + name; }
