// Start-up, the main loop, shut-down and the console-program flag.
#include "fake_input.h"
#include "stub_app.h"
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include <vector>

namespace {

std::string log_path() { return test_home() + "/.ostrel/tamu/log.txt"; }
std::string config_path() { return test_home() + "/.ostrel/tamu/config.txt"; }

int run_main(std::vector<std::string> args) {
    static std::vector<std::string> kept;
    static std::vector<char *> argv;
    kept = std::move(args);
    argv.clear();
    for (auto &a : kept) argv.push_back(a.data());
    argv.push_back(nullptr);
    return tamu_main(static_cast<int>(kept.size()), argv.data());
}

class MainLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        stub_app_reset();
        tamu_console = 0;
        std::remove(log_path().c_str());
        std::remove(config_path().c_str());
    }
    void TearDown() override {
        tamu_exit();
        tamu_console = 0;
        tamu_system_active = 1;
        tamu_hooks = {};
    }
};

TEST_F(MainLoop, RunsInitOnceThenUpdateAndDrawUntilQuitThenExit) {
    stub_app_frames_to_run = 4;
    EXPECT_EQ(run_main({"zorva"}), 0);
    EXPECT_EQ(stub_app_calls, "IUDUDUDUDX");
    EXPECT_EQ(tamu_inited, 0);
    EXPECT_STREQ(tamu_argv0, "zorva");
}

TEST_F(MainLoop, LoopBodyRunsOnceEvenWhenQuitIsAlreadySet) {
    stub_app_on_init = [] { tamu_quit = 1; };  // tamu_main clears it after init
    stub_app_frames_to_run = 1;
    run_main({"zorva"});
    EXPECT_EQ(stub_app_calls, "IUDX");
}

// Each pass: update, draw, the message pump ("P", eleven times while the
// window is inactive), the music fading ("F"); at the end music stops
// ("M") before the application's exit and sound ends ("S") after the
// config was saved.
TEST_F(MainLoop, LoopAndShutDownStepsRunInOrder) {
    fake_input input;
    input.on_take = [](fake_input &) { stub_app_calls += "P"; };
    tamu_hooks.update_music_fading = [] { stub_app_calls += "F"; };
    tamu_hooks.music_stop = [] { stub_app_calls += "M"; };
    tamu_hooks.sound_exit = [] { stub_app_calls += tamu_file_exists(config_path().c_str()) ? "S" : "s"; };

    stub_app_frames_to_run = 2;
    run_main({"zorva"});
    EXPECT_EQ(stub_app_calls, "IUDPFUDPFMXS");

    stub_app_reset();
    std::remove(config_path().c_str());
    stub_app_on_init = [] { tamu_system_active = 0; };
    stub_app_frames_to_run = 1;
    run_main({"zorva"});
    EXPECT_EQ(stub_app_calls, "IUD" + std::string(11, 'P') + "FMXS");
}

#ifdef _WIN32
constexpr const char *platform_line = "  platform: Windows\n";
#else
constexpr const char *platform_line = "  platform: Linux\n";
#endif

// The library's own steps appear in this order and at these levels; the
// subsystems may log further lines of their own between them.
TEST_F(MainLoop, StartUpAndShutDownLogInOrder) {
    stub_app_frames_to_run = 1;
    run_main({"zorva"});
    std::string log = read_file(log_path());
    const char *expected[] = {
        "tamu_init\n",
#ifdef _WIN32
        "  platform: Windows\n",
#else
        "  platform: Linux\n",
#endif
        "  tamu_system_init\n",
        "  tamu_reset_timer\n",
        "  tamu_gui_init\n",
        "  tamu_keys_init\n",
        "  tamu_text_init\n",
        "  tamu_video_init\n",
        "  tamu_mouse_init\n",
        "  tamu_joystick_init\n",
        "ok\n",
        "tamu_exit\n",
        "  cmusic_stop\n",
        "  tamu_main_exit\n",
        "  tamu_config_save\n",
        "  tamu_sound_exit\n",
        "  tamu_video_exit\n",
        "  tamu_joystick_exit\n",
        "  tamu_system_exit\n",
        "  tamu_items_created: 0\n",
        "ok\n",
    };
    ASSERT_EQ(log.rfind("tamu_init\n", 0), 0u) << log;
    size_t at = 0;
    for (const char *line : expected) {
        size_t found = log.find(line, at);
        while (found != std::string::npos && found > 0 && log[found - 1] != '\n')
            found = log.find(line, found + 1);  // whole lines only
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "in:\n" << log;
        at = found + std::strlen(line);
    }
    EXPECT_EQ(at, log.size()) << "the log goes on after the final ok:\n" << log;
}

