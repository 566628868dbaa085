// The window, the back page and its presentation, under SDL's dummy video
// driver (which can save every presented frame as a BMP file).
#include "stub_app.h"
#include "tamu.h"
#include "test_util.h"

#include "pixel_maps.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string log_text() { return read_file(test_home() + "/.ostrel/tamu/log.txt"); }

// Starts the library with the given options (the program name first).
void start(std::vector<std::string> args = {"zorva"}) {
    static std::vector<std::string> kept;
    static std::vector<char *> argv;
    kept = std::move(args);
    argv.clear();
    for (auto &a : kept) argv.push_back(a.data());
    argv.push_back(nullptr);
    tamu_argc = int(kept.size());
    tamu_argv = argv.data();
    tamu_init();
}

tamu_video_info video_info() {
    tamu_video_info info;
    tamu_get_video_info(&info);
    return info;
}

class Video : public ::testing::Test {
  protected:
    void SetUp() override {
        stub_app_reset();
        tamu_console = 0;
        tamu_screen_mode = 1;
    }
    void TearDown() override {
        tamu_exit();
        tamu_argc = 0;
        tamu_argv = nullptr;
    }
};

TEST(VideoRules, DestinationRectangle) {
    struct Case {
        const char *name;
        int pixel_perfect, keep_aspect;
        int draw_rect[4];
        int W, H, page_w, page_h;
        tamu_dest want;
    };
    const Case cases[] = {
        {"whole multiples, centred", 1, 1, {0, 0, 0, 0}, 1280, 720, 128, 128, {320, 40, 640, 640}},
        {"aspect kept, wide window", 0, 1, {0, 0, 0, 0}, 1280, 720, 128, 128, {280, 0, 720, 720}},
        {"aspect kept, tall window", 0, 1, {0, 0, 0, 0}, 300, 500, 128, 128, {0, 100, 300, 300}},
        {"aspect truncates", 0, 1, {0, 0, 0, 0}, 301, 200, 160, 100, {0, 6, 301, 188}},
        {"page larger than the window", 1, 1, {0, 0, 0, 0}, 100, 100, 128, 128, {-14, -14, 128, 128}},
        {"stretched", 0, 0, {0, 0, 0, 0}, 300, 200, 128, 128, {0, 0, 300, 200}},
        {"draw_rect wins", 1, 1, {10, 20, 300, 200}, 1280, 720, 128, 128, {10, 20, 300, 200}},
        {"draw_rect needs both sides", 1, 1, {10, 20, 300, 0}, 256, 256, 128, 128, {0, 0, 256, 256}},
        {"no window", 1, 1, {0, 0, 0, 0}, 0, 720, 128, 128, {0, 0, 0, 0}},
        {"no page", 1, 1, {0, 0, 0, 0}, 640, 480, 0, 0, {0, 0, 0, 0}},
    };
    tamu_config_default();
    for (const Case &c : cases) {
        cconfig.pixel_perfect = c.pixel_perfect;
        cconfig.keep_aspect = c.keep_aspect;
        for (int i = 0; i < 4; i++) cconfig.draw_rect[i] = c.draw_rect[i];
        tamu_dest r = tamu_dest_rect_for(c.W, c.H, c.page_w, c.page_h);
        EXPECT_EQ(r.x, c.want.x) << c.name;
        EXPECT_EQ(r.y, c.want.y) << c.name;
        EXPECT_EQ(r.w, c.want.w) << c.name;
        EXPECT_EQ(r.h, c.want.h) << c.name;
    }
}

