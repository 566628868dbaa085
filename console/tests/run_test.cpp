// Running a cart: the program text, frames under the CPU budget, the
// memory limit, error reports with lines and tabs, tracebacks, pausing.
#include "cart_run.h"
#include "lauxlib.h"
#include "zorva_hooks.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using lines = std::vector<std::string>;

class Run : public ::testing::Test {
  protected:
    cart_run cart;
};

// A cart text made of code tabs.
std::string tabs(const std::vector<std::string> &parts) {
    std::string code;
    for (size_t i = 0; i < parts.size(); i++) {
        if (i) code += ZORVA_TAB_SEPARATOR;
        code += parts[i];
    }
    return code;
}

TEST_F(Run, CallbacksRunFrameByFrame) {
    cart.start("log = ''\n"
               "function _init() log = log .. 'i' end\n"
               "function _update() log = log .. 'u' end\n"
               "function _draw() log = log .. 'd' end\n");
    ASSERT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(pstate.running, 1);
    EXPECT_EQ(cart.string("log"), "(nil)");   // compiled, not yet run
    cart.frame();
    EXPECT_EQ(cart.string("log"), "iud");
    EXPECT_EQ(pstate.mainloop_kind, 2);
    EXPECT_EQ(pstate.fps, 30);
    EXPECT_EQ(cpu_budget(), 0x22222);
    cart.frames(2);
    EXPECT_EQ(cart.string("log"), "iududud");
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_TRUE(cart.output.empty());
}

// time() counts seconds at either frame rate.
TEST(RunTime, TimeCountsSecondsAtThirtyAndSixtyFrames) {
    for (const char *callback : {"_update", "_update60"}) {
        SCOPED_TRACE(callback);
        cart_run cart;
        int fps = std::string(callback) == "_update60" ? 60 : 30;
        cart.start(std::string("function ") + callback + "() t = time() end");
        cart.frames(fps + 1);
        EXPECT_EQ(cart.number("t"), 0x10000);
    }
}

TEST_F(Run, Update60RunsAtSixtyFrames) {
    cart.start("n = 0 function _update60() n = n + 1 end\n");
    cart.frame();
    EXPECT_EQ(pstate.fps, 60);
    EXPECT_EQ(cpu_budget(), 0x11111);
    EXPECT_EQ(cart.whole("n"), 1);
    // A frame behind: one more update before the draw.
    pstate.frames_skipped = 3;
    cart.frame();
    EXPECT_EQ(cart.whole("n"), 3);
    EXPECT_EQ(pstate.frames_skipped, 0);
    EXPECT_EQ(pstate.frames_skipped_last_read, 3);
}

// An endless loop yields from the count hook once the frame's budget is
// spent, and goes on from there in the next frame.
TEST(RunBudget, EndlessLoopYieldsAtTheBudgetAndContinues) {
    struct {
        const char *code;
        int budget;
    } cases[] = {
        {"n = 0 while true do n = n + 1 / 256 end", 0x22222},
        {"n = 0 function _update60() while true do n = n + 1 / 256 end end", 0x11111},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        cart_run run;
        run.start(c.code);
        run.frame();
        ASSERT_EQ(pstate.MODE, MODE_RUNNING);
        EXPECT_EQ(pstate.frame_overrun, 1);
        EXPECT_EQ(pstate.frame_cpu, 0);
        // The hook charges 1024 units a call; the yield comes with the
        // call that reaches the budget.
        EXPECT_EQ(pstate.total_cpu, (c.budget + 1023) / 1024 * 1024);
        zorva_fixed first = run.number("n");
        EXPECT_GT(first, 1000 << 8);
        run.frame();
        EXPECT_GT(run.number("n"), first);
        EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    }
}

// flip in a coroutine ends the frame: the coroutine yields to the cart's
// main thread, which yields to the shell; both go on where they were in
// the next frame, coresume returning as it would have.
TEST_F(Run, FlipInACoroutineEndsTheFrame) {
    cart.start("log = ''\n"
               "co = cocreate(function() while true do log = log .. 'c' flip() end end)\n"
               "while true do local ok = coresume(co) log = log .. (ok and 'm' or 'x') end\n");
    cart.frames(3);
    EXPECT_EQ(cart.string("log"), "cmcmc");
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(pstate.frame_over, 0);
}

// The budget is the frame's: spent in a coroutine, the frame ends and the
// frame's CPU starts again only then.
TEST_F(Run, TheBudgetSpentInACoroutineEndsTheFrame) {
    cart.start("n = 0\n"
               "co = cocreate(function() while true do n = n + 1 / 256 end end)\n"
               "rounds = 0 while true do coresume(co) rounds = rounds + 1 end\n");
    cart.frame();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(pstate.frame_overrun, 1);
    EXPECT_EQ(pstate.frame_cpu, 0);
    EXPECT_EQ(cart.whole("rounds"), 0);   // the main thread yielded from coresume
    zorva_fixed first = cart.number("n");
    EXPECT_GT(first, 0);
    cart.frame();
    EXPECT_GT(cart.number("n"), first);
    EXPECT_EQ(cart.whole("rounds"), 1);
}

