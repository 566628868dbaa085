// The player as a program: -x runs a cart without a window to its end,
// printing the console's messages on standard output; a missing cart or
// data pod ends it with its message.
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

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
    EXPECT_EQ(o.status, 0);
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
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("** syntax error line 1 (tab 0)\n** x = = 1\n"), std::string::npos) << o.out;

    write_cart("param.zv", "assert(false, \"got \" .. stat(6))");
    o = run(player() + " -x param.zv -p level2");
    EXPECT_NE(o.out.find("** got level2\n"), std::string::npos) << o.out;
}

// The player says why, and -x ends with status 1.
TEST(Exec, ACartThatCannotBeLoadedIsNamedWithTheReason) {
    std::filesystem::create_directories(test_home() + "/a_folder");
    write_file(test_home() + "/notes.zv", "shopping: milk, eggs\n");
    write_file(test_home() + "/junk.zv.png", "not a picture at all");
    write_file(test_home() + "/newer.zv", "zorva cartridge // test\nversion 12\n__lua__\nx = 1\n");
    const struct {
        const char *name, *reason;
    } cases[] = {
        {"no_such_cart.zv", "no such file"},
        {"a_folder", "it is a folder"},
        {"notes.zv", "not a cart"},
        {"junk.zv.png", "not a cart"},
        {"newer.zv", "made by a newer version of zorva"},
    };
    for (const auto &c : cases) {
        outcome o = run(player() + " -x " + c.name);
        EXPECT_EQ(o.status, 1) << c.name;
        std::string line = std::string("could not load ") + c.name + ": " + c.reason + "\n";
        EXPECT_NE(o.out.find(line), std::string::npos) << o.out;
    }
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

TEST(Exec, WithoutItsDataPodThePlayerSaysSoAndEnds) {
    std::string folder = test_home() + "/bare";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(std::string(ZORVA_BINARY_DIR) + "/zorva", folder + "/zorva",
                               std::filesystem::copy_options::overwrite_existing);
    outcome o = run("'" + folder + "/zorva' -x whatever.zv");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "couldn't load " + folder + "/data.pod\n");
}

}  // namespace
