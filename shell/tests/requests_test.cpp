// Requests (run, pause, reboot, runtime-error stop, reset of the script
// machine), the reset glitch and the boot sequence, through the shell's
// update.
#include "shell_session.h"

#include "cart_forms.h"
#include "lua.h"
#include "tamu_music.h"
#include "zorva_cpu.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char *const counting_cart = "n = 0\nfunction _update() n += 1 end";

// Marks the script machine, so that a new one can be told from it (the
// allocator may well put the new one where the old one was).
void mark_machine() {
    lua_pushboolean(L0, 1);
    lua_setglobal(L0, "marker");
}
bool machine_marked() {
    lua_getglobal(L0, "marker");
    bool marked = !lua_isnil(L0, -1);
    lua_pop(L0, 1);
    return marked;
}

// The cart's global n.
int cart_n() {
    lua_getglobal(L0, "n");
    int n = int(lua_tonumber(L0, -1) >> 16);
    lua_pop(L0, 1);
    return n;
}

TEST(Requests, RunStartsTheWorkingCartAndPauseStopsIt) {
    shell_session s;
    s.run_code(counting_cart);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(pstate.running, 1);
    EXPECT_EQ(pstate.REQUEST, 0);
    s.passes(5);
    EXPECT_EQ(cart_n(), 6);
    pstate.REQUEST = REQUEST_PAUSE;
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(pstate.REQUEST, 0);
    s.passes(3);
    EXPECT_EQ(cart_n(), 6);   // no longer run
    EXPECT_EQ(app.browser_waits_for_button, 1);
}

TEST(Requests, ARuntimeErrorStopsTheCartAndIsPrinted) {
    shell_session s;
    s.run_code(counting_cart);
    mark_machine();
    zorva_runtime_error("bad memory access");
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUNTIME_ERROR);
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_FALSE(machine_marked());   // a fresh script machine
    ASSERT_GE(printed.size(), 2u);
    EXPECT_EQ(printed[printed.size() - 2].first, "");
    EXPECT_EQ(printed.back().first, "bad memory access");

    // A cart's own bad poke comes the same way.
    printed.clear();
    s.run_code("poke(0x8000, 1)");
    s.pass();
    EXPECT_TRUE(printed_line("bad memory access"));
}

// With a window the console's screen is not the only place a cart's error
// shows: the log and standard error get it too, under the cart's name.
TEST(Requests, CartErrorsGoToTheLogAndStandardErrorByName) {
    struct {
        const char *code;
        std::string report;
    } cases[] = {
        {"x = nil + 1", "  runtime error line 1 tab 0\n  x = nil + 1\n  attempt to perform arithmetic on a nil value\n"},
        {"x = = 1", "  syntax error line 1 (tab 0)\n  x = = 1\n  unexpected symbol near '='\n"},
        {"poke(0x8000, 1)", "  bad memory access\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        shell_session s;
        testing::internal::CaptureStderr();
        s.run_code(c.code, "broken.zv");
        s.pass();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "zorva: error in broken.zv:\n" + c.report);
        std::string log = read_file(appdata_path("log.txt"));
        EXPECT_NE(log.find("cart error in broken.zv:\n" + c.report), std::string::npos) << log;
        EXPECT_EQ(pstate.run_failed, 1);
    }
}

TEST(Requests, ResetStartsAFreshScriptMachineAndRebootStartsOver) {
    shell_session s;
    s.run_code(counting_cart);
    mark_machine();
    pstate.REQUEST = REQUEST_RESET_SCRIPT;
    s.pass();
    EXPECT_FALSE(machine_marked());
    EXPECT_EQ(pstate.REQUEST, 0);

    for (int request : {REQUEST_REBOOT, REQUEST_REBOOT_2}) {
        s.run_code(counting_cart);
        std::strcpy(pstate.parameter, "kept?");
        pstate.REQUEST = request;
        s.pass();
        EXPECT_EQ(pstate.MODE, MODE_BOOT) << request;
        EXPECT_STREQ(pstate.working_file_name, "") << request;
        EXPECT_STREQ(pstate.parameter, "") << request;
        ASSERT_NE(working_cart(), nullptr);
        EXPECT_EQ(working_cart()->code[0], 0) << request;
        EXPECT_EQ(pstate.code_tabs[0]->max_len, 65535) << request;
        EXPECT_EQ(std::strlen(pstate.working_sha1), 40u) << request;
        // The cross that marks sprite 0 of a new cart.
        EXPECT_EQ(working_cart()->gfx->rows[2][2], 7);
        EXPECT_EQ(working_cart()->gfx->rows[2][5], 7);
    }
}

