// The cart's system functions: frame control, time, stat, pause-menu
// items, cart data, sound, and the console commands.
#include "cart_run.h"
#include "zorva_api.h"
#include "zorva_cart.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using lines = std::vector<std::string>;

// What carts asked of the sound library, one line per call.
std::vector<std::string> sound_calls;

std::string sfx_name(sfx_record *sfx) {
    if (!sfx) return "none";
    return std::to_string(sfx - pstate.live_cart->sfx);
}

void install_sound_recorder() {
    sound_calls.clear();
    zorva_sound.stop_all_sounds = [] { sound_calls.push_back("stop all"); };
    zorva_sound.music_stop = [](int fade) { sound_calls.push_back("music stop " + std::to_string(fade)); };
    zorva_sound.play_song = [](zorva_cart *, int pattern, int fade) {
        sound_calls.push_back("song " + std::to_string(pattern) + " " + std::to_string(fade));
    };
    zorva_sound.play_sfx = [](sfx_record *sfx, int offset, int length, zorva_cart *, int channel) {
        sound_calls.push_back("play " + sfx_name(sfx) + " " + std::to_string(offset) + " " + std::to_string(length) +
                              " ch " + std::to_string(channel));
        return channel;
    };
    zorva_sound.stop_sfx = [](sfx_record *sfx) { sound_calls.push_back("stop " + sfx_name(sfx)); };
    zorva_sound.release_looping_channel = [](int channel) {
        sound_calls.push_back("release " + std::to_string(channel));
    };
}

class SystemApi : public ::testing::Test {
  protected:
    cart_run cart;

    // Runs a console command to its end.
    void command(const std::string &text) {
        ASSERT_EQ(run_program(text.c_str(), 1), 1) << text;
        for (int i = 0; i < 10 && pstate.MODE == MODE_RUNNING; i++) run_slice();
        EXPECT_EQ(pstate.MODE, MODE_CONSOLE) << text;
    }

    // Runs a cart's top-level code for one frame and returns to the
    // console (or stays in the cart when the code flips).
    void run(const std::string &code) {
        cart.start(code);
        ASSERT_EQ(pstate.MODE, MODE_RUNNING) << (cart.output.empty() ? "" : cart.output[0].text);
        cart.frame();
    }
};

TEST_F(SystemApi, FlipHoldframeAndTime) {
    run("holdframe() yield() flip() b = 1 while true do flip() end");
    EXPECT_EQ(pstate.hold_frame, 1);
    cart.frame();
    EXPECT_EQ(pstate.hold_frame, 0);
    EXPECT_EQ(cart.whole("b"), 0);
    cart.frame();
    EXPECT_EQ(cart.whole("b"), 1);

    cart.start("function _update() t = time() end");
    cart.frames(46);   // the first update sees frame 0
    EXPECT_EQ(cart.number("t"), 0x18000);   // 45 frames: 1.5 seconds
}

TEST_F(SystemApi, YieldFromACoroutine) {
    run("co = cocreate(function() yield() done = 1 end)\n"
        "a = coresume(co) b = costatus(co) coresume(co) c = costatus(co)\n");
    EXPECT_TRUE(cart.truthy("a"));
    EXPECT_EQ(cart.string("b"), "suspended");
    EXPECT_EQ(cart.string("c"), "dead");
    EXPECT_EQ(cart.whole("done"), 1);
}

TEST_F(SystemApi, StatValues) {
    std::snprintf(pstate.pending_parameter, sizeof pstate.pending_parameter, "abc");
    zorva_shell.clipboard_text = [] { return "clip"; };
    run("m = stat(0) p = stat(6) v = stat(5) c = stat(4) z = stat(99) d = stat(32)\n");
    EXPECT_EQ(cart.string("p"), "abc");
    EXPECT_EQ(cart.whole("v"), 11);
    EXPECT_EQ(cart.string("c"), "clip");
    EXPECT_EQ(cart.whole("z"), 0);
    EXPECT_EQ(cart.whole("d"), 0);   // no devkit mode
    // Kilobytes in use, the program's tokens included.
    zorva_fixed kb = cart.number("m");
    EXPECT_GE(kb, zorva_fixed(int64_t(pstate.memory_baseline) * 64));
    EXPECT_LT(kb, 200 << 16);
}

