// The string library's sub and the debug library's traceback, as carts see
// them under the names sub and trace.
#include <gtest/gtest.h>

#include "base_script.h"

namespace {

void run_cart_cases(const std::vector<ScriptCase> &cases) {
    for (const ScriptCase &c : cases) {
        BaseState s(false);
        lua_register(s.L, "sub", str_sub);
        lua_register(s.L, "trace", db_traceback);
        EXPECT_EQ(s.run(c.source), c.expected) << c.source;
    }
}

}  // namespace

TEST(SubAndTrace, Sub) {
    run_cart_cases({
        {"out(sub('hello', 2, 4), sub('hello', -3), sub('hello', 0), '[' .. sub('hello', 4, 2) .. ']')",
         "ell llo hello []\n"},
        // Positions are whole parts, floored.
        {"out(sub('hello', 2.9), sub('hello', 1, 2.9), sub('hello', -1.5))", "ello he lo\n"},
        // A number is taken as its text.
        {"out(sub(1234, 2), sub(0.5, 1, 2), sub(-1, 1, 1))", "234 0. -\n"},
        // Ends beyond the string, far negative positions, the empty string.
        {"out(sub('hello', -100), sub('hello', 2, 100), sub('hello', -100, -4), '[' .. sub('hello', 6) .. ']')",
         "hello ello he []\n"},
        {"out('[' .. sub('', 1) .. ']', '[' .. sub('hello', 3, -4) .. ']', sub('hello', -32768, 32767))",
         "[] [] hello\n"},
        {"out(sub('hello', '2', '3'))", "el\n"},   // numeric texts as positions
        {"local s = sub('a\\0bc', 2, 3) out(#s == 3 / 0x10000 or #s)", "2\n"},
        {"out(sub('hello', 2, nil))", "ello\n"},
        {"sub({}, 1)", "error: bad argument #1 to 'sub' (string expected, got table)"},
        {"sub(nil, 1)", "error: bad argument #1 to 'sub' (string expected, got nil)"},
        {"sub('hello')", "error: bad argument #2 to 'sub' (number expected, got no value)"},
        {"sub('hello', 'x')", "error: bad argument #2 to 'sub' (number expected, got string)"},
        {"sub('hello', 1, {})", "error: bad argument #3 to 'sub' (number expected, got table)"},
        // No string metatable: method calls on strings fail.
        {"local s = 'hello' out(s:sub(1, 2))", "error: attempt to index local 's' (a string value)"},
    });
}

TEST(SubAndTrace, Trace) {
    run_cart_cases({
        {"out(trace())", "stack traceback:\n\tchunk:1: in main chunk\n"},
        {"out(trace('msg'))", "msg\nstack traceback:\n\tchunk:1: in main chunk\n"},
        {"out(trace(42))", "42\nstack traceback:\n\tchunk:1: in main chunk\n"},
        {"out(trace(nil))", "stack traceback:\n\tchunk:1: in main chunk\n"},
        // A message that is no text comes back as it is.
        {"local t = {} out(trace(t) == t, trace(true))", "true true\n"},
        // The level: 1 is the caller of trace, 2 its caller.
        {"local function f()\n return trace('in f', 1)\nend\nout(f())",
         "in f\nstack traceback:\n\tchunk:2: in function 'f'\n\tchunk:4: in main chunk\n"},
        {"local function g()\n return trace('in g', 2)\nend\nout(g())",
         "in g\nstack traceback:\n\tchunk:4: in main chunk\n"},
        {"out(trace('m', 99))", "m\nstack traceback:\n"},
        {"out(trace('m', -1))", "m\nstack traceback:\n"},
        // Another thread: from its top by default.
        {"local co = cocreate(function()\n yield()\nend)\ncoresume(co)\nout(trace(co))\nout(trace(co, 'm', 1))",
         "stack traceback:\n\t[C]: in function 'yield'\n\tchunk:2: in function <chunk:1>\n"
         "m\nstack traceback:\n\tchunk:2: in function <chunk:1>\n"},
        {"out(trace(cocreate(function() end)))", "stack traceback:\n"},
    });
}