TEST(Requests, TheResetGlitchRestartsTheCartAndDropsErrorsMeanwhile) {
    shell_session s;
    s.run_code(counting_cart);
    std::strcpy(pstate.parameter, "again");
    s.passes(10);
    int ran = cart_n();
    pstate.suspend_counter = 1;
    s.pass();
    EXPECT_EQ(pstate.suspend_counter, 2);
    zorva_runtime_error("dropped");
    EXPECT_EQ(pstate.REQUEST, 0);
    s.passes(2);
    EXPECT_EQ(pstate.suspend_counter, 4);
    s.pass();
    EXPECT_EQ(pstate.suspend_counter, 0);
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUN);
    EXPECT_STREQ(pstate.pending_parameter, "again");
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_LE(cart_n(), 2);   // started over
    EXPECT_GT(ran, 5);
    EXPECT_STREQ(pstate.parameter, "again");
    EXPECT_FALSE(printed_line("dropped"));
}

TEST(BootSequence, ShowsTheLogoPlaysTheBootSoundAndRunsTheMainCart) {
    shell_session s;
    ASSERT_EQ(pstate.MODE, MODE_BOOT);
    bool boot_sound = false;
    int passes = 0;
    while (pstate.MODE == MODE_BOOT && passes < 200) {
        s.pass();
        passes++;
        boot_sound = boot_sound || tamu_sfx_is_playing(&pstate.boot_sound_cart->sfx[0]);
        if (pstate.frame_counter - 10 == 36) {
            // After step 35: the logo at 1,1 (its first row is blank, the
            // second holds the Z in colour 10).
            EXPECT_EQ(pstate.screen->rows[2][1], 10);
            EXPECT_EQ(pstate.screen->rows[1][1], 0);
        }
    }
    EXPECT_TRUE(boot_sound);
    EXPECT_TRUE(printed_line("zorva 0.1.11b"));
    EXPECT_TRUE(printed_line("booting cartridge.."));
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_STREQ(pstate.working_file_name, "zorva.zv");
    EXPECT_EQ(pstate.running, 1);
    ASSERT_NE(working_cart(), nullptr);
    EXPECT_NE(std::strstr(working_cart()->code, "the player's front door"), nullptr);
    // The main cart's menu.
    s.passes(3);
    int ground = 0;   // cls(1), with a star here and there
    for (int x = 0; x < 128; x++) ground += pstate.screen->rows[0][x] == 1;
    EXPECT_GT(ground, 120);
}

TEST(BootSequence, SploreAtBootEntersTheBrowserInstead) {
    shell_session s({"-splore"});
    for (int i = 0; i < 200 && pstate.MODE == MODE_BOOT; i++) s.pass();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    EXPECT_EQ(pstate.running, 0);
}

TEST(BootSequence, ASplashWaitsForAKey) {
    // The splash is a picture beside the program; the test program's
    // folder holds none, so put one in the state as start-up would.
    shell_session s;
    app.splash = tamu_create_bitmap(160, 100, 8);
    tamu_rectfill(app.splash, 0, 0, 159, 99, 12);
    pstate.MODE = MODE_SPLASH;
    s.passes(5);
    EXPECT_EQ(pstate.MODE, MODE_SPLASH);
    ASSERT_NE(tamu_back_page, nullptr);
    EXPECT_EQ(tamu_back_page->width, 160);
    EXPECT_EQ(tamu_back_page->rows[50][80], 12);
    s.press(4);   // A
    EXPECT_EQ(pstate.MODE, MODE_BOOT);
    s.pass();
    EXPECT_EQ(tamu_back_page->width, 128);
}

}  // namespace