// yield passes its values out to coresume, as the values coresume passes
// come in.
TEST_F(Run, YieldPassesValuesBothWays) {
    cart.start("co = cocreate(function(a) local b = yield(a + 1, 'x') yield(b * 2) end)\n"
               "ok1, v1, w1 = coresume(co, 1)\n"
               "ok2, v2 = coresume(co, 5)\n"
               "gen = cocreate(function() for i = 1, 3 do yield(i) end end)\n"
               "sum = 0 for i = 1, 3 do local ok, v = coresume(gen) sum = sum + v end\n");
    cart.frame();
    EXPECT_TRUE(cart.truthy("ok1"));
    EXPECT_EQ(cart.whole("v1"), 2);
    EXPECT_EQ(cart.string("w1"), "x");
    EXPECT_EQ(cart.whole("v2"), 10);
    EXPECT_EQ(cart.whole("sum"), 6);
}

// A frame that ran out of its budget before its flip is counted, and the
// generated main loop runs one more update to catch up.
TEST_F(Run, AFrameOverItsBudgetIsCaughtUp) {
    cart.start("n = 0 d = 0\n"
               "function _update()\n"
               " n = n + 1\n"
               " if n == 2 then for j = 1, 10 do for i = 1, 20000 do end end end\n"
               "end\n"
               "function _draw() d = d + 1 end\n");
    for (int i = 0; i < 20 && cart.whole("d") < 5; i++) cart.frame();
    EXPECT_EQ(cart.whole("d"), 5);
    EXPECT_EQ(cart.whole("n"), 6);
}

TEST_F(Run, FlipInTheCartsOwnLoop) {
    cart.start("frames = 0 while true do frames = frames + 1 flip() end");
    for (int i = 1; i <= 4; i++) {
        cart.frame();
        EXPECT_EQ(cart.whole("frames"), i);
    }
    EXPECT_EQ(pstate.mainloop_kind, 0);
    // flip starts the frame's counters again.
    EXPECT_EQ(pstate.total_cpu, 0);
    EXPECT_EQ(pstate.frame_charge, 0);
}

TEST_F(Run, CartOwnMainloop) {
    cart.start("n = 0 function _mainloop() while true do n = n + 1 flip() end end");
    cart.frames(3);
    EXPECT_EQ(pstate.mainloop_kind, 1);
    EXPECT_EQ(cart.whole("n"), 3);
}

TEST_F(Run, CartWithoutCallbacksRunsOnceAndReturnsToTheConsole) {
    cart.start("log = 'top' function _init() log = log .. ' init' end");
    cart.frame();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(cart.string("log"), "top init");
    cart.frames(2);
    EXPECT_EQ(cart.string("log"), "top init");
}

TEST_F(Run, HeaderScriptFunctions) {
    cart.start("t = {1, 2, 3, 4}\n"
               "s = ''\n"
               "for v in all(t) do s = s .. v if v == 2 then del(t, v) end end\n"
               "c = count(t)\n"
               "x = add(t, 9)\n"
               "foreach(t, function(v) s = s .. ',' .. v end)\n"
               "e = 0 for v in all(nil) do e = e + 1 end for v in all({}) do e = e + 1 end\n"
               "add(nil, 1) del(nil, 1) del({}, 1)\n"
               "h = {1, nil, 3} hs = '' for v in all(h) do hs = hs .. v end\n");
    cart.frame();
    ASSERT_TRUE(cart.output.empty()) << cart.output[0];
    // Deleting the element being visited does not skip the next one.
    EXPECT_EQ(cart.string("s"), "1234,1,3,4,9");
    EXPECT_EQ(cart.whole("c"), 3);
    EXPECT_EQ(cart.whole("x"), 9);
    EXPECT_EQ(cart.whole("e"), 0);
    EXPECT_EQ(cart.string("hs"), "13");
}

TEST_F(Run, MenuItemsAndTheirCallbacks) {
    cart.start("picked = 0\n"
               "menuitem(1, 'first', function() picked = picked + 1 end)\n"
               "menuitem(2, 'no callback')\n"
               "menuitem(6, 'ignored', function() end)\n"
               "function _draw() end\n");
    cart.frame();
    EXPECT_STREQ(pstate.menu_labels[1], "first");
    EXPECT_STREQ(pstate.menu_labels[2], "no callback");
    pstate.menu_selected[1] = 1;
    pstate.menu_selected[2] = 1;   // an item without a callback does nothing
    cart.frame();
    EXPECT_EQ(cart.whole("picked"), 1);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_TRUE(cart.output.empty());
}