TEST(VideoRules, FrameRateSettlesOnSteadyFrames) {
    struct Run {
        int frames, ms;
    };
    struct Case {
        const char *name;
        std::vector<Run> runs;
        int want;
    };
    const Case cases[] = {
        {"33 ms", {{300, 33}}, 30},
        {"down from 24 ms frames", {{300, 24}, {300, 33}}, 30},
        {"up from 40 ms frames", {{300, 40}, {300, 33}}, 30},
        {"up from 20 frames per second", {{300, 50}, {300, 33}}, 30},
        {"down from 1000 frames per second", {{300, 0}, {300, 33}}, 30},
        {"20 ms", {{300, 20}}, 50},
        {"0 ms counts as 1000 per second", {{300, 0}}, 1000},
        {"frames over a second count as one", {{100, 3000}}, 1},
    };
    for (const Case &c : cases) {
        tamu_state.fps16 = 32 << 16;
        tamu_state.fps_smoothed_ms16 = 0;
        tamu_state.last_frame_time = 0;
        int now = 0;
        for (const Run &r : c.runs)
            for (int i = 0; i < r.frames; i++) tamu_video_frame_timing(now += r.ms);
        EXPECT_EQ(tamu_get_fps(), c.want) << c.name;
        EXPECT_EQ(tamu_state.fps, c.want) << c.name;
    }
}

TEST(VideoRules, SoftwareScalingReadsExactSourcePixels) {
    cbitmap *src = tamu_create_bitmap(128, 4, 32);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 128; x++) set_pixel32(src, x, y, uint32_t(y << 8 | x));
    struct Case {
        tamu_dest rect;
        int w, h;
    };
    const Case cases[] = {
        {{128, 0, 768, 24}, 1024, 24},    // six times, no drift across the width
        {{-50, -3, 300, 10}, 200, 8},     // clipped on every side
        {{5, 1, 100, 3}, 120, 6},         // shrunk
    };
    for (const Case &c : cases) {
        std::vector<uint32_t> target(size_t(c.w) * c.h, 0xDEADBEEF);
        tamu_scale_page32(src, target.data(), c.w * 4, c.w, c.h, c.rect);
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                bool inside = x >= c.rect.x && x < c.rect.x + c.rect.w && y >= c.rect.y && y < c.rect.y + c.rect.h;
                uint32_t want = inside ? uint32_t((y - c.rect.y) * 4 / c.rect.h << 8 | (x - c.rect.x) * 128 / c.rect.w)
                                       : 0xDEADBEEF;
                ASSERT_EQ(target[size_t(y) * c.w + x], want) << x << "," << y << " in " << c.rect.w;
            }
    }
    tamu_destroy_bitmap(src);
}

