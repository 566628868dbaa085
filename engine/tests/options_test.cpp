// The library's command-line options.
#include "tamu.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void parse(std::vector<std::string> args) {
    std::vector<char *> argv;
    std::string program = "zorva";
    argv.push_back(program.data());
    for (auto &a : args) argv.push_back(a.data());
    tamu_config_default();
    tamu_process_arguments(static_cast<int>(argv.size()), argv.data());
}

struct IntCase {
    std::vector<std::string> args;
    int cconfig_record::*field;
    int expected;
};

TEST(Options, IntegerOptionsTable) {
    const IntCase cases[] = {
        {{"-width", "320"}, nullptr, 0},
        {{"-timeout", "0"}, &cconfig_record::timeout, 1},
        {{"-timeout", "999"}, &cconfig_record::timeout, 240},
        {{"-timeout", "77"}, &cconfig_record::timeout, 77},
        {{"-timeout"}, &cconfig_record::timeout, 30},
        {{"-headless", "x"}, &cconfig_record::headless, 1},
        {{"-headless", "0"}, &cconfig_record::headless, 1},
        {{"-headless"}, &cconfig_record::headless, 0},
        {{"-sound", "128"}, &cconfig_record::sound_volume, 128},
        {{"-sound_volume", "128"}, &cconfig_record::sound_volume, 128},
        {{"-soundxyz", "7"}, &cconfig_record::sound_volume, 7},
        {{"-music", "9"}, &cconfig_record::music_volume, 9},
        {{"-w", "3"}, &cconfig_record::windowed, 0},
        {{"-windowed", "1"}, &cconfig_record::windowed, 1},
        {{"-frame_sleep_ms", "abc"}, &cconfig_record::frame_sleep_ms, 0},
        {{"-show_fps", "1", "2"}, &cconfig_record::show_fps, 1},
        {{"-show_fps", "-windowed", "1"}, &cconfig_record::show_fps, 0},
        {{"5", "-show_fps", "4"}, &cconfig_record::show_fps, 4},
        {{"|", "-show_fps", "4"}, &cconfig_record::show_fps, 0},
        {{">out", "-show_fps", "4"}, &cconfig_record::show_fps, 0},
        {{"&", "-show_fps", "4"}, &cconfig_record::show_fps, 0},
        {{"-show_fps", "1", "&", "-windowed", "1"}, &cconfig_record::windowed, 0},
        {{"-pixel_perfect", "1"}, &cconfig_record::pixel_perfect, 1},
        {{"-software_blit", "1"}, &cconfig_record::software_blit, 1},
        {{"-fullscreen_method", "2"}, &cconfig_record::fullscreen_method, 2},
        {{"-frameless", "1"}, &cconfig_record::frameless, 1},
        {{"-mix_buffer_size", "2048"}, &cconfig_record::mix_buffer_size, 2048},
    };
    for (const auto &c : cases) {
        parse(c.args);
        if (!c.field) {
            EXPECT_EQ(cconfig.window_size[0], 320);
            continue;
        }
        std::string joined;
        for (auto &a : c.args) joined += a + " ";
        EXPECT_EQ(cconfig.*c.field, c.expected) << joined;
    }
}

TEST(Options, PairsAndRectangles) {
    parse({"-width", "320", "-height", "200", "-window_x", "5", "-window_y", "6"});
    EXPECT_EQ(cconfig.window_size[0], 320);
    EXPECT_EQ(cconfig.window_size[1], 200);
    EXPECT_EQ(cconfig.window_position[0], 5);
    EXPECT_EQ(cconfig.window_position[1], 6);

    parse({"-draw_rect", "10,20"});
    EXPECT_EQ(cconfig.draw_rect[0], 10);
    EXPECT_EQ(cconfig.draw_rect[1], 20);
    EXPECT_EQ(cconfig.draw_rect[2], 4096);
    EXPECT_EQ(cconfig.draw_rect[3], 4096);
    parse({"-draw_rect", "1,2,3,4"});
    EXPECT_EQ(cconfig.draw_rect[3], 4);
}

TEST(Options, TextOptionsAreCut) {
    parse({"-home", "/tmp/somewhere"});
    EXPECT_STREQ(cconfig.home_path, "/tmp/somewhere");
    std::string long_path(2000, 'p');
    parse({"-desktop", long_path});
    EXPECT_EQ(std::string(cconfig.desktop_path), long_path.substr(0, 1023));
}

TEST(Options, FewerThanTwoArgumentsDoNothing) {
    tamu_config_default();
    cconfig.show_fps = 5;
    char program[] = "zorva";
    char *argv[] = {program, nullptr};
    tamu_process_arguments(1, argv);
    tamu_process_arguments(0, nullptr);
    EXPECT_EQ(cconfig.show_fps, 5);
}

}  // namespace
