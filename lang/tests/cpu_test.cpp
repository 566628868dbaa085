// CPU accounting: the count hook, charging, the soft yield, the error line
// and the reset of a state after a failed run.
#include <gtest/gtest.h>

#include <string>

#include "script_run.h"
#include "zorva_hooks.h"

namespace {

int hook_calls = 0;
int yield_every = 0; // the hook yields on every n-th call (0: never)

void counting_hook(lua_State *L, lua_Debug *ar) {
    EXPECT_EQ(ar->event, LUA_HOOKCOUNT);
    hook_calls++;
    if (yield_every > 0 && hook_calls % yield_every == 0) lua_yield(L, 0);
}

// A computation whose result changes if any instruction is lost or run
// twice.
const char *const kMixer =
    "local h = 7\n"
    "local t = {}\n"
    "for i = 1, 300 do\n"
    "  h = (h * 3 + i) % 1021\n"
    "  t[i % 17 + 1] = (t[i % 17 + 1] or 0) + h\n"
    "  local s = 'k' .. (h % 5)\n"
    "  t[s] = (t[s] or 0) + 1\n"
    "end\n"
    "local sum = 0\n"
    "for k, v in pairs(t) do if type(k) == 'number' then sum = (sum + v) % 30000 end end\n"
    "out(h, sum, t.k0, t.k1, t.k4)\n";

struct HookRun {
    ScriptResult result;
    int calls;
};

HookRun run_hooked(const char *src, int count, int every) {
    ScriptState s;
    hook_calls = 0;
    yield_every = every;
    lua_sethook(s.L, counting_hook, LUA_MASKCOUNT, count);
    HookRun r{s.run(src), 0};
    r.calls = hook_calls;
    yield_every = 0;
    return r;
}

} // namespace

// With a base count of 1 the hook runs before every instruction; yielding
// from it and resuming must neither skip nor repeat one.
TEST(CpuAccount, HookYieldsLoseNoInstruction) {
    ScriptResult plain = run_script(kMixer);
    ASSERT_EQ(plain.status, LUA_OK) << plain.error;
    HookRun counted = run_hooked(kMixer, 1, 0);
    EXPECT_EQ(counted.result.out, plain.out);
    int instructions = counted.calls;
    EXPECT_GT(instructions, 3000);

    for (int every : {1, 2, 7, 1000}) {
        HookRun r = run_hooked(kMixer, 1, every);
        EXPECT_EQ(r.result.status, LUA_OK) << r.result.error;
        EXPECT_EQ(r.result.out, plain.out) << "yield every " << every;
        // A yielded hook call is not repeated on resume.
        EXPECT_EQ(r.calls, instructions) << "yield every " << every;
        EXPECT_EQ(r.result.yields, instructions / every) << "yield every " << every;
    }
    // Every 1024 instructions, as the console runs carts.
    HookRun r = run_hooked(kMixer, 1024, 1);
    EXPECT_EQ(r.result.out, plain.out);
    EXPECT_EQ(r.calls, instructions / 1024);
    EXPECT_EQ(r.result.yields, r.calls);
}

// Coroutines made by the script inherit the hook and count their own
// instructions; a yield from the hook inside one suspends that coroutine.
TEST(CpuAccount, HookInsideScriptCoroutines) {
    const char *src = "local co = cocreate(function() local x = 0 for i = 1, 200 do x = x + i end return x end)\n"
                      "local ok, v = coresume(co) while costatus(co) ~= 'dead' do ok, v = coresume(co) end out(ok, v)";
    HookRun r = run_hooked(src, 1, 1);
    EXPECT_EQ(r.result.status, LUA_OK) << r.result.error;
    EXPECT_EQ(r.result.out, "true 20100\n");
}

TEST(CpuAccount, SpendAndSoftYield) {
    TestState s;
    lua_State *L = s.L;
    lua_sethook(L, counting_hook, LUA_MASKCOUNT, 1024);
    EXPECT_EQ(lua_get_cpu(L), 1024);
    EXPECT_EQ(lua_spend_cpu(L, 5), 1019);
    EXPECT_EQ(lua_get_cpu(L), 1019);
    EXPECT_EQ(lua_spend_cpu(L, 1016), 3);
    EXPECT_EQ(lua_spend_cpu(L, 5), 1); // never below 1
    EXPECT_EQ(lua_spend_cpu(L, -100), 101);
    EXPECT_EQ(lua_spend_cpu(L, 0x7FFFFFFF), 1);

    // A soft yield saves the count and leaves 1; the next charge restores
    // it first.
    lua_spend_cpu(L, -(700 - 1)); // remaining 700
    lua_zorva_soft_yield(L);
    EXPECT_EQ(lua_get_cpu(L), 1);
    EXPECT_EQ(zorva_soft_yield_count, 700u);
    EXPECT_EQ(lua_spend_cpu(L, 0), 700);
    EXPECT_EQ(zorva_soft_yield_count, 0u);
    lua_zorva_soft_yield(L);
    EXPECT_EQ(lua_spend_cpu(L, 50), 650);
    // A second soft yield before any charge saves the 1 of the first.
    lua_zorva_soft_yield(L);
    lua_zorva_soft_yield(L);
    EXPECT_EQ(zorva_soft_yield_count, 1u);
    EXPECT_EQ(lua_spend_cpu(L, 0), 1);
    lua_sethook(L, nullptr, 0, 0);
}