TEST_F(Video, HeadlessRunsNeedNoDisplay) {
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    start({"zorva", "-headless", "1"});
    ASSERT_EQ(cconfig.headless, 1);
    ASSERT_NE(SDL_GetCurrentVideoDriver(), nullptr);
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "dummy");
    EXPECT_EQ(tamu_get_desktop_width(), 0);   // not read without a window

    EXPECT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG), 0);
    ASSERT_NE(tamu_back_page, nullptr);
    EXPECT_EQ(tamu_back_page->width, 128);
    EXPECT_EQ(tamu_back_page->bpp, 8);
    EXPECT_EQ(cconfig.pixel_perfect, 1);   // -1 with a page under 480 high
    tamu_rectfill(tamu_back_page, 0, 0, 9, 9, 7);
    EXPECT_EQ(tamu_getpixel(tamu_back_page, 9, 9), 7u);
    EXPECT_EQ(video_info().window, 0);
    tamu_blit_back_page();
    EXPECT_EQ(video_info().presents, 0);
    int mode = tamu_screen_mode;
    tamu_toggle_fullscreen();
    EXPECT_EQ(tamu_screen_mode, mode);
    tamu_dest r;
    get_dest_rect(&r);
    EXPECT_EQ(r.w, 0);
    std::string log = log_text();
    EXPECT_NE(log.find("tamu_set_screen 128 128 8 100\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" set pixel_perfect 1\n"), std::string::npos);
}

TEST_F(Video, WindowSizeRules) {
    start();
    cconfig.windowed = 1;
    struct Case {
        const char *name;
        bool set;
        int w, h;
        int page_w, page_h;
        int want_w, want_h, want_page_w, want_page_h;
    };
    const Case cases[] = {
        {"the page's size", false, 0, 0, 128, 128, 128, 128, 128, 128},
        {"as asked", true, 800, 600, 128, 128, 800, 600, 128, 128},
        {"a zero width", true, 0, 600, 128, 128, 640, 480, 128, 128},
        {"a narrow height", true, 500, 31, 128, 128, 640, 480, 128, 128},
        {"32 is enough", true, 32, 32, 128, 128, 32, 32, 128, 128},
        {"a desktop-sized page", false, 0, 0, 0, 0, 1024, 768, 1024, 768},
    };
    for (const Case &c : cases) {
        tamu_state.window_size_set = 0;
        if (c.set) tamu_set_window_size(c.w, c.h);
        ASSERT_EQ(tamu_set_screen(c.page_w, c.page_h, 8, TAMU_SCREEN_BY_CONFIG), 0) << c.name;
        EXPECT_EQ(cconfig.window_size[0], c.want_w) << c.name;
        EXPECT_EQ(cconfig.window_size[1], c.want_h) << c.name;
        EXPECT_EQ(tamu_state.window_w, c.want_w) << c.name;
        EXPECT_EQ(tamu_state.window_h, c.want_h) << c.name;
        EXPECT_EQ(tamu_screen->width, c.want_w) << c.name;
        ASSERT_NE(tamu_back_page, nullptr);
        EXPECT_EQ(tamu_back_page->width, c.want_page_w) << c.name;
        EXPECT_EQ(tamu_back_page->height, c.want_page_h) << c.name;
    }
}

TEST_F(Video, WindowedAndFullScreen) {
    start();
    ASSERT_EQ(tamu_get_desktop_width(), 1024);   // the dummy driver's desktop
    ASSERT_EQ(tamu_get_desktop_height(), 768);
    cconfig.windowed = 1;
    tamu_set_window_size(400, 300);
    ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG), 0);
    EXPECT_EQ(tamu_get_windowed(), 1);
    int flags = video_info().window_flags;
    EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
    EXPECT_FALSE(flags & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(tamu_state.window_w, 400);

    struct Case {
        int method;
        Uint32 want_flags;
    };
    const Case cases[] = {
        {1, SDL_WINDOW_FULLSCREEN_DESKTOP},
        {2, SDL_WINDOW_FULLSCREEN},
        {0, SDL_WINDOW_BORDERLESS},
    };
    for (const Case &c : cases) {
        cconfig.fullscreen_method = c.method;
        tamu_toggle_fullscreen();
        EXPECT_EQ(tamu_get_windowed(), 0);
        flags = video_info().window_flags;
        EXPECT_EQ(Uint32(flags) & c.want_flags, c.want_flags) << c.method;
        EXPECT_EQ(tamu_state.window_w, 1024) << c.method;
        EXPECT_EQ(tamu_state.window_h, 768) << c.method;
        EXPECT_EQ(video_info().renderer, 1);
        tamu_set_windowed(1);
        EXPECT_EQ(tamu_get_windowed(), 1);
        EXPECT_FALSE(video_info().window_flags & SDL_WINDOW_FULLSCREEN);
        EXPECT_EQ(tamu_state.window_w, 400);
    }
    // Without 0x100 the flags choose the mode.
    ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_FULLSCREEN), 0);
    EXPECT_EQ(tamu_get_windowed(), 0);
    ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_WINDOWED), 0);
    EXPECT_EQ(tamu_get_windowed(), 1);
}

