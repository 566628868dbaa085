// The player as a program: -x runs a cart without a window to its end,
// printing the console's messages on standard output, and ends with a
// status that says how the cart ended; a missing cart or data pod ends it
// with its message. Whatever a cart does, its frames end and the player
// quits when it is asked to.
#include "test_util.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct outcome {
    int status = -1;
    std::string out;
};

// Runs the command in the test's home folder (the tests' private HOME and
// SDL's dummy drivers come with the environment).
outcome run(const std::string &command) {
    outcome o;
    std::string full = "cd '" + test_home() + "' && timeout 60 " + command + " 2>/dev/null";
    FILE *pipe = popen(full.c_str(), "r");
    if (!pipe) return o;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) o.out.append(buffer, n);
    int status = pclose(pipe);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

std::string player() { return std::string("'") + ZORVA_BINARY_DIR + "/zorva'"; }

void write_cart(const std::string &name, const std::string &code) {
    write_file(test_home() + "/" + name, "zorva cartridge // test\nversion 11\n__lua__\n" + code + "\n");
}

TEST(Exec, RunsTheCartToItsEndAndPrintsItsErrors) {
    write_cart("fails.zv", "print(\"on the screen\")\nfunction f(t)\n return t.x\nend\nf(nil)");
    outcome o = run(player() + " -x fails.zv");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out,
              "** runtime error line 3 tab 0\n"
              "**  return t.x\n"
              "** attempt to index local 't' (a nil value)\n"
              "** in f line 3 (tab 0)\n");
}

TEST(Exec, ACartThatEndsQuietlyPrintsNothing) {
    write_cart("quiet.zv", "x = 1");
    outcome o = run(player() + " -exec quiet.zv");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "");
}

// Without a window the player needs no display: the library starts its
// video on the dummy driver whatever the environment offers.
TEST(Exec, StartsWithoutADisplay) {
    write_cart("quiet.zv", "x = 1");
    outcome o = run("env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY " + player() + " -x quiet.zv");
    EXPECT_EQ(o.status, 0);
    std::string log = read_file(test_home() + "/.ostrel/zorva/log.txt");
    EXPECT_NE(log.find("Current video driver: dummy"), std::string::npos) << log;
}

TEST(Exec, ReportsSyntaxErrorsAndTheParameter) {
    write_cart("syntax.zv", "x = = 1");
    outcome o = run(player() + " -x syntax.zv");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("** syntax error line 1 (tab 0)\n** x = = 1\n"), std::string::npos) << o.out;

    write_cart("param.zv", "assert(false, \"got \" .. stat(6))");
    o = run(player() + " -x param.zv -p level2");
    EXPECT_NE(o.out.find("** got level2\n"), std::string::npos) << o.out;
}

// -h and --help print the options and end at once with status 0, before
// any window or log.
TEST(Exec, HelpListsTheOptionsAndEnds) {
    const char *options[] = {
        "-run", "-x", "-exec", "-splore", "-p ", "-joystick", "-gif_len", "-gui_theme", "-screenshot_scale",
        "-gif_scale", "-gpio_base", "-glitch_test", "-width", "-height", "-windowed", "-window_x", "-window_y",
        "-frameless", "-fullscreen_method", "-frame_sleep_ms", "-sound", "-music", "-mix_buffer_size",
        "-software_blit", "-home", "-desktop", "-pixel_perfect", "-draw_rect", "-timeout", "-headless",
        "-show_fps", "--help",
    };
    for (const char *ask : {"-h", "--help", "cart.zv -h"}) {
        std::filesystem::remove(test_home() + "/.ostrel/zorva/log.txt");
        outcome o = run(player() + " " + ask);
        EXPECT_EQ(o.status, 0) << ask;
        EXPECT_EQ(o.out.rfind("usage: zorva", 0), 0u) << o.out;
        for (const char *option : options) EXPECT_NE(o.out.find(option), std::string::npos) << option;
        EXPECT_FALSE(std::filesystem::exists(test_home() + "/.ostrel/zorva/log.txt")) << ask;
    }
}

