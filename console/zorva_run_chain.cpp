// The run chain.
#include "zorva_run_chain.h"

#include "zorva_state.h"

#include <cstdio>

run_chain_entry run_chain_item[RUN_CHAIN_SIZE];
int run_chain_items = 0;

namespace {

run_chain_entry *top() { return run_chain_items > 0 ? &run_chain_item[run_chain_items - 1] : nullptr; }

void copy_cut(char *out, int size, const char *text) { std::snprintf(out, size_t(size), "%s", text ? text : ""); }

}  // namespace

void add_run_chain_item(const char *filename, const char *label, uint32_t pending) {
    if (run_chain_items >= RUN_CHAIN_SIZE - 1) return;
    run_chain_entry &e = run_chain_item[run_chain_items++];
    copy_cut(e.filename, sizeof e.filename, filename);
    copy_cut(e.label, sizeof e.label, label);
    copy_cut(e.param, sizeof e.param, pstate.pending_parameter);
    e.pending = pending;
}

void reset_run_chain() { run_chain_items = 0; }

void pop_run_chain() {
    if (run_chain_items > 0) run_chain_items--;
}

const char *get_run_chain_label() { return top() ? top()->label : nullptr; }
const char *get_run_chain_filename() { return top() ? top()->filename : nullptr; }
const char *get_run_chain_param_str() { return top() ? top()->param : nullptr; }

void run_chain_cancel_pending() {
    if (top() && top()->pending) pop_run_chain();
}

void run_chain_confirm_pending() {
    if (top()) top()->pending = 0;
}
