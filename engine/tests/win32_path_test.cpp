// The Windows rules for folders and paths: the application-data folder from
// APPDATA, else the system's roaming application-data folder; the desktop
// from USERPROFILE, else the system's desktop folder; "~" from HOMEDRIVE
// and HOMEPATH; the program's folder from the module file name;
// backslashes from the system turned into '/'; and directory search over
// FindFirstFileW.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>

namespace {

// Sets or removes an environment variable for one test (an empty value
// removes it: the C run-time holds no empty variables).
class ScopedEnv {
  public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        const char *old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        _putenv_s(name, value ? value : "");
    }
    ScopedEnv(const char *name, const std::string &value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { _putenv_s(name_, had_ ? old_.c_str() : ""); }

  private:
    const char *name_;
    bool had_;
    std::string old_;
};

std::string backslashed(std::string path) {
    for (char &c : path)
        if (c == '/') c = '\\';
    return path;
}

bool is_directory(const std::string &path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder of this test program as the module file name gives it, with
// '/' separators and a trailing '/'.
std::string program_folder() {
    char exe[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe, n);
    for (char &c : path)
        if (c == '\\') c = '/';
    return path.substr(0, path.rfind('/') + 1);
}

class WinPaths : public ::testing::Test {
  protected:
    std::string home = test_home();
    void SetUp() override {
        tamu_config_default();
        std::snprintf(tamu_state.application_title, sizeof tamu_state.application_title, "tamu");
    }
    void TearDown() override { tamu_config_default(); }
};

// ---------------------------------------------------------------------------
// The program's folder

TEST_F(WinPaths, ProgramFolderIsTheModuleFolderWithForwardSlashes) {
    char out[1024];
    ASSERT_EQ(tamu_prefix_with_program_path("engine_win32_path_test.exe", out), 0);
    std::string path = out;
    EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    // The folder the build put this program in (wine gives it a drive letter).
    const std::string tail = std::string(ZORVA_BINARY_DIR) + "/engine/engine_win32_path_test.exe";
    ASSERT_GE(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    EXPECT_EQ(tamu_file_exists(out), 1);   // it names this very program

    char program[1024];
    ASSERT_EQ(tamu_get_program_filename(program), 0);
    EXPECT_STREQ(program, out);
    EXPECT_EQ(tamu_chmod(program, 0775), 0);   // no permission bits: nothing to do

    EXPECT_EQ(tamu_prefix_with_program_path("data.pod", out), 0);
    EXPECT_EQ(std::string(out), program_folder() + "data.pod");
}

// ---------------------------------------------------------------------------
// The application-data folder

TEST_F(WinPaths, AppdataFolderComesFromAppdataWithBackslashesTurned) {
    std::string roaming = home + "/Roaming";
    tamu_mkdir(roaming.c_str());
    ScopedEnv appdata("APPDATA", backslashed(roaming));
    char out[1024];
    EXPECT_EQ(tamu_prefix_with_appdata_path("config.txt", out), 0);
    EXPECT_EQ(std::string(out), roaming + "/tamu/config.txt");
    EXPECT_TRUE(is_directory(roaming + "/tamu"));

    // A trailing separator is not doubled.
    ScopedEnv slashed("APPDATA", backslashed(roaming) + "\\");
    EXPECT_EQ(tamu_prefix_with_appdata_path("log.txt", out), 0);
    EXPECT_EQ(std::string(out), roaming + "/tamu/log.txt");
}

// Without APPDATA: the roaming folder the system itself names (never the
// profile's old "Application Data" or the program's folder while the system
// has one).
TEST_F(WinPaths, AppdataFolderWithoutTheVariableIsTheSystemsRoamingFolder) {
    ScopedEnv appdata("APPDATA", nullptr);
    ScopedEnv user("USERPROFILE", backslashed(home + "/profile"));
    char out[1024];
    EXPECT_EQ(tamu_prefix_with_appdata_path("config.txt", out), 0);
    std::string path = out;
    const std::string tail = "/AppData/Roaming/tamu/config.txt";
    ASSERT_GT(path.size(), tail.size()) << path;
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    EXPECT_TRUE(is_directory(path.substr(0, path.size() - std::strlen("/config.txt"))));
}

TEST_F(WinPaths, HomeOptionIsUsedAsGivenAndNotCreated) {
    std::string custom = home + "/custom";
    std::snprintf(cconfig.home_path, sizeof cconfig.home_path, "%s", backslashed(custom).c_str());
    char out[1024];
    EXPECT_EQ(tamu_prefix_with_appdata_path("log.txt", out), 0);
    EXPECT_EQ(std::string(out), custom + "/log.txt");
    EXPECT_FALSE(is_directory(custom));

    std::snprintf(cconfig.home_path, sizeof cconfig.home_path, "%s\\", backslashed(custom).c_str());
    EXPECT_EQ(tamu_prefix_with_appdata_path("log.txt", out), 0);
    EXPECT_EQ(std::string(out), custom + "/log.txt");
}

TEST_F(WinPaths, AppdataPathsThatDoNotFitFail) {
    std::string long_appdata = "C:\\" + std::string(1020, 'a');
    ScopedEnv appdata("APPDATA", long_appdata);
    char out[1024] = "x";
    EXPECT_NE(tamu_prefix_with_appdata_path("config.txt", out), 0);
    EXPECT_STREQ(out, "");
    ScopedEnv fitting("APPDATA", home);
    EXPECT_NE(tamu_prefix_with_appdata_path(std::string(1000, 'n').c_str(), out), 0);
    EXPECT_STREQ(out, "");
}

// ---------------------------------------------------------------------------
// The desktop

TEST_F(WinPaths, DesktopFolderComesFromTheProfileElseTheSystemsDesktop) {
    ScopedEnv user("USERPROFILE", "C:\\Users\\player");
    char out[1024];
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    EXPECT_STREQ(out, "C:/Users/player/Desktop/shot.png");

    std::string desk = home + "/pictures";
    std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%s", desk.c_str());
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    EXPECT_EQ(std::string(out), desk + "/shot.png");
    EXPECT_TRUE(is_directory(desk));   // the setting's folder is created

    // Without USERPROFILE: the desktop the system names.
    cconfig.desktop_path[0] = 0;
    ScopedEnv no_user("USERPROFILE", nullptr);
    EXPECT_EQ(tamu_prefix_with_desktop_path("shot.png", out), 0);
    std::string path = out;
    EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    ASSERT_GT(path.size(), std::strlen("/Desktop/shot.png")) << path;
    EXPECT_EQ(path.substr(path.size() - std::strlen("/Desktop/shot.png")), "/Desktop/shot.png");
    EXPECT_TRUE(is_directory(path.substr(0, path.size() - std::strlen("/shot.png"))));
}

// ---------------------------------------------------------------------------
// Normalising, with "~" from HOMEDRIVE and HOMEPATH

TEST_F(WinPaths, ResolveFilename) {
    ScopedEnv drive("HOMEDRIVE", "D:");
    ScopedEnv path("HOMEPATH", "\\Users\\player");
    ScopedEnv unix_home("HOME", "/not/used/on/windows");
    struct Case {
        const char *path, *resolved;
    };
    const Case cases[] = {
        {"/a/b/../c/./d", "/a/c/d"},
        {"a//b", "a/b"},
        {"~/x", "D:/Users/player/x"},
        {"~\\x", "D:/Users/player/x"},
        {"carts/~/x", "D:/Users/player/x"},   // "~" starts over at home
        {"a/~b/c", "a/~b/c"},
        {"D:/a/..", "D:/"},
        {"D:\\a\\b\\..", "D:/a/"},
        {"C:\\games\\carts\\..\\x.zv", "C:/games/x.zv"},
        {"x/..", ""},
        {"/x/..", "/"},
        {"\\x\\..", "/"},
        {"..", ""},
        {"a/b/", "a/b/"},
        {"a\\b\\", "a/b/"},
        {"./a", "a"},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char out[1024] = "garbage";
        EXPECT_EQ(tamu_resolve_filename(c.path, out), 0);
        EXPECT_STREQ(out, c.resolved);
    }
}

TEST_F(WinPaths, TildeUsesWhatOfTheHomeVariablesIsSet) {
    char out[1024];
    {
        ScopedEnv drive("HOMEDRIVE", nullptr);
        ScopedEnv path("HOMEPATH", nullptr);
        ScopedEnv unix_home("HOME", "/home/player");
        tamu_resolve_filename("a/~/b", out);
        EXPECT_STREQ(out, "a/b");   // HOME does not count on Windows
    }
    {
        ScopedEnv drive("HOMEDRIVE", nullptr);
        ScopedEnv path("HOMEPATH", "\\Users\\p");
        tamu_resolve_filename("~/b", out);
        EXPECT_STREQ(out, "/Users/p/b");
    }
    {
        ScopedEnv drive("HOMEDRIVE", "E:");
        ScopedEnv path("HOMEPATH", "\\");
        tamu_resolve_filename("~/b", out);
        EXPECT_STREQ(out, "E:/b");
    }
    {
        ScopedEnv drive("HOMEDRIVE", "C:");
        ScopedEnv path("HOMEPATH", "\\" + std::string(1020, 'h'));
        EXPECT_NE(tamu_resolve_filename(("~/" + std::string(40, 'x')).c_str(), out), 0);
        EXPECT_STREQ(out, "");
    }
}

// ---------------------------------------------------------------------------
// Folders and search

TEST_F(WinPaths, MkdirCreatesOneFolderAndSaysWhenItCannot) {
    std::string dir = home + "/made";
    EXPECT_EQ(tamu_mkdir(dir.c_str()), 0);
    EXPECT_EQ(tamu_mkdir(dir.c_str()), 0);   // already there
    EXPECT_NE(tamu_mkdir((home + "/no/such/parent").c_str()), 0);
    write_file(home + "/plain", "x");
    EXPECT_NE(tamu_mkdir((home + "/plain").c_str()), 0);   // a file is in the way
    EXPECT_NE(tamu_mkdir(""), 0);
    EXPECT_NE(tamu_mkdir(nullptr), 0);
    EXPECT_TRUE(is_directory(dir));
    EXPECT_FALSE(is_directory(home + "/no"));
    EXPECT_EQ(tamu_mkdir(backslashed(home + "/made\\inner").c_str()), 0);
    EXPECT_TRUE(is_directory(dir + "/inner"));
}

TEST_F(WinPaths, SearchGivesTheModeBitsOfTheRunTime) {
    std::string dir = home + "/carts";
    tamu_mkdir(dir.c_str());
    write_file(dir + "/game.zv", "12345");
    write_file(dir + "/locked.zv", "1");
    write_file(dir + "/run.BAT", "");
    SetFileAttributesA((dir + "/locked.zv").c_str(), FILE_ATTRIBUTE_READONLY);
    tamu_mkdir((dir + "/sub").c_str());

    struct Found {
        uint32_t mode, size;
        int64_t time;
    };
    std::map<std::string, Found> found;
    cfind search;
    for (int r = tamu_find_first(backslashed(dir).c_str(), "*", &search, TAMU_FIND_FILE | TAMU_FIND_DIRECTORY);
         r == 0; r = tamu_find_next(&search))
        found[search.name] = {search.mode, search.size, search.time};
    tamu_find_close(&search);

    ASSERT_EQ(found.size(), 6u);   // ".", "..", three files, one folder
    for (const char *name : {".", "..", "game.zv", "locked.zv", "run.BAT", "sub"}) EXPECT_EQ(found.count(name), 1u) << name;
    // What the C run-time's stat says of each, bit for bit.
    for (const auto &[name, f] : found) {
        SCOPED_TRACE(name);
        struct _stat64 st;
        ASSERT_EQ(_stat64((dir + "/" + name).c_str(), &st), 0);
        EXPECT_EQ(f.mode, static_cast<uint32_t>(st.st_mode));
        if (!(f.mode & TAMU_FIND_DIRECTORY)) {
            EXPECT_EQ(f.size, static_cast<uint32_t>(st.st_size));
            EXPECT_EQ(f.time, static_cast<int64_t>(st.st_mtime));
        }
    }
    SetFileAttributesA((dir + "/locked.zv").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(found["game.zv"].mode & 0777, 0666u);
    EXPECT_EQ(found["locked.zv"].mode & 0777, 0444u);
    EXPECT_EQ(found["run.BAT"].mode & 0777, 0777u);   // programs by their extension
    EXPECT_EQ(found["sub"].mode & 0777, 0777u);
    EXPECT_NE(found["sub"].mode & TAMU_FIND_DIRECTORY, 0u);
    EXPECT_EQ(found["game.zv"].size, 5u);
    // The file's time is now, give or take the clock's steps.
    EXPECT_LT(std::llabs(found["game.zv"].time - static_cast<int64_t>(std::time(nullptr))), 120);
}

TEST_F(WinPaths, SearchFormsOfTheFolderName) {
    std::string dir = home + "/forms";
    tamu_mkdir(dir.c_str());
    write_file(dir + "/a.zv", "");
    for (const std::string &form : {dir, dir + "/", backslashed(dir), backslashed(dir) + "\\"}) {
        SCOPED_TRACE(form);
        std::set<std::string> names;
        cfind search;
        for (int r = tamu_find_first(form.c_str(), "*.zv", &search, TAMU_FIND_FILE); r == 0; r = tamu_find_next(&search))
            names.insert(search.name);
        tamu_find_close(&search);
        EXPECT_EQ(names, std::set<std::string>{"a.zv"});
    }
    cfind search;
    // No wildcards in the folder's own name, and no empty name.
    EXPECT_EQ(tamu_find_first((home + "/f*").c_str(), "*", &search, TAMU_FIND_DIRECTORY), 1);
    tamu_find_close(&search);
    EXPECT_EQ(tamu_find_first("", "*", &search, TAMU_FIND_DIRECTORY), 1);
    tamu_find_close(&search);
    // A plain file is no folder.
    EXPECT_EQ(tamu_find_first((dir + "/a.zv").c_str(), "*", &search, TAMU_FIND_FILE), 1);
    EXPECT_EQ(search.dir, nullptr);
    tamu_find_close(&search);
}

TEST_F(WinPaths, DriveRootsExistAsFolders) {
    // A root lists no "." of its own; the search still gives one.
    EXPECT_EQ(tamu_directory_exists("/"), 1);
    char drive[] = "C:/";
    EXPECT_EQ(tamu_directory_exists(drive), 1);
    EXPECT_EQ(tamu_directory_exists("C:\\"), 1);
    cfind search;
    std::set<std::string> names;
    for (int r = tamu_find_first("C:/", "*", &search, TAMU_FIND_DIRECTORY); r == 0; r = tamu_find_next(&search))
        names.insert(search.name);
    tamu_find_close(&search);
    EXPECT_EQ(names.count("."), 1u);
    EXPECT_EQ(names.count(".."), 1u);
}

TEST_F(WinPaths, DatesOfKnownTimes) {
    // 2026-12-09 12:00 UTC is the 9th in every time zone within 11 hours.
    int year = 0, month = 0, day = 0;
    EXPECT_EQ(tamu_get_date_at(1796817600, &year, &month, &day), 20261209);
    EXPECT_EQ(year, 2026);
    EXPECT_EQ(month, 12);
    EXPECT_EQ(day, 9);
    char text[32];
    tamu_print_date(1796817600, text);
    EXPECT_EQ(std::string(text).substr(0, 10), "2026-12-09");
    EXPECT_EQ(std::strlen(text), 19u);
    // Past 2038: the 64-bit time of the run-time.
    EXPECT_EQ(tamu_get_date_at(4102488000, nullptr, nullptr, nullptr), 21000101);
    EXPECT_GT(tamu_get_date(nullptr, nullptr, nullptr), 20250000);
}

}  // namespace