// ---------------------------------------------------------------------------
// Limits

TEST(RunLimits, CharacterLimit) {
    std::string fits = "x = 1\n" + std::string(ZORVA_CHAR_LIMIT - 6, ' ');
    ASSERT_EQ(fits.size(), 65536u);
    {
        cart_run cart;
        cart.start(fits);
        EXPECT_EQ(pstate.MODE, MODE_RUNNING);
        EXPECT_TRUE(cart.output.empty());
    }
    cart_run too_long;
    too_long.start(tabs({fits.substr(0, 40000), fits.substr(40000 + 6)}) + " ");
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(cart_run::texts(), (lines{"program exceeds char limit", "65537 / 65536 chars\n"}));
}

// A cart read without the code lines that did not fit is not run: what
// is left of it is not its program.
TEST_F(Run, ACartCutOnReadingIsNotRun) {
    cart.set_code("x = 1");
    cart.console.rom()->code_cut = 1;
    cart.console.rom()->full_code_length = 70000;
    pstate.REQUEST = REQUEST_RUN;
    cart.carry_out_request();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(cart_run::texts(), (lines{"program exceeds char limit", "70000 / 65536 chars\n"}));
    EXPECT_EQ(pstate.run_failed, 1);
}

TEST(RunLimits, TokenLimit) {
    std::string statements;
    for (int i = 0; i < 2730; i++) statements += "x=1\n";
    {
        cart_run cart;
        cart.start(statements + "f()");   // 8190 + 2 tokens
        EXPECT_EQ(pstate.MODE, MODE_RUNNING);
        EXPECT_EQ(pstate.memory_baseline, 8192 * 16);
    }
    cart_run too_many;
    too_many.start(statements + "x=1");
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(cart_run::texts(), (lines{"program too large", "8193 / 8192 tokens\n"}));
}

// ---------------------------------------------------------------------------
// Errors

