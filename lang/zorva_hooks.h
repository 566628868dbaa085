// The points at which the script engine calls back into the console. The
// console installs its own functions at start-up; until then the defaults
// do nothing harmful, so the engine runs and is tested on its own.
#pragma once

#include <cstddef>

// Charges console CPU for work whose cost depends on the operands (power,
// square root). Default: charges nothing.
extern void (*zorva_hook_spend_cpu)(int units);

// Receives the message text of a failing assert. Default: ignores it.
extern void (*zorva_hook_assert_message)(const char *text);

// Maps a 0-based line of the merged cart source to a line within its code
// tab (stored in *tab_out when not null); -1 past the last tab. Default:
// the line itself, tab 0.
extern int (*zorva_hook_find_tab_line)(int line, int *tab_out);

// The allocator that states made without one of their own use; the old
// size carries the object type for new blocks (ptr null). Default: the
// system allocator.
extern void *(*zorva_hook_alloc)(void *ud, void *ptr, size_t old_size, size_t new_size);

// A line of the merged cart source as a line of its code tab, through
// zorva_hook_find_tab_line, as a 16.16 number when below 65536 (the
// line itself otherwise).
int get_zorva_line(int line);

// Restores every hook to its default.
void zorva_reset_hooks();
