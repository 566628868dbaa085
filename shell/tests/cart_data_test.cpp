// Cart data: the file's text, claiming an id, saving (when due, on pause,
// on a restart, at exit), failures that must keep the old file, damaged
// files, and the values kept from one run of the player to the next.
#include "shell_session.h"

#include "cart_data_file.h"
#include "lua.h"
#include "zorva_cpu.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <cstring>
#include <functional>
#include <map>
#include <string>

namespace {

#ifndef _WIN32   // Windows has no per-process file size limit
// Runs body with writes limited to limit bytes per file (a full disk, as
// far as the writer can tell).
void with_file_size_limit(rlim_t limit, const std::function<void()> &body) {
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
    body();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
}
#endif

// Test homes outlive a run of the tests: each test starts without the
// files earlier runs saved.
void forget_saved_files() {
    for (const char *folder : {"cdata", "backup"}) std::filesystem::remove_all(appdata_path(folder));
}

std::string cdata_file(const std::string &id) { return appdata_path("cdata/" + id + ".zvd.txt"); }

bool file_exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool global_true(const char *name) {
    lua_getglobal(L0, name);
    bool b = lua_toboolean(L0, -1) != 0;
    lua_pop(L0, 1);
    return b;
}

// The text of a file with the given values (others 0).
std::string text_with(const std::map<int, uint32_t> &given) {
    uint32_t values[CART_DATA_VALUES] = {};
    for (auto [i, v] : given) values[i] = v;
    char text[CART_DATA_FILE_SIZE + 1];
    write_cart_data_text(values, text);
    return text;
}

TEST(CartDataText, WritesEightLinesOfEightValues) {
    uint32_t values[CART_DATA_VALUES];
    for (int i = 0; i < CART_DATA_VALUES; i++) values[i] = uint32_t(i) * 0x01010101u + (i == 63 ? 0x80000000u : 0);
    char text[CART_DATA_FILE_SIZE + 1];
    write_cart_data_text(values, text);
    ASSERT_EQ(std::strlen(text), size_t(CART_DATA_FILE_SIZE));
    std::string expected;
    for (int i = 0; i < CART_DATA_VALUES; i++) {
        char v[16];
        std::snprintf(v, sizeof v, "%08x", values[i]);
        expected += v;
        if (i % 8 == 7) expected += "\n";
    }
    EXPECT_EQ(std::string(text), expected);
    EXPECT_EQ(std::string(text, 8), "00000000");
    EXPECT_EQ(std::string(text + 511, 8), "bf3f3f3f");   // value 63, in lower case

    uint32_t back[CART_DATA_VALUES];
    EXPECT_EQ(read_cart_data_text(text, CART_DATA_FILE_SIZE, back), 0);
    EXPECT_EQ(std::memcmp(back, values, sizeof back), 0);
}

TEST(CartDataText, ReadsWhatItCanAndSaysWhatItSkipped) {
    std::string long_file = text_with({{0, 1}}) + std::string(600, ' ');
    struct Case {
        const char *what;
        std::string text;
        std::map<int, uint32_t> values;   // the rest are 0
        int damage;
    } cases[] = {
        {"empty", "", {}, 0},
        {"upper case and extra spaces", "  0001 0000\tABCDEF01 \r\n  0000000a", {{0, 0x10000}, {1, 0xABCDEF01}, {2, 10}}, 0},
        {"three lines", text_with({{0, 5}, {23, 0xFFFFFFFF}}).substr(0, 3 * 65), {{0, 5}, {23, 0xFFFFFFFF}}, 0},
        {"other characters are skipped", "x0000g0001,00000002", {{0, 1}, {1, 2}}, CART_DATA_STRAY_CHARACTERS},
        {"a cut last value", "000000010002", {{0, 1}, {1, 2}}, CART_DATA_PARTIAL_VALUE},
        {"more than 64 values", text_with({{63, 7}}) + "12345678\n", {{63, 7}}, CART_DATA_TOO_LONG},
        {"over 1024 bytes", long_file, {{0, 1}}, CART_DATA_TOO_LONG},
        {"a NUL in the file", std::string("00000001\0" "00000002", 17), {{0, 1}, {1, 2}}, CART_DATA_STRAY_CHARACTERS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t values[CART_DATA_VALUES];
        std::memset(values, 0xAB, sizeof values);
        EXPECT_EQ(read_cart_data_text(c.text.data(), int(c.text.size()), values), c.damage);
        for (int i = 0; i < CART_DATA_VALUES; i++) {
            auto it = c.values.find(i);
            EXPECT_EQ(values[i], it == c.values.end() ? 0u : it->second) << i;
        }
    }
}

TEST(CartData, ClaimingAnId) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    EXPECT_EQ(load_cdata("early"), 1);   // no cart program runs
    EXPECT_STREQ(pstate.cartdata_id, "");
    EXPECT_EQ(load_cdata(nullptr), 3);

    std::string longest(64, 'z');
    struct Case {
        std::string id;
        int result;
        const char *error;   // null: none
    } cases[] = {
        {"", 2, "cart data id too long"},
        {std::string(65, 'a'), 2, "cart data id too long"},
        {"Upper", 2, "cart data id: bad char"},
        {"dash-ed", 2, "cart data id: bad char"},
        {"dot.s", 2, "cart data id: bad char"},
        {longest, 1, nullptr},   // claimed; no file yet
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        pstate.MODE = MODE_RUNNING;
        pstate.running = 1;
        pstate.REQUEST = 0;
        pstate.cartdata_id[0] = 0;
        zorva_error_string[0] = 0;
        EXPECT_EQ(load_cdata(c.id.c_str()), c.result);
        if (c.error) {
            EXPECT_EQ(pstate.REQUEST, REQUEST_RUNTIME_ERROR);
            EXPECT_STREQ(zorva_error_string, c.error);
            EXPECT_STREQ(pstate.cartdata_id, "");
        } else {
            EXPECT_EQ(pstate.REQUEST, 0);
            EXPECT_EQ(std::string(pstate.cartdata_id), c.id);
        }
    }
    // A second claim, even of the same id, stops the cart.
    EXPECT_EQ(load_cdata(longest.c_str()), 2);
    EXPECT_STREQ(zorva_error_string, "cartdata() can only be called once");
    EXPECT_EQ(std::string(pstate.cartdata_id), longest);
    for (int c = 0; c < 256; c++)
        EXPECT_EQ(is_legal_cart_label_char(c), (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') << c;
}

TEST(CartData, ACartStoppedByABadIdShowsWhy) {
    forget_saved_files();
    shell_session s;
    s.run_code("cartdata('ok_id') cartdata('again') function _update() end");
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_TRUE(printed_line("cartdata() can only be called once"));
    EXPECT_STREQ(pstate.cartdata_id, "ok_id");
}

// The values outlive the player: written at exit, read by the next run.
TEST(CartData, KeptFromOneRunOfThePlayerToTheNext) {
    forget_saved_files();
    // A poke into 0x5E00-0x5EFF is cart data too.
    const char *cart =
        "first = cartdata('keep_me')\n"
        "if not first then dset(3, 2) dset(63, -2) poke(0x5E2A, 9) end\n"
        "function _update() end";
    {
        shell_session s;
        pstate.cart_data_saved_at = tamu_get_time() + 1000000;   // no save falls due
        s.run_code(cart);
        EXPECT_FALSE(global_true("first"));   // no file yet
        EXPECT_EQ(pstate.cart_data_dirty, 1);
        EXPECT_FALSE(file_exists(cdata_file("keep_me")));
    }   // the player exits
    EXPECT_EQ(read_file(cdata_file("keep_me")),
              text_with({{3, 0x20000}, {10, 0x90000}, {63, 0xFFFE0000}}));
    {
        shell_session s;
        s.run_code(cart);
        EXPECT_TRUE(global_true("first"));
        EXPECT_EQ(pstate.cart_data[3], 0x20000);
        EXPECT_EQ(pstate.cart_data[10], 0x90000);
        EXPECT_EQ(pstate.cart_data[63], zorva_fixed(-0x20000));
        EXPECT_EQ(pstate.cart_data[0], 0);
    }
}

// Dirty values are saved once more than a second passed since the last
// save, when the cart stops, and before a restart lets the id go.
TEST(CartData, SavedWhenDueOnPauseAndBeforeARestart) {
    forget_saved_files();
    shell_session s;
    pstate.cart_data_saved_at = tamu_get_time() + 1000000;
    s.run_code("cartdata('due') function _update() dset(1, peek(0x4300)) end");
    const std::string path = cdata_file("due");
    auto set_and_run = [&](int value, int saved_at) {
        zorva_poke(&pstate, pstate.live_cart, 0x4300, value);
        pstate.cart_data_saved_at = saved_at;
        s.pass();
    };
    set_and_run(5, tamu_get_time() + 1000000);   // saved just now, as far as the run knows
    EXPECT_EQ(pstate.cart_data[1], 0x50000);
    EXPECT_EQ(pstate.cart_data_dirty, 1);
    EXPECT_FALSE(file_exists(path));
    set_and_run(6, tamu_get_time() - 2000);
    EXPECT_EQ(read_file(path), text_with({{1, 0x60000}}));
    EXPECT_EQ(pstate.cart_data_dirty, 0);

    // A restart (run() or the end of Ctrl+R) saves first.
    set_and_run(7, tamu_get_time() + 1000000);
    pstate.REQUEST = REQUEST_RUN;
    s.pass();
    EXPECT_EQ(read_file(path), text_with({{1, 0x70000}}));

    // Stopping saves.
    set_and_run(8, tamu_get_time() + 1000000);
    pstate.REQUEST = REQUEST_PAUSE;
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(read_file(path), text_with({{1, 0x80000}}));
}

// While the shell resets the machine (Ctrl+R) cart data is not written:
// neither by dset nor by pokes (the glitch's own random pokes included).
TEST(CartData, NotWrittenWhileTheMachineResets) {
    forget_saved_files();
    shell_session s;
    s.run_code("cartdata('reset') function _update() dset(0, 99) poke(0x5E04, 99) end");
    EXPECT_EQ(pstate.cart_data[0], 99 << 16);
    EXPECT_EQ(pstate.cart_data[1], 99);
    pstate.cart_data_saved_at = tamu_get_time() + 1000000;   // no save falls due meanwhile
    std::memset(pstate.cart_data, 0, sizeof pstate.cart_data);
    pstate.cart_data_dirty = 0;
    s.press(21 /* R */, {K_LCTRL});   // the cart runs on while the glitch begins
    EXPECT_GE(pstate.suspend_counter, 1);
    for (zorva_fixed v : pstate.cart_data) EXPECT_EQ(v, 0);
    EXPECT_EQ(pstate.cart_data_dirty, 0);
    s.passes(8);
    // The restart at its end saved the values as they were.
    EXPECT_EQ(pstate.suspend_counter, 0);
    EXPECT_EQ(read_file(cdata_file("reset")), text_with({}));
    EXPECT_EQ(pstate.cart_data[0], 99 << 16);   // and the cart writes again
}

// A save that fails leaves the old file whole, says so, and keeps the
// values marked so that a later save writes them.
TEST(CartData, FailedSavesKeepTheOldFile) {
    forget_saved_files();
    shell_session s;
    s.run_code("cartdata('fail') function _update() end");
    const std::string path = cdata_file("fail");
    const std::string old_text = text_with({{0, 1}});
    std::string folder_as_file = test_home() + "/plain_file";
    write_file(folder_as_file, "x");
    struct Case {
        const char *what;
        std::string folder;
        bool full_disk;
    } cases[] = {
#ifndef _WIN32   // Windows has no per-process file size limit
        {"full disk", appdata_path("cdata/"), true},
#endif
        {"missing folder", test_home() + "/no_such_folder/", false},
        {"folder is a file", folder_as_file + "/", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_file(path, old_text);
        std::snprintf(pstate.cdata_path, sizeof pstate.cdata_path, "%s", c.folder.c_str());
        pstate.cart_data[5] = 0x50000;
        pstate.cart_data_dirty = 1;
        int result = 0;
#ifndef _WIN32
        if (c.full_disk)
            with_file_size_limit(100, [&] { result = save_cdata(); });
        else
#endif
            result = save_cdata();
        EXPECT_EQ(result, 1);
        EXPECT_EQ(pstate.cart_data_dirty, 1);
        EXPECT_EQ(read_file(path), old_text);
    }
    std::snprintf(pstate.cdata_path, sizeof pstate.cdata_path, "%s", appdata_path("cdata/").c_str());
    EXPECT_EQ(save_cdata(), 0);
    EXPECT_EQ(pstate.cart_data_dirty, 0);
    EXPECT_EQ(read_file(path), text_with({{5, 0x50000}}));
}

// A file the reader had to guess at is copied into backup/ before the next
// save replaces it; one that cannot be read is never replaced.
TEST(CartData, DamagedFilesAreKept) {
    forget_saved_files();
    const std::string damaged = "00000001\n0000000z2 -- edited by hand\n";
    {
        shell_session s;
        write_file(cdata_file("hand"), damaged);
        s.run_code("r = cartdata('hand') function _update() end");
        EXPECT_TRUE(global_true("r"));
        EXPECT_EQ(pstate.cart_data[0], 1);
        EXPECT_EQ(read_file(appdata_path("backup/hand.zvd.txt")), damaged);
        EXPECT_STREQ(app.message_text, "** damaged cart data backed up");
        EXPECT_EQ(save_cdata(), 0);
        EXPECT_EQ(read_file(cdata_file("hand")).size(), size_t(CART_DATA_FILE_SIZE));
    }
    // A folder where the file should be cannot be read or copied: the
    // cart runs with 0s and nothing is written over it.
    ASSERT_EQ(mkdir(cdata_file("odd").c_str(), 0755), 0);
    write_file(cdata_file("odd") + "/inside", "kept");
    {
        shell_session s;
        s.run_code("r = cartdata('odd') dset(0, 3) function _update() end");
        EXPECT_FALSE(global_true("r"));
        EXPECT_EQ(pstate.cart_data[0], 3 << 16);
        EXPECT_EQ(save_cdata(), 1);
    }
    EXPECT_EQ(read_file(cdata_file("odd") + "/inside"), "kept");
}

}  // namespace
