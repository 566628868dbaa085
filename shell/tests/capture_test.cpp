// Capture: screenshots and GIF recordings on the desktop folder (read back
// with lodepng and giflib's decoder), the clip's length and order, the
// label hot key, and failures that leave nothing behind.
#include "shell_session.h"

#include "cart_forms.h"
#include "zorva_capture.h"
#include "zorva_splore.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum : int { K_F1 = 58 };
int fkey(int n) { return K_F1 + n - 1; }

std::string desktop() { return test_home() + "/desk"; }
std::string on_desktop(const std::string &name) { return desktop() + "/" + name; }

std::vector<std::string> desktop_files() {
    std::vector<std::string> names;
    if (!fs::exists(desktop())) return names;
    for (const auto &entry : fs::directory_iterator(desktop())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void set_desktop(const std::string &path) {
    std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%s", path.c_str());
}

uint32_t display_colour(int index) {
    const uint8_t *c = tamu_palette->rgb + 3 * index;
    return 0xFF000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
}

struct gif_closer {
    void operator()(GifFileType *gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using gif_ptr = std::unique_ptr<GifFileType, gif_closer>;

gif_ptr read_gif(const std::string &path) {
    int error = 0;
    gif_ptr gif(DGifOpenFileName(path.c_str(), &error));
    if (gif && DGifSlurp(gif.get()) != GIF_OK) gif.reset();
    return gif;
}

std::vector<uint8_t> block_bytes(const ExtensionBlock &b) { return {b.Bytes, b.Bytes + b.ByteCount}; }

// A 128 x 128 frame whose pixels are all colour, with the frame number in
// pixels (0, 0) and (1, 0).
void record_numbered_frame(int number, int colour = 5) {
    cbitmap *frame = tamu_create_bitmap(128, 128, 8);
    tamu_rectfill(frame, 0, 0, 127, 127, uint32_t(colour));
    frame->rows[0][0] = uint8_t(number & 255);
    frame->rows[0][1] = uint8_t(number >> 8);
    record_video_frame(frame);
    tamu_destroy_bitmap(frame);
}

int frame_number(const cbitmap *frame) { return frame->rows[0][0] | frame->rows[0][1] << 8; }

// Runs f with files limited to max_bytes, as on a disk that fills up.
template <class F>
auto with_file_size_limit(rlim_t max_bytes, F f) {
    rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = max_bytes;
    setrlimit(RLIMIT_FSIZE, &small);
    auto result = f();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    return result;
}

// A session at the console with an empty desktop folder of its own.
class Capture : public ::testing::Test {
  protected:
    shell_session s;
    void SetUp() override {
        fs::remove_all(desktop());
        set_desktop(desktop() + "/");
        s.to_console();
    }
};

TEST_F(Capture, ScreenshotPixelsThroughTheDisplayPaletteAndNumbering) {
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) pstate.screen->rows[y][x] = uint8_t((x / 8 + y / 8) & 15);
    s.pass();
    cbitmap *shown = tamu_create_bitmap(128, 128, 8);
    tamu_blit(pstate.back_page, shown, 0, 0, 0, 0, 128, 128);

    fs::create_directories(desktop());
    write_file(on_desktop("ZORVA_001.png"), "kept");
    s.press(fkey(1));
    EXPECT_STREQ(app.message_text, "saved screenshot to ~/desk/ZORVA_000.png");
    s.press(fkey(6));
    s.press(35, {K_LCTRL});   // Ctrl+6
    EXPECT_EQ(desktop_files(), (std::vector<std::string>{"ZORVA_000.png", "ZORVA_001.png", "ZORVA_002.png",
                                                          "ZORVA_003.png"}));
    EXPECT_EQ(read_file(on_desktop("ZORVA_001.png")), "kept");

    // Scale 3 by default; colour 0 is written opaque, through entry 16.
    cbitmap *png = tamu_load_png(on_desktop("ZORVA_000.png").c_str());
    ASSERT_NE(png, nullptr);
    ASSERT_EQ(png->width, 384);
    ASSERT_EQ(png->height, 384);
    for (int y = 0; y < 384; y += 5)
        for (int x = 0; x < 384; x += 7) {
            int index = shown->rows[y / 3][x / 3];
            uint32_t pixel = reinterpret_cast<uint32_t *>(png->rows[y])[x];
            ASSERT_EQ(pixel, display_colour(index == 0 ? 16 : index)) << x << "," << y;
        }
    tamu_destroy_bitmap(png);
    tamu_destroy_bitmap(shown);
}

TEST_F(Capture, ScreenshotScaleIsHeldToItsRange) {
    cbitmap *picture = tamu_create_bitmap(128, 128, 8);
    struct Case {
        int scale, side;
    } cases[] = {{-4, 128}, {0, 128}, {1, 128}, {2, 256}, {5, 640}};
    for (const Case &c : cases) {
        fs::remove_all(desktop());
        app.screenshot_scale = c.scale;
        ASSERT_EQ(save_png_screenshot(picture), 0) << c.scale;
        cbitmap *png = tamu_load_png(on_desktop("ZORVA_000.png").c_str());
        ASSERT_NE(png, nullptr);
        EXPECT_EQ(png->width, c.side) << c.scale;
        EXPECT_EQ(png->height, c.side) << c.scale;
        tamu_destroy_bitmap(png);
    }
    tamu_destroy_bitmap(picture);
}

TEST_F(Capture, FilesAreNamedAfterTheWorkingFile) {
    struct Case {
        const char *working, *base;
    } cases[] = {
        {"", "ZORVA"},
        {"/carts/game.zv", "game"},
        {"/carts/game.zv.png", "game"},
        {"/carts/sub/my.cart.zv.png", "my.cart"},
        {"plain", "plain"},
        {"/carts/dir/", "ZORVA"},
    };
    for (const Case &c : cases) {
        std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", c.working);
        EXPECT_STREQ(get_output_file_name_base(), c.base) << c.working;
    }
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "/carts/game.zv.png");
    s.press(fkey(1));
    s.press(fkey(4));
    s.press(fkey(9));
    EXPECT_EQ(desktop_files(), (std::vector<std::string>{"game_0.gif", "game_000.png", "game_1.gif"}));
}

TEST_F(Capture, AForumCartFromTheBrowserNamesFilesByItsTitle) {
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "/bbs/carts/ab_cd.zv.png");
    running_item = splore_item{};
    std::snprintf(pstate.cart_id, sizeof pstate.cart_id, "ab_cd");
    pstate.running = 1;
    struct Case {
        const char *title, *base;
    } cases[] = {
        {"forum game", "forum game"},
        {"", "ZORVA"},
        // Titles come from the forum: never a folder, nor a name that files
        // cannot have.
        {"../../up/and:away", ".._.._up_and_away"},
        {"a\\b*c?d\"e<f>g", "a_b_c_d_e_f_g"},
    };
    for (const Case &c : cases) {
        copy_splore_text(running_item.title, c.title);
        EXPECT_STREQ(get_output_file_name_base(), c.base) << c.title;
    }
    copy_splore_text(running_item.title, "../escape");
    ASSERT_EQ(save_png_screenshot(pstate.screen), 0);
    EXPECT_EQ(desktop_files(), (std::vector<std::string>{".._escape_000.png"}));
    // Not running: the working file names them again.
    pstate.running = 0;
    EXPECT_STREQ(get_output_file_name_base(), "ab_cd");
    pstate.cart_id[0] = 0;
}

TEST_F(Capture, LabelHotKeyCopiesTheShownPicture) {
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) pstate.screen->rows[y][x] = uint8_t((x * 3 + y) & 15);
    s.pass();
    cbitmap *shown = tamu_create_bitmap(128, 128, 8);
    tamu_blit(pstate.back_page, shown, 0, 0, 0, 0, 128, 128);
    s.press(fkey(2));
    EXPECT_STREQ(app.message_text, "captured label image");
    cbitmap *label = working_cart()->label;
    ASSERT_NE(label, nullptr);
    ASSERT_EQ(label->width, 128);
    ASSERT_EQ(label->height, 128);
    for (int y = 0; y < 128; y++) ASSERT_EQ(std::memcmp(label->rows[y], shown->rows[y], 128), 0) << y;
    tamu_destroy_bitmap(shown);
}

