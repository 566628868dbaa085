// Names outside the ASCII range (and outside any one Windows code page):
// folders and files named in Cyrillic and in CJK are made, written,
// renamed, listed and read back through the engine's own calls, and the
// application-data folder works under a user folder with such a name. On
// Windows the names on the disk are checked through the system's wide
// calls: they must be the real names, not their code-page stand-ins.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

struct named {
    const char *label;
    const char *folder, *file, *renamed;
#ifdef _WIN32
    const wchar_t *wide_folder, *wide_renamed;
#endif
};

const named cases[] = {
    {"Cyrillic", "Юрий", "игра.zv", "сохранение.zv",
#ifdef _WIN32
     L"\u042e\u0440\u0438\u0439", L"\u0441\u043e\u0445\u0440\u0430\u043d\u0435\u043d\u0438\u0435.zv"
#endif
    },
    {"CJK", "ゲーム中文", "遊戲.zv", "セーブ.zv",
#ifdef _WIN32
     L"\u30b2\u30fc\u30e0\u4e2d\u6587", L"\u30bb\u30fc\u30d6.zv"
#endif
    },
};

std::string read_through_engine(const std::string &path) {
    cfile *f = tamu_fopen(path.c_str(), "rb");
    if (!f) return "(cannot open)";
    std::string bytes;
    char buffer[256];
    int n;
    while ((n = tamu_fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, size_t(n));
    tamu_fclose(f);
    return bytes;
}

std::set<std::string> listing(const std::string &folder, const char *pattern, uint32_t mask) {
    std::set<std::string> names;
    cfind search;
    for (int r = tamu_find_first(folder.c_str(), pattern, &search, mask); r == 0; r = tamu_find_next(&search))
        names.insert(search.name);
    tamu_find_close(&search);
    return names;
}

#ifdef _WIN32
std::wstring wide_home() {
    std::wstring out;
    for (char c : test_home()) out += wchar_t(c == '/' ? '\\' : c);   // the test home is ASCII
    return out;
}

bool wide_exists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
#endif

TEST(UnicodePaths, FolderAndFileRoundTrip) {
    for (const named &c : cases) {
        SCOPED_TRACE(c.label);
        const std::string folder = test_home() + "/" + c.folder;
        const std::string file = folder + "/" + c.file, renamed = folder + "/" + c.renamed;
        tamu_platform_remove(file.c_str());
        tamu_platform_remove(renamed.c_str());

        ASSERT_EQ(tamu_mkdir(folder.c_str()), 0);
        EXPECT_EQ(tamu_directory_exists(folder.c_str()), 1);
        EXPECT_EQ(listing(test_home(), "*", TAMU_FIND_DIRECTORY).count(c.folder), 1u);

        // Created and written whole (a temporary sibling renamed over it).
        cfile *out = tamu_fopen_save(file.c_str());
        ASSERT_NE(out, nullptr);
        tamu_fwrite("cart bytes", 1, 10, out);
        ASSERT_EQ(tamu_fclose_save(out), 0);
        EXPECT_EQ(tamu_file_exists(file.c_str()), 1);

        ASSERT_EQ(tamu_platform_rename(file.c_str(), renamed.c_str()), 0);
        EXPECT_EQ(listing(folder, "*.ZV", TAMU_FIND_FILE), std::set<std::string>{c.renamed});
        EXPECT_EQ(read_through_engine(renamed), "cart bytes");
        EXPECT_EQ(tamu_file_exists(file.c_str()), 0);

        // Appending through the plain open, and the system's own stream.
        FILE *stream = tamu_platform_fopen(renamed.c_str(), "ab");
        ASSERT_NE(stream, nullptr);
        std::fputs(" and more", stream);
        std::fclose(stream);
        EXPECT_EQ(read_through_engine(renamed), "cart bytes and more");

#ifdef _WIN32
        EXPECT_TRUE(wide_exists(wide_home() + L"\\" + c.wide_folder + L"\\" + c.wide_renamed));
#endif
        EXPECT_EQ(tamu_platform_remove(renamed.c_str()), 0);
        EXPECT_TRUE(listing(folder, "*.zv", TAMU_FIND_FILE).empty());
    }
}

TEST(UnicodePaths, RenameReplacesAnExistingFileAndFailuresSayWhy) {
    const std::string folder = test_home() + "/" + cases[0].folder;
    ASSERT_EQ(tamu_mkdir(folder.c_str()), 0);
    const std::string a = folder + "/а.txt", b = folder + "/б.txt";
    FILE *f = tamu_platform_fopen(a.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("new", f);
    std::fclose(f);
    f = tamu_platform_fopen(b.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("old", f);
    std::fclose(f);
    EXPECT_EQ(tamu_platform_rename(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(read_through_engine(b), "new");
    EXPECT_EQ(tamu_platform_remove(b.c_str()), 0);

    errno = 0;
    EXPECT_NE(tamu_platform_rename(a.c_str(), b.c_str()), 0);   // a is gone
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_NE(tamu_platform_remove(a.c_str()), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(tamu_platform_fopen((folder + "/нет/файла").c_str(), "rb"), nullptr);
    EXPECT_EQ(tamu_platform_fopen("", "rb"), nullptr);
    EXPECT_NE(tamu_mkdir((folder + "/нет/папки").c_str()), 0);
#ifdef _WIN32
    // Bytes that are not UTF-8 name no file (Windows would take them as
    // other characters of the code page).
    const std::string broken = folder + "/\xff\xfe.txt";
    EXPECT_EQ(tamu_platform_fopen(broken.c_str(), "wb"), nullptr);
    EXPECT_NE(tamu_mkdir(broken.c_str()), 0);
#endif
}

// The application-data folder under a user folder named in Cyrillic, where
// config.txt, the log and every save live.
TEST(UnicodePaths, ApplicationDataUnderAUserFolderWithSuchAName) {
    const std::string user = test_home() + "/Юрий";
    ASSERT_EQ(tamu_mkdir(user.c_str()), 0);
    tamu_config_default();
#ifdef _WIN32
    const std::wstring roaming = wide_home() + L"\\\u042e\u0440\u0438\u0439\\AppData";
    ASSERT_TRUE(CreateDirectoryW(roaming.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    wchar_t old[1024];
    DWORD had = GetEnvironmentVariableW(L"APPDATA", old, 1024);
    ASSERT_TRUE(SetEnvironmentVariableW(L"APPDATA", roaming.c_str()));
    const std::string expected = user + "/AppData/tamu/config.txt";
#else
    const char *old = std::getenv("HOME");
    std::string had = old ? old : "";
    setenv("HOME", user.c_str(), 1);
    const std::string expected = user + "/.ostrel/tamu/config.txt";
#endif
    std::snprintf(tamu_state.application_title, sizeof tamu_state.application_title, "tamu");
    char path[1024];
    int result = tamu_prefix_with_appdata_path("config.txt", path);
#ifdef _WIN32
    SetEnvironmentVariableW(L"APPDATA", had ? old : nullptr);
#else
    setenv("HOME", had.c_str(), 1);
#endif
    ASSERT_EQ(result, 0);
    EXPECT_EQ(std::string(path), expected);
    cfile *f = tamu_fopen_save(path);
    ASSERT_NE(f, nullptr) << path;
    tamu_fwrite("sessions 1\n", 1, 11, f);
    ASSERT_EQ(tamu_fclose_save(f), 0);
    EXPECT_EQ(read_through_engine(path), "sessions 1\n");
#ifdef _WIN32
    EXPECT_TRUE(wide_exists(roaming + L"\\tamu\\config.txt"));
#endif
}

}  // namespace
