// A console state for the console's tests: pstate cleared, a live cart
// and a screen behind console memory, a working cart handed out through
// the shell hook, runtime errors recorded.
#pragma once

#include "tamu.h"
#include "zorva_cart.h"
#include "zorva_cpu.h"
#include "zorva_state.h"

#include <cstring>

struct console_state {
    static inline zorva_cart *working = nullptr;
    static zorva_cart *working_cart() { return working; }

    console_state() {
        std::memset(&pstate, 0, sizeof pstate);
        zorva_reset_shell_hooks();
        zorva_shell.working_cart = working_cart;
        console_error_message[0] = 0;
        console_error_count = 0;
        L0 = nullptr;
        pstate.fps = 30;
        pstate.screen = tamu_create_bitmap(128, 128, 8);
        pstate.live_cart = tamu_create_zorva_cart();
        working = tamu_create_zorva_cart();
    }
    ~console_state() {
        tamu_destroy_zorva_cart(pstate.live_cart);
        tamu_destroy_zorva_cart(working);
        working = nullptr;
        tamu_destroy_bitmap(pstate.screen);
        zorva_reset_shell_hooks();
        std::memset(&pstate, 0, sizeof pstate);
    }
    zorva_cart *live() const { return pstate.live_cart; }
    zorva_cart *rom() const { return working; }
};