TEST_F(Capture, GifOfARunningCartReadsBack) {
    // Each frame draws a box in colour 8 and a pixel that counts frames.
    s.run_code("t = 0 function _draw() cls(1) rectfill(0, 0, 9, 9, 8) pset(127, 127, t % 16) t += 1 end");
    ASSERT_EQ(pstate.MODE, MODE_RUNNING);
    s.passes(5);
    s.press(fkey(3));   // the video starts here
    EXPECT_STREQ(app.message_text, "set video starting point");
    s.passes(20);
    s.press(fkey(4));   // one more frame comes with this pass
    EXPECT_STREQ(app.message_text, "saved video to ~/desk/test_0.gif");
    ASSERT_EQ(desktop_files(), std::vector<std::string>{"test_0.gif"});

    gif_ptr gif = read_gif(on_desktop("test_0.gif"));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->SWidth, 256);   // gif scale 2
    EXPECT_EQ(gif->SHeight, 256);
    EXPECT_EQ(gif->SBackGroundColor, 0);
    ASSERT_EQ(gif->ImageCount, 21);
    ASSERT_NE(gif->SColorMap, nullptr);
    ASSERT_EQ(gif->SColorMap->ColorCount, 16);   // only colours 0..15 were drawn
    EXPECT_EQ(gif->SColorMap->BitsPerPixel, 4);
    for (int i = 0; i < 16; i++) {
        const GifColorType &c = gif->SColorMap->Colors[i];
        EXPECT_EQ(0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue, display_colour(i)) << i;
    }

    int last = -1;
    for (int i = 0; i < gif->ImageCount; i++) {
        const SavedImage &image = gif->SavedImages[i];
        EXPECT_EQ(image.ImageDesc.Left, 0);
        EXPECT_EQ(image.ImageDesc.Top, 0);
        ASSERT_EQ(image.ImageDesc.Width, 256);
        ASSERT_EQ(image.ImageDesc.Height, 256);
        // Loop forever on the first frame only; disposal 2, and frames of
        // 3, 3 and 4 hundredths of a second: 30 frames a second.
        if (i == 0) {
            ASSERT_EQ(image.ExtensionBlockCount, 3);
            EXPECT_EQ(image.ExtensionBlocks[0].Function, APPLICATION_EXT_FUNC_CODE);
            std::vector<uint8_t> app_name = block_bytes(image.ExtensionBlocks[0]);
            EXPECT_EQ(std::string(app_name.begin(), app_name.end()), "NETSCAPE2.0");
            EXPECT_EQ(image.ExtensionBlocks[1].Function, CONTINUE_EXT_FUNC_CODE);
            EXPECT_EQ(block_bytes(image.ExtensionBlocks[1]), (std::vector<uint8_t>{1, 0, 0}));
        } else {
            ASSERT_EQ(image.ExtensionBlockCount, 1);
        }
        const ExtensionBlock &gce = image.ExtensionBlocks[image.ExtensionBlockCount - 1];
        EXPECT_EQ(gce.Function, GRAPHICS_EXT_FUNC_CODE);
        const uint8_t delay = i % 3 == 2 ? 4 : 3;
        EXPECT_EQ(block_bytes(gce), (std::vector<uint8_t>{8, delay, 0, 0})) << i;

        auto pixel = [&](int x, int y) { return image.RasterBits[y * 256 + x]; };
        EXPECT_EQ(pixel(0, 0), 8);
        EXPECT_EQ(pixel(19, 19), 8);
        EXPECT_EQ(pixel(20, 20), 1);
        EXPECT_EQ(pixel(254, 254), pixel(255, 255));
        // Frames in the order they were shown, one per tick.
        int count = pixel(254, 254);
        if (last >= 0) {
            EXPECT_EQ(count, (last + 1) % 16) << i;
        }
        last = count;
    }
}