TEST_F(SystemApi, StatCpu) {
    run("flip()\n"
        "memset(0x4300, 0, 639)\n"   // 320 units charged
        "a = stat(1) b = stat(2) c = stat()\n"
        "while true do flip() end\n");
    cart.frame();
    // Charged units over the budget of 0x22222, in steps of 1/256; each
    // stat call charges 16 first.
    auto fraction = [](int64_t units) { return zorva_fixed(((units << 8) / 0x22222) << 8); };
    EXPECT_EQ(cart.number("b"), fraction(352));
    EXPECT_EQ(cart.number("c"), fraction(368));
    EXPECT_GE(cart.number("a"), fraction(336));
}

TEST_F(SystemApi, StatSound) {
    zorva_sound.stat = [](int n) { return n * 10; };
    cart.start("function _update() s = {stat(16), stat(19), stat(20), stat(23), stat(24), stat(26)} end");
    cart.frame();
    auto values = [] {
        lua_getglobal(L0, "s");
        std::vector<int> v;
        for (int i = 1; i <= 6; i++) {
            lua_rawgeti(L0, -1, i);
            v.push_back(int(lua_tonumberx(L0, -1, nullptr) >> 16));
            lua_pop(L0, 1);
        }
        lua_pop(L0, 1);
        return v;
    };
    EXPECT_EQ(values(), (std::vector<int>{160, 190, 200, 230, 240, 260}));
    // Without the sound library nothing plays.
    zorva_reset_sound_hooks();
    cart.frame();
    EXPECT_EQ(values(), (std::vector<int>{-1, -1, -1, -1, 0, 0}));
}

TEST_F(SystemApi, DevkitMouse) {
    static std::vector<std::string> messages;
    messages.clear();
    zorva_shell.show_message = [](const char *text, int ms) {
        messages.push_back(std::string(text) + " " + std::to_string(ms));
    };
    zorva_shell.started_from_command_line = [] { return 1; };
    run("poke(0x5f2d, 1) b = stat(34) e = stat(35) stat(32) stat(33)");
    EXPECT_EQ(cart.whole("e"), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"devkit mouse enabled 2000"}));
}

TEST_F(SystemApi, MenuItemLabels) {
    run("_menuitem(1, 'a very long label for an item')\n"
        "_menuitem(3, 'three') _menuitem(3, nil)\n"
        "_menuitem(6, 'x') _menuitem(0, 'y') _menuitem(-1, nil) _menuitem(100, nil)\n"
        "_menuitem(2, 42)\n");
    EXPECT_STREQ(pstate.menu_labels[1], "a very long labe");
    EXPECT_STREQ(pstate.menu_labels[2], "42");
    EXPECT_STREQ(pstate.menu_labels[3], "");
    EXPECT_STREQ(pstate.menu_labels[0], "");
    EXPECT_TRUE(cart.output.empty());
}

TEST_F(SystemApi, MenuItemSelected) {
    cart.start("a = _get_menu_item_selected(2) b = _get_menu_item_selected(2) c = _get_menu_item_selected(6)\n");
    pstate.menu_selected[2] = 1;
    cart.frame();
    EXPECT_TRUE(cart.truthy("a"));
    EXPECT_FALSE(cart.truthy("b"));
    EXPECT_EQ(cart.string("c"), "(nil)");
}

TEST_F(SystemApi, CartData) {
    static std::string claimed;
    claimed.clear();
    zorva_shell.load_cdata = [](const char *id) {
        claimed = id;
        return std::strcmp(id, "old") == 0 ? 0 : 1;
    };
    run("a = cartdata('old') b = cartdata('new') c = cartdata(5) n = cartdata()\n"
        "dset(3, 1.5) dset(64, 7) dset(-1, 7)\n"
        "x = dget(3) y = dget(64) z = dget(-1)\n");
    EXPECT_TRUE(cart.truthy("a"));
    EXPECT_FALSE(cart.truthy("b"));
    EXPECT_EQ(cart.string("c"), "(nil)");
    EXPECT_EQ(claimed, "new");
    EXPECT_EQ(cart.number("x"), 0x18000);
    EXPECT_EQ(cart.number("y"), 0);
    EXPECT_EQ(cart.number("z"), 0);
    EXPECT_EQ(pstate.cart_data[3], 0x18000);
    EXPECT_EQ(pstate.cart_data_dirty, 1);
    for (int i = 0; i < ZORVA_CART_DATA_VALUES; i++)
        if (i != 3) {
            EXPECT_EQ(pstate.cart_data[i], 0) << i;
        }
    // Memory sees the same value.
    EXPECT_EQ(zorva_peek(&pstate, pstate.live_cart, 0x5E00 + 12 + 2), 1);
}