TEST(RunErrors, SyntaxErrorsWithLineAndTab) {
    struct {
        std::string code;
        lines expected;
    } cases[] = {
        {"x = 1\ny = = 2\n", {"syntax error line 2 (tab 0)", "y = = 2", "unexpected symbol near '='"}},
        {tabs({"a = 1\nb = 2", "c = 3\n\nd = )\n"}),
         {"syntax error line 3 (tab 1)", "d = )", "unexpected symbol near ')'"}},
        // A missing end: the line after the last one, and the open block.
        {"x = 1\nfunction f()\n y = 2", {"syntax error line 4 (tab 0)", "<eof>", "unclosed function\n"}},
        // A colon inside the message is kept.
        {"a = 1\nb = :", {"syntax error line 2 (tab 0)", "b = :", "unexpected symbol near ':'"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        cart_run run;
        run.start(c.code);
        EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
        EXPECT_EQ(cart_run::texts(), c.expected);
        ASSERT_FALSE(cart_run::output.empty());
        EXPECT_EQ(cart_run::output[0].colour, 14);
        EXPECT_EQ(cart_run::output[1].colour, 7);
    }
}

TEST_F(Run, RuntimeErrorInASecondTab) {
    cart.start(tabs({"a = 1\nb = 2\n", "c = 1\n", "function _update()\n\n\n\n x = nil + 1\nend"}));
    cart.frame();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    ASSERT_GE(cart.output.size(), 3u);
    EXPECT_EQ(cart.output[0], (printed_line{"runtime error line 5 tab 2", 14}));
    EXPECT_EQ(cart.output[1], (printed_line{" x = nil + 1", 7}));
    EXPECT_EQ(cart.output[2], (printed_line{"attempt to perform arithmetic on a nil value", 6}));
    EXPECT_EQ(error_line, 5);
    EXPECT_EQ(error_tab, 2);
    // The traceback names the function, and leaves out the main loop and
    // the main chunk.
    EXPECT_EQ(cart_run::texts(), (lines{"runtime error line 5 tab 2", " x = nil + 1",
                                        "attempt to perform arithmetic on a nil value", "in _update line 5 (tab 2)"}));
    EXPECT_EQ(cart.output.back().colour, 13);
}

TEST_F(Run, TracebackThroughSeveralFunctions) {
    cart.start("function inner()\n"
               " return {} .. 1\n"
               "end\n"
               "function outer()\n"
               " inner()\n"
               "end\n"
               "function _draw() outer() end\n");
    cart.frame();
    EXPECT_EQ(cart_run::texts(),
              (lines{"runtime error line 2 tab 0", " return {} .. 1", "attempt to concatenate a table value",
                     "in inner line 2 (tab 0)", "in outer line 5 (tab 0)", "in _draw line 7 (tab 0)"}));
}

// A function on the source's first line is in the traceback too.
TEST_F(Run, TracebackKeepsFunctionsOnTheFirstLine) {
    cart.start("function first() return {} .. 1 end\n"
               "function _draw() first() end\n");
    cart.frame();
    EXPECT_EQ(cart_run::texts(),
              (lines{"runtime error line 1 tab 0", "function first() return {} .. 1 end",
                     "attempt to concatenate a table value", "in first line 1 (tab 0)", "in _draw line 2 (tab 0)"}));
}

// After the cart loaded another one (in exec mode it goes on running), its
// errors still name its own lines and tabs.
TEST_F(Run, RuntimeErrorAfterLoadNamesTheRunningCartsLine) {
    zorva_shell.load_working_cart = [](const char *) {
        std::snprintf(console_state::working->code, ZORVA_CODE_BUFFER_SIZE, "-- loaded\n-->8\n-- its tab 1");
        split_code_to_tabs();
        return 0;
    };
    pstate.exec_mode = 1;
    testing::internal::CaptureStdout();
    cart.start("load('other.zv')\n"
               "function _update() x = nil + 1 end\n");
    cart.frames(2);
    testing::internal::GetCapturedStdout();
    pstate.exec_mode = 0;
    lines printed = cart_run::texts();
    auto header = std::find(printed.begin(), printed.end(), "runtime error line 2 tab 0");
    ASSERT_LE(header + 4, printed.end()) << testing::PrintToString(printed);
    EXPECT_EQ(lines(header, header + 4),
              (lines{"runtime error line 2 tab 0", "function _update() x = nil + 1 end",
                     "attempt to perform arithmetic on a nil value", "in _update line 2 (tab 0)"}));
}

TEST(RunErrors, AssertMessage) {
    {
        cart_run cart;
        cart.start("function _update()\n assert(1 == 2, 'boom')\nend");
        cart.frame();
        ASSERT_GE(cart.output.size(), 4u);
        EXPECT_EQ(cart.output[0], (printed_line{"runtime error line 2 tab 0", 14}));
        EXPECT_EQ(cart.output[2], (printed_line{"boom", 6}));
        EXPECT_EQ(cart.output[3], (printed_line{"boom", 6}));   // the assert message again
        EXPECT_EQ(cart_run::texts().back(), "in _update line 2 (tab 0)");
    }
    cart_run plain;
    plain.start("assert(false)");
    plain.frame();
    EXPECT_EQ(cart_run::texts(), (lines{"runtime error line 1 tab 0", "assert(false)", "assertion failed!"}));
}

TEST_F(Run, RuntimeErrorReportedThroughTheShellStopsAtTheNextUpdate) {
    cart.start("function _update() poke(0x8000, 1) n = (n or 0) + 1 end");
    cart.frame();
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUNTIME_ERROR);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    cart.frame();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(cart_run::texts(), (lines{"", "bad memory access"}));
}

TEST_F(Run, RuntimeErrorOfACommandHasNoLine) {
    ASSERT_EQ(run_program("x = nil + 1", 1), 1);
    EXPECT_EQ(pstate.running, 0);
    run_slice();
    EXPECT_EQ(cart_run::texts(), (lines{"runtime error", "attempt to perform arithmetic on a nil value"}));
    cart.output.clear();
    EXPECT_EQ(run_program("x = = 1", 1), 0);
    EXPECT_EQ(cart_run::texts(), (lines{"syntax error", "unexpected symbol near '='"}));
}

TEST_F(Run, ShortCommands) {
    std::string seen;
    zorva_shell.list_files = [](const char *filter) { cart_run::output.push_back({filter ? filter : "(none)", -1}); };
    struct {
        const char *command;
        const char *listed;
    } cases[] = {
        {"ls", "(none)"},
        {"ls *.zv", "*.zv"},
        {"dir a\"b\\c", "a\"b\\c"},   // the argument is passed as it was typed
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        cart.output.clear();
        ASSERT_EQ(run_program(c.command, 1), 1);
        run_slice();
        EXPECT_EQ(cart_run::texts(), (lines{c.listed}));
    }
    cart.output.clear();
    ASSERT_EQ(run_program("resume", 1), 1);
    run_slice();
    EXPECT_EQ(cart_run::texts(), (lines{"no _mainloop()"}));
}

TEST_F(Run, AnEndedProgramCanBeContinuedAfterAPause) {
    cart.start("n = 0 while true do n = n + 1 flip() end");
    cart.frames(2);
    pause_program();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    cart.frame();
    EXPECT_EQ(cart.whole("n"), 2);
    continue_program();
    cart.frame();
    EXPECT_EQ(cart.whole("n"), 3);
}

TEST_F(Run, PauseResetsTheCameraClipAndCursorAndContinueRestoresThem) {
    cart.start("while true do flip() end");
    cart.frame();
    pstate.draw_state.camera_x = 5;
    pstate.draw_state.camera_y = -3;
    pstate.draw_state.clip_x0 = 10;
    pstate.draw_state.clip_x1 = 20;
    tamu_set_clip(pstate.screen, 10, 0, 20, 128);
    pstate.draw_state.cursor_x = 40;
    pstate.draw_state.cursor_y = 125;
    pstate.draw_state.screen_palette[3] = 9;
    pause_program();
    EXPECT_EQ(pstate.draw_state.camera_x, 0);
    EXPECT_EQ(pstate.draw_state.camera_y, 0);
    EXPECT_EQ(pstate.screen->clip_x0, 0);
    EXPECT_EQ(pstate.screen->clip_x1, 128);
    EXPECT_EQ(pstate.draw_state.cursor_x, 0);
    EXPECT_EQ(pstate.draw_state.cursor_y, 120);
    EXPECT_EQ(pstate.draw_state.screen_palette[3], 3);
    continue_program();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(pstate.draw_state.camera_x, 5);
    EXPECT_EQ(pstate.draw_state.camera_y, -3);
    EXPECT_EQ(pstate.screen->clip_x0, 10);
    EXPECT_EQ(pstate.screen->clip_x1, 20);
}

TEST_F(Run, SuspendedPauseDoesNothing) {
    cart.start("while true do flip() end");
    cart.frame();
    pstate.suspend_counter = 1;
    pause_program();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    pstate.suspend_counter = 0;
}

// ---------------------------------------------------------------------------
// Memory

TEST_F(Run, GoingOverTheLimitWithinAFrameCollectsAndGoesOn) {
    cart.start("frames = 0\n"
               "while true do\n"
               " local s = 'x'\n"
               " for i = 1, 20 do s = s .. s end\n"
               " frames = frames + 1\n"
               " flip()\n"
               "end\n");
    cart.frame();
    // The frame finished in this update, and only this one frame ran.
    EXPECT_EQ(cart.whole("frames"), 1);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    cart.frames(3);
    EXPECT_EQ(cart.whole("frames"), 4);
    EXPECT_TRUE(cart.output.empty());
}

TEST_F(Run, MemoryThatStaysOverTheLimitDropsTheCart) {
    cart.start("keep = {}\n"
               "while true do\n"
               " local s = 'x'\n"
               " for i = 1, 21 do s = s .. s end\n"
               " keep[#keep + 1] = s\n"
               " flip()\n"
               "end\n");
    cart.frame();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(cart_run::texts(), (lines{"out of memory"}));
    EXPECT_EQ(cart.string("keep"), "(nil)");   // a new script state
    EXPECT_LT(memory_in_use(), ZORVA_MEMORY_LIMIT);
}

TEST_F(Run, AllocatorChargesByKind) {
    struct {
        size_t kind;
        size_t size;
        int compiling;
        int charge;
    } cases[] = {
        {0, 100, 0, 50}, {0, 100, 1, 0}, {4, 40, 0, 32}, {4, 40, 1, 32}, {5, 56, 0, 28},
        {6, 40, 0, 20},  {7, 500, 0, 32}, {8, 200, 0, 32}, {9, 120, 0, 32}, {10, 40, 0, 32},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        pstate.script_memory = 0;
        pstate.compiling = c.compiling;
        void *p = zorva_lua_alloc(nullptr, nullptr, c.kind, c.size);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
        EXPECT_EQ(pstate.script_memory, c.charge);
        std::memset(p, 0xAB, c.size);
        zorva_lua_alloc(nullptr, p, c.size, 0);
        EXPECT_EQ(pstate.script_memory, 0);
    }
    pstate.compiling = 0;
    // A resized block keeps its kind of charge.
    void *p = zorva_lua_alloc(nullptr, nullptr, 0, 100);
    p = zorva_lua_alloc(nullptr, p, 100, 300);
    EXPECT_EQ(pstate.script_memory, 150);
    zorva_lua_alloc(nullptr, p, 300, 0);
    pstate.compiling = 1;
    p = zorva_lua_alloc(nullptr, nullptr, 0, 100);
    pstate.compiling = 0;
    p = zorva_lua_alloc(nullptr, p, 100, 300);
    EXPECT_EQ(pstate.script_memory, 0);
    zorva_lua_alloc(nullptr, p, 300, 0);
    p = zorva_lua_alloc(nullptr, nullptr, 4, 100);
    p = zorva_lua_alloc(nullptr, p, 100, 50);
    EXPECT_EQ(pstate.script_memory, 50);
    zorva_lua_alloc(nullptr, p, 50, 0);
    EXPECT_EQ(pstate.script_memory, 0);
}

TEST_F(Run, AllocatorLimits) {
    void *kept = zorva_lua_alloc(nullptr, nullptr, 0, 64);
    // Over 2 MB: a soft yield is asked for.
    pstate.script_memory = ZORVA_MEMORY_LIMIT + 1;
    void *p = zorva_lua_alloc(nullptr, nullptr, 0, 16);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(pstate.soft_yield_requested, 1);
    EXPECT_EQ(pstate.out_of_memory, 0);
    // Over 128 MB: a new or growing block fails, a shrinking one does not.
    pstate.script_memory = ZORVA_MEMORY_HARD_LIMIT + 1;
    EXPECT_EQ(zorva_lua_alloc(nullptr, nullptr, 0, 16), nullptr);
    EXPECT_EQ(pstate.out_of_memory, 1);
    EXPECT_EQ(zorva_lua_alloc(nullptr, kept, 64, 128), nullptr);
    void *smaller = zorva_lua_alloc(nullptr, kept, 64, 32);
    EXPECT_NE(smaller, nullptr);
    pstate.script_memory = 0;
    zorva_lua_alloc(nullptr, p, 16, 0);
    zorva_lua_alloc(nullptr, smaller, 32, 0);
    pstate.out_of_memory = 0;
    pstate.soft_yield_requested = 0;
}

// A script state made by the engine's own constructor uses the console's
// allocator once the hooks are in.
TEST_F(Run, EngineHooksAreInstalled) {
    start_lua_machine();
    EXPECT_EQ(zorva_hook_alloc, zorva_lua_alloc);
    EXPECT_EQ(zorva_hook_find_tab_line, find_tab_line);
    EXPECT_EQ(zorva_hook_assert_message, zorva_assert_message);
    zorva_reset_hooks();
}

// ---------------------------------------------------------------------------
// Finalizers

TEST_F(Run, FailingAndEndlessFinalizersNeitherCrashNorHang) {
    cart.start("frames = 0\n"
               "function _update()\n"
               " frames = frames + 1\n"
               " setmetatable({}, {__gc = function() local x = nil + 1 end})\n"
               " setmetatable({}, {__gc = function() while true do end end})\n"
               " setmetatable({}, {__gc = function() flip() end})\n"
               " local co = cocreate(function() while true do end end)\n"
               " setmetatable({}, {__gc = function() coresume(co) end})\n"
               "end\n");
    cart.frames(5);
    EXPECT_EQ(cart.whole("frames"), 5);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_TRUE(cart.output.empty());
    // Closing the state runs what is left.
    reset_lua_machine();
    EXPECT_NE(L0, nullptr);
}

// ---------------------------------------------------------------------------
// Code tabs and lines

TEST_F(Run, FindTabLine) {
    cart.set_code(tabs({"a\nb", "c", "", "d\ne\nf"}));
    struct {
        int line, in_tab, tab;
    } cases[] = {
        {0, 0, 0}, {1, 1, 0}, {2, 2, 0},   // line 2 is the separator
        {3, 0, 1}, {4, 1, 1}, {5, 0, 2}, {7, 0, 3}, {9, 2, 3},
        {-1, -1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        int tab = -5;
        EXPECT_EQ(find_tab_line(c.line, &tab), c.in_tab);
        EXPECT_EQ(tab, c.tab);
    }
    // The last four tabs are empty: two lines each.
    int tab = -5;
    EXPECT_EQ(find_tab_line(11 + 4 * 2 - 1, &tab), 1);
    EXPECT_EQ(tab, 7);
    EXPECT_EQ(find_tab_line(11 + 4 * 2, &tab), -1);
    EXPECT_EQ(tab, 0);
}

TEST_F(Run, LongTabsCountAllTheirLines) {
    std::string long_tab;
    for (int i = 0; i < 2000; i++) long_tab += "x = 12345678\n";
    ASSERT_GT(long_tab.size(), 10000u);
    cart.set_code(tabs({long_tab, "y = 1"}));
    int tab = -1;
    EXPECT_EQ(find_tab_line(1999, &tab), 1999);
    EXPECT_EQ(tab, 0);
    EXPECT_EQ(find_tab_line(2002, &tab), 0);
    EXPECT_EQ(tab, 1);
}

TEST_F(Run, SplitAndMergeKeepEveryCharacter) {
    std::vector<std::string> parts = {"a", "b\nc", "", "d", "e", "f", "g", "h", "i\nj", "k"};
    std::string code = tabs(parts);
    cart.set_code(code);
    EXPECT_STREQ(pstate.code_tabs[0]->text, "a");
    EXPECT_STREQ(pstate.code_tabs[1]->text, "b\nc");
    EXPECT_STREQ(pstate.code_tabs[2]->text, "");
    // More than eight parts: the last tab keeps the rest.
    EXPECT_EQ(std::string(pstate.code_tabs[7]->text), tabs({"h", "i\nj", "k"}));
    merge_code_from_tabs();
    EXPECT_EQ(std::string(cart.console.rom()->code), code);

    // Trailing empty tabs are left out, unless the current tab is one.
    cart.set_code(tabs({"a", "b"}));
    merge_code_from_tabs();
    EXPECT_STREQ(cart.console.rom()->code, "a\n-->8\nb");
    pstate.current_tab = 3;
    merge_code_from_tabs();
    EXPECT_STREQ(cart.console.rom()->code, "a\n-->8\nb\n-->8\n\n-->8\n");
    pstate.current_tab = 0;
}

TEST_F(Run, MergeDoesNotOverrunTheCode) {
    std::string big(60000, 'x');
    for (int t = 0; t < ZORVA_CODE_TABS; t++) std::memcpy(pstate.code_tabs[t]->text, big.c_str(), big.size() + 1);
    merge_code_from_tabs();
    EXPECT_EQ(std::strlen(cart.console.rom()->code), size_t(ZORVA_CODE_BUFFER_SIZE - 1));
    EXPECT_EQ(cart.console.rom()->code_cut, 1);
}

TEST(RunText, GetNthLine) {
    struct {
        const char *text;
        int n;
        const char *expected;
    } cases[] = {
        {"a\nbc\nd", 0, "a"}, {"a\nbc\nd", 1, "bc"}, {"a\nbc\nd", 2, "d"}, {"a\nbc\nd", 3, "<eof>"},
        {"a\n", 1, ""},       {"", 0, ""},           {"x", -1, "<eof>"},
    };
    for (const auto &c : cases) EXPECT_STREQ(get_nth_line(c.text, c.n), c.expected) << c.text << " " << c.n;
    EXPECT_STREQ(get_nth_line(nullptr, 0), "");
}

TEST(RunText, GetLidFromFilename) {
    struct {
        const char *name;
        const char *lid;
    } cases[] = {
        {"/home/a/bbs/carts/12345.zv.png", "12345"},
        {"/x/my_cart-2.zv", "my_cart-2"},
        {"/x/Cart.zv", "art"},
        {"/x/.zv", ""},
        {".zv", ""},
        {"/x/cart.png", ""},
        {"/x/a b.zv", "b"},
        {"/x/one.zv/two.zv", "one"},
    };
    for (const auto &c : cases) EXPECT_STREQ(get_lid_from_filename(c.name), c.lid) << c.name;
    EXPECT_STREQ(get_lid_from_filename(nullptr), "");
}

TEST_F(Run, CartIdAndDirectoryFromTheFileName) {
    std::snprintf(pstate.root_path, sizeof pstate.root_path, "/carts/");
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "/carts/games/a.zv");
    cart.start("x = 1");
    EXPECT_STREQ(pstate.cart_directory, "games/a.zv");
    EXPECT_STREQ(pstate.cart_id, "");

    char bbs[1024];
    tamu_prefix_with_appdata_path("bbs/carts/4321.zv.png", bbs);
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", bbs);
    cart.start("x = 1");
    EXPECT_STREQ(pstate.cart_id, "4321");
    EXPECT_STREQ(pstate.cart_directory, "");

    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "/elsewhere/b.zv");
    cart.start("x = 1");
    EXPECT_STREQ(pstate.cart_directory, "/elsewhere/b.zv");
}