TEST_F(Capture, GifColoursAndScale) {
    struct Case {
        int highest, gif_scale, colours, side;
    } cases[] = {
        {15, 2, 16, 256},
        {16, 2, 256, 256},    // past the 16 console colours: the whole palette
        {143, 1, 256, 128},   // hi-colour display colours
        {7, 0, 16, 128},      // a scale below 1 is 1
        {7, 3, 16, 384},
        {7, 40, 16, 4096},    // and at most 32
    };
    for (const Case &c : cases) {
        fs::remove_all(desktop());
        app.gif_scale = c.gif_scale;
        reset_video();
        record_numbered_frame(0, 3);
        record_numbered_frame(0, c.highest);
        ASSERT_EQ(save_gif(), 0);
        gif_ptr gif = read_gif(on_desktop("ZORVA_0.gif"));
        ASSERT_TRUE(gif);
        EXPECT_EQ(gif->SWidth, c.side) << c.highest << " " << c.gif_scale;
        ASSERT_EQ(gif->SColorMap->ColorCount, c.colours) << c.highest;
        EXPECT_EQ(gif->SColorMap->BitsPerPixel, c.colours == 256 ? 8 : 4);
        for (int i = 0; i < c.colours; i++) {
            const GifColorType &col = gif->SColorMap->Colors[i];
            ASSERT_EQ(0xFF000000u | uint32_t(col.Red) << 16 | uint32_t(col.Green) << 8 | col.Blue, display_colour(i));
        }
        ASSERT_EQ(gif->ImageCount, 2);
        EXPECT_EQ(gif->SavedImages[1].RasterBits[c.side * c.side - 1], c.highest);
        EXPECT_EQ(gif->SavedImages[0].RasterBits[c.side * c.side - 1], 3);
    }

    // Nothing recorded: the screen description alone (which giflib's
    // whole-file reader refuses, so the records are read one by one).
    fs::remove_all(desktop());
    app.gif_scale = 2;
    reset_video();
    ASSERT_EQ(save_gif(), 0);
    int error = 0;
    gif_ptr gif(DGifOpenFileName(on_desktop("ZORVA_0.gif").c_str(), &error));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->SWidth, 256);
    EXPECT_EQ(gif->SColorMap->ColorCount, 16);
    GifRecordType record;
    ASSERT_EQ(DGifGetRecordType(gif.get(), &record), GIF_OK);
    EXPECT_EQ(record, TERMINATE_RECORD_TYPE);
}