// The player itself, run on a cart that tries to reach out of its
// folders: the user's files stay as they were, the outside cart is not
// taken, and no export, file manager or other file appears.
TEST(Exec, AHostileCartReachesNothingOutsideItsFolders) {
    std::string home = test_home();
    std::filesystem::remove_all(home + "/.ostrel/zorva/carts");
    std::filesystem::create_directories(home + "/launch-bin");
    write_file(home + "/.bashrc", "# the user's own\n");
    write_file(home + "/.ostrel/outside.zv", "zorva cartridge\nversion 11\n__lua__\n-- outside\n");
    write_file(home + "/launch-bin/xdg-open", "#!/bin/sh\necho \"$@\" >> '" + home + "/launched'\n");
    std::filesystem::permissions(home + "/launch-bin/xdg-open", std::filesystem::perms::owner_all);
    write_cart("hostile.zv",
               "mkdir('d.zv') save('d.zv/../../../../.bashrc') save('d.zv/../../../home/.bashrc')\n"
               "save('../../a.zv') save('..\\\\..\\\\b.zv') cd('d.zv') save('../../../x.zv') cd('/')\n"
               "if load('../../outside.zv') then save('proof.zv') end\n"
               "for i = 1, 20 do export('x' .. i .. '.bin') folder() end\n"
               "cstore(0, 0, 8, '../c.zv') reload(0, 0, 8, '../../outside.zv')\n"
               "save('kept.zv')");
    outcome o = run("env PATH='" + home + "/launch-bin':\"$PATH\" " + player() + " -x hostile.zv");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(read_file(home + "/.bashrc"), "# the user's own\n");
    EXPECT_FALSE(std::filesystem::exists(home + "/launched"));
    std::vector<std::string> carts;
    for (auto &entry : std::filesystem::recursive_directory_iterator(home + "/.ostrel/zorva/carts"))
        carts.push_back(std::filesystem::relative(entry.path(), home + "/.ostrel/zorva/carts").string());
    std::sort(carts.begin(), carts.end());
    EXPECT_EQ(carts, (std::vector<std::string>{"d.zv", "kept.zv"}));
    for (const char *outside : {"/.ostrel/a.zv", "/.ostrel/b.zv", "/.ostrel/x.zv", "/.ostrel/zorva/c.zv",
                                "/.ostrel/zorva/backup/.bashrc", "/home"})
        EXPECT_FALSE(std::filesystem::exists(home + outside)) << outside;
}

// Whatever keeps a named cart from loading, -x, -run and a cart named
// alone end with status 1 (a name that is not a regular file is never
// opened: a named pipe would block), and the player and the log say why.
TEST(Exec, EveryReasonACartCannotBeLoaded) {
    std::string home = test_home();
    std::filesystem::create_directories(home + "/folder.zv");
    std::filesystem::remove(home + "/pipe.zv");
    ASSERT_EQ(mkfifo((home + "/pipe.zv").c_str(), 0600), 0);
    write_file(home + "/notes.zv", "shopping list\n");
    write_file(home + "/future.zv", "zorva cartridge // test\nversion 99\n__lua__\nx = 1\n");
    struct {
        const char *name, *reason;
    } cases[] = {
        {"missing.zv", "no such file"},
        {"folder.zv", "a folder"},
        {"pipe.zv", "not a regular file"},
        {"notes.zv", "not a cart"},
        {"future.zv", "version too new"},
        {"junk.zv.png", "not a cart"},
    };
    write_file(home + "/junk.zv.png", "not a picture at all");
    for (const char *option : {"-x", "-run", ""}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(option) + " " + c.name);
            outcome o = run(player() + " " + option + " " + c.name);
            EXPECT_EQ(o.status, 1);
            EXPECT_EQ(o.out, std::string("could not load ") + c.name + ": " + c.reason + "\n");
            std::string log = read_file(home + "/.ostrel/zorva/log.txt");
            EXPECT_NE(log.find(std::string("could not load ") + c.name + ": " + c.reason + "\n"), std::string::npos)
                << log;
        }
    }
}