TEST_F(Run, RunCartPreparesTheMachine) {
    std::snprintf(pstate.pending_parameter, sizeof pstate.pending_parameter, "abc");
    std::snprintf(pstate.cartdata_id, sizeof pstate.cartdata_id, "old");
    std::snprintf(pstate.menu_labels[2], sizeof pstate.menu_labels[2], "old");
    pstate.menu_selected[2] = 1;
    pstate.draw_state.pen_colour = 3;
    cart.console.rom()->sprite_flags[5] = 7;
    zorva_poke(&pstate, pstate.live_cart, 0x5F40, 9);
    cart.start("x = 1");
    EXPECT_STREQ(pstate.parameter, "abc");
    EXPECT_STREQ(pstate.pending_parameter, "");
    EXPECT_STREQ(pstate.cartdata_id, "");
    EXPECT_STREQ(pstate.menu_labels[2], "");
    EXPECT_EQ(pstate.menu_selected[2], 0);
    EXPECT_EQ(pstate.draw_state.pen_colour, 6);   // a run request resets the draw state
    EXPECT_EQ(pstate.live_cart->sprite_flags[5], 7);
    EXPECT_EQ(zorva_peek(&pstate, pstate.live_cart, 0x5F40), 0);
    EXPECT_EQ(pstate.fps, 30);
    EXPECT_EQ(memory_in_use() > 0, true);
}