TEST_F(SystemApi, DirtyCartDataIsSavedOnceASecond) {
    static int saves;
    saves = 0;
    zorva_shell.save_cdata = [] {
        saves++;
        pstate.cart_data_dirty = 0;
    };
    cart.start("function _update() dset(0, 1) end");
    EXPECT_EQ(saves, 1);   // a cart's start first saves what the cart before it left
    saves = 0;
    pstate.cart_data_saved_at = tamu_get_time();
    cart.frames(3);
    EXPECT_EQ(saves, 0);
    pstate.cart_data_saved_at = tamu_get_time() - 1001;
    cart.frame();
    EXPECT_EQ(saves, 1);
}

TEST_F(SystemApi, Sound) {
    install_sound_recorder();
    cart.start("sfx(3, 4) sfx(3, -3)\n"   // channels outside -2..3: nothing
        "sfx() sfx(70) sfx(-5, 2, 40, 8) sfx(-1) sfx(-1, 2) sfx(-2, 1) sfx(9, -2)\n"
        "music(-1, 500) music(70, 100, 3) music(-4)\n"
        "while true do flip() end");
    sound_calls.clear();
    cart.frame();
    EXPECT_EQ(sound_calls, (std::vector<std::string>{
                               "stop 63", "play 63 0 0 ch -1",     // sfx(70)
                               "stop 0", "play 0 31 8 ch 2",       // sfx(-5, 2, 40, 8)
                               "play none 0 0 ch -1",              // sfx(-1)
                               "play none 0 0 ch 2",               // sfx(-1, 2)
                               "release 1",                        // sfx(-2, 1)
                               "stop 9",                           // sfx(9, -2)
                               "music stop 500", "song 63 100", "song 0 0",
                           }));
    EXPECT_EQ(pstate.music_channel_mask, 0);
}

TEST_F(SystemApi, StartingAndStoppingACartStopsTheSound) {
    install_sound_recorder();
    cart.start("x = 1");
    EXPECT_EQ(sound_calls, (std::vector<std::string>{"stop all", "music stop 0"}));
    sound_calls.clear();
    cart.frame();   // the program ends
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(sound_calls, (std::vector<std::string>{"stop all", "music stop 0"}));
}

TEST_F(SystemApi, PausedDrawsTheBox) {
    run("_paused()");
    EXPECT_EQ(pstate.screen->rows[48][45], 1);
    EXPECT_EQ(pstate.screen->rows[56][82], 1);
    EXPECT_EQ(pstate.screen->rows[57][82], 0);
    int ink = 0;
    for (int y = 48; y <= 56; y++)
        for (int x = 45; x <= 82; x++) ink += pstate.screen->rows[y][x] == 7;
    EXPECT_GT(ink, 10);
}

TEST_F(SystemApi, SetPausedFpsAndMainloop) {
    run("_set_paused(1) _set_fps(60) _set_mainloop_exists(1) p = 1");
    EXPECT_EQ(cart.whole("p"), 1);
    // The program ended: the pause clears the paused flags again.
    EXPECT_EQ(pstate.paused, 0);
    EXPECT_EQ(tamu_state.paused, 0);
    cart.start("_set_paused(1) _set_fps(60) while true do flip() end");
    cart.frame();
    EXPECT_EQ(pstate.paused, 1);
    EXPECT_EQ(tamu_state.paused, 1);
    EXPECT_EQ(pstate.fps, 60);
}

// ---------------------------------------------------------------------------
// Console commands

