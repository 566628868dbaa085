// The tools for studying the clip: the frames as small TGA pictures, the
// run coding (checked against a decoder of its own), and the sizes that
// screens pack to.
#include "shell_session.h"

#include "zorva_capture.h"

#include <gtest/gtest.h>
#include <lz4.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Run coding

std::vector<uint8_t> rle_decode(const std::vector<uint8_t> &in) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < in.size()) {
        int b = in[i++];
        int count = b;
        if (b >= 128) {
            if (i >= in.size()) break;
            count = (b - 128) * 256 + in[i++] + 127;
        }
        if (i >= in.size()) break;
        out.insert(out.end(), size_t(count), in[i++]);
    }
    return out;
}

std::vector<uint8_t> rle(const std::vector<uint8_t> &bytes) {
    std::vector<uint8_t> out(size_t(rle_compress_bound(int(bytes.size()))) + 16, 0xEE);
    int n = rle_compress(bytes.data(), int(bytes.size()), out.data());
    EXPECT_LE(n, rle_compress_bound(int(bytes.size())));
    for (size_t i = size_t(n); i < out.size(); i++) EXPECT_EQ(out[i], 0xEE) << "written past the end";
    out.resize(size_t(n));
    return out;
}

TEST(RunCoding, RunsShortAndLongAgainstADecoder) {
    struct {
        const char *name;
        std::vector<std::pair<int, int>> runs;   // length, byte
        std::vector<uint8_t> coded;
    } cases[] = {
        {"nothing", {}, {}},
        {"one byte", {{1, 7}}, {1, 7}},
        {"127, the longest short run", {{127, 3}}, {127, 3}},
        {"128, the shortest long run", {{128, 3}}, {0x80, 0x01, 3}},
        {"255", {{255, 3}}, {0x80, 0x80, 3}},
        {"383: the high byte counts", {{383, 3}}, {0x81, 0x00, 3}},
        {"32511, the longest run", {{32511, 0}}, {0xFE, 0x80, 0}},
        {"32512 goes on in a second run", {{32512, 0}}, {0xFE, 0x80, 0, 1, 0}},
        {"twice the longest", {{65022, 9}}, {0xFE, 0x80, 9, 0xFE, 0x80, 9}},
        {"runs of each length", {{5, 0}, {200, 9}, {1, 0}, {40000, 255}},
         {5, 0, 0x80, 73, 9, 1, 0, 0xFE, 0x80, 255, 0x9C, 0xC2, 255}},
        {"no two bytes alike", {{1, 1}, {1, 2}, {1, 1}, {1, 2}, {1, 1}}, {1, 1, 1, 2, 1, 1, 1, 2, 1, 1}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes;
        for (auto [length, value] : c.runs) bytes.insert(bytes.end(), size_t(length), uint8_t(value));
        std::vector<uint8_t> coded = rle(bytes);
        EXPECT_EQ(coded, c.coded);
        EXPECT_EQ(rle_decode(coded), bytes);
    }

    // Every byte different from the next: the worst case, two bytes each.
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i);
    std::vector<uint8_t> coded = rle(bytes);
    EXPECT_EQ(coded.size(), 10000u);
    EXPECT_EQ(rle_decode(coded), bytes);

    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(rle_compress(bytes.data(), -1, out), 0);
    EXPECT_EQ(out[0], 9);
}

// ---------------------------------------------------------------------------
// Screens as streams

struct stream_line {
    int bytes = -1, lz4 = -1, lz4hc = -1, rle = -1, delta = -1;
};

stream_line stream_of(const cbitmap *screen) {
    ::testing::internal::CaptureStdout();
    record_stream(screen);
    std::string text = ::testing::internal::GetCapturedStdout();
    stream_line s;
    int read = std::sscanf(text.c_str(), "stream: %d bytes, lz4 %d, lz4hc %d, rle %d, delta %d\n", &s.bytes, &s.lz4,
                           &s.lz4hc, &s.rle, &s.delta);
    EXPECT_EQ(read, 5) << text;
    return s;
}

TEST(Stream, SizesOfTheScreenAndOfItsChange) {
    cbitmap *screen = tamu_create_bitmap(128, 128, 8);
    struct {
        const char *name;
        int pixel, value;   // set before the call (-1: the screen stays)
        int fill;           // the whole screen first, -1: not
        int rle, delta;
    } steps[] = {
        // The first screen differs from a blank one.
        {"blank", -1, 0, -1, 3, 3},
        // 1000 blank pixels, one of 5, 15383 blank.
        {"one pixel", 1000, 5, -1, 8, 8},
        {"the same again", -1, 0, -1, 8, 3},
        // Every pixel 3: the difference is 3 but at pixel 1000.
        {"all 3", -1, 0, 3, 3, 8},
    };
    for (auto &step : steps) {
        SCOPED_TRACE(step.name);
        if (step.fill >= 0)
            for (int y = 0; y < 128; y++) std::fill_n(screen->rows[y], 128, uint8_t(step.fill));
        if (step.pixel >= 0) screen->rows[step.pixel / 128][step.pixel % 128] = uint8_t(step.value);
        stream_line s = stream_of(screen);
        EXPECT_EQ(s.bytes, 16384);
        EXPECT_EQ(s.rle, step.rle);
        EXPECT_EQ(s.delta, step.delta);
        EXPECT_GT(s.lz4, 0);
        EXPECT_LT(s.lz4, 200);
        EXPECT_GT(s.lz4hc, 0);
        EXPECT_LE(s.lz4hc, s.lz4);
    }

    // Noise does not pack by runs, but LZ4 never grows it by much.
    tamu_srand(3);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) screen->rows[y][x] = uint8_t(tamu_random(256));
    stream_line s = stream_of(screen);
    EXPECT_GT(s.rle, 30000);
    EXPECT_LE(s.rle, 32768);
    EXPECT_LE(s.lz4, LZ4_COMPRESSBOUND(16384));
    tamu_destroy_bitmap(screen);
}