// ---------------------------------------------------------------------------
// Console output

TEST_F(Run, LongTextTakesSeveralRowsAndScrolls) {
    pstate.draw_state.cursor_y = 0;
    zorva_print(std::string(40, 'a').c_str());
    EXPECT_EQ(pstate.draw_state.cursor_y, 12);
    pstate.draw_state.cursor_y = 114;
    pstate.screen->rows[127][0] = 5;
    zorva_print("x");
    EXPECT_EQ(pstate.draw_state.cursor_y, 120);
    pstate.screen->rows[127][0] = 5;
    zorva_print(std::string(70, 'b').c_str());   // three rows at the bottom: scrolls three times
    EXPECT_EQ(pstate.draw_state.cursor_y, 120);
    EXPECT_EQ(pstate.screen->rows[127][0], 0);
    // The three rows end just above the cursor, below the line before.
    auto ink = [](int y) {
        int n = 0;
        for (int x = 0; x < 128; x++) n += pstate.screen->rows[y][x] != 0;
        return n;
    };
    for (int y = 120; y < 128; y++) EXPECT_EQ(ink(y), 0) << y;
    EXPECT_GT(ink(114) + ink(115) + ink(116), 0);   // the third row
    EXPECT_EQ(ink(101), 0);
    EXPECT_GT(ink(102) + ink(103) + ink(104), 0);
    EXPECT_EQ(ink(95), 0);
    EXPECT_GT(ink(96) + ink(97) + ink(98), 0);   // the "x" line, scrolled up
}

