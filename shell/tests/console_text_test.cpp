// The console's text through the cart API's console commands in a whole
// session: the paged directory listing of ls, cd kept within the root
// folder, mkdir, folder; and the typed command line's history and tab
// completion.
#include "shell_session.h"

#include "console_text.h"
#include "zorva_cpu.h"
#include "zorva_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <set>
#include <sys/stat.h>

namespace {

using lines = std::vector<std::string>;

std::string root() { return pstate.root_path; }

void make_dir(const std::string &path) { mkdir(path.c_str(), 0755); }

// Runs a console command (no cart program) through the shell's update,
// then as many passes as the listing needs.
void command(shell_session &s, const std::string &text, int passes = 40) {
    s.to_console();
    ASSERT_EQ(run_program(text.c_str(), 1), 1) << text;
    EXPECT_EQ(pstate.running, 0);
    s.passes(passes);
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
}

lines texts() {
    lines out;
    for (auto &[text, colour] : printed) out.push_back(text);
    return out;
}

int colour_of(const std::string &text) {
    for (auto &[line, colour] : printed)
        if (line == text) return colour;
    return -1;
}

// A fresh root folder holding the given folders and (empty) files.
void build_tree(const lines &folders, const lines &files) {
    std::string r = root();
    std::filesystem::remove_all(r);
    make_dir(r);
    for (const std::string &f : folders) make_dir(r + f);
    for (const std::string &f : files) write_file(r + f, "");
}

TEST(Listing, FoldersThenCartsAndEveryFileWithTheStarFilter) {
    shell_session s;
    build_tree({"games", "tools", "old.zv", "games/inner"}, {"a.zv", "b.zv.png", "notes.txt", "games/deep.zv"});

    command(s, "color(11) ls()");
    lines out = texts();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], "directory: /");
    EXPECT_EQ(colour_of("directory: /"), 12);
    // Folders first (in the order the system gives them), then the carts.
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(std::set<std::string>(out.begin() + 1, out.begin() + 4), (std::set<std::string>{"games", "tools", "old.zv"}));
    EXPECT_EQ(std::set<std::string>(out.begin() + 4, out.end()), (std::set<std::string>{"a.zv", "b.zv.png"}));
    EXPECT_EQ(colour_of("games"), 14);
    EXPECT_EQ(colour_of("a.zv"), 11);   // the pen colour
    EXPECT_FALSE(listing_in_progress());

    printed.clear();
    command(s, "ls('*')");
    EXPECT_EQ(colour_of("notes.txt"), 5);
    EXPECT_EQ(texts().size(), 7u);
    EXPECT_FALSE(printed_line("--more--"));
}

TEST(Listing, PagesOfSeventeenLines) {
    shell_session s;
    lines carts;
    for (int i = 0; i < 30; i++) carts.push_back("cart" + std::to_string(i) + ".zv");
    build_tree({}, carts);

    command(s, "ls()");
    lines out = texts();
    ASSERT_EQ(out.size(), 19u);   // the header, 17 names, "--more--"
    EXPECT_EQ(out.front(), "directory: /");
    EXPECT_EQ(out.back(), "--more--");
    EXPECT_EQ(colour_of("--more--"), 12);
    EXPECT_FALSE(listing_in_progress());   // waits for the next ls: the prompt shows

    command(s, "ls()");
    out = texts();
    ASSERT_EQ(out.size(), 32u);   // the rest, with no second header
    std::set<std::string> listed(out.begin() + 1, out.end());
    listed.erase("--more--");
    EXPECT_EQ(listed, std::set<std::string>(carts.begin(), carts.end()));

    // The next ls starts over.
    printed.clear();
    command(s, "ls()");
    EXPECT_EQ(texts().front(), "directory: /");
}

TEST(Listing, RunsTwoStepsATickAndHidesThePrompt) {
    shell_session s;
    build_tree({}, {"a.zv", "b.zv", "c.zv", "d.zv", "e.zv", "f.zv"});
    s.to_console();
    ASSERT_EQ(run_program("ls()", 1), 1);
    s.pass();   // the command: the header and the first step
    EXPECT_TRUE(listing_in_progress());
    size_t before = printed.size();
    s.pass();
    EXPECT_GE(printed.size(), before);
    s.passes(10);
    EXPECT_FALSE(listing_in_progress());
    EXPECT_EQ(printed.size(), 7u);
}

TEST(Listing, AnUnfinishedListingIsClosedAtExit) {
    shell_session s;
    lines carts;
    for (int i = 0; i < 20; i++) carts.push_back("c" + std::to_string(i) + ".zv");
    build_tree({}, carts);
    command(s, "ls()");
    EXPECT_NE(directory_listing.search.dir, nullptr);   // waiting at "--more--"
    close_directory_listing();
    EXPECT_EQ(directory_listing.search.dir, nullptr);
    EXPECT_FALSE(listing_in_progress());
}

