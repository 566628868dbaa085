// The configuration record and "config.txt".
#include "stub_app.h"
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <signal.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cstring>
#include <vector>

namespace {

std::vector<std::string> hook_lines;
void record_line(const char *line) { hook_lines.emplace_back(line); }
void append_lines(cfile *f) { tamu_fprintf_1s(f, "%s", "app_key 7\n// app comment\n"); }

std::string config_path() { return test_home() + "/.ostrel/tamu/config.txt"; }

class Config : public ::testing::Test {
  protected:
    void SetUp() override {
        stub_app_reset();
        tamu_console = 1;
        tamu_argc = 0;
        tamu_argv = nullptr;
        tamu_set_load_config_func(record_line);
        tamu_set_save_config_func(nullptr);
        hook_lines.clear();
        tamu_config_default();
        std::snprintf(tamu_state.application_title, sizeof tamu_state.application_title, "tamu");
        char path[1024];
        tamu_prefix_with_appdata_path("", path);  // creates the folder
        std::remove(config_path().c_str());
    }
    void TearDown() override {
        tamu_exit();
        tamu_console = 0;
        tamu_argc = 0;
        tamu_argv = nullptr;
        tamu_set_load_config_func(nullptr);
        tamu_set_save_config_func(nullptr);
        tamu_config_default();
    }

    // Reads text as config lines, on top of the defaults.
    static void read_text(const std::string &text) {
        tamu_config_default();
        cfile *f = tamu_fopen_memory(text.data(), static_cast<int>(text.size()));
        tamu_config_read(f);
        tamu_fclose(f);
    }

    // Starts the library with the given options, as the application does.
    void init_with(std::vector<std::string> args) {
        kept_ = std::move(args);
        kept_.insert(kept_.begin(), "zorva");
        argv_.clear();
        for (auto &a : kept_) argv_.push_back(a.data());
        argv_.push_back(nullptr);
        tamu_argc = static_cast<int>(kept_.size());
        tamu_argv = argv_.data();
        tamu_init();
    }