TEST_F(Capture, TheClipKeepsTheLastSecondsInOrder) {
    struct Case {
        int gif_length, frames;
    } cases[] = {{8, 240}, {200, 3600}, {120, 3600}, {2, 60}, {1, 30}, {0, 30}, {-3, 30}};
    for (const Case &c : cases) {
        release_video_clip();
        app.gif_length = c.gif_length;
        int recorded = c.frames + 7;
        for (int i = 0; i < recorded; i++) record_numbered_frame(i);
        ASSERT_EQ(video_clip_frames, c.frames) << c.gif_length;
        ASSERT_EQ(video_clip_index, c.frames) << c.gif_length;
        for (int i = 0; i < c.frames; i++)
            ASSERT_EQ(frame_number(video_clip[i]), recorded - c.frames + i) << c.gif_length << " slot " << i;
    }

    // The GIF holds all of them, oldest first.
    release_video_clip();
    app.gif_length = 1;
    for (int i = 0; i < 45; i++) record_numbered_frame(i);
    app.gif_scale = 1;
    ASSERT_EQ(save_gif(), 0);
    gif_ptr gif = read_gif(on_desktop("ZORVA_0.gif"));
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->ImageCount, 30);
    for (int i = 0; i < 30; i++) {
        const GifByteType *p = gif->SavedImages[i].RasterBits;
        // Values are written modulo the colour count (256 here: numbers pass 15).
        EXPECT_EQ(p[0] | p[1] << 8, 15 + i) << i;
    }

    // Starting over: the next GIF begins with the next frame.
    reset_video();
    record_numbered_frame(100);
    record_numbered_frame(101);
    ASSERT_EQ(save_gif(), 0);
    gif = read_gif(on_desktop("ZORVA_1.gif"));
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->ImageCount, 2);
    EXPECT_EQ(gif->SavedImages[0].RasterBits[0], 100);
}

TEST_F(Capture, FailuresAreReportedAndLeaveNoFile) {
    // The desktop setting names a folder inside a plain file: nothing can
    // be made there.
    write_file(test_home() + "/plain_file", "x");
    set_desktop(test_home() + "/plain_file/desk/");
    s.passes(3);
    s.press(fkey(1));
    EXPECT_STREQ(app.message_text, "** failed to save screenshot");
    EXPECT_EQ(app.message_end - app.message_start, 1500);
    s.press(fkey(4));
    EXPECT_STREQ(app.message_text, "** failed to save video");
    EXPECT_EQ(app.message_end - app.message_start, 1500);
    EXPECT_EQ(read_file(test_home() + "/plain_file"), "x");

    // The disk fills up half-way: no file and no temporary file remain.
    set_desktop(desktop() + "/");
    fs::create_directories(desktop());
    release_video_clip();
    tamu_srand(7);
    for (int i = 0; i < 40; i++) {
        cbitmap *noise = tamu_create_bitmap(128, 128, 8);
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) noise->rows[y][x] = uint8_t(tamu_random(16));
        record_video_frame(noise);
        tamu_destroy_bitmap(noise);
    }
    EXPECT_NE(with_file_size_limit(20000, [] { return save_gif(); }), 0);
    app.screenshot_scale = 4;
    cbitmap *noise = video_clip[0];
    EXPECT_EQ(with_file_size_limit(2000, [&] { return save_png_screenshot(noise); }), 1);
    EXPECT_EQ(desktop_files(), std::vector<std::string>{});

    // With room again both work.
    EXPECT_EQ(save_gif(), 0);
    EXPECT_EQ(save_png_screenshot(noise), 0);
    EXPECT_EQ(desktop_files(), (std::vector<std::string>{"ZORVA_0.gif", "ZORVA_000.png"}));
}

}  // namespace
