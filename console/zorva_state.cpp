// The console state record and the console's way to the shell.
#include "zorva_state.h"

#include <cstdio>

zorva_state pstate;

char console_error_message[512];
int console_error_count = 0;

static void record_runtime_error(const char *message) {
    std::snprintf(console_error_message, sizeof console_error_message, "%s", message ? message : "");
    console_error_count++;
}

static zorva_cart *no_working_cart() { return nullptr; }

static zorva_shell_hooks default_shell_hooks() {
    zorva_shell_hooks hooks{};
    hooks.runtime_error = record_runtime_error;
    hooks.working_cart = no_working_cart;
    return hooks;
}

zorva_shell_hooks zorva_shell = default_shell_hooks();

void zorva_reset_shell_hooks() { zorva_shell = default_shell_hooks(); }

void console_runtime_error(const char *message) {
    if (zorva_shell.runtime_error)
        zorva_shell.runtime_error(message);
    else
        record_runtime_error(message);
}
