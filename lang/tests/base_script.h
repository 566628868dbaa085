// Running script source against the auxiliary, base and coroutine
// libraries: a fresh state with either the whole base and coroutine
// libraries (as a host would open them) or only the functions that carts
// see, plus out(...) (ltestlib.h) collecting what the script prints.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lauxlib.h"
#include "lsource_load.h"
#include "lua_test_util.h"
#include "lualib.h"
#include "ltestlib.h"

struct BaseState : TestState {
    std::string out;

    // full: the whole base and coroutine libraries (with _LOADED);
    // otherwise only the cart-visible functions, and no _LOADED table.
    explicit BaseState(bool full = true) {
        if (full) {
            luaL_requiref(L, "_G", luaopen_base, 1);
            luaL_requiref(L, LUA_COLIBNAME, luaopen_coroutine, 1);
            lua_settop(L, 0);
        }
        zorva_open_cart_base(L);
        lua_pushlightuserdata(L, &out);
        lua_pushcclosure(L, zorva_testlib::z_out, 1);
        lua_setglobal(L, "out");
        lua_register(L, "yield", zorva_testlib::z_yield); // the console's own binding
    }

    // Compiles and runs source as the main chunk (a coroutine, resumed
    // until it ends); returns what out() printed, then "error: " and the
    // message when it failed.
    std::string run(const std::string &source, const char *name = "=chunk") {
        out.clear();
        lua_settop(L, 0);
        int status = zorva_load_source(L, source.data(), source.size(), name);
        if (status == LUA_OK) {
            while ((status = lua_resume(L, nullptr, 0)) == LUA_YIELD) lua_settop(L, 0);
        }
        std::string r = out;
        if (status != LUA_OK) {
            const char *m = lua_tostring(L, -1);
            r += std::string("error: ") + (m ? m : "(not a string)");
            lua_reset_call_state_zorva(L);
        }
        lua_settop(L, 0);
        return r;
    }
};

// A script and what it prints.
struct ScriptCase {
    const char *source;
    const char *expected;
};

// Runs every case on its own fresh state.
inline void run_cases(const std::vector<ScriptCase> &cases, bool full = true) {
    for (const ScriptCase &c : cases) {
        BaseState s(full);
        EXPECT_EQ(s.run(c.source), c.expected) << c.source;
    }
}