TEST_F(Video, RendererWithVerticalSyncAndAStreamingTexture) {
    start();
    cconfig.windowed = 1;
    ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG), 0);
    tamu_video_info info = video_info();
    EXPECT_EQ(info.window, 1);
    EXPECT_EQ(info.renderer, 1);
    EXPECT_EQ(info.vsync, 1);
    EXPECT_EQ(info.texture_w, 128);
    EXPECT_EQ(info.texture_h, 128);

    tamu_blit_back_page();
    EXPECT_EQ(video_info().presents, info.presents + 1);
    // A copy onto the window at any offset is not a frame.
    cbitmap *other = tamu_create_bitmap(16, 16, 8);
    tamu_blit(other, tamu_screen, 0, 0, 4, 0, 16, 16);
    tamu_blit(other, tamu_screen, 2, 2, 0, 0, 8, 8);
    EXPECT_EQ(video_info().presents, info.presents + 1);
    // A whole bitmap at 0, 0 is shown, with a texture of its size.
    tamu_blit(other, tamu_screen, 0, 0, 0, 0, 16, 16);
    EXPECT_EQ(video_info().presents, info.presents + 2);
    EXPECT_EQ(video_info().texture_w, 16);
    tamu_destroy_bitmap(other);

    // A new page size keeps the window and the renderer.
    ASSERT_EQ(tamu_set_screen(64, 32, 32, TAMU_SCREEN_BY_CONFIG), 0);
    EXPECT_EQ(tamu_back_page->bpp, 32);
    tamu_blit_back_page();
    EXPECT_EQ(video_info().texture_w, 64);
    EXPECT_EQ(video_info().texture_h, 32);

    std::string log = log_text();
    for (const char *line : {"Current video driver: dummy\n", "Built-in render drivers:\n", "  Renderer software:\n",
                             "Current renderer:\n", "PresentVSync", "    Texture formats ("})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// ---------------------------------------------------------------------------
// Presented frames, as the dummy driver saves them

class Presentation : public Video {
  protected:
    void SetUp() override {
        Video::SetUp();
        // Frames of an earlier run would look newer than this run's.
        DIR *dir = opendir(".");
        while (dirent *e = dir ? readdir(dir) : nullptr)
            if (std::string(e->d_name).rfind("SDL_window", 0) == 0) std::remove(e->d_name);
        if (dir) closedir(dir);
        setenv("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1", 1);
    }
    void TearDown() override {
        Video::TearDown();
        unsetenv("SDL_VIDEO_DUMMY_SAVE_FRAMES");
    }

    // The newest frame the driver saved, as 0xRRGGBB words (row by row).
    std::vector<uint32_t> last_frame(int &w, int &h) {
        std::string newest;
        int best = -1;
        DIR *dir = opendir(".");
        while (dirent *e = dir ? readdir(dir) : nullptr) {
            std::string name = e->d_name;
            auto dash = name.rfind('-');
            if (name.rfind("SDL_window", 0) != 0 || dash == std::string::npos) continue;
            int n = std::atoi(name.c_str() + dash + 1);
            if (n > best) {
                best = n;
                newest = name;
            }
        }
        if (dir) closedir(dir);
        std::vector<uint32_t> out;
        w = h = 0;
        SDL_Surface *bmp = newest.empty() ? nullptr : SDL_LoadBMP(newest.c_str());
        if (!bmp) return out;
        SDL_Surface *argb = SDL_ConvertSurfaceFormat(bmp, SDL_PIXELFORMAT_ARGB8888, 0);
        SDL_FreeSurface(bmp);
        w = argb->w;
        h = argb->h;
        for (int y = 0; y < h; y++) {
            auto *row = reinterpret_cast<const uint32_t *>(static_cast<uint8_t *>(argb->pixels) + y * argb->pitch);
            for (int x = 0; x < w; x++) out.push_back(row[x] & 0xFFFFFF);
        }
        SDL_FreeSurface(argb);
        return out;
    }

    static uint32_t colour_of(int index) {
        const uint8_t *p = tamu_palette->rgb + 3 * index;
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }

    // A 128 x 128 page of 16 colours in a pattern, through a palette that
    // is not the grey ramp.
    void draw_pattern() {
        cpalette pal;
        for (int i = 0; i < 256; i++) {
            pal.rgb[3 * i] = uint8_t(i * 16);
            pal.rgb[3 * i + 1] = uint8_t(255 - i * 16);
            pal.rgb[3 * i + 2] = uint8_t(i * 7 + 1);
        }
        tamu_set_palette(&pal);
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) tamu_back_page->rows[y][x] = uint8_t((x / 3 + y / 5) & 15);
    }

    // Every pixel of the frame against the page scaled 2 x at 0, 0.
    void expect_page_doubled(const char *what) {
        int w, h;
        std::vector<uint32_t> frame = last_frame(w, h);
        ASSERT_EQ(w, 256) << what;
        ASSERT_EQ(h, 256) << what;
        int wrong = 0;
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++)
                if (frame[y * 256 + x] != colour_of(tamu_back_page->rows[y / 2][x / 2]) && wrong++ < 5)
                    ADD_FAILURE() << what << ": pixel " << x << "," << y << std::hex << " is " << frame[y * 256 + x]
                                  << ", not " << colour_of(tamu_back_page->rows[y / 2][x / 2]);
        EXPECT_EQ(wrong, 0) << what;
    }
};