  private:
    std::vector<std::string> kept_;
    std::vector<char *> argv_;
};

// ---------------------------------------------------------------------------
// Defaults and trimming

TEST_F(Config, Defaults) {
    cconfig.sessions = 99;
    std::strcpy(cconfig.home_path, "/x");
    tamu_config_default();
    const struct {
        const char *name;
        int value, expected;
    } fields[] = {
        {"loaded", cconfig.loaded, 0},
        {"window_size", cconfig.window_size[0] | cconfig.window_size[1], 0},
        {"screen_size", cconfig.screen_size[0] | cconfig.screen_size[1], 0},
        {"sound_volume", cconfig.sound_volume, 256},
        {"music_volume", cconfig.music_volume, 256},
        {"frame_sleep_ms", cconfig.frame_sleep_ms, 5},
        {"window_position x", cconfig.window_position[0], -1},
        {"window_position y", cconfig.window_position[1], -1},
        {"mix_buffer_size", cconfig.mix_buffer_size, 1024},
        {"windib", cconfig.windib, -1},
        {"fullscreen_method", cconfig.fullscreen_method, 1},
        {"pixel_perfect", cconfig.pixel_perfect, -1},
        {"keep_aspect", cconfig.keep_aspect, 1},
        {"timeout", cconfig.timeout, 30},
        {"sessions", cconfig.sessions, 0},
        {"home_path", cconfig.home_path[0], 0},
        {"desktop_path", cconfig.desktop_path[0], 0},
    };
    for (const auto &f : fields) EXPECT_EQ(f.value, f.expected) << f.name;
}

TEST_F(Config, TrimRemovesOnlyBlanksAndControlBytes) {
    const struct {
        const char *text, *trimmed;
    } cases[] = {
        {" \t /home/a b/ \r\n", "/home/a b/"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},          // UTF-8 at both ends kept
        {"  /photos/caf\xc3\xa9 ", "/photos/caf\xc3\xa9"},
        {"\x80\xff", "\x80\xff"},
        {"\x01\x1f \x7f", "\x7f"},
        {"   ", ""},
        {"", ""},
    };
    for (const auto &c : cases) EXPECT_STREQ(tamu_trim(c.text), c.trimmed) << c.text;
    const char *first = tamu_trim(" again ");
    EXPECT_STREQ(tamu_trim(first), "again");  // the previous result may be passed in
}

// ---------------------------------------------------------------------------
// Reading lines

TEST_F(Config, KeysSetTheirFields) {
    struct Case {
        std::string text;
        int cconfig_record::*field;
        int index;  // for array fields, else -1
        int expected;
    };
    using C = cconfig_record;
    const Case cases[] = {
        {"window_size 800 600", nullptr, 0, 800},
        {"sessions 7", &C::sessions, -1, 7},
        {"windowed 1", &C::windowed, -1, 1},
        {"windowedx 1", &C::windowed, -1, 1},        // text may follow the key
        {"windowed\t1", &C::windowed, -1, 1},
        {"windowed 1\nwindowed", &C::windowed, -1, 1},   // a bare key: empty value, no change
        {"windowed 1\nwindowed ", &C::windowed, -1, 1},
        {"sound_volume loud", &C::sound_volume, -1, 256},  // unreadable: unchanged
        {"sound_volume 100", &C::sound_volume, -1, 100},
        {"sound_volume 300", &C::sound_volume, -1, 256},
        {"music_volume -4", &C::music_volume, -1, 0},
        {"music_volume 99999999999999999999", &C::music_volume, -1, 256},
        {"sessions -99999999999999999999", &C::sessions, -1, INT32_MIN},
        {"frame_sleep_ms 500", &C::frame_sleep_ms, -1, 200},
        {"frame_sleep_ms -3", &C::frame_sleep_ms, -1, 0},
        {"go_easy 20", &C::frame_sleep_ms, -1, 20},
        {"mix_buffer_size 100", &C::mix_buffer_size, -1, 1024},
        {"mix_buffer_size 10000", &C::mix_buffer_size, -1, 1024},
        {"mix_buffer_size 512", &C::mix_buffer_size, -1, 512},
        {"mix_buffer_size 8192", &C::mix_buffer_size, -1, 8192},
        {"mix_buffer_size 0", &C::mix_buffer_size, -1, 1024},
        {"windib 0", &C::windib, -1, 0},
        {"opengl_blit 1", &C::opengl_blit, -1, 1},
        {"show_fps 1", &C::show_fps, -1, 1},
        {"large_window 1", &C::large_window, -1, 1},
        {"frameless 1", &C::frameless, -1, 1},
        {"rmb_key 226", &C::rmb_key, -1, 226},
        {"fullscreen_method 2", &C::fullscreen_method, -1, 2},
        {"fullscreen_method", &C::fullscreen_method, -1, 1},
        {"sessions", &C::sessions, -1, 0},
        // A bare key whose value column lies past the line's end reads an
        // empty value, not what an earlier, longer line left in the buffer.
        {"abcdefghi42\nsessions", &C::sessions, -1, 0},
        {"abcdefgh42\nrmb_key", &C::rmb_key, -1, 0},
        {"abcdefghijklmnopqr2\nfullscreen_method", &C::fullscreen_method, -1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        read_text(c.text + "\n");
        EXPECT_EQ(cconfig.loaded, 1);
        if (!c.field)
            EXPECT_EQ(cconfig.window_size[c.index], c.expected);
        else
            EXPECT_EQ(cconfig.*c.field, c.expected);
    }
}

TEST_F(Config, PairedValues) {
    read_text("video_mode 800 600\n");
    EXPECT_EQ(cconfig.window_size[0], 800);
    EXPECT_EQ(cconfig.window_size[1], 600);
    EXPECT_EQ(cconfig.screen_size[0], 800);
    EXPECT_EQ(cconfig.screen_size[1], 600);

    read_text("screen_size 128\nwindow_position 10 -20\nwindow_size 1 2 3\n");
    EXPECT_EQ(cconfig.screen_size[0], 128);  // one value read, the other kept
    EXPECT_EQ(cconfig.screen_size[1], 0);
    EXPECT_EQ(cconfig.window_position[0], 10);
    EXPECT_EQ(cconfig.window_position[1], -20);
    EXPECT_EQ(cconfig.window_size[1], 2);
}

TEST_F(Config, DesktopPathIsTrimmed) {
    const struct {
        const char *text, *expected;
    } cases[] = {
        {"desktop_path  \t /home/me/Pictures \t \n", "/home/me/Pictures"},
        {"desktop_path /home/m\xc3\xa9/D\xc3\xa9sktop\xc3\xa9\n", "/home/m\xc3\xa9/D\xc3\xa9sktop\xc3\xa9"},
        {"desktop_path /x\ndesktop_path \n", ""},
        {"desktop_path /x\ndesktop_path\n", ""},   // bare key: an empty value
        {"abcdefghijklm/stale\ndesktop_path\n", ""},
    };
    for (const auto &c : cases) {
        read_text(c.text);
        EXPECT_STREQ(cconfig.desktop_path, c.expected) << c.text;
    }
}

TEST_F(Config, OtherLinesReachTheHookUnchanged) {
    std::string long_line(300, 'L');
    read_text("// comment\n\nwindowed 1\napp_key  value \nsound_volume 7\r\nwindowsize 3\n" + long_line +
              "\nlast");
    const std::vector<std::string> expected = {
        "// comment", "", "app_key  value ", "windowsize 3", long_line.substr(0, 254), long_line.substr(254), "last"};
    EXPECT_EQ(hook_lines, expected);
    EXPECT_EQ(cconfig.windowed, 1);
    EXPECT_EQ(cconfig.sound_volume, 7);

    // Without a hook the lines are dropped quietly.
    tamu_set_load_config_func(nullptr);
    hook_lines.clear();
    read_text("app_key 1\n");
    EXPECT_TRUE(hook_lines.empty());
}

TEST_F(Config, LoadingLogsTheNumberedLines) {
    std::string log_path = test_home() + "/config_log.txt";
    tamu_state.log = std::fopen(log_path.c_str(), "wb");
    write_file(config_path(), "// header\nwindowed 1\n\nwindow_position 3 4\n");
    tamu_config_load();
    std::fclose(tamu_state.log);
    tamu_state.log = nullptr;
    EXPECT_EQ(read_file(log_path),
              "Found config.txt\n\n  01 windowed 1\n  02 window_position 3 4\n"
              "  new window position: 3, 4\n\n");
}

TEST_F(Config, LoadFindsTheFileOrTheVirtualDiskOrNothing) {
    // Nothing: no field changes, not even by clamping.
    cconfig.frame_sleep_ms = 999;
    tamu_config_load();
    EXPECT_EQ(cconfig.loaded, 0);
    EXPECT_EQ(cconfig.frame_sleep_ms, 999);

    cfile *entry = tamu_fopen_vdisk("config.txt", "w");
    tamu_fprintf_1s(entry, "%s", "sessions 41\n");
    tamu_config_default();
    tamu_config_load();
    EXPECT_EQ(cconfig.loaded, 1);
    EXPECT_EQ(cconfig.sessions, 41);

    // The disk file comes first.
    write_file(config_path(), "sessions 3\n");
    tamu_config_default();
    tamu_config_load();
    EXPECT_EQ(cconfig.sessions, 3);
}

// ---------------------------------------------------------------------------
// Saving

TEST_F(Config, DefaultsAreSavedAsTheGoldenFile) {
    cconfig0 = cconfig;
    EXPECT_EQ(tamu_config_save(), 0);
    EXPECT_EQ(read_file(config_path()), read_file(ZORVA_SOURCE_DIR "/engine/tests/data/config_default.txt"));
}

TEST_F(Config, SavedFileReadsBackToTheSameValues) {
    cconfig.window_size[0] = 640;
    cconfig.window_size[1] = 360;
    cconfig.screen_size[0] = 128;
    cconfig.screen_size[1] = 128;
    cconfig.show_fps = 1;
    cconfig.frameless = 1;
    cconfig.frame_sleep_ms = 20;
    std::strcpy(cconfig.desktop_path, "/home/me/Bureau \xc3\xa9");
    cconfig.windowed = 1;
    cconfig.window_position[0] = 5;
    cconfig.window_position[1] = 6;
    cconfig.fullscreen_method = 2;
    cconfig.sessions = 12;
    cconfig.rmb_key = 226;
    cconfig.sound_volume = 100;
    cconfig.music_volume = 50;
    cconfig.mix_buffer_size = 2048;
    cconfig0 = cconfig;
    const cconfig_record saved = cconfig;
    tamu_set_save_config_func(append_lines);
    ASSERT_EQ(tamu_config_save(), 0);

    tamu_config_default();
    tamu_config_load();
    EXPECT_EQ(std::memcmp(&cconfig.screen_size, &saved.screen_size,
                          offsetof(cconfig_record, home_path) - offsetof(cconfig_record, screen_size)),
              0);
    EXPECT_STREQ(cconfig.desktop_path, saved.desktop_path);
    // The library's own lines are all comments or keys; the hook's follow.
    std::vector<std::string> app_lines;
    for (const auto &l : hook_lines)
        if (!l.empty() && l.rfind("//", 0) != 0) app_lines.push_back(l);
    EXPECT_EQ(app_lines, std::vector<std::string>{"app_key 7"});
    EXPECT_EQ(hook_lines.back(), "// app comment");
}

TEST_F(Config, DesktopPathsThatCannotBeReadBackAreNotSaved) {
    const std::string cases[] = {std::string(250, 'p'), "/a\nwindowed 1"};
    for (const auto &path : cases) {
        tamu_config_default();
        std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%s", path.c_str());
        cconfig0 = cconfig;
        tamu_config_save();
        std::string saved = read_file(config_path());
        EXPECT_NE(saved.find("desktop_path \n"), std::string::npos);
        hook_lines.clear();
        tamu_config_default();
        tamu_config_load();
        EXPECT_EQ(cconfig.windowed, 0);
        EXPECT_STREQ(cconfig.desktop_path, "");
    }
}

TEST_F(Config, FailedSaveKeepsTheOldFile) {
    const std::string old = "sessions 5\n// the user's own notes\n";
    write_file(config_path(), old);
#ifndef _WIN32   // Windows has no per-process file size limit
    // A disk that fills up after 100 bytes.
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    int result = tamu_config_save();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
    EXPECT_NE(result, 0);
    EXPECT_EQ(read_file(config_path()), old);
#endif

    // A folder that cannot hold the file: nothing written, the hook not called.
    bool called = false;
    static bool *flag;
    flag = &called;
    tamu_set_save_config_func([](cfile *) { *flag = true; });
    std::string blocker = test_home() + "/blocker";
    write_file(blocker, "");
    std::snprintf(cconfig.home_path, sizeof cconfig.home_path, "%s", blocker.c_str());
    EXPECT_NE(tamu_config_save(), 0);
    EXPECT_FALSE(called);
}

// ---------------------------------------------------------------------------
// The whole start-up and shut-down path

TEST_F(Config, OptionsOverrideTheFileButTheFileKeepsItsOwnValues) {
    write_file(config_path(),
               "window_size 640 480\nshow_fps 0\nframe_sleep_ms 10\nsessions 7\nwindowed 0\nsound_volume 200\n"
               "user line\n");
    init_with({"-width", "320", "-show_fps", "1", "-frame_sleep_ms", "30", "-windowed", "1", "-sound", "100"});
    EXPECT_EQ(cconfig.window_size[0], 320);
    EXPECT_EQ(cconfig0.window_size[0], 640);
    EXPECT_EQ(cconfig.show_fps, 1);
    EXPECT_EQ(cconfig0.show_fps, 0);
    EXPECT_EQ(cconfig.sessions, 8);
    EXPECT_EQ(hook_lines, std::vector<std::string>{"user line"});
    tamu_exit();

    tamu_config_default();
    tamu_config_load();
    // Settings of the snapshot come from the file...
    EXPECT_EQ(cconfig.window_size[0], 640);
    EXPECT_EQ(cconfig.window_size[1], 480);
    EXPECT_EQ(cconfig.show_fps, 0);
    EXPECT_EQ(cconfig.frame_sleep_ms, 10);
    // ...the others from the run.
    EXPECT_EQ(cconfig.windowed, 1);
    EXPECT_EQ(cconfig.sound_volume, 100);
    EXPECT_EQ(cconfig.sessions, 8);
}

TEST_F(Config, OptionsGetTheSameClampsAsTheFile) {
    struct Case {
        std::vector<std::string> args;
        int cconfig_record::*field;
        int expected;
    };
    using C = cconfig_record;
    const Case cases[] = {
        {{"-mix_buffer_size", "-5"}, &C::mix_buffer_size, 1024},
        {{"-mix_buffer_size", "100000"}, &C::mix_buffer_size, 1024},
        {{"-mix_buffer_size", "0"}, &C::mix_buffer_size, 0},   // no audio
        {{"-mix_buffer_size", "4096"}, &C::mix_buffer_size, 4096},
        {{"-frame_sleep_ms", "100000"}, &C::frame_sleep_ms, 200},
        {{"-sound", "999"}, &C::sound_volume, 256},
        {{"-music", "300"}, &C::music_volume, 256},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        init_with(c.args);
        EXPECT_EQ(cconfig.*c.field, c.expected);
        tamu_exit();
    }
}

TEST_F(Config, ClampAfterTheOptionsKeepsOnlyZeroAsNoAudio) {
    // Values the option parser cannot hand over (it reads "-5" as an
    // option), set directly.
    const struct {
        int mix, expected;
    } cases[] = {{-5, 1024}, {0, 0}, {1, 1024}, {511, 1024}, {512, 512}, {8192, 8192}, {8193, 1024}};
    for (const auto &c : cases) {
        cconfig.mix_buffer_size = c.mix;
        cconfig.frame_sleep_ms = -1;
        cconfig.music_volume = -9;
        tamu_config_clamp();
        EXPECT_EQ(cconfig.mix_buffer_size, c.expected) << c.mix;
        EXPECT_EQ(cconfig.frame_sleep_ms, 0);
        EXPECT_EQ(cconfig.music_volume, 0);
    }
}

TEST_F(Config, SavedAtExitWithOneMoreSession) {
    stub_app_on_init = [] { tamu_console_program(); };
    stub_app_frames_to_run = 1;
    char name[] = "zorva";
    char *argv[] = {name, nullptr};
    tamu_main(1, argv);
    std::string first = read_file(config_path());
    EXPECT_NE(first.find("\nsessions 1 //"), std::string::npos);
    tamu_main(1, argv);
    EXPECT_NE(read_file(config_path()).find("\nsessions 2 //"), std::string::npos);
}

}  // namespace

namespace {

// The snapshot holds the defaults and the file only: options given for one
// run never reach the file, not even on a first run without a file. The
// home option still decides where the log and the file live.
TEST_F(Config, OptionsOfOneRunNeverReachTheSavedFile) {
    std::string home = test_home() + "/alt";
    std::string desk = test_home() + "/desk";
    tamu_mkdir(home.c_str());   // Windows takes the folder as given and makes none
    std::remove((home + "/config.txt").c_str());
    init_with({"-home", home, "-width", "320", "-show_fps", "1", "-frameless", "1", "-frame_sleep_ms", "30",
               "-desktop", desk});
    EXPECT_EQ(cconfig.window_size[0], 320);
    EXPECT_EQ(cconfig.show_fps, 1);
    EXPECT_STREQ(cconfig.desktop_path, desk.c_str());
    EXPECT_EQ(cconfig0.window_size[0], 0);
    EXPECT_STREQ(cconfig0.desktop_path, "");
    tamu_exit();

    EXPECT_FALSE(tamu_file_exists(config_path().c_str()));
    EXPECT_NE(read_file(home + "/log.txt").find("tamu_config_save"), std::string::npos);
    std::string saved = read_file(home + "/config.txt");
    for (const char *line : {"\nwindow_size 0 0 ", "\nshow_fps 0 ", "\nframeless 0 ", "\nframe_sleep_ms 5 ",
                             "\ndesktop_path \n", "\nsessions 1 "})
        EXPECT_NE(saved.find(line), std::string::npos) << line << "in:\n" << saved;
}

TEST_F(Config, SessionsStopAtTheLargestCount) {
    write_file(config_path(), "sessions 99999999999\n");
    init_with({});
    EXPECT_EQ(cconfig.sessions, INT32_MAX);
}

}  // namespace
