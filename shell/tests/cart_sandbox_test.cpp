// A cart stays inside its folders: every call that takes a file name
// (load, save, cd, mkdir, cstore, reload, cartdata, import, export) is
// given names that lead elsewhere in every spelling, from a cart run as
// -x runs it; each is refused, says so as the call does for a bad name,
// and nothing on the disk appears or changes. folder() starts the file
// manager at most once a second and never without a window.
#include "file_tree.h"
#include "shell_session.h"

#include "lua.h"
#include "zorva_cpu.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string carts() { return appdata_path("carts/"); }

std::string bait_cart(const std::string &what) { return "zorva cartridge\nversion 11\n__lua__\n-- " + what + "\n"; }

// The name as a script string, every byte escaped (NUL included).
std::string lua_literal(const std::string &name) {
    std::string out = "\"";
    for (unsigned char c : name) out += "\\" + std::to_string(int(c));
    return out + "\"";
}

// The name as a trace shows it.
std::string shown(const std::string &name) {
    std::string out;
    for (char c : name) out += c == 0 ? std::string("\\0") : std::string(1, c);
    return out.size() > 80 ? out.substr(0, 40) + "...(" + std::to_string(out.size()) + ")" : out;
}

bool printed_starting(const std::string &start) {
    for (auto &[line, colour] : printed)
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

// A cart run as the player's -x runs it: save() acts from a running cart.
struct exec_cart {
    shell_session &s;
    explicit exec_cart(shell_session &session) : s(session) { pstate.exec_mode = 1; }
    ~exec_cart() {
        pstate.exec_mode = 0;
        tamu_quit = 0;
    }
    void run(const std::string &code) {
        tamu_quit = 0;
        pstate.hold_counter = 0;   // frames a cart file transfer holds back
        s.run_code(code, (carts() + "running.zv").c_str());
    }
};

struct hostile {
    std::string name;
    std::string setup;   // code run first, in its own run
};

std::vector<hostile> hostile_names() {
    std::string chain;
    for (int i = 0; i < 200; i++) chain += "a/";
    for (int i = 0; i < 201; i++) chain += "../";
    return {
        {"../x.zv", ""},
        {"../../../x.zv", ""},
        {"../../../.bashrc", ""},
        {"/../x.zv", ""},
        {"a/../../x.zv", ""},
        {"./../x.zv", ""},
        {"..\\x.zv", ""},
        {"..\\..\\..\\x.zv", ""},
        {"a\\..\\..\\x.zv", ""},
        {"...", ""},
        {".. /x.zv", ""},
        {"../.", ""},
        {"~/x.zv", ""},
        {"~", ""},
        {"c:/x.zv", ""},
        {"C:\\x.zv", ""},
        {"c:x.zv", ""},
        {"\\\\host\\share\\x.zv", ""},
        {"//host/share/x.zv", ""},
        {"/" + test_home() + "/x.zv", ""},   // from the root folder, where there is no such folder
        {std::string("x.zv\0/../../../../.bashrc", 25), ""},
        {std::string("\0", 1), ""},
        {std::string(600, 'n'), ""},
        {std::string(5000, 'n') + ".zv", ""},
        {chain + "x.zv", ""},
        {"con", ""},
        {"d.zv/../../../x.zv", "mkdir('d.zv')"},
        {"d.zv/../../../../.bashrc", "mkdir('d.zv')"},
        {"d.zv/../../../home/.bashrc", "mkdir('d.zv')"},
        {"../../../x.zv", "mkdir('d.zv') cd('d.zv')"},
    };
}

struct call {
    const char *what;
    std::string code;   // NAME stands for the name
    // Whether the call said it failed, as it does for a bad name.
    std::function<bool(const hostile &)> reported_failure;
};

bool is_false(const char *global) {
    lua_getglobal(L0, global);
    bool f = lua_isboolean(L0, -1) && !lua_toboolean(L0, -1);
    lua_pop(L0, 1);
    return f;
}

std::vector<call> calls() {
    return {
        {"load", "r = load(NAME)", [](const hostile &) { return is_false("r"); }},
        {"save", "save(NAME)",
         [](const hostile &h) {
             if (printed_starting("saved")) return false;
             if (h.name.size() > 511) return printed_line("filename too long");
             return std::string(app.message_text) == "** failed to save **";
         }},
        {"cd", "cd(NAME)",
         [](const hostile &h) {
             if (h.name.size() > 511) return printed.empty();   // a long name: nothing
             return printed_line("cd: failed") || printed_line("directory not found");
         }},
        {"mkdir", "r = mkdir(NAME)",
         [](const hostile &h) {
             // A name from the root folder that does not lead out makes
             // nothing: its parent folders are not there.
             return h.name[0] == '/' && h.name[1] != '.' ? true : cart_number("r") == 0;
         }},
        {"cstore", "r = cstore(0, 0, 8, NAME)", [](const hostile &) { return cart_number("r") == 0; }},
        {"reload", "r = reload(0x4300, 0, 8, NAME)", [](const hostile &) { return cart_number("r") == 0; }},
        // A bad id stops the cart; a good one that names no file of its
        // own ("con") finds no data, and none is written.
        {"cartdata", "r = cartdata(NAME)",
         [](const hostile &) { return std::string(zorva_error_string).rfind("cart data id", 0) == 0 || is_false("r"); }},
        {"import", "import(NAME) done = true", [](const hostile &) { return !is_false("done"); }},
        {"export", "export(NAME) done = true", [](const hostile &) { return !is_false("done"); }},
    };
}

std::string with_name(std::string code, const std::string &name) {
    size_t at = code.find("NAME");
    return code.replace(at, 4, lua_literal(name));
}

TEST(CartSandbox, HostileNamesAreRefusedByEveryCallAndTouchNothing) {
    shell_session s;
    exec_cart cart(s);
    // What the names would reach: carts outside the root folder, the
    // user's shell start file.
    for (const std::string &place : {test_home() + "/", test_home() + "/.ostrel/", appdata_path("")})
        write_file(place + "x.zv", bait_cart("outside " + place));
    write_file(test_home() + "/.bashrc", "# the user's own\n");
    std::filesystem::create_directories(carts());
    const std::vector<std::string> skipped = {".ostrel/zorva/log.txt"};

    for (const call &c : calls()) {
        for (const hostile &h : hostile_names()) {
            SCOPED_TRACE(std::string(c.what) + " " + shown(h.name) + (h.setup.empty() ? "" : " after " + h.setup));
            std::filesystem::remove_all(carts() + "d.zv");
            pstate.current_directory[0] = 0;
            if (!h.setup.empty()) cart.run(h.setup);
            std::string directory = pstate.current_directory;
            file_tree before = snapshot(test_home(), skipped);
            printed.clear();
            app.message_text[0] = 0;
            zorva_error_string[0] = 0;
            cart.run(with_name(c.code, h.name));
            EXPECT_TRUE(c.reported_failure(h));
            EXPECT_EQ(changes(before, snapshot(test_home(), skipped)), std::vector<std::string>{});
            EXPECT_EQ(std::string(pstate.current_directory), directory);
            EXPECT_EQ(std::string(pstate.working_file_name), carts() + "running.zv");
        }
    }
    EXPECT_EQ(read_file(test_home() + "/.bashrc"), "# the user's own\n");
}

// The same calls with plain names do their work, inside their folders.
TEST(CartSandbox, PlainNamesStillWork) {
    shell_session s;
    exec_cart cart(s);
    std::filesystem::create_directories(carts());
    std::filesystem::remove_all(carts() + "d.zv");
    write_file(carts() + "other.zv", bait_cart("other"));
    cart.run("mkdir('d.zv') cd('d.zv') save('inner') save('../up') cd('/') l = load('other.zv')");
    EXPECT_TRUE(std::filesystem::exists(carts() + "d.zv/inner.zv"));   // the name of its own gets ".zv"
    EXPECT_TRUE(std::filesystem::exists(carts() + "up.zv"));
    EXPECT_TRUE(printed_line("saved inner.zv"));
    EXPECT_EQ(std::string(pstate.working_file_name), carts() + "other.zv");
    cart.run("c = cstore(0, 0, 8, 'shared.zv') r = reload(0x4300, 0, 8, '/shared.zv') cartdata('my_id') dset(0, 5)");
    EXPECT_EQ(cart_number("c"), 8);
    EXPECT_EQ(cart_number("r"), 8);
    EXPECT_TRUE(std::filesystem::exists(appdata_path("cstore/shared.zv")));
}

// A cart that makes files and folders without end makes a bounded number
// of them in one run of the player; writing over its own files goes on.
TEST(CartSandbox, NewFilesAndFoldersAreBounded) {
    shell_session s;
    exec_cart cart(s);
    std::filesystem::remove_all(carts());
    std::filesystem::create_directories(carts());
    // (A frame holds a few dozen saves: one run for every ten.)
    cart.run("for i = 1, 200 do mkdir('f' .. i) end");
    for (int i = 1; i <= 200; i += 10)
        cart.run("for i = " + std::to_string(i) + ", " + std::to_string(i + 9) + " do save('s' .. i) end");
    auto entries = [] {
        auto all = std::filesystem::recursive_directory_iterator(carts());
        return int(std::distance(begin(all), end(all)));
    };
    EXPECT_EQ(entries(), 256);
    EXPECT_TRUE(std::filesystem::exists(carts() + "s56.zv"));
    EXPECT_FALSE(std::filesystem::exists(carts() + "s57.zv"));
    printed.clear();
    cart.run("r = mkdir('more') save('another')");
    EXPECT_EQ(cart_number("r"), 0);
    EXPECT_FALSE(printed_line("saved another.zv"));
    EXPECT_EQ(entries(), 256);
    cart.run("save('s1') save('s2.zv') mkdir('f1')");   // already there: nothing new
    EXPECT_TRUE(printed_line("saved s1.zv"));
    EXPECT_TRUE(printed_line("saved s2.zv"));
    EXPECT_EQ(entries(), 256);
}

// folder() from a cart that calls it every frame: the file manager (a
// stand-in first on PATH records each start) starts once a second, and
// never in exec mode.
TEST(CartSandbox, FolderOpensAtMostOnceASecondAndNeverWithoutAWindow) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows opens folders through the shell's file manager, which no program on PATH stands in for";
#endif
    std::string bin = test_home() + "/folder-bin", record = test_home() + "/folder-record";
    std::filesystem::create_directories(bin);
    std::filesystem::remove(record);
    write_file(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + record + "'\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    auto starts = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the stand-in has written
        std::string text = read_file(record);
        return int(std::count(text.begin(), text.end(), '\n'));
    };

    shell_session s;
    {
        exec_cart cart(s);
        cart.run("for i = 1, 50 do folder() end");
        EXPECT_EQ(starts(), 0);
    }
    s.run_code("for i = 1, 50 do folder() end", "windowed.zv");
    EXPECT_EQ(starts(), 1);
    EXPECT_EQ(read_file(record), carts() + "\n");
    s.run_code("folder()", "windowed.zv");
    EXPECT_EQ(starts(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    s.run_code("folder() folder()", "windowed.zv");
    EXPECT_EQ(starts(), 2);
    setenv("PATH", old_path.c_str(), 1);
}

}  // namespace