// The status of -x: 0 when the cart ends or stops, 1 after any cart error
// or limit, the error raised in the cart's last slice included.
TEST(Exec, TheStatusSaysHowTheCartEnded) {
    std::string many_tokens, long_code;
    for (int i = 0; i < 3000; i++) many_tokens += "x=1\n";
    while (long_code.size() <= 65536) long_code += "x = 1 -- " + std::string(90, 'a') + "\n";
    struct {
        const char *what;
        std::string code;
        int status;
        const char *printed;
    } cases[] = {
        {"ends", "x = 1", 0, ""},
        {"stops", "function _update() n = (n or 0) + 1 if n == 3 then stop() end end", 0, ""},
        {"runtime error", "x = nil + 1", 1, "** attempt to perform arithmetic on a nil value\n"},
        {"syntax error", "x = = 1", 1, "** unexpected symbol near '='\n"},
        {"failed assert", "assert(false, \"no\")", 1, "** no\n"},
        {"out of memory", "x = {} while true do add(x, {}) end", 1, "** out of memory\n"},
        {"failed allocation", "s = \"x\" for i = 1, 40 do s = s .. s end", 1, "** out of memory\n"},
        {"too many tokens", many_tokens, 1, "** 9000 / 8192 tokens\n"},
        {"too many characters", long_code, 1, "** program exceeds char limit\n"},
        {"bad poke last", "flip() poke(0x8000, 1)", 1, "** bad memory access\n"},
        {"bad memcpy last", "flip() memcpy(0x7000, 0, 0x2000)", 1, "** bad memory access\n"},
        {"bad cart data id last", "flip() cartdata(\"A\")", 1, "** cart data id: bad char\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        write_cart("cart.zv", c.code);
        outcome o = run(player() + " -x cart.zv");
        EXPECT_EQ(o.status, c.status);
        EXPECT_NE(o.out.find(c.printed), std::string::npos) << o.out;
        if (c.status == 0) {
            EXPECT_EQ(o.out, "");
        }
    }
}

// ---------------------------------------------------------------------------
// Carts that never give up the frame

// Each spins where it would keep a frame from ending. The spin lasts while
// SPIN holds: time() < 0.2 shows that frames went on ending meanwhile (the
// cart then fails an assert on purpose), true spins for good. A callback
// of a host function cannot yield: it is stopped instead.
struct spinning_cart {
    const char *what;
    const char *code;
    const char *ended;
};
const spinning_cart spinning_carts[] = {
    {"top level", "while SPIN do end assert(false, 'frames ended')", "** frames ended\n"},
    {"_update", "function _update() while SPIN do end assert(false, 'frames ended') end", "** frames ended\n"},
    {"coroutine", "co = cocreate(function() while true do end end) while SPIN do coresume(co) end "
                  "assert(false, 'frames ended')", "** frames ended\n"},
    {"coroutine with flip", "co = cocreate(function() while true do flip() end end) while SPIN do coresume(co) end "
                            "assert(false, 'frames ended')", "** frames ended\n"},
    {"nested coroutines", "inner = cocreate(function() while true do end end) "
                          "outer = cocreate(function() while true do coresume(inner) end end) "
                          "while SPIN do coresume(outer) end assert(false, 'frames ended')", "** frames ended\n"},
    {"finalizer", "mt = {__gc = function() while true do end end} while SPIN do setmetatable({}, mt) end "
                  "assert(false, 'frames ended')", "** frames ended\n"},
    {"host callback", "t = setmetatable({}, {__pairs = function() while SPIN do end return next, {} end}) "
                      "for k in pairs(t) do end", "** attempt to yield across a C-call boundary\n"},
};

std::string spinning(const spinning_cart &c, const char *spin) {
    return std::regex_replace(c.code, std::regex("SPIN"), spin);
}

TEST(ExecSpinning, EveryFrameEnds) {
    for (const spinning_cart &c : spinning_carts) {
        SCOPED_TRACE(c.what);
        write_cart("spin.zv", spinning(c, "time() < 0.2"));
        outcome o = run(player() + " -x spin.zv");
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.out.find(c.ended), std::string::npos) << o.out;
    }
}

