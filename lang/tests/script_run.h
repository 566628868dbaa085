// Running script source in tests: a fresh state with the test functions
// (out, yield and the cart functions), the chunk run as a coroutine the way
// the console runs carts, and its output and error collected.
#pragma once

#include <string>

#include "lsource_load.h"
#include "ltestlib.h"
#include "lua_test_util.h"

struct ScriptResult {
    int status = LUA_OK; // LUA_OK, or the compile or runtime error status
    std::string out;     // what out() printed
    std::string error;   // the error message
    int yields = 0;      // times the chunk yielded to the host
};

// A state that runs chunks; hook, when given, is installed as a count hook
// every count instructions.
struct ScriptState : TestState {
    std::string out;
    explicit ScriptState() { zorva_testlib::open_cart_functions(L, &out); }

    // Loads and runs source on the main thread, resuming after each yield.
    ScriptResult run(const std::string &source, const char *name = "=script") {
        ScriptResult r;
        out.clear();
        lua_settop(L, 0);
        r.status = zorva_load_source(L, source.data(), source.size(), name);
        if (r.status == LUA_OK) {
            while ((r.status = lua_resume(L, nullptr, 0)) == LUA_YIELD) {
                r.yields++;
                lua_settop(L, 0);
            }
        }
        if (r.status != LUA_OK) {
            const char *m = lua_tostring(L, -1);
            r.error = m ? m : "(not a string)";
        }
        r.out = out;
        return r;
    }
};

// Runs source on a fresh state.
inline ScriptResult run_script(const std::string &source) {
    ScriptState s;
    return s.run(source);
}