TEST_F(SystemApi, RunAndStop) {
    run("run('a parameter') stop() after = 1");
    EXPECT_STREQ(pstate.pending_parameter, "a parameter");
    EXPECT_EQ(pstate.REQUEST, REQUEST_PAUSE);
    EXPECT_EQ(cart.whole("after"), 0);   // stop yields
    cart.frame();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);

    // A text is printed as print prints it, with the camera at 0, 0.
    cart.start("camera(-50, -50) stop('bye', 10, 20, 9) after = 1");
    cart.frame();
    EXPECT_EQ(cart.whole("after"), 0);
    int ink = 0;
    for (int y = 20; y < 26; y++)
        for (int x = 10; x < 22; x++) ink += pstate.screen->rows[y][x] == 9;
    EXPECT_GT(ink, 5);
}

TEST_F(SystemApi, StatSixAfterRunWithAParameter) {
    cart.start("p = stat(6) if p == '' then run('abc') end while true do flip() end");
    cart.frame();
    ASSERT_EQ(pstate.REQUEST, REQUEST_RUN);
    cart.frame();   // the shell starts the cart again
    EXPECT_EQ(cart.string("p"), "abc");
}

TEST_F(SystemApi, RebootAndShutdownOnlyFromTheConsole) {
    run("reboot() shutdown() exit() help() splore() after = 1");
    EXPECT_EQ(pstate.REQUEST, 0);
    EXPECT_EQ(tamu_quit, 0);
    EXPECT_EQ(cart.whole("after"), 1);
    EXPECT_TRUE(cart.output.empty());

    static int cleared;
    cleared = 0;
    zorva_shell.clear_browser_at_start = [] { cleared++; };
    command("reboot()");
    EXPECT_EQ(pstate.REQUEST, REQUEST_REBOOT);
    EXPECT_EQ(cleared, 1);
    pstate.REQUEST = 0;
    command("shutdown");
    EXPECT_EQ(tamu_quit, 1);
    tamu_quit = 0;
}

TEST_F(SystemApi, Help) {
    command("help");
    ASSERT_EQ(cart.output.size(), 19u);
    EXPECT_EQ(cart.output[1], (printed_line{"commands", 12}));
    EXPECT_EQ(cart.output[3], (printed_line{"load <filename>  save <filename>", 6}));
    EXPECT_EQ(cart.output[10], (printed_line{"splore     to explore cartridges", 14}));
    EXPECT_EQ(cart.output[16], (printed_line{"see README.md for more info", 12}));
}

TEST_F(SystemApi, LoginAndTheQuietCommands) {
    run("a = login() b, c = scoresub() d = bbsreq() printh('x') logout() extcmd('label')");
    EXPECT_EQ(cart_run::texts(), (lines{"login unavailable.", "please update zorva!"}));
    EXPECT_EQ(cart.string("a"), "(nil)");
    EXPECT_EQ(cart.string("b"), "(nil)");
    EXPECT_EQ(cart.whole("c"), 0);
}

// Loading through the shell's hook, with the messages of the console.
struct load_fixture {
    static inline std::vector<std::string> asked;
    static inline bool succeed = true;
    static int load(const char *path) {
        asked.push_back(path);
        if (!succeed) return 1;
        std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", path);
        std::snprintf(console_state::working->code, ZORVA_CODE_BUFFER_SIZE, "-- loaded");
        console_state::working->sprite_flags[0] = 77;
        return 0;
    }
    load_fixture() {
        asked.clear();
        succeed = true;
        zorva_shell.load_working_cart = load;
        std::snprintf(pstate.root_path, sizeof pstate.root_path, "/root/");
        std::snprintf(pstate.current_directory, sizeof pstate.current_directory, "games/");
    }
};