TEST(Cd, StaysWithinTheRootFolder) {
    shell_session s;
    build_tree({"games", "games/inner", "tools"}, {"games/inner/x.zv"});
    std::string long_name(512, 'a');
    std::string almost(511, 'b');
    struct {
        std::string command;
        std::string printed;     // empty: nothing
        std::string directory;   // the current directory after it
    } cases[] = {
        {"cd('games')", "/games/", "games/"},
        {"cd('inner')", "/games/inner/", "games/inner/"},
        {"cd('..')", "/games/", "games/"},
        {"cd('../..')", "cd: failed", "games/"},            // above the root
        {"cd('/tools')", "/tools/", "tools/"},              // from the root
        {"cd('/../games')", "cd: failed", "tools/"},
        {"cd('../tools/../games/./inner')", "/games/inner/", "games/inner/"},
        {"cd('~')", "cd: failed", "games/inner/"},          // not the home folder
        {"cd('" + long_name + "')", "", "games/inner/"},     // over 511 characters: nothing
        {"cd('" + almost + "')", "directory not found", "games/inner/"},
        {"cd('nowhere')", "directory not found", "games/inner/"},
        {"cd('/')", "/", ""},
        {"cd('..')", "cd: failed", ""},
    };
    for (auto &c : cases) {
        printed.clear();
        command(s, c.command, 1);
        EXPECT_EQ(texts(), c.printed.empty() ? lines{} : lines{c.printed}) << c.command.substr(0, 40);
        EXPECT_EQ(std::string(pstate.current_directory), c.directory) << c.command.substr(0, 40);
    }

    // ls lists the current folder.
    command(s, "cd('games/inner') ls()");
    EXPECT_TRUE(printed_line("directory: /games/inner/"));
    EXPECT_TRUE(printed_line("x.zv"));
}

TEST(Mkdir, MakesFoldersOnlyWithinTheRootFolder) {
    shell_session s;
    build_tree({"games"}, {});
    std::string outside = test_home() + "/escaped";
    std::remove(outside.c_str());
    command(s, "cd('games') mkdir('levels') mkdir('../top') mkdir('../../../../../../../../../../../../../../../../../" +
                   outside.substr(1) + "')",
            1);
    EXPECT_TRUE(tamu_directory_exists((root() + "games/levels").c_str()));
    EXPECT_TRUE(tamu_directory_exists((root() + "top").c_str()));
    EXPECT_FALSE(tamu_directory_exists(outside.c_str()));
    struct stat st;
    EXPECT_NE(stat(outside.c_str(), &st), 0);
}

TEST(Folder, OpensTheCurrentFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows program opens folders with the shell, which under wine starts a file manager "
                    "that stays open with nobody to close it";
#endif
    shell_session s;
    build_tree({"games"}, {});
    command(s, "cd('games') folder()", 1);
    std::string log = read_file(appdata_path("log.txt"));
    EXPECT_NE(log.find("launch: [xdg-open \"" + root() + "games/\"]"), std::string::npos) << log;
}

TEST(CommandLine, HistoryKeepsTheNewest256) {
    clear_command_history();
    store_command("");
    EXPECT_EQ(command_history_count, 0);
    store_command("ls");
    store_command("ls");   // the same as the newest: not again
    store_command("cd games");
    store_command("ls");
    EXPECT_EQ(command_history_count, 3);
    EXPECT_STREQ(command_history[0], "ls");
    EXPECT_STREQ(command_history[1], "cd games");
    for (int i = 0; i < 300; i++) store_command(("load " + std::to_string(i)).c_str());
    EXPECT_EQ(command_history_count, COMMAND_HISTORY_SIZE);
    EXPECT_STREQ(command_history[0], "load 299");
    EXPECT_STREQ(command_history[255], "load 44");
    clear_command_history();
    EXPECT_EQ(command_history_count, 0);
}

TEST(CommandLine, TabCompletionAndInputCharacters) {
    shell_session s;
    s.to_console();
    build_tree({"alps"}, {"alpha.zv", "alpine.zv", "beta.zv"});
    struct {
        const char *line;
        const char *completed;
        lines printed;
    } cases[] = {
        {"load be", "load beta.zv", {}},
        {"load(\"alph", "load(\"alpha.zv", {}},
        {"load alp", "load alp", {"3 files"}},   // and the three names
        {"load z", "load z", {}},
    };
    for (auto &c : cases) {
        printed.clear();
        std::snprintf(command_text, sizeof command_text, "%s", c.line);
        tab_completion();
        EXPECT_STREQ(command_text, c.completed);
        if (!c.printed.empty()) {
            lines out = texts();
            ASSERT_EQ(out.size(), 4u);
            EXPECT_EQ(out[0], c.printed[0]);
            EXPECT_EQ(std::set<std::string>(out.begin() + 1, out.end()),
                      (std::set<std::string>{"alps", "alpha.zv", "alpine.zv"}));
        } else {
            EXPECT_TRUE(printed.empty()) << c.line;
        }
    }
    EXPECT_EQ(command_position, int(std::strlen("load(\"alpha.zv")));
    command_text[0] = 0;

    for (int c : {32, int('a'), int('z'), int('0'), int('~'), 127}) EXPECT_EQ(is_input_char(c), 1) << c;
    for (int c : {0, 10, 31, int('A'), int('Z'), 128, 255}) EXPECT_EQ(is_input_char(c), 0) << c;
}

TEST(Folders, EmptyOrUnsearchablePathsFallBack) {
    shell_session s;
    std::string carts = appdata_path("carts/");
    std::string mine = test_home() + "/mycarts/";
    make_dir(mine);
    char path[1024];
    struct {
        std::string given;
        std::string result;
    } cases[] = {
        {"", carts},
        {mine, mine},
        {test_home() + "/no/such/folder/", carts},
        {std::string(300, 'x'), carts},   // too long to search
    };
    for (auto &c : cases) {
        std::snprintf(path, sizeof path, "%s", c.given.c_str());
        init_path(path, "carts/");
        EXPECT_EQ(std::string(path), c.result) << c.given.substr(0, 40);
    }
    EXPECT_STREQ(get_embedded_cart_title(), "zorva");
    int32_t words[4] = {1, 2, 3, 4};
    blah(words, 3);
    EXPECT_EQ(words[0] | words[1] | words[2], 0);
    EXPECT_EQ(words[3], 4);
}

}  // namespace
