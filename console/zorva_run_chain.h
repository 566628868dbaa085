// The run chain: the carts to go back to. A cart that loads another with a
// breadcrumb pushes itself here, so that the pause menu of the cart it
// loaded can offer the way back under the breadcrumb's label.
#pragma once

#include <cstdint>

constexpr int RUN_CHAIN_SIZE = 2048;     // entries; at most 2047 are used
constexpr int RUN_CHAIN_FILENAME_SIZE = 256;
constexpr int RUN_CHAIN_LABEL_SIZE = 32;
constexpr int RUN_CHAIN_PARAM_SIZE = 1025;

struct run_chain_entry {
    char filename[RUN_CHAIN_FILENAME_SIZE];   // the cart to go back to
    char label[RUN_CHAIN_LABEL_SIZE];         // shown in the pause menu
    char param[RUN_CHAIN_PARAM_SIZE];         // the pending parameter when pushed
    uint32_t pending;                         // nonzero until confirmed
};

extern run_chain_entry run_chain_item[RUN_CHAIN_SIZE];
extern int run_chain_items;   // entries in use, 0-2047

// Pushes an entry (texts cut to their fields) with the pending parameter
// of pstate, unless 2047 entries are in use.
void add_run_chain_item(const char *filename, const char *label, uint32_t pending);
void reset_run_chain();
// Drops the top entry, if any.
void pop_run_chain();
// The top entry's fields; null when the chain is empty.
const char *get_run_chain_label();
const char *get_run_chain_filename();
const char *get_run_chain_param_str();
// Drops the top entry when it is pending.
void run_chain_cancel_pending();
// Clears the top entry's pending flag.
void run_chain_confirm_pending();
