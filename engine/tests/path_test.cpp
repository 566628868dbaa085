// Paths, folders, directory search and dates.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

namespace {

// Sets or unsets an environment variable for one test.
class ScopedEnv {
  public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        const char *old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char *name_;
    bool had_;
    std::string old_;
};

class Paths : public ::testing::Test {
  protected:
    void SetUp() override {
        tamu_config_default();
        std::snprintf(tamu_state.application_title, sizeof tamu_state.application_title, "tamu");
    }
    void TearDown() override { tamu_config_default(); }
};

bool is_directory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------------------
// Splitting and normalising

TEST_F(Paths, SplitFilename) {
    struct Case {
        const char *path, *directory, *base, *extension;
    };
    const Case cases[] = {
        {"a/b/c.zv.png", "a/b/", "c.zv", ".png"},
        {"c", "", "c", ""},
        {"/c.zv", "/", "c", ".zv"},
        {"dir.d/file", "dir.d/", "file", ""},
        {"a/b/", "a/b/", "", ""},
        {".hidden", "", "", ".hidden"},
        {"", "", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char d[1024] = "x", b[1024] = "x", e[1024] = "x";
        tamu_split_filename(c.path, d, b, e);
        EXPECT_STREQ(d, c.directory);
        EXPECT_STREQ(b, c.base);
        EXPECT_STREQ(e, c.extension);
    }
    char b[1024];
    tamu_split_filename("x/y.txt", nullptr, b, nullptr);
    EXPECT_STREQ(b, "y");
}

TEST_F(Paths, ExtensionAndBackslashes) {
    char out[1024];
    EXPECT_EQ(tamu_get_filename_extension("cart.zv.png", out), out);
    EXPECT_STREQ(out, "png");
    EXPECT_EQ(tamu_get_filename_extension("noext", out), nullptr);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(tamu_get_filename_extension("my.carts/readme", out), nullptr);  // a folder's dot
    EXPECT_STREQ(out, "");
    EXPECT_STREQ(tamu_get_filename_extension("my.carts/x.zv", out), "zv");

    char path[] = "C:\\games\\carts/x.zv";
    tamu_fix_backslashes(path);
    EXPECT_STREQ(path, "C:/games/carts/x.zv");
}

TEST_F(Paths, ResolveFilename) {
#ifdef _WIN32
    GTEST_SKIP() << "the Linux rule; Windows: WinPaths.ResolveFilename";
#else
    ScopedEnv home("HOME", "/home/player");
    struct Case {
        const char *path, *resolved;
    };
    const Case cases[] = {
        {"/a/b/../c/./d", "/a/c/d"},
        {"a//b", "a/b"},
        {"~/x", "/home/player/x"},
        {"carts/~/x", "/home/player/x"},     // "~" starts over at home
        {"a/~b/c", "a/~b/c"},                // only a whole component
        {"D:/a/..", "D:/"},
        {"D:\\a\\b\\..", "D:/a/"},
        {"x/..", ""},
        {"/x/..", "/"},
        {"/..", "/"},
        {"..", ""},
        {"../x", "x"},
        {"a/b/", "a/b/"},
        {"a/b/.", "a/b/"},
        {"./a", "a"},
        {"/", "/"},
        {"", ""},
        {"a/b/../../..", ""},
        {"/carts/caf\xc3\xa9.zv", "/carts/caf\xc3\xa9.zv"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char out[1024] = "garbage";
        EXPECT_EQ(tamu_resolve_filename(c.path, out), 0);
        EXPECT_STREQ(out, c.resolved);
    }
    char out[1024];
    tamu_unroll_filename("a/./b", out);
    EXPECT_STREQ(out, "a/b/");
    tamu_unroll_filename("a/b/", out);
    EXPECT_STREQ(out, "a/b/");
#endif
}

TEST_F(Paths, TildeWithoutHomeIsDropped) {
#ifdef _WIN32
    GTEST_SKIP() << "the Linux rule; Windows: WinPaths.TildeUsesWhatOfTheHomeVariablesIsSet";
#else
    ScopedEnv home("HOME", nullptr);
    char out[1024];
    tamu_resolve_filename("a/~/b", out);
    EXPECT_STREQ(out, "a/b");
#endif
}

TEST_F(Paths, ResolvedPathsThatDoNotFitFail) {
    char out[1024];
    std::string long_name(1023, 'n');
    EXPECT_EQ(tamu_resolve_filename(long_name.c_str(), out), 0);
    EXPECT_EQ(std::strlen(out), 1023u);
    EXPECT_NE(tamu_resolve_filename((long_name + "/").c_str(), out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_NE(tamu_unroll_filename(long_name.c_str(), out), 0);
    EXPECT_STREQ(out, "");
    // Growing past the buffer, then shrinking, still fails.
    EXPECT_NE(tamu_resolve_filename((long_name + "/x/../..").c_str(), out), 0);

#ifndef _WIN32   // the Linux rule; Windows: win32_path_test.cpp
    std::string long_home = "/" + std::string(1000, 'h');
    ScopedEnv home("HOME", long_home.c_str());
    EXPECT_NE(tamu_resolve_filename(("~/" + std::string(40, 'x')).c_str(), out), 0);
    EXPECT_STREQ(out, "");
#endif
}

// Names from outside resolved inside a root folder: whatever the
// spelling, the result begins with the root or the name is refused.
TEST_F(Paths, ResolveInsideKeepsNamesInTheRoot) {
    struct Case {
        std::string folder, name;
        const char *resolved;   // null: refused
    };
    const std::string nul_inside("x.zv\0/../../y", 14);
    const Case cases[] = {
        {"", "x.zv", "/r/x.zv"},
        {"games/", "x.zv", "/r/games/x.zv"},
        {"games/", "/x.zv", "/r/x.zv"},
        {"games/", "../x.zv", "/r/x.zv"},
        {"games", "a/./b/../x.zv", "/r/games/a/x.zv"},
        {"", "a\\b\\x.zv", "/r/a/b/x.zv"},
        {"", "a//b/", "/r/a/b/"},
        {"", "d.zv/x", "/r/d.zv/x"},
        {"", "a..b", "/r/a..b"},
        {"", "", "/r/"},
        {"games/", "", "/r/games/"},
        {"games/", "..", "/r/"},
        {"", "/", "/r/"},
        {"", "caf\xc3\xa9.zv", "/r/caf\xc3\xa9.zv"},
        // Out of the root in every spelling.
        {"", "..", nullptr},
        {"", "../x.zv", nullptr},
        {"", "/../x.zv", nullptr},
        {"", "a/../../x.zv", nullptr},
        {"", "d.zv/../../../home/.bashrc", nullptr},
        {"d.zv/", "../../x.zv", nullptr},
        {"", "..\\x.zv", nullptr},
        {"", "a\\..\\..\\x.zv", nullptr},
        {"", "./../x.zv", nullptr},
        {"", "a/b/../../../x", nullptr},
        {"../", "x.zv", nullptr},
        // Other names Windows would read as something else.
        {"", "...", nullptr},
        {"", ".. /x.zv", nullptr},
        {"", "a/.. ", nullptr},
        {"", "x.", nullptr},
        {"", "c:/x.zv", nullptr},
        {"", "C:x.zv", nullptr},
        {"", "C:\\x.zv", nullptr},
        {"", "x.zv:stream", nullptr},
        {"", "\\\\host\\share\\x.zv", nullptr},
        {"", "//host/share/x.zv", nullptr},
        {"", "con", nullptr},
        {"", "a/NUL.zv", nullptr},
        {"", "com1.txt", nullptr},
        {"", "lpt9", nullptr},
        // Home, NUL and control characters.
        {"", "~", nullptr},
        {"", "~/x.zv", nullptr},
        {"", "a/~/x.zv", nullptr},
        {"", nul_inside, nullptr},
        {"", "tab\there", nullptr},
        {"", std::string(1030, 'n'), nullptr},
        {"", std::string(600, 'n') + "/" + std::string(600, 'n') + "/../../x", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder + " | " + c.name);
        char out[1024] = "garbage";
        int inside = tamu_resolve_inside("/r/", c.folder.c_str(), c.name.data(), c.name.size(), out);
        if (!c.resolved) {
            EXPECT_EQ(inside, -1);
            EXPECT_STREQ(out, "");
            continue;
        }
        EXPECT_STREQ(out, c.resolved);
        EXPECT_EQ(inside, int(std::strlen(c.resolved)) - 3);
    }
    char out[1024];
    EXPECT_EQ(tamu_resolve_inside("/r", "", "x", 1, out), 1);   // a separator after the root
    EXPECT_STREQ(out, "/r/x");
    EXPECT_EQ(tamu_resolve_inside("", "", "x", 1, out), -1);    // no root: no absolute path either
    EXPECT_EQ(tamu_resolve_inside("/r/", "", nullptr, 0, out), -1);
    EXPECT_EQ(tamu_resolve_inside("/r/", "", "comma.zv", 8, out), 8);
    EXPECT_EQ(tamu_resolve_inside("/r/", "", "console.zv", 10, out), 10);   // only the device names themselves
}

// ---------------------------------------------------------------------------
// Folders

TEST_F(Paths, AppdataFolderUnderHome) {
    char out[1024];
    EXPECT_EQ(tamu_prefix_with_appdata_path("config.txt", out), 0);
    EXPECT_EQ(std::string(out), test_home() + "/.ostrel/tamu/config.txt");
    EXPECT_TRUE(is_directory(test_home() + "/.ostrel/tamu"));
}

TEST_F(Paths, AppdataFolderFromTheHomeOption) {
    struct Case {
        std::string home_path, expected;
    };
    const Case cases[] = {
        {test_home() + "/custom", test_home() + "/custom/log.txt"},
        {test_home() + "/slashed/", test_home() + "/slashed/log.txt"},
        {" not set", test_home() + "/.ostrel/tamu/log.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.home_path);
        std::snprintf(cconfig.home_path, sizeof cconfig.home_path, "%s", c.home_path.c_str());
        char out[1024];
        EXPECT_EQ(tamu_prefix_with_appdata_path("log.txt", out), 0);
        EXPECT_EQ(out, c.expected);
#ifndef _WIN32   // Windows uses the home option's folder as it is, creating nothing
        EXPECT_TRUE(is_directory(c.expected.substr(0, c.expected.rfind('/'))));
#endif
    }
}

TEST_F(Paths, AppdataFolderWithoutHomeIsTheName) {
#ifdef _WIN32
    GTEST_SKIP() << "the Linux rule; Windows: WinPaths.AppdataFolderFallsBackToTheProfileThenTheProgramFolder";
#else
    ScopedEnv home("HOME", "");
    char out[1024];
    tamu_prefix_with_appdata_path("config.txt", out);
    EXPECT_STREQ(out, "config.txt");
#endif
}

TEST_F(Paths, FolderPathsThatDoNotFitFail) {
    std::string name(1000, 'n');
    std::string long_folder = test_home() + "/" + std::string(100, 'f');
    char out[1024] = "x";
    EXPECT_NE(tamu_prefix_with_appdata_path(name.c_str(), out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_NE(tamu_prefix_with_desktop_path(name.c_str(), out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_NE(tamu_prefix_with_program_path(std::string(1023, 'p').c_str(), out), 0);
    EXPECT_STREQ(out, "");

    std::snprintf(cconfig.home_path, sizeof cconfig.home_path, "%s", long_folder.c_str());
    EXPECT_NE(tamu_prefix_with_appdata_path(name.c_str(), out), 0);
    EXPECT_STREQ(out, "");

#ifndef _WIN32   // the Linux rule; Windows: win32_path_test.cpp
    std::string long_home = "/" + std::string(1020, 'h');
    cconfig.home_path[0] = 0;
    ScopedEnv home("HOME", long_home.c_str());
    EXPECT_NE(tamu_prefix_with_appdata_path("config.txt", out), 0);
    EXPECT_STREQ(out, "");
#endif
}

TEST_F(Paths, DesktopFolder) {
    char out[1024];
#ifndef _WIN32
    std::string home = test_home() + "/desktop_home";
    ScopedEnv home_env("HOME", home.c_str());
    ScopedEnv config_env("XDG_CONFIG_HOME", nullptr);
    // A home without a desktop folder gets one.
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    EXPECT_EQ(std::string(out), home + "/Desktop/shot.png");
    EXPECT_TRUE(is_directory(home + "/Desktop"));
#else
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    EXPECT_EQ(std::string(out), test_home() + "/Desktop/shot.png");
#endif

    std::string desk = test_home() + "/pictures";
    std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%s", desk.c_str());
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    EXPECT_EQ(std::string(out), desk + "/shot.png");
    EXPECT_TRUE(is_directory(desk));

#ifndef _WIN32   // the Linux rule; Windows: win32_path_test.cpp
    cconfig.desktop_path[0] = 0;
    ScopedEnv no_home("HOME", nullptr);
    tamu_prefix_with_desktop_path("shot.png", out);
    EXPECT_STREQ(out, "shot.png");
#endif
}

#ifndef _WIN32
// The desktop folder named by the user's xdg-user-dirs file.
TEST_F(Paths, DesktopFolderOfTheUserDirsFile) {
    std::string home = test_home() + "/xdg_home";
    ScopedEnv home_env("HOME", home.c_str());
    ScopedEnv config_env("XDG_CONFIG_HOME", nullptr);
    struct Case {
        const char *file, *expected;   // expected folder under home ("" = home itself)
    } cases[] = {
        {"XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n", "/Schreibtisch"},
        {"# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/dl\"\n"
         "  XDG_DESKTOP_DIR=\"$HOME/my \\\"desk\\\"/inner/\"\n", "/my \"desk\"/inner"},   // made with its parents
        {"XDG_DESKTOP_DIR=\"$HOME/\"\n", ""},   // the desktop is the home folder
        {"XDG_DESKTOP_DIR=\"$HOME/a\"\nXDG_DESKTOP_DIR=\"$HOME/b\"\n", "/b"},   // the last line counts
        {"XDG_DESKTOP_DIR=\"Desktop\"\n", "/Desktop"},        // relative: not allowed, the default
        {"XDG_DESKTOP_DIR=\"$HOMEX/desk\"\n", "/Desktop"},    // not $HOME
        {"XDG_DESKTOP_DIR=\"$HOME/open\n", "/Desktop"},        // no closing quote
        {"XDG_DESKTOP_DIR=$HOME/bare\n", "/Desktop"},           // unquoted
    };
    for (const Case &c : cases) {
        std::system(("rm -rf '" + home + "' && mkdir -p '" + home + "/.config'").c_str());
        write_file(home + "/.config/user-dirs.dirs", c.file);
        char out[1024];
        EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0) << c.file;
        std::string folder = home + c.expected;
        EXPECT_EQ(std::string(out), folder + "/shot.png") << c.file;
        EXPECT_TRUE(is_directory(folder)) << c.file;
    }

    // An absolute path, from the file in $XDG_CONFIG_HOME.
    std::string config = test_home() + "/xdg_config";
    std::string absolute = test_home() + "/xdg_elsewhere/desk";
    std::system(("rm -rf '" + config + "' '" + absolute + "' && mkdir -p '" + config + "'").c_str());
    write_file(config + "/user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + absolute + "\"\n");
    ScopedEnv config_set("XDG_CONFIG_HOME", config.c_str());
    char out[1024];
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    EXPECT_EQ(std::string(out), absolute + "/shot.png");
    EXPECT_TRUE(is_directory(absolute));

    // The desktop_path setting comes first.
    std::string set = test_home() + "/xdg_setting";
    std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%s", set.c_str());
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    EXPECT_EQ(std::string(out), set + "/shot.png");
}
#endif

TEST_F(Paths, ProgramFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "the Linux rule; Windows: WinPaths.ProgramFolderIsTheModuleFolderWithForwardSlashes";
#else
    char exe[1024];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    std::string folder(exe, std::strrchr(exe, '/') + 1);
    char out[1024];
    EXPECT_EQ(tamu_prefix_with_program_path("data.pod", out), 0);
    EXPECT_EQ(std::string(out), folder + "data.pod");
#endif
}

TEST_F(Paths, ProgramFileAndPermissionBits) {
#ifdef _WIN32
    GTEST_SKIP() << "the Linux rule; Windows: WinPaths.ProgramFolderIsTheModuleFolderWithForwardSlashes";
#else
    char exe[1024];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    char out[1024];
    EXPECT_EQ(tamu_get_program_filename(out), 0);
    EXPECT_STREQ(out, exe);

    std::string file = test_home() + "/runme";
    write_file(file, "x");
    struct stat st;
    for (int mode : {0775, 0640}) {
        EXPECT_EQ(tamu_chmod(file.c_str(), mode), 0);
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(int(st.st_mode & 07777), mode);
    }
    EXPECT_NE(tamu_chmod((test_home() + "/absent").c_str(), 0775), 0);
    EXPECT_NE(tamu_chmod("", 0775), 0);
#endif
}

TEST_F(Paths, MkdirUsesMode0755AndIgnoresFailures) {
#ifdef _WIN32
    GTEST_SKIP() << "the Linux rule; Windows: WinPaths.MkdirCreatesOneFolderAndIgnoresFailures";
#else
    mode_t old = umask(0);
    std::string dir = test_home() + "/made";
    tamu_mkdir(dir.c_str());
    tamu_mkdir(dir.c_str());  // exists: ignored
    tamu_mkdir((test_home() + "/no/such/parent").c_str());
    tamu_mkdir("");
    umask(old);
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_FALSE(is_directory(test_home() + "/no"));
#endif
}

TEST_F(Paths, FileAndDirectoryExist) {
    std::string file = test_home() + "/present.txt";
    write_file(file, "x");
    EXPECT_EQ(tamu_file_exists(file.c_str()), 1);
    EXPECT_EQ(tamu_file_exists((test_home() + "/absent.txt").c_str()), 0);
    tamu_fopen_vdisk("packed.zv", "w");
    EXPECT_EQ(tamu_file_exists("carts/packed.zv"), 1);  // the virtual disk counts

    EXPECT_EQ(tamu_directory_exists(test_home().c_str()), 1);
    EXPECT_EQ(tamu_directory_exists(file.c_str()), 0);
    EXPECT_EQ(tamu_directory_exists((test_home() + "/absent").c_str()), 0);
}

// ---------------------------------------------------------------------------
// Directory search

class PathsFind : public Paths {
  protected:
    std::string dir;
    void SetUp() override {
        Paths::SetUp();
        dir = test_home() + "/carts";
        tamu_mkdir(dir.c_str());
        write_file(dir + "/game.zv", "12345");
        write_file(dir + "/LOUD.ZV", "1");
        write_file(dir + "/notes.txt", "");
        write_file(dir + "/zv", "");  // shorter than the suffix
        tamu_mkdir((dir + "/folder.zv").c_str());
    }
    std::set<std::string> find_all(const char *pattern, uint32_t mask) {
        std::set<std::string> names;
        cfind search;
        for (int r = tamu_find_first(dir.c_str(), pattern, &search, mask); r == 0; r = tamu_find_next(&search))
            names.insert(search.name);
        EXPECT_EQ(tamu_find_close(&search), 0);
        EXPECT_EQ(search.dir, nullptr);
        return names;
    }
};

TEST_F(PathsFind, SuffixFilterIgnoresCaseAndMaskSelectsKinds) {
    const uint32_t any = TAMU_FIND_FILE | TAMU_FIND_DIRECTORY;
    EXPECT_EQ(find_all("*.ZV", TAMU_FIND_FILE), (std::set<std::string>{"game.zv", "LOUD.ZV"}));
    EXPECT_EQ(find_all("*.zv", any), (std::set<std::string>{"game.zv", "LOUD.ZV", "folder.zv"}));
    EXPECT_EQ(find_all("*.zv", TAMU_FIND_DIRECTORY), (std::set<std::string>{"folder.zv"}));
    EXPECT_EQ(find_all("*", any),
              (std::set<std::string>{".", "..", "game.zv", "LOUD.ZV", "notes.txt", "zv", "folder.zv"}));
    // A pattern without a leading '*' lists everything.
    EXPECT_EQ(find_all("game.zv", TAMU_FIND_FILE),
              (std::set<std::string>{"game.zv", "LOUD.ZV", "notes.txt", "zv"}));
    EXPECT_EQ(find_all("*.png", any), std::set<std::string>{});
}

TEST_F(PathsFind, FoundEntriesCarrySizeModeAndTime) {
    utimbuf times{1700000000, 1700000000};
    utime((dir + "/game.zv").c_str(), &times);
    cfind search;
    ASSERT_EQ(tamu_find_first(dir.c_str(), "*game.zv", &search, TAMU_FIND_FILE), 0);
    EXPECT_STREQ(search.name, "game.zv");
    EXPECT_EQ(search.size, 5u);
    EXPECT_TRUE(search.mode & TAMU_FIND_FILE);
    EXPECT_EQ(search.time, 1700000000);
    EXPECT_EQ(tamu_find_next(&search), 1);
    tamu_find_close(&search);
    EXPECT_EQ(tamu_find_next(&search), 1);  // closed
}

TEST_F(PathsFind, FoldersThatCannotBeListedFail) {
    cfind search;
    EXPECT_EQ(tamu_find_first((dir + "/absent").c_str(), "*", &search, TAMU_FIND_FILE), 1);
    EXPECT_EQ(search.dir, nullptr);
    tamu_find_close(&search);

#ifndef _WIN32   // Windows' ANSI calls cannot make a folder with so long a path
    // A real folder whose path is over 255 characters: refused, never
    // listed under a cut (and so different) path.
    std::string deep = dir;
    while (deep.size() <= 300) {
        deep += "/" + std::string(40, 'd');
        tamu_mkdir(deep.c_str());
    }
    write_file(deep + "/inside.zv", "");
    ASSERT_TRUE(is_directory(deep));
    EXPECT_EQ(tamu_find_first(deep.c_str(), "*", &search, TAMU_FIND_FILE), 1);
    EXPECT_EQ(search.dir, nullptr);
    tamu_find_close(&search);
    EXPECT_EQ(tamu_directory_exists(deep.c_str()), 0);
#endif
    EXPECT_EQ(tamu_find_first(dir.c_str(), ("*" + std::string(300, 'z')).c_str(), &search, TAMU_FIND_FILE), 1);
    tamu_find_close(&search);
}

// ---------------------------------------------------------------------------
// Dates

TEST_F(Paths, DatesInLocalTime) {
    ScopedEnv tz("TZ", "UTC");
    tzset();
    const int64_t december_9_2026_noon = 1796817600;
    int y = 0, m = 0, d = 0;
    EXPECT_EQ(tamu_get_date_at(december_9_2026_noon, &y, &m, &d), 20261209);
    EXPECT_EQ(y, 2026);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 9);
    EXPECT_EQ(tamu_get_date_at(december_9_2026_noon, nullptr, nullptr, nullptr), 20261209);
    char text[32];
    tamu_print_date(december_9_2026_noon + 3723, text);
    EXPECT_STREQ(text, "2026-12-09 13:02:03");

    // The current date, checked against the clock on both sides.
    int before = tamu_get_date_at(std::time(nullptr), nullptr, nullptr, nullptr);
    int now = tamu_get_date(&y, &m, &d);
    int after = tamu_get_date_at(std::time(nullptr), nullptr, nullptr, nullptr);
    EXPECT_TRUE(now == before || now == after);
    EXPECT_EQ(now, y * 10000 + m * 100 + d);
}

}  // namespace
