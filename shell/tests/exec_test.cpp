// The player as a program: -x runs a cart without a window to its end,
// printing the console's messages on standard output; a missing cart or
// data pod ends it with its message.
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
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

TEST(Exec, ACartThatCannotBeLoadedEndsWithStatus1) {
    outcome o = run(player() + " -x no_such_cart.zv");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "could not load no_such_cart.zv\n");
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
