// The player as a program: -x runs a cart without a window to its end,
// printing the console's messages on standard output; a missing cart or
// data pod ends it with its message.
#include "run_program.h"
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

const char *const program_name = "zorva" ZORVA_EXE_SUFFIX;

std::string player() { return std::string(ZORVA_BINARY_DIR) + "/" + program_name; }

// Runs the player with the arguments in the test's home folder (the tests'
// private HOME and SDL's dummy drivers come with the environment), at most
// 60 seconds; standard error is not kept. The Windows program writes its
// output as text, each line ending in CR LF; the lines are compared.
program_result run(const std::vector<std::string> &args, std::vector<std::string> env = {}) {
    program_run how;
    how.directory = test_home();
    how.env = std::move(env);
    program_result r = run_program(args, how);
#ifdef _WIN32
    for (size_t at; (at = r.out.find("\r\n")) != std::string::npos;) r.out.erase(at, 1);
#endif
    return r;
}

// Written through the engine, so that a name outside the ASCII range is
// the same name on every platform.
void write_cart(const std::string &name, const std::string &code) {
    std::string text = "zorva cartridge // test\nversion 11\n__lua__\n" + code + "\n";
    FILE *f = tamu_platform_fopen((test_home() + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr) << name;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

TEST(Exec, RunsTheCartToItsEndAndPrintsItsErrors) {
    write_cart("fails.zv", "print(\"on the screen\")\nfunction f(t)\n return t.x\nend\nf(nil)");
    program_result o = run({player(), "-x", "fails.zv"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out,
              "** runtime error line 3 tab 0\n"
              "**  return t.x\n"
              "** attempt to index local 't' (a nil value)\n"
              "** in f line 3 (tab 0)\n");
}

TEST(Exec, ACartThatEndsQuietlyPrintsNothing) {
    write_cart("quiet.zv", "x = 1");
    program_result o = run({player(), "-exec", "quiet.zv"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "");
}

// Without a window the player needs no display: the library starts its
// video on the dummy driver whatever the environment offers.
TEST(Exec, StartsWithoutADisplay) {
    write_cart("quiet.zv", "x = 1");
    program_result o = run({player(), "-x", "quiet.zv"}, {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(o.status, 0);
    std::string log = read_file(test_home() + "/.ostrel/zorva/log.txt");
    EXPECT_NE(log.find("Current video driver: dummy"), std::string::npos) << log;
}

TEST(Exec, ReportsSyntaxErrorsAndTheParameter) {
    write_cart("syntax.zv", "x = = 1");
    program_result o = run({player(), "-x", "syntax.zv"});
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("** syntax error line 1 (tab 0)\n** x = = 1\n"), std::string::npos) << o.out;

    write_cart("param.zv", "assert(false, \"got \" .. stat(6))");
    o = run({player(), "-x", "param.zv", "-p", "level2"});
    EXPECT_NE(o.out.find("** got level2\n"), std::string::npos) << o.out;
}

TEST(Exec, ACartThatCannotBeLoadedEndsWithStatus1) {
    program_result o = run({player(), "-x", "no_such_cart.zv"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "could not load no_such_cart.zv\n");
}

TEST(Exec, WithoutItsDataPodThePlayerSaysSoAndEnds) {
    std::string folder = test_home() + "/bare";
    std::filesystem::create_directories(folder);
    std::filesystem::remove(folder + "/" + program_name);
    std::filesystem::copy_file(player(), folder + "/" + program_name);
    program_result o = run({folder + "/" + program_name, "-x", "whatever.zv"});
    EXPECT_EQ(o.status, 0);
#ifdef _WIN32
    // The folder as the system names it (wine: with its drive letter).
    const std::string tail = folder + "/data.pod\n";
    ASSERT_GT(o.out.size(), tail.size()) << o.out;
    EXPECT_EQ(o.out.rfind("couldn't load ", 0), 0u) << o.out;
    EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
#else
    EXPECT_EQ(o.out, "couldn't load " + folder + "/data.pod\n");
#endif
}

// A cart in a folder and of a name outside the ASCII range (and outside
// any one Windows code page) loads from the command line and runs.
TEST(Exec, CartNamesInAnyScriptRun) {
    ASSERT_EQ(tamu_mkdir((test_home() + "/Юрий").c_str()), 0);
    write_cart("Юрий/игра 遊戲.zv", "assert(false, \"ran \" .. stat(6))");
    program_result o = run({player(), "-x", "Юрий/игра 遊戲.zv", "-p", "ключ"});
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("** ran ключ\n"), std::string::npos) << o.out;

    o = run({player(), "-x", "Юрий/нет.zv"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "could not load Юрий/нет.zv\n");
}

}  // namespace