namespace {
int spend_fn(lua_State *L) {
    lua_spend_cpu(L, (int)lua_tointeger(L, 1));
    return 0;
}
} // namespace

// Charges from host functions bring the next hook call forward.
TEST(CpuAccount, ChargesBringTheHookForward) {
    const char *loop = "for i = 1, 100 do spend(0) end";
    const char *charged = "for i = 1, 100 do spend(30) end";
    int calls[2];
    for (int n = 0; n < 2; n++) {
        ScriptState s;
        lua_register(s.L, "spend", spend_fn);
        hook_calls = 0;
        lua_sethook(s.L, counting_hook, LUA_MASKCOUNT, 100);
        ScriptResult r = s.run(n == 0 ? loop : charged);
        EXPECT_EQ(r.status, LUA_OK) << r.error;
        calls[n] = hook_calls;
    }
    // About 500 instructions: 5 hook calls; 100 charges of 30 add 30 more.
    EXPECT_GE(calls[0], 4);
    EXPECT_LE(calls[0], 6);
    EXPECT_GE(calls[1], calls[0] + 25);
}

namespace {
int fail_fn(lua_State *L) {
    lua_pushstring(L, "host says no");
    lua_zorva_record_error_line(L, 1);
    return lua_error(L);
}
} // namespace

TEST(CpuAccount, RuntimeErrorsRecordTheirLine) {
    ScriptState s;
    zorva_runtime_line = 0;
    std::string src;
    for (int i = 1; i < 12; i++) src += "local v" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    src += "local t = nil local x = t.field\n"; // line 12
    ScriptResult r = s.run(src);
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.error, "attempt to index local 't' (a nil value)"); // no position prefix
    EXPECT_EQ(zorva_runtime_line, 12);
    lua_reset_call_state_zorva(s.L);

    // An error in a called function records that function's line.
    r = s.run("local function f()\n  return 1 + {}\nend\n\nf()\n");
    EXPECT_EQ(r.error, "attempt to perform arithmetic on a table value");
    EXPECT_EQ(zorva_runtime_line, 2);
    lua_reset_call_state_zorva(s.L);

    // A host function's error records the line of the script that called
    // it, not a stale line from an earlier run.
    lua_register(s.L, "fail", fail_fn);
    r = s.run("local a = 1\nlocal b = 2\nfail()\n");
    EXPECT_EQ(r.error, "host says no");
    EXPECT_EQ(zorva_runtime_line, 3);
    lua_reset_call_state_zorva(s.L);
    r = s.run("\n\n\n\n\nlocal ok = setmetatable({}, 5)\n");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(zorva_runtime_line, 6);
}

// After a failed run the main thread is made reusable: a new chunk runs,
// and closures kept from the failed run keep their own values instead of
// aliasing the new chunk's locals.
TEST(CpuAccount, ResetCallStateAfterAnError) {
    ScriptState s;
    ScriptResult r = s.run("local x = 42 local y = 'kept' keep = function() return x, y end\n"
                           "local function deep(n) if n == 0 then error_here() end deep(n - 1) end deep(20)");
    ASSERT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(lua_status(s.L), LUA_ERRRUN);
    lua_reset_call_state_zorva(s.L);
    EXPECT_EQ(lua_status(s.L), LUA_OK);
    EXPECT_EQ(lua_gettop(s.L), 0);
    r = s.run("local a, b, c, d = 7, 8, 9, 10 out(keep()) out(a, b)");
    EXPECT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(r.out, "42 kept\n7 8\n");
    // And again, with a hook installed.
    hook_calls = 0;
    lua_sethook(s.L, counting_hook, LUA_MASKCOUNT, 10);
    r = s.run("local t = nil t.x = 1");
    ASSERT_EQ(r.status, LUA_ERRRUN);
    lua_reset_call_state_zorva(s.L);
    r = s.run("local n = 0 for i = 1, 100 do n = n + i end out(n, keep())");
    EXPECT_EQ(r.out, "5050 42 kept\n");
    EXPECT_GE(hook_calls, 20); // two instructions an iteration
}

// The power charges CPU through the console hook, which the console turns
// into lua_spend_cpu on the running state.
TEST(CpuAccount, PowerChargesThroughTheHook) {
    static int charged = 0;
    zorva_hook_spend_cpu = [](int units) { charged += units; };
    ScriptResult r = run_script("local a, b = 2, 0.5 local c = a ^ b local d = a ^ 3 local e = a * a out(c, d, e)");
    EXPECT_EQ(r.out, "1.4167 8 4\n");
    EXPECT_EQ(charged, 16 + 8);
    zorva_reset_hooks();
}

// A source line as a 16.16 line of its tab: below 65536 shifted, above it
// as it is, and a line past the last tab (-1) as -1.0.
TEST(CpuAccount, SourceLinesAsTabLinesInSixteenSixteen) {
    zorva_hook_find_tab_line = [](int line, int *tab) {
        if (tab) *tab = 0;
        return line < 0 ? -1 : line - 3;
    };
    struct Case {
        int line, expected;
    } cases[] = {
        {3, 0}, {4, 0x10000}, {40003, int(uint32_t(40000) << 16)}, {65538, int(0xFFFF0000u)},
        {65539, 65536}, {100003, 100000}, {-5, -0x10000},
    };
    for (const Case &c : cases) EXPECT_EQ(get_zorva_line(c.line), c.expected) << c.line;
    zorva_reset_hooks();
}
