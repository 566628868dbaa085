// CPU charging.
#include "zorva_cpu.h"

#include "lua.h"
#include "zorva_state.h"

#include <cstdint>

lua_State *L0 = nullptr;

// The counters stop at their limits rather than wrap: a cart that never
// calls flip keeps adding to its total.
static int32_t add_held(int32_t a, int32_t b) {
    int64_t sum = int64_t(a) + b;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return int32_t(sum);
}

static int charge(int c) {
    if (!L0) return c;
    if (c > 0) pstate.frame_charge = add_held(pstate.frame_charge, c);
    pstate.total_cpu = add_held(pstate.total_cpu, c);
    pstate.frame_cpu = add_held(pstate.frame_cpu, c);
    pstate.spend_remainder = add_held(pstate.spend_remainder, c);
    if (pstate.spend_remainder >= 1024) {
        int k = pstate.spend_remainder / 1024;
        pstate.spend_remainder -= k * 1024;
        return lua_spend_cpu(L0, k);
    }
    return c;
}

int spend_cpu(int n) { return charge(n < 1 ? 1 : n); }

int refund_cpu(int n) { return charge(n); }

int spend_cpu_0(int n, int ignore_negative) {
    if (ignore_negative && n < 0) return 0;
    return charge(n);
}