TEST_F(MainLoop, ConsoleProgramSkipsThePlatformStartUp) {
    stub_app_on_init = [] { tamu_console_program(); };
    stub_app_frames_to_run = 1;
    run_main({"zorva"});
    std::string log = read_file(log_path());
    EXPECT_EQ(log.find("tamu_system_init"), std::string::npos);
    EXPECT_EQ(log.find("tamu_video_init"), std::string::npos);
    EXPECT_NE(log.find("tamu_config_save"), std::string::npos);
    EXPECT_NE(log.find("tamu_items_created: 0"), std::string::npos);
}

TEST_F(MainLoop, InitTwiceDoesNothingAndExitWithoutInitDoesNothing) {
    tamu_console = 1;
    EXPECT_EQ(tamu_exit(), 0);
    EXPECT_EQ(stub_app_calls, "");  // no tamu_main_exit without init
    tamu_init();
    int sessions = cconfig.sessions;
    tamu_init();
    EXPECT_EQ(cconfig.sessions, sessions);
    tamu_exit();
    EXPECT_EQ(stub_app_calls, "X");
    EXPECT_EQ(tamu_inited, 0);
}

TEST_F(MainLoop, RestartShutsDownAndCallsInitAgain) {
    stub_app_on_init = [] { tamu_console_program(); };
    tamu_argc = 0;
    tamu_argv = nullptr;
    tamu_main_init(0, nullptr);
    ASSERT_EQ(tamu_inited, 1);
    tamu_restart();
    EXPECT_EQ(stub_app_calls, "IXI");
    EXPECT_EQ(tamu_inited, 1);
}

TEST_F(MainLoop, SessionsCountsEachStart) {
    tamu_console = 1;
    tamu_init();
    EXPECT_EQ(cconfig.sessions, cconfig0.sessions + 1);
    tamu_exit();
}

TEST_F(MainLoop, ApplicationTitleIsTakenAtInitOnly) {
    tamu_console = 1;
    tamu_set_application_title("first");
    tamu_init();
    EXPECT_STREQ(tamu_state.application_title, "first");
    EXPECT_STREQ(tamu_state.window_title, "first");
    tamu_set_application_title("second");  // ignored once initialised
    tamu_exit();
    tamu_set_application_title("tamu");
    tamu_init();
    EXPECT_STREQ(tamu_state.application_title, "tamu");
    tamu_set_window_title("window");
    EXPECT_STREQ(tamu_state.window_title_text, "window");
    tamu_set_window_title(nullptr);
    EXPECT_EQ(tamu_state.window_title_text, nullptr);
}

TEST(FatalError, EndsWithNonZeroStatusAndPrintsTheMessage) {
    EXPECT_EXIT(
        {
            dup2(2, 1);  // let the death test see standard output
            tamu_fatal_error("the sky fell");
        },
        ::testing::ExitedWithCode(1), "\\*\\* FATAL ERROR: the sky fell");
}

TEST(ElapsedTime, NeverNegative) {
    tamu_reset_timer();
    EXPECT_GE(tamu_get_elapsed_time(), 0);
    tamu_start_time = tamu_get_time() + 100000;  // clock went backwards
    EXPECT_EQ(tamu_get_elapsed_time(), 0);
    EXPECT_LE(tamu_start_time, tamu_get_time());
}

}  // namespace