TEST_F(SystemApi, LoadFromTheConsole) {
    load_fixture loader;
    add_run_chain_item("older", "back", 0);
    command("load('x', nil, 'p') l1 = load('/y.zv') l2 = load('#123') l3 = load('__z')");
    EXPECT_EQ(loader.asked, (lines{"/root/games/x", "/root/y.zv"}));
    EXPECT_EQ(cart_run::texts(), (lines{"loaded x.zv (9 chars)", "loaded /y.zv (9 chars)", "could not load"}));
    EXPECT_EQ(run_chain_items, 0);   // reset by a load from the console
    EXPECT_EQ(pstate.live_cart->sprite_flags[0], 77);   // memory reloaded
    EXPECT_EQ(pstate.REQUEST, 0);
    EXPECT_STREQ(pstate.pending_parameter, "");
    lua_getglobal(L0, "l2");
    EXPECT_FALSE(lua_toboolean(L0, -1));
    lua_pop(L0, 1);

    cart.output.clear();
    loader.succeed = false;
    pstate.future_version = 1;
    command("load('a') load('b')");
    EXPECT_EQ(cart_run::texts(), (lines{"could not load: future version", "could not load"}));
    EXPECT_EQ(pstate.future_version, 0);
}

TEST_F(SystemApi, LoadFromACartWithABreadcrumb) {
    load_fixture loader;
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "/root/games/first.zv");
    cart.start("ok = load('second.zv', 'back to first', 'param') after = 1 while true do flip() end");
    cart.frame();
    EXPECT_EQ(cart.whole("after"), 0);   // the load's cost ends the frame
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUN);
    EXPECT_EQ(pstate.hold_counter, 30);
    ASSERT_EQ(run_chain_items, 1);
    EXPECT_STREQ(get_run_chain_filename(), "/root/games/first.zv");
    EXPECT_STREQ(get_run_chain_label(), "back to first");
    EXPECT_STREQ(get_run_chain_param_str(), "param");
    EXPECT_EQ(cart_run::texts(), (lines{"loaded second.zv (9 chars)"}));

    // A failing load from a cart is silent; a one-character breadcrumb
    // pushes nothing.
    cart.output.clear();
    loader.succeed = false;
    cart.start("a = load('missing') while true do flip() end");
    cart.frame();
    EXPECT_FALSE(cart.truthy("a"));
    EXPECT_TRUE(cart.output.empty());
    loader.succeed = true;
    cart.start("load('third.zv', 'x') while true do flip() end");
    cart.frame();
    EXPECT_EQ(run_chain_items, 1);
}

TEST_F(SystemApi, LoadFromTheClipboard) {
    static int clip_loads;
    clip_loads = 0;
    zorva_shell.load_clip_cart = [] {
        clip_loads++;
        std::snprintf(console_state::working->code, ZORVA_CODE_BUFFER_SIZE, "abc");
        return 0;
    };
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "/root/a.zv");
    run("r = load('@clip') while true do flip() end");
    EXPECT_EQ(clip_loads, 0);   // not while a cart runs
    EXPECT_FALSE(cart.truthy("r"));
    command("load('@clip.zv.png')");
    EXPECT_EQ(clip_loads, 1);
    EXPECT_STREQ(pstate.working_file_name, "");
    EXPECT_EQ(cart_run::texts(), (lines{"loaded from clipboard\n(3 chars)"}));
}

TEST_F(SystemApi, Save) {
    static std::vector<std::string> saved;
    saved.clear();
    zorva_shell.save_working_cart = [](const char *path) {
        saved.push_back(path);
        return 0;
    };
    zorva_shell.save_clip_cart = [] { return 1; };
    std::snprintf(pstate.root_path, sizeof pstate.root_path, "/root/");
    run("save('from a cart')");
    EXPECT_TRUE(saved.empty());
    std::string long_name(512, 'n');
    command(("save('" + long_name + "') save() save('') save('game') save('@clip')").c_str());
    EXPECT_EQ(saved, (lines{"/root/game"}));
    EXPECT_EQ(cart_run::texts(), (lines{"filename too long", "please specify filename", "please specify filename",
                                        "saved game.zv", "warning: label is blank", "run cart and use f7 to capture",
                                        "failed to save to clipboard"}));
    EXPECT_EQ(cart.output[4].colour, 9);
    EXPECT_EQ(cart.output[5].colour, 10);
}

TEST_F(SystemApi, Info) {
    zorva_shell.compressed_size = [](const char *code) { return int(std::strlen(code)) / 2; };
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "game");
    cart.set_code("x = 1\ny = 2");
    command("info()");
    EXPECT_EQ(cart_run::texts(), (lines{"file: game.zv", "tokens:         6 /  8192", "chars:         11 / 65535",
                                        "compressed:     5 / 15360"}));
    EXPECT_EQ(cart.output[0].colour, 14);
}