// ---------------------------------------------------------------------------
// Frames as pictures

std::string vidout() { return appdata_path("vidout"); }

std::vector<std::string> vidout_files() {
    std::vector<std::string> names;
    if (!fs::is_directory(vidout())) return names;
    for (const auto &entry : fs::directory_iterator(vidout())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

uint32_t colour_of(int index) {
    const uint8_t *c = tamu_palette->rgb + 3 * index;
    return uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
}

// The average of four display colours, channel by channel.
uint32_t average_of(int a, int b, int c, int d) {
    uint32_t out = 0xFF000000u;
    for (int shift : {16, 8, 0}) {
        uint32_t sum = 0;
        for (int i : {a, b, c, d}) sum += colour_of(i) >> shift & 0xFF;
        out |= sum / 4 << shift;
    }
    return out;
}

class SaveVideo : public ::testing::Test {
  protected:
    shell_session s;
    void SetUp() override {
        fs::remove_all(vidout());
        release_video_clip();
    }
    void TearDown() override {
        fs::remove_all(vidout());
        release_video_clip();
    }
    // A frame whose 2 x 2 block at (bx, by) holds colours a, b (top) and
    // c, d (bottom), all else colour `rest`.
    static void record(int bx, int by, int a, int b, int c, int d, int rest) {
        cbitmap *frame = tamu_create_bitmap(128, 128, 8);
        for (int y = 0; y < 128; y++) std::fill_n(frame->rows[y], 128, uint8_t(rest));
        frame->rows[2 * by][2 * bx] = uint8_t(a);
        frame->rows[2 * by][2 * bx + 1] = uint8_t(b);
        frame->rows[2 * by + 1][2 * bx] = uint8_t(c);
        frame->rows[2 * by + 1][2 * bx + 1] = uint8_t(d);
        record_video_frame(frame);
        tamu_destroy_bitmap(frame);
    }
};

TEST_F(SaveVideo, EachFrameOnceAtHalfSizeThroughThePalette) {
    struct {
        int bx, by, a, b, c, d, rest;
    } frames[] = {
        {0, 0, 8, 8, 8, 8, 8},
        {10, 20, 0, 7, 8, 12, 1},
        {63, 63, 7, 7, 0, 0, 3},
        {31, 5, 200, 16, 255, 9, 14},   // colours past 15 are averaged too
    };
    for (auto &f : frames) record(f.bx, f.by, f.a, f.b, f.c, f.d, f.rest);
    // An older picture of the same name is replaced.
    fs::create_directories(vidout());
    write_file(vidout() + "/frame001.tga", "old");

    EXPECT_EQ(save_video(), 0);
    EXPECT_EQ(vidout_files(), (std::vector<std::string>{"frame000.tga", "frame001.tga", "frame002.tga",
                                                         "frame003.tga"}));
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        char name[32];
        std::snprintf(name, sizeof name, "/frame%03d.tga", i);
        cbitmap *picture = tamu_load_tga((vidout() + name).c_str());
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->width, 64);
        EXPECT_EQ(picture->height, 64);
        EXPECT_EQ(picture->bpp, 32);
        auto &f = frames[i];
        const uint32_t *row = reinterpret_cast<const uint32_t *>(picture->rows[f.by]);
        EXPECT_EQ(row[f.bx], average_of(f.a, f.b, f.c, f.d));
        int other = f.bx == 0 ? 1 : 0;
        EXPECT_EQ(reinterpret_cast<const uint32_t *>(picture->rows[0])[other], 0xFF000000u | colour_of(f.rest));
        tamu_destroy_bitmap(picture);
    }
}

TEST_F(SaveVideo, AfterTheClipStartsOverAndWhenItCannotWrite) {
    // No frame: nothing to write.
    EXPECT_EQ(save_video(), 0);
    EXPECT_EQ(vidout_files(), std::vector<std::string>{});

    for (int i = 0; i < 3; i++) record(0, 0, i, i, i, i, i);
    reset_video();
    record(0, 0, 5, 5, 5, 5, 5);
    EXPECT_EQ(save_video(), 0);
    EXPECT_EQ(vidout_files(), std::vector<std::string>{"frame000.tga"});

    // The folder's place is taken by a plain file: 1, and the file stays.
    fs::remove_all(vidout());
    write_file(vidout(), "x");
    EXPECT_EQ(save_video(), 1);
    EXPECT_EQ(read_file(vidout()), "x");
    fs::remove(vidout());
}

}  // namespace
