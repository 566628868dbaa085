// Checks of the host interface.
#pragma once

#include "lstate.h"

#define api_incr_top(L) \
    do {                \
        L->top++;       \
        api_check(L, L->top <= L->ci->top, "stack overflow"); \
    } while (0)
#define adjustresults(L, nres) \
    {                          \
        if ((nres) == LUA_MULTRET && L->ci->top < L->top) L->ci->top = L->top; \
    }
#define api_checknelems(L, n) api_check(L, (n) < (L->top - L->ci->func), "not enough elements in the stack")

// Misuse of the host interface is a host bug; checked in debug builds.
#ifdef ZORVA_API_CHECK
#include <cassert>
#define api_check(l, e, msg) assert((e) && msg)
#else
#define api_check(l, e, msg) ((void)(l), (void)0)
#endif
