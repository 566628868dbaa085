#include "zorva_hooks.h"

#include <cstdint>
#include <cstdlib>

static void default_spend_cpu(int) {}
static void default_assert_message(const char *) {}
static int default_find_tab_line(int line, int *tab_out) {
    if (tab_out) *tab_out = 0;
    return line;
}
static void *default_alloc(void *, void *ptr, size_t, size_t new_size) {
    if (new_size == 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, new_size);
}

void (*zorva_hook_spend_cpu)(int units) = default_spend_cpu;
void (*zorva_hook_assert_message)(const char *text) = default_assert_message;
int (*zorva_hook_find_tab_line)(int line, int *tab_out) = default_find_tab_line;
void *(*zorva_hook_alloc)(void *ud, void *ptr, size_t old_size, size_t new_size) = default_alloc;

void zorva_reset_hooks() {
    zorva_hook_spend_cpu = default_spend_cpu;
    zorva_hook_assert_message = default_assert_message;
    zorva_hook_find_tab_line = default_find_tab_line;
    zorva_hook_alloc = default_alloc;
}

int get_zorva_line(int line) {
    int tab_line = zorva_hook_find_tab_line(line, nullptr);
    // Shifted as a 16.16 number; the shift is done unsigned so that lines
    // from 32768 up wrap into the sign bit instead of overflowing.
    return tab_line < 65536 ? int(uint32_t(tab_line) << 16) : tab_line;
}