TEST_F(Presentation, TheFrameShowsTheBackPageScaled) {
    start();
    cconfig.windowed = 1;
    tamu_set_window_size(256, 256);
    ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG), 0);
    ASSERT_EQ(cconfig.pixel_perfect, 1);
    draw_pattern();
    tamu_blit_back_page();
    expect_page_doubled("renderer");

    // The software path writes the window surface itself.
    cconfig.software_blit = 1;
    tamu_set_windowed(1);
    EXPECT_EQ(video_info().renderer, 0);
    tamu_blit_back_page();
    expect_page_doubled("software");

    // A 32-bit page is shown as it is.
    ASSERT_EQ(tamu_set_screen(128, 128, 32, TAMU_SCREEN_BY_CONFIG), 0);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) set_pixel32(tamu_back_page, x, y, uint32_t(x * 2) << 16 | uint32_t(y * 2));
    tamu_blit_back_page();
    int w, h;
    std::vector<uint32_t> frame = last_frame(w, h);
    ASSERT_EQ(w, 256);
    EXPECT_EQ(frame[0], 0u);
    EXPECT_EQ(frame[100 * 256 + 200], uint32_t(100 * 2) << 16 | uint32_t(50 * 2));
}

TEST_F(Presentation, AspectBarsAreBlack) {
    for (int software : {0, 1}) {
        start();
        cconfig.windowed = 1;
        cconfig.pixel_perfect = 0;
        cconfig.software_blit = software;
        tamu_set_window_size(300, 200);
        ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG), 0);
        tamu_rectfill(tamu_back_page, 0, 0, 127, 127, 200);
        tamu_blit_back_page();
        int w, h;
        std::vector<uint32_t> frame = last_frame(w, h);
        ASSERT_EQ(w, 300);
        ASSERT_EQ(h, 200);
        // The page is 200 x 200 at (50, 0).
        for (int x : {0, 49, 250, 299}) EXPECT_EQ(frame[100 * 300 + x], 0u) << software << " " << x;
        for (int x : {50, 150, 249}) EXPECT_EQ(frame[100 * 300 + x], 0xC8C8C8u) << software << " " << x;
        tamu_exit();
    }
}

TEST_F(Presentation, FrameRateOverlay) {
    for (int software : {0, 1})
    for (int bpp : {8, 32}) {
        SCOPED_TRACE("software " + std::to_string(software) + ", " + std::to_string(bpp) + " bits");
        start();
        cconfig.windowed = 1;
        cconfig.show_fps = 1;
        cconfig.software_blit = software;
        tamu_set_window_size(256, 256);
        ASSERT_EQ(tamu_set_screen(128, 128, bpp, TAMU_SCREEN_BY_CONFIG), 0);
        uint32_t grey = bpp == 8 ? 100 : 0xFF646464;
        tamu_rectfill(tamu_back_page, 0, 0, 127, 127, grey);
        tamu_blit_back_page();
        int w, h;
        std::vector<uint32_t> frame = last_frame(w, h);
        ASSERT_EQ(w, 256);
        int white = 0, black = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 128; x++) {
                white += frame[y * 256 + x] == 0xFFFFFF;
                black += frame[y * 256 + x] == 0;
            }
        EXPECT_GT(white, 20) << software;   // the digits
        EXPECT_GT(black, 20) << software;   // the strip, or the outline
        EXPECT_EQ(frame[200 * 256 + 200], 0x646464u) << software;
        // The application's page is left as it drew it (the software
        // path writes the figures onto a copy of a 32-bit page).
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 40; x++) ASSERT_EQ(tamu_getpixel(tamu_back_page, x, y), grey) << x << "," << y;
        tamu_exit();
    }
}

// ---------------------------------------------------------------------------
// Palettes, the icon and the cursor