// CPU time the process has used so far (all its threads), from /proc.
std::chrono::milliseconds cpu_time_of(pid_t pid) {
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t end = stat.rfind(')');   // the name may hold blanks
    std::istringstream fields(end == std::string::npos ? "" : stat.substr(end + 1));
    std::string field;
    long ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; n++)   // utime and stime are fields 14 and 15
        if (n >= 14) ticks += std::stol(field);
    return std::chrono::milliseconds(ticks * 1000 / sysconf(_SC_CLK_TCK));
}

std::chrono::milliseconds cpu_time_of(const rusage &r) {
    auto ms = [](const timeval &t) { return std::chrono::milliseconds(t.tv_sec * 1000 + t.tv_usec / 1000); };
    return ms(r.ru_utime) + ms(r.ru_stime);
}

// Asked to quit (SIGTERM, as SDL turns it into the quit event), the player
// ends within a second with status 2 (the cart did not end) and saves the
// cart's data and its configuration on the way, as on any quit. The second
// is the CPU time the player takes to quit, which the load of the machine
// does not stretch (a sanitizer build is given three).
TEST(ExecSpinning, SigtermEndsThePlayerWithinASecond) {
#ifdef ZORVA_SANITIZED
    const auto limit = std::chrono::seconds(3);
#else
    const auto limit = std::chrono::seconds(1);
#endif
    std::string home = test_home(), cstore = home + "/.ostrel/zorva/cstore";
    for (const spinning_cart &c : spinning_carts) {
        SCOPED_TRACE(c.what);
        // Its cstore file says the cart runs.
        write_cart("spin.zv", std::string("cartdata('spin_test') dset(0, 42) cstore(0, 0, 1) ") + spinning(c, "true"));
        std::filesystem::remove(home + "/.ostrel/zorva/cdata/spin_test.zvd.txt");
        std::filesystem::remove_all(cstore);
        std::string binary = std::string(ZORVA_BINARY_DIR) + "/zorva";
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
            execl(binary.c_str(), binary.c_str(), "-x", "spin.zv", static_cast<char *>(nullptr));
            _exit(127);
        }
        auto started = std::chrono::steady_clock::now();
        while ((!std::filesystem::exists(cstore) || std::filesystem::is_empty(cstore)) &&
               std::chrono::steady_clock::now() - started < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));   // well into the spin
        std::chrono::milliseconds before = cpu_time_of(pid);
        kill(pid, SIGTERM);
        auto asked = std::chrono::steady_clock::now();
        int status = 0;
        rusage usage{};
        pid_t ended = 0;
        while ((ended = wait4(pid, &status, WNOHANG, &usage)) == 0 &&
               std::chrono::steady_clock::now() - asked < std::chrono::seconds(20))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (ended == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "still running 20 s after SIGTERM";
            continue;
        }
        EXPECT_LT(cpu_time_of(usage) - before, limit);
        ASSERT_TRUE(WIFEXITED(status));
        // The callback may have been stopped before the signal came.
        int expected = WEXITSTATUS(status) == 1 && std::string(c.what) == "host callback" ? 1 : 2;
        EXPECT_EQ(WEXITSTATUS(status), expected);
        std::string data = read_file(home + "/.ostrel/zorva/cdata/spin_test.zvd.txt");
        EXPECT_EQ(data.substr(0, 8), "002a0000") << data;
        std::string log = read_file(home + "/.ostrel/zorva/log.txt");
        EXPECT_NE(log.find("tamu_config_save"), std::string::npos) << log;
    }
}

TEST(Exec, WithoutItsDataPodThePlayerSaysSoAndEnds) {
    std::string folder = test_home() + "/bare";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(std::string(ZORVA_BINARY_DIR) + "/zorva", folder + "/zorva",
                               std::filesystem::copy_options::overwrite_existing);
    outcome o = run("'" + folder + "/zorva' -x whatever.zv");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "couldn't load " + folder + "/data.pod\n");
}

}  // namespace