TEST_F(SystemApi, CdAndMkdir) {
    char root[1024];
    std::snprintf(root, sizeof root, "%s/root/", getenv("ZORVA_TEST_HOME") ? getenv("ZORVA_TEST_HOME") : "/tmp");
    tamu_mkdir(root);
    std::snprintf(pstate.root_path, sizeof pstate.root_path, "%s", root);
    command("cd() mkdir() mkdir('games') cd('games') cd() cd('nowhere') cd('../..') cd('..') cd()");
    EXPECT_EQ(cart_run::texts(), (lines{"directory: /", "mkdir [name]", "/games/", "directory: /games/",
                                        "directory not found", "cd: failed", "/", "directory: /"}));
    std::string games = std::string(root) + "games";
    EXPECT_TRUE(tamu_directory_exists(games.c_str()));
}

TEST_F(SystemApi, LsFromACartListsCstore) {
    char folder[1024];
    tamu_prefix_with_appdata_path("cstore/", folder);
    tamu_mkdir(folder);
    for (const char *name : {"a.zv", "b.zv.png", "c.txt", "d~.zv"}) {
        std::string path = std::string(folder) + name;
        FILE *f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    run("t = ls() n = #t s = {} for i = 1, n do s[t[i]] = true end x = ls('*')");
    EXPECT_EQ(cart.whole("n"), 2);
    lua_getglobal(L0, "s");
    for (const char *name : {"a.zv", "b.zv.png"}) {
        lua_getfield(L0, -1, name);
        EXPECT_TRUE(lua_toboolean(L0, -1)) << name;
        lua_pop(L0, 1);
    }
    lua_pop(L0, 1);
    EXPECT_EQ(cart.string("x"), "(nil)");
}

TEST_F(SystemApi, ExportImportAndOverlays) {
    static lines calls;
    calls.clear();
    zorva_shell.do_export = [](const char *name) { calls.push_back(std::string("export ") + name); };
    zorva_shell.do_import = [](const char *path) { calls.push_back(std::string("import ") + path); };
    zorva_shell.keyconfig = [] { calls.push_back("keyconfig"); };
    zorva_shell.splore = [] { calls.push_back("splore"); };
    zorva_shell.install_demos = [] { calls.push_back("demos"); };
    std::snprintf(pstate.root_path, sizeof pstate.root_path, "/r/");
    for (const char *command : {"export()", "export('')", "export g.html", "import p.png", "keyconfig", "s", "install_demos"}) {
        this->command(command);
    }
    EXPECT_EQ(calls, (lines{"export g.html", "import /r/p.png", "keyconfig", "splore", "demos"}));
    EXPECT_EQ(cart_run::texts(), (lines{"please specify a file", "please specify a file"}));
}

TEST(SystemText, ZvlLogFileName) {
    console_state console;
    std::snprintf(pstate.root_path, sizeof pstate.root_path, "/r/");
    std::snprintf(pstate.current_directory, sizeof pstate.current_directory, "d/");
    char out[64];
    struct {
        const char *name;
        int size;
        int result;
        const char *out;
    } cases[] = {
        {"log", 64, 0, "/r/d/log.zvl"},
        {"sub/log.zvl", 64, 0, "/r/d/sub/log.zvl"},
        {"a b_c.1", 64, 0, "/r/d/a b_c.1.zvl"},
        {"../up", 64, 1, nullptr},
        {"Upper", 64, 1, nullptr},
        {"semi;colon", 64, 1, nullptr},
        {"log", 12, 1, nullptr},   // "/r/d/log" and 4 more do not fit
        {"log", 13, 0, "/r/d/log.zvl"},
        {"log", 1024, 1, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(get_zvl_log_file_name(c.name, out, c.size), c.result);
        if (c.out) {
            EXPECT_STREQ(out, c.out);
        }
    }
    EXPECT_EQ(get_zvl_log_file_name(nullptr, out, 64), 1);
}

}  // namespace