TEST_F(Video, PalettesIconAndCursorBitmaps) {
    start();
    ASSERT_NE(tamu_palette, nullptr);
    ASSERT_NE(tamu_black_palette, nullptr);
    EXPECT_EQ(tamu_palette->rgb[3 * 77 + 1], 77);
    EXPECT_EQ(tamu_black_palette->rgb[3 * 200], 0);

    cbitmap *icon8 = tamu_create_bitmap(16, 16, 8);
    tamu_set_window_icon(icon8);
    EXPECT_EQ(tamu_kept_window_icon(), nullptr);
    cbitmap *icon = tamu_create_bitmap(16, 16, 32);
    set_pixel32(icon, 3, 4, 0xFF102030);
    tamu_set_window_icon(icon);
    const cbitmap *kept = tamu_kept_window_icon();
    ASSERT_NE(kept, nullptr);
    EXPECT_NE(kept, icon);   // a copy: the caller may free its own
    EXPECT_EQ(pixel32(kept, 3, 4), 0xFF102030u);
    tamu_destroy_bitmap(icon);
    tamu_destroy_bitmap(icon8);
    cconfig.windowed = 1;
    ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG), 0);   // the new window gets it

    ASSERT_NE(tamu_cursor_bitmap, nullptr);   // built by the mouse start-up
    EXPECT_EQ(tamu_current_cursor, tamu_cursor_bitmap);
    EXPECT_EQ(tamu_cursor_bitmap->width, 33);
    EXPECT_EQ(tamu_cursor_bitmap->bpp, 32);
    struct Pixel {
        int x, y;
        uint32_t want;
    };
    const Pixel pixels[] = {
        {16, 8, 0xFFFFFFFF}, {15, 9, 0xFFFFFFFF}, {16, 9, 0xFFA0A0A0}, {16, 10, 0xFFA0A0A0}, {16, 11, 0xFFFFFFFF},
        {16, 13, 0xFFFFFFFF}, {16, 14, 0}, {16, 16, 0}, {12, 12, 0}, {11, 16, 0xFFFFFFFF}, {10, 16, 0xFFA0A0A0},
        {8, 15, 0xFFFFFFFF}, {24, 17, 0xFFFFFFFF}, {7, 16, 0}, {25, 16, 0}, {0, 0, 0}, {17, 24, 0xFFFFFFFF},
        {16, 24, 0xFFFFFFFF}, {16, 23, 0xFFA0A0A0},
    };
    for (const Pixel &p : pixels) EXPECT_EQ(pixel32(tamu_cursor_bitmap, p.x, p.y), p.want) << p.x << "," << p.y;

    // Drawn onto the 8-bit page in the nearest colours, focus at the point.
    tamu_set_palette(tamu_black_palette);
    cpalette grey;
    for (int i = 0; i < 256; i++) grey.rgb[3 * i] = grey.rgb[3 * i + 1] = grey.rgb[3 * i + 2] = uint8_t(i);
    tamu_set_palette(&grey);
    tamu_draw_cursor_at(tamu_back_page, 40, 40);
    EXPECT_EQ(tamu_back_page->rows[32][40], 255);   // (16, 8) of the cursor
    EXPECT_EQ(tamu_back_page->rows[33][40], 160);   // grey
    EXPECT_EQ(tamu_back_page->rows[40][40], 0);     // the clear centre
    tamu_clear_bitmap(tamu_back_page);
    tamu_hide_mouse();
    tamu_draw_cursor_at(tamu_back_page, 40, 40);
    EXPECT_EQ(tamu_back_page->rows[32][40], 0);
    tamu_show_mouse();
    tamu_set_mouse_focus(0, 0);
    tamu_draw_cursor_at(tamu_back_page, 0, 0);
    EXPECT_EQ(tamu_back_page->rows[8][16], 255);

    tamu_exit();
    EXPECT_EQ(tamu_cursor_bitmap, nullptr);
    EXPECT_EQ(tamu_palette, nullptr);
    EXPECT_NE(log_text().find("tamu_items_created: 0\n"), std::string::npos);
}

}  // namespace