TEST(WrapWords, LinesBreakBetweenWords) {
    struct Case {
        const char *text;
        int width;
        const char *lines;
        int count;
    } cases[] = {
        {"", 10, "", 1},
        {"short", 10, "short", 1},
        {"exactly 10", 10, "exactly 10", 1},
        {"the quick brown fox", 10, "the quick\nbrown fox", 2},
        {"one  two   three", 8, "one  two\nthree", 2},       // spaces at a break are dropped
        {"abcdefghijklmno", 6, "abcdef\nghijkl\nmno", 3},    // a word longer than a line
        {"saved to ~/Desktop/hello_000.png", 16, "saved to\n~/Desktop/\nhello_000.png", 3},
        {"/home/someone/Desktop/x.png", 16, "/home/someone/\nDesktop/x.png", 2},
        {"first\nsecond line", 6, "first\nsecond\nline", 3},  // newlines stay
        {"a\n\nb", 4, "a\n\nb", 3},
        {"trailing\n", 10, "trailing", 1},
        {"ends with spaces    ", 9, "ends with\nspaces", 2},
    };
    for (const Case &c : cases) {
        char out[256];
        EXPECT_EQ(zorva_wrap_words(c.text, c.width, out, int(sizeof out)), c.count) << c.text;
        EXPECT_STREQ(out, c.lines) << c.text;
    }
    // Cut to the buffer.
    char small[6];
    zorva_wrap_words("hello world", 20, small, int(sizeof small));
    EXPECT_STREQ(small, "hello");
}

TEST_F(Run, AWrappedLineBreaksBetweenWords) {
    pstate.draw_state.cursor_y = 0;
    // 25 characters, then a word that would straddle the 32nd column.
    zorva_print("aaaa aaaa aaaa aaaa aaaa bbbbbbbbbb");
    EXPECT_EQ(pstate.draw_state.cursor_y, 12);
    auto ink_in = [](int x0, int x1, int y0) {
        int n = 0;
        for (int y = y0; y < y0 + 5; y++)
            for (int x = x0; x <= x1; x++) n += pstate.screen->rows[y][x] != 0;
        return n;
    };
    EXPECT_EQ(ink_in(100, 127, 0), 0);      // the first row ends after the a's
    EXPECT_GT(ink_in(0, 38, 6), 0);         // the b's all on the second row
    EXPECT_EQ(ink_in(40, 127, 6), 0);
}

TEST_F(Run, ExecModePrintsToStandardOutput) {
    pstate.exec_mode = 1;
    pstate.MODE = MODE_CONSOLE;
    testing::internal::CaptureStdout();
    zorva_print("hello");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "** hello\n");
    EXPECT_EQ(pstate.draw_state.cursor_y, 0);
    pstate.exec_mode = 0;
}

}  // namespace
