// PNG, TGA and BMP files, the general compressor and the 6-bit code.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <lodepng.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

// Every test leaves as many live library objects as it found, and the
// video palette as it was.
class Counted : public ::testing::Test {
  protected:
    void SetUp() override {
        items_before = tamu_items_created;
        palette_before = tamu_palette;
    }
    void TearDown() override {
        tamu_palette = palette_before;
        EXPECT_EQ(tamu_items_created, items_before);
    }
    int items_before = 0;
    cpalette *palette_before = nullptr;
};

class PngImage : public Counted {};
class TgaBmpImage : public Counted {};
class Compression : public Counted {};

std::string path_of(const char *name) { return test_home() + "/" + name; }

void put_be32(std::string &s, uint32_t v) {
    for (int i = 3; i >= 0; i--) s.push_back(char(v >> (8 * i)));
}

void add_chunk(std::string &png, const char *type, const std::string &data) {
    put_be32(png, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    put_be32(png, lodepng_crc32(reinterpret_cast<const unsigned char *>(body.data()), body.size()));
}

std::string zlib(const std::string &raw) {
    unsigned char *out = nullptr;
    size_t size = 0;
    LodePNGCompressSettings settings;
    lodepng_compress_settings_init(&settings);
    EXPECT_EQ(lodepng_zlib_compress(&out, &size, reinterpret_cast<const unsigned char *>(raw.data()), raw.size(),
                                    &settings),
              0u);
    std::string s(reinterpret_cast<char *>(out), size);
    std::free(out);
    return s;
}

// A PNG built chunk by chunk: IHDR of the given form, the extra chunks
// (type, data) before IDAT, and IDAT holding raw scanlines (each row with
// its filter byte) compressed.
std::string make_png(uint32_t w, uint32_t h, int colour_type, int depth, const std::string &scanlines,
                     const std::vector<std::pair<const char *, std::string>> &extra = {}) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    put_be32(ihdr, w);
    put_be32(ihdr, h);
    ihdr += char(depth);
    ihdr += char(colour_type);
    ihdr += std::string(3, '\0');
    add_chunk(png, "IHDR", ihdr);
    for (auto &[type, data] : extra) add_chunk(png, type, data);
    add_chunk(png, "IDAT", zlib(scanlines));
    add_chunk(png, "IEND", "");
    return png;
}

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(char(b));
    return s;
}

// A 32-bit bitmap of w x h with a pattern touching every byte of the word.
cbitmap *pattern32(int w, int h) {
    cbitmap *b = tamu_create_bitmap(w, h, 32);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            reinterpret_cast<uint32_t *>(b->rows[y])[x] =
                uint32_t(x * 37 + y * 11) << 24 | uint32_t(x * 5) << 16 | uint32_t(y * 19) << 8 | uint32_t(x ^ y);
    return b;
}

uint32_t pixel32(const cbitmap *b, int x, int y) { return reinterpret_cast<const uint32_t *>(b->rows[y])[x]; }

void expect_same_pixels(const cbitmap *a, const cbitmap *b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->width, b->width);
    ASSERT_EQ(a->height, b->height);
    ASSERT_EQ(a->bpp, b->bpp);
    for (int y = 0; y < a->height; y++)
        ASSERT_EQ(std::memcmp(a->rows[y], b->rows[y], size_t(a->width) * a->bpp / 8), 0) << "row " << y;
}

void set_rgb(cpalette *p, int i, int r, int g, int b) {
    p->rgb[3 * i] = uint8_t(r);
    p->rgb[3 * i + 1] = uint8_t(g);
    p->rgb[3 * i + 2] = uint8_t(b);
}

// A palette whose colours differ in every channel from the grey ramp.
cpalette *test_palette() {
    cpalette *p = tamu_create_palette();
    for (int i = 0; i < 256; i++) set_rgb(p, i, (i * 7 + 3) & 255, (255 - i) & 255, (i * 13 + 100) & 255);
    return p;
}

uint32_t palette_word(const cpalette *p, int i, uint32_t alpha) {
    return alpha << 24 | uint32_t(p->rgb[3 * i]) << 16 | uint32_t(p->rgb[3 * i + 1]) << 8 | p->rgb[3 * i + 2];
}

// ---------------------------------------------------------------------------
// PNG

TEST_F(PngImage, OnePixelLoadsWithRedAndBlueSwappedFromEverySource) {
    std::string png = make_png(1, 1, 6, 8, bytes({0, 0x11, 0x22, 0x33, 0x44}));
    write_file(path_of("one.png"), png);
    cfile *entry = tamu_fopen_vdisk("entry_one.png", "w");
    ASSERT_NE(entry, nullptr);
    tamu_fwrite(png.data(), 1, int(png.size()), entry);

    cfile *memory = tamu_fopen_memory(png.data(), int(png.size()));
    memory->position = int(png.size());  // decoding starts from the block's start
    cfile *disk = tamu_fopen(path_of("one.png").c_str(), "rb");
    tamu_fgetc(disk);  // the stream is rewound first
    struct Source {
        const char *name;
        cbitmap *bitmap;
    } sources[] = {
        {"disk path", tamu_load_png(path_of("one.png").c_str())},
        {"virtual-disk entry", tamu_load_png("some/folder/entry_one.png")},
        {"memory file", tamu_load_png_from_file(memory)},
        {"moved disk file", tamu_load_png_from_file(disk)},
    };
    tamu_fclose(memory);
    tamu_fclose(disk);
    for (Source &s : sources) {
        SCOPED_TRACE(s.name);
        ASSERT_NE(s.bitmap, nullptr);
        EXPECT_EQ(s.bitmap->width, 1);
        EXPECT_EQ(s.bitmap->height, 1);
        EXPECT_EQ(s.bitmap->bpp, 32);
        EXPECT_EQ(pixel32(s.bitmap, 0, 0), 0x44112233u);
        tamu_destroy_bitmap(s.bitmap);
    }
}

TEST_F(PngImage, OtherColourTypesDecodeToTheSameWords) {
    struct Case {
        const char *name;
        uint32_t w, h;
        int colour_type, depth;
        std::string scanlines;
        std::vector<std::pair<const char *, std::string>> extra;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"grey 8", 2, 1, 0, 8, bytes({0, 0x00, 0x80}), {}, {0xFF000000, 0xFF808080}},
        {"grey 1", 3, 1, 0, 1, bytes({0, 0xA0}), {}, {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
        {"grey alpha 8", 1, 1, 4, 8, bytes({0, 0x40, 0x7F}), {}, {0x7F404040}},
        {"rgb 8, two rows", 1, 2, 2, 8, bytes({0, 1, 2, 3, 0, 4, 5, 6}), {}, {0xFF010203, 0xFF040506}},
        {"rgb 16", 1, 1, 2, 16, bytes({0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}), {}, {0xFF12569A}},
        {"palette with transparency",
         2,
         1,
         3,
         8,
         bytes({0, 1, 0}),
         {{"PLTE", bytes({10, 20, 30, 40, 50, 60})}, {"tRNS", bytes({0x80})}},
         {0xFF28323C, 0x800A141E}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string png = make_png(c.w, c.h, c.colour_type, c.depth, c.scanlines, c.extra);
        cfile *f = tamu_fopen_memory(png.data(), int(png.size()));
        cbitmap *b = tamu_load_png_from_file(f);
        tamu_fclose(f);
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(b->width, int(c.w));
        ASSERT_EQ(b->height, int(c.h));
        for (uint32_t i = 0; i < c.w * c.h; i++)
            EXPECT_EQ(pixel32(b, int(i % c.w), int(i / c.w)), c.expected[i]) << "pixel " << i;
        tamu_destroy_bitmap(b);
    }
}

TEST_F(PngImage, InterlacedImagesLoad) {
    cbitmap *original = pattern32(19, 13);
    std::vector<unsigned char> rgba;
    for (int y = 0; y < 13; y++)
        for (int x = 0; x < 19; x++) {
            uint32_t c = pixel32(original, x, y);
            rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
        }
    LodePNGState state;
    lodepng_state_init(&state);
    state.info_png.interlace_method = 1;
    unsigned char *png = nullptr;
    size_t size = 0;
    ASSERT_EQ(lodepng_encode(&png, &size, rgba.data(), 19, 13, &state), 0u);
    lodepng_state_cleanup(&state);
    cfile *f = tamu_fopen_memory(png, int(size));
    cbitmap *loaded = tamu_load_png_from_file(f);
    tamu_fclose(f);
    std::free(png);
    expect_same_pixels(original, loaded);
    tamu_destroy_bitmap(original);
    tamu_destroy_bitmap(loaded);
}

TEST_F(PngImage, SizeIsCheckedFromTheHeaderBeforeDecoding) {
    // The refused images hold one tiny scanline: the decoder never gets to
    // them, which the result code shows (decoding would fail differently,
    // after allocating for the declared size).
    struct Case {
        uint32_t w, h;
        bool accepted;
    };
    const Case cases[] = {
        {8192, 1, true},      {1, 8192, true},      {2048, 8192, true},  // the largest pixel count
        {8193, 1, false},     {1, 8193, false},     {2049, 8192, false}, {8192, 8192, false},
        {60000, 60000, false}, {0x7FFFFFFF, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        // Grey at one bit per pixel keeps the valid images' data small.
        uint32_t rows = c.accepted ? c.h : 1;
        std::string scanlines;
        for (uint32_t y = 0; y < rows; y++) scanlines += std::string(1 + (c.w + 7) / 8, '\0');
        std::string png = make_png(c.w, c.h, 0, 1, scanlines);
        cfile *f = tamu_fopen_memory(png.data(), int(png.size()));
        unsigned char *out = reinterpret_cast<unsigned char *>(1);
        unsigned w = 1, h = 1;
        unsigned e = LodePNG_decode32_tamu_file(&out, &w, &h, f);
        if (c.accepted) {
            EXPECT_EQ(e, 0u);
            EXPECT_EQ(w, c.w);
            EXPECT_EQ(h, c.h);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(out[4 * (size_t(w) * h - 1) + 3], 0xFF);
            std::free(out);
        } else {
            EXPECT_EQ(e, TAMU_IMAGE_ERROR_TOO_LARGE);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(w, 0u);
            EXPECT_EQ(h, 0u);
        }
        cbitmap *b = tamu_load_png_from_file(f);
        EXPECT_EQ(b != nullptr, c.accepted);
        if (b) {
            EXPECT_EQ(b->width, int(c.w));
            EXPECT_EQ(b->height, int(c.h));
        }
        tamu_destroy_bitmap(b);
        tamu_fclose(f);
    }
}

TEST_F(PngImage, BrokenFilesLoadAsNull) {
    std::string good = make_png(2, 2, 6, 8, std::string(18, '\x40'));
    std::string bad_crc = good;
    bad_crc[30] ^= 1;  // inside IHDR's CRC
    std::string short_data = make_png(4, 4, 6, 8, std::string(10, '\0'));
    std::string bad_filter = make_png(1, 1, 6, 8, bytes({9, 1, 2, 3, 4}));
    const std::pair<const char *, std::string> cases[] = {
        {"empty", ""},
        {"signature only", good.substr(0, 8)},
        {"not a PNG", "GIF89a and then some more bytes of nothing"},
        {"cut in the header", good.substr(0, 20)},
        {"cut in the data", good.substr(0, good.size() - 20)},
        {"bad CRC", bad_crc},
        {"too little pixel data", short_data},
        {"unknown filter", bad_filter},
    };
    for (auto &[name, png] : cases) {
        SCOPED_TRACE(name);
        cfile *f = tamu_fopen_memory(png.data(), int(png.size()));
        unsigned char *out = nullptr;
        unsigned w = 7, h = 7;
        EXPECT_NE(LodePNG_decode32_tamu_file(&out, &w, &h, f), 0u);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(tamu_load_png_from_file(f), nullptr);
        tamu_fclose(f);
        write_file(path_of("broken.png"), png);
        EXPECT_EQ(tamu_load_png(path_of("broken.png").c_str()), nullptr);
    }
    unsigned char *out = nullptr;
    unsigned w, h;
    EXPECT_EQ(LodePNG_decode32_tamu_file(&out, &w, &h, nullptr), TAMU_IMAGE_ERROR_NO_FILE);
    EXPECT_EQ(tamu_load_png_from_file(nullptr), nullptr);
    EXPECT_EQ(tamu_load_png(path_of("missing.png").c_str()), nullptr);
    EXPECT_EQ(tamu_load_png(nullptr), nullptr);
}

TEST_F(PngImage, OversizedFilesAreRefusedUnread) {
    // A sparse file one byte over the limit: refused by its size alone.
    std::string path = path_of("huge.png");
    write_file(path, make_png(1, 1, 6, 8, bytes({0, 1, 2, 3, 4})));
    std::filesystem::resize_file(path, uintmax_t(TAMU_IMAGE_MAX_FILE_BYTES) + 1);
    cfile *f = tamu_fopen(path.c_str(), "rb");
    unsigned char *out = nullptr;
    unsigned w, h;
    EXPECT_EQ(LodePNG_decode32_tamu_file(&out, &w, &h, f), TAMU_IMAGE_ERROR_TOO_LARGE);
    EXPECT_EQ(out, nullptr);
    tamu_fclose(f);
    EXPECT_EQ(tamu_load_png(path.c_str()), nullptr);
    EXPECT_EQ(tamu_load_image(path.c_str()), nullptr);
    std::filesystem::remove(path);
}

TEST_F(PngImage, APictureOfAGivenSizeIsCheckedByItsHeaderAlone) {
    // 8192 x 2048 in a few bytes: a picture that costs 64 MB to decode.
    std::string bomb = make_png(8192, 2048, 0, 1, std::string(1 + 1024, '\0'));
    auto rows = [](int w, int h) {
        std::string s;
        for (int y = 0; y < h; y++) s += '\0' + std::string(size_t(4 * w), '\x11');
        return s;
    };
    std::string cart = make_png(160, 205, 6, 8, rows(160, 205));
    std::string wide = make_png(161, 205, 6, 8, rows(161, 205));
    // The right size in its header, cut in its data.
    std::string cut = cart.substr(0, cart.size() - 30);
    // The right size, padded with a chunk far beyond what it needs.
    std::string padded = make_png(160, 205, 6, 8, rows(160, 205),
                                  {{"zzPd", std::string(size_t(tamu_png_file_bound(160, 205)), 'p')}});
    struct {
        const char *name;
        const std::string &png;
        unsigned result, w, h;
        bool decoded;
    } cases[] = {
        {"cart", cart, 0, 160, 205, true},
        {"bomb", bomb, TAMU_IMAGE_ERROR_WRONG_SIZE, 8192, 2048, false},
        {"one column more", wide, TAMU_IMAGE_ERROR_WRONG_SIZE, 161, 205, false},
        {"cut", cut, 1, 160, 205, true},   // any decoder error
        {"padded", padded, TAMU_IMAGE_ERROR_TOO_LARGE, 160, 205, false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        unsigned w = 0, h = 0;
        EXPECT_EQ(tamu_png_size_from_bytes(reinterpret_cast<const uint8_t *>(c.png.data()), c.png.size(), &w, &h), 0u);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
        // From memory and from disk.
        write_file(path_of("sized.png"), c.png);
        cfile *files[] = {tamu_fopen_memory(c.png.data(), int(c.png.size())), tamu_fopen(path_of("sized.png").c_str(), "rb")};
        for (cfile *f : files) {
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(tamu_png_size_from_file(f, &w, &h), 0u);
            EXPECT_EQ(w, c.w);
            EXPECT_EQ(tamu_ftell(f), 0);
            int before = tamu_png_decodes();
            unsigned char *out = reinterpret_cast<unsigned char *>(1);
            unsigned e = LodePNG_decode32_tamu_file_sized(&out, f, 160, 205, &w, &h);
            if (c.result == 1)
                EXPECT_NE(e, 0u);
            else
                EXPECT_EQ(e, c.result);
            EXPECT_EQ(w, c.w);
            EXPECT_EQ(h, c.h);
            EXPECT_EQ(out != nullptr, e == 0);
            EXPECT_EQ(tamu_png_decodes() - before, c.decoded ? 1 : 0);
            std::free(out);
            tamu_fclose(f);
        }
    }
    unsigned w = 5, h = 5;
    for (const std::string &not_png : {std::string(), std::string("GIF89a"), cart.substr(0, 32)}) {
        EXPECT_NE(tamu_png_size_from_bytes(reinterpret_cast<const uint8_t *>(not_png.data()), not_png.size(), &w, &h), 0u);
        EXPECT_EQ(w, 0u);
    }
    EXPECT_EQ(tamu_png_size_from_file(nullptr, &w, &h), TAMU_IMAGE_ERROR_NO_FILE);
    // The bound fits the largest honest file of that size: 16-bit RGBA,
    // stored uncompressed.
    EXPECT_GE(tamu_png_file_bound(160, 205), 205 * (1 + 8 * 160));
    EXPECT_LT(tamu_png_file_bound(160, 205), 512 * 1024);
    EXPECT_LT(tamu_png_file_bound(1024, 544), 5 * 1024 * 1024);
}

TEST_F(PngImage, Saved32BitBitmapsLoadBackTheSame) {
    cbitmap *original = pattern32(23, 9);
    std::string path = path_of("saved.png");
    ASSERT_EQ(tamu_save_png(path.c_str(), original), 0u);
    cbitmap *loaded = tamu_load_png(path.c_str());
    expect_same_pixels(original, loaded);

    // The file holds R, G, B, A as any PNG reader sees it.
    unsigned char *rgba = nullptr;
    unsigned w, h;
    ASSERT_EQ(lodepng_decode32_file(&rgba, &w, &h, path.c_str()), 0u);
    uint32_t c = pixel32(original, 5, 3);
    const unsigned char *p = rgba + 4 * (3 * 23 + 5);
    EXPECT_EQ(p[0], uint8_t(c >> 16));
    EXPECT_EQ(p[1], uint8_t(c >> 8));
    EXPECT_EQ(p[2], uint8_t(c));
    EXPECT_EQ(p[3], uint8_t(c >> 24));
    std::free(rgba);
    tamu_destroy_bitmap(original);
    tamu_destroy_bitmap(loaded);
}

TEST_F(PngImage, EightBitBitmapsAreSavedThroughTheVideoPalette) {
    cpalette *palette = test_palette();
    cbitmap *b = tamu_create_bitmap(4, 2, 8);
    const uint8_t indexes[8] = {0, 1, 2, 255, 128, 7, 0, 64};
    for (int i = 0; i < 8; i++) b->rows[i / 4][i % 4] = indexes[i];

    struct Case {
        const char *name;
        cpalette *video;
    } cases[] = {{"video palette", palette}, {"no video palette yet: grey ramp", nullptr}};
    cpalette *grey = tamu_create_palette();
    for (int i = 0; i < 256; i++) set_rgb(grey, i, i, i, i);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tamu_palette = c.video;
        const cpalette *expected = c.video ? c.video : grey;
        std::string path = path_of("eight.png");
        ASSERT_EQ(tamu_save_png(path.c_str(), b), 0u);
        cbitmap *loaded = tamu_load_png(path.c_str());
        ASSERT_NE(loaded, nullptr);
        for (int i = 0; i < 8; i++) {
            // The depth conversion makes index 0 transparent.
            uint32_t alpha = indexes[i] == 0 ? 0 : 0xFF;
            EXPECT_EQ(pixel32(loaded, i % 4, i / 4), palette_word(expected, indexes[i], alpha)) << i;
        }
        tamu_destroy_bitmap(loaded);
    }
    tamu_destroy_palette(grey);
    tamu_destroy_palette(palette);
    tamu_destroy_bitmap(b);
}

TEST_F(PngImage, SaveFailuresAreReported) {
    cbitmap *b = pattern32(3, 3);
    std::string path = path_of("kept.png");
    write_file(path, "old content");
    EXPECT_EQ(tamu_save_png(path_of("no/such/folder/x.png").c_str(), b), TAMU_IMAGE_ERROR_WRITE);
    EXPECT_EQ(tamu_save_png(path.c_str(), nullptr), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_save_png(path.c_str(), tamu_screen), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_save_png(nullptr, b), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(read_file(path), "old content");
    tamu_destroy_bitmap(b);
}

// ---------------------------------------------------------------------------
// TGA and BMP

TEST_F(TgaBmpImage, ThirtyTwoBitBitmapsRoundTripWithAlpha) {
    cbitmap *original = pattern32(5, 3);  // odd width: BMP rows need no padding at 32 bits, TGA none
    struct Case {
        const char *name;
        int (*save)(const char *, cbitmap *);
        cbitmap *(*load)(const char *);
    } cases[] = {{"tga", tamu_save_tga, tamu_load_tga},
                 {"bmp", tamu_save_bmp, tamu_load_bmp},
                 {"tga by tamu_load_image", tamu_save_tga, tamu_load_image},
                 {"bmp by tamu_load_image", tamu_save_bmp, tamu_load_image}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = path_of("round.img");
        ASSERT_EQ(c.save(path.c_str(), original), 0);
        cbitmap *loaded = c.load(path.c_str());
        expect_same_pixels(original, loaded);
        tamu_destroy_bitmap(loaded);
    }
    tamu_destroy_bitmap(original);
}

TEST_F(TgaBmpImage, EightBitBitmapsUseTheVideoPalette) {
    cpalette *palette = test_palette();
    tamu_palette = palette;
    cbitmap *b = tamu_create_bitmap(3, 2, 8);
    const uint8_t indexes[6] = {0, 9, 200, 255, 1, 77};
    for (int i = 0; i < 6; i++) b->rows[i / 3][i % 3] = indexes[i];

    // TGA keeps the indexes and carries the palette as its colour map.
    std::string tga = path_of("eight.tga");
    ASSERT_EQ(tamu_save_tga(tga.c_str(), b), 0);
    std::string file = read_file(tga);
    ASSERT_EQ(file.size(), 18u + 768 + 6);
    EXPECT_EQ(file.substr(0, 18), bytes({0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0x20}));
    std::memset(get_tga_palette()->rgb, 0, 768);
    cbitmap *loaded = tamu_load_tga(tga.c_str());
    expect_same_pixels(b, loaded);
    EXPECT_EQ(std::memcmp(get_tga_palette()->rgb, palette->rgb, 768), 0);
    tamu_destroy_bitmap(loaded);

    // BMP has no palette at offset 54: the colours are written, opaque.
    std::string bmp = path_of("eight.bmp");
    ASSERT_EQ(tamu_save_bmp(bmp.c_str(), b), 0);
    file = read_file(bmp);
    ASSERT_EQ(file.size(), 54u + 2 * 12);  // 9 bytes of colour padded to 12 per row
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(file.substr(2, 4), bytes({78, 0, 0, 0}));    // file size
    EXPECT_EQ(file.substr(10, 8), bytes({54, 0, 0, 0, 40, 0, 0, 0}));
    EXPECT_EQ(file.substr(28, 2), bytes({24, 0}));
    loaded = tamu_load_bmp(bmp.c_str());
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->bpp, 32);
    for (int i = 0; i < 6; i++) EXPECT_EQ(pixel32(loaded, i % 3, i / 3), palette_word(palette, indexes[i], 0xFF)) << i;
    tamu_destroy_bitmap(loaded);

    tamu_destroy_bitmap(b);
    tamu_destroy_palette(palette);
}

TEST_F(TgaBmpImage, ReadsTheUsualLayoutsOfOtherWriters) {
    // Two rows of two pixels, stored bottom row first unless said otherwise.
    std::string tga24 = bytes({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0}) +
                        bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    std::string tga_mirrored_grey = bytes({3, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 8, 0x30}) + "id!" +
                                    bytes({1, 2, 3, 4});
    std::string tga_mapped32 = bytes({0, 1, 1, 254, 0, 2, 0, 32, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20}) +
                               bytes({10, 20, 30, 40, 50, 60, 70, 80}) + bytes({254, 255});
    std::string bmp_header = "BM" + bytes({0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0});
    auto info = [](int w, int h, int bits) {
        std::string s;
        for (int v : {w, h}) s += bytes({v & 255, (v >> 8) & 255, (v >> 16) & 255, (v >> 24) & 255});
        s += bytes({1, 0, bits, 0});
        return s + std::string(24, '\0');
    };
    // 24 bits, width 1: each row padded from 3 to 4 bytes.
    std::string bmp24 = bmp_header + info(1, 2, 24) + bytes({1, 2, 3, 0, 4, 5, 6, 0});
    std::string bmp_top_down = bmp_header + info(1, -2, 24) + bytes({1, 2, 3, 0, 4, 5, 6, 0});
    std::string bmp32_no_alpha = bmp_header + info(2, 1, 32) + bytes({1, 2, 3, 0, 4, 5, 6, 0});
    std::string bmp8 = "BM" + bytes({0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0, 0}) + info(2, 1, 8);
    bmp8.replace(46, 4, bytes({2, 0, 0, 0}));  // two colours used
    bmp8 += bytes({10, 20, 30, 0, 40, 50, 60, 0}) + bytes({1, 0, 0, 0});

    struct Case {
        const char *name;
        std::string file;
        cbitmap *(*load)(const char *);
        int bpp;
        std::vector<uint32_t> pixels;  // row-major from the top
    } cases[] = {
        {"tga 24 bottom-up", tga24, tamu_load_tga, 32, {0xFF090807, 0xFF0C0B0A, 0xFF030201, 0xFF060504}},
        {"tga grey, id field, top-down mirrored", tga_mirrored_grey, tamu_load_tga, 8, {2, 1, 4, 3}},
        {"tga 32-bit colour map from entry 254", tga_mapped32, tamu_load_tga, 8, {254, 255}},
        {"bmp 24 padded rows", bmp24, tamu_load_bmp, 32, {0xFF060504, 0xFF030201}},
        {"bmp top-down", bmp_top_down, tamu_load_bmp, 32, {0xFF030201, 0xFF060504}},
        {"bmp 32 without alpha is opaque", bmp32_no_alpha, tamu_load_bmp, 32, {0xFF030201, 0xFF060504}},
        {"bmp 8 with colour table", bmp8, tamu_load_bmp, 32, {0xFF3C3228, 0xFF1E140A}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = path_of("other.img");
        write_file(path, c.file);
        cbitmap *b = c.load(path.c_str());
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(b->bpp, c.bpp);
        ASSERT_EQ(size_t(b->width) * b->height, c.pixels.size());
        for (size_t i = 0; i < c.pixels.size(); i++) {
            int x = int(i) % b->width, y = int(i) / b->width;
            uint32_t got = c.bpp == 8 ? b->rows[y][x] : pixel32(b, x, y);
            EXPECT_EQ(got, c.pixels[i]) << "pixel " << i;
        }
        tamu_destroy_bitmap(b);
    }
    // The colour map entries landed at 254 and 255, the rest black.
    const uint8_t *map = get_tga_palette()->rgb;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(map + 3 * 254), 6), bytes({30, 20, 10, 70, 60, 50}));
    EXPECT_EQ(map[3 * 5], 0);
}

TEST_F(TgaBmpImage, CorruptHeadersAndHugeSizesLoadAsNull) {
    std::string tga = bytes({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0}) + std::string(16, '\x55');
    auto tga_with = [&](int at, std::initializer_list<int> values) {
        std::string s = tga;
        for (int v : values) s[size_t(at++)] = char(v);
        return s;
    };
    std::string bmp = "BM" + bytes({0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0,
                                    32, 0}) +
                      std::string(24, '\0') + std::string(16, '\x55');
    auto bmp_with = [&](int at, std::initializer_list<int> values) {
        std::string s = bmp;
        for (int v : values) s[size_t(at++)] = char(v);
        return s;
    };
    struct Case {
        const char *name;
        std::string file;
        cbitmap *(*load)(const char *);
    } cases[] = {
        {"tga empty", "", tamu_load_tga},
        {"tga header cut", tga.substr(0, 17), tamu_load_tga},
        {"tga pixels cut", tga.substr(0, tga.size() - 1), tamu_load_tga},
        {"tga width 0", tga_with(12, {0, 0}), tamu_load_tga},
        {"tga 65535 x 65535", tga_with(12, {255, 255, 255, 255}), tamu_load_tga},
        {"tga 8193 wide", tga_with(12, {1, 32}), tamu_load_tga},
        {"tga run-length", tga_with(2, {10}), tamu_load_tga},
        {"tga 16 bits", tga_with(16, {16}), tamu_load_tga},
        {"tga colour-map type 2", tga_with(1, {2}), tamu_load_tga},
        {"tga id field past the end", tga_with(0, {255}), tamu_load_tga},
        {"tga map past entry 255", bytes({0, 1, 1, 255, 0, 2, 0, 24, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0}) +
                                       std::string(7, '\0'),
         tamu_load_tga},
        {"tga map too long for the file", bytes({0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0}) +
                                              std::string(100, '\0'),
         tamu_load_tga},
        {"bmp signature", bmp_with(0, {'M', 'B'}), tamu_load_bmp},
        {"bmp header cut", bmp.substr(0, 53), tamu_load_bmp},
        {"bmp pixels cut", bmp.substr(0, bmp.size() - 1), tamu_load_bmp},
        {"bmp small information header", bmp_with(14, {12}), tamu_load_bmp},
        {"bmp two planes", bmp_with(26, {2}), tamu_load_bmp},
        {"bmp 16 bits", bmp_with(28, {16}), tamu_load_bmp},
        {"bmp run-length", bmp_with(30, {1}), tamu_load_bmp},
        {"bmp odd bit fields", bmp_with(30, {3}), tamu_load_bmp},
        {"bmp width 0", bmp_with(18, {0}), tamu_load_bmp},
        {"bmp negative width", bmp_with(18, {0xFE, 0xFF, 0xFF, 0xFF}), tamu_load_bmp},
        {"bmp height INT_MIN", bmp_with(22, {0, 0, 0, 0x80}), tamu_load_bmp},
        {"bmp 60000 x 60000", bmp_with(18, {0x60, 0xEA, 0, 0, 0x60, 0xEA, 0, 0}), tamu_load_bmp},
        {"bmp 4096 x 4097", bmp_with(18, {0, 16, 0, 0, 1, 16, 0, 0}), tamu_load_bmp},
        {"bmp pixels past the end", bmp_with(10, {0xF0, 0xFF, 0xFF, 0x7F}), tamu_load_bmp},
        {"bmp pixels inside the header", bmp_with(10, {20}), tamu_load_bmp},
        {"bmp 8 bits, 300 colours", bmp_with(28, {8, 0}).replace(46, 2, bytes({0x2C, 1})), tamu_load_bmp},
        {"bmp 8 bits, table past the pixels", bmp_with(28, {8, 0}), tamu_load_bmp},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = path_of("corrupt.img");
        write_file(path, c.file);
        EXPECT_EQ(c.load(path.c_str()), nullptr);
        EXPECT_EQ(tamu_load_image(path.c_str()), nullptr);
    }
    EXPECT_EQ(tamu_load_tga(path_of("missing.tga").c_str()), nullptr);
    EXPECT_EQ(tamu_load_bmp(path_of("missing.bmp").c_str()), nullptr);
    EXPECT_EQ(tamu_load_image(nullptr), nullptr);
}

TEST_F(TgaBmpImage, ReadersFallBackToTheVirtualDisk) {
    cbitmap *original = pattern32(2, 2);
    struct Case {
        const char *name;
        int (*save)(const char *, cbitmap *);
        cbitmap *(*load)(const char *);
    } cases[] = {{"vd.tga", tamu_save_tga, tamu_load_tga}, {"vd.bmp", tamu_save_bmp, tamu_load_bmp}};
    for (auto [name, save, load] : cases) {
        SCOPED_TRACE(name);
        std::string disk = path_of("for_vdisk");
        ASSERT_EQ(save(disk.c_str(), original), 0);
        std::string file = read_file(disk);
        cfile *entry = tamu_fopen_vdisk(name, "w");
        tamu_fwrite(file.data(), 1, int(file.size()), entry);
        cbitmap *loaded = load((std::string("not/on/disk/") + name).c_str());
        expect_same_pixels(original, loaded);
        tamu_destroy_bitmap(loaded);
    }
    tamu_destroy_bitmap(original);
}

TEST_F(TgaBmpImage, LogsAndSaveResults) {
    std::string log_path = path_of("image-log.txt");
    tamu_state.log = std::fopen(log_path.c_str(), "wb");
    ASSERT_NE(tamu_state.log, nullptr);
    cbitmap *b = pattern32(2, 3);
    std::string good = path_of("g.tga"), bad = path_of("bad.tga"), missing = path_of("none.tga");
    EXPECT_EQ(tamu_save_tga(good.c_str(), b), 0);
    write_file(bad, bytes({0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 3, 0, 32, 0}));
    cbitmap *loaded = tamu_load_tga(good.c_str());
    EXPECT_EQ(tamu_load_tga(bad.c_str()), nullptr);
    EXPECT_EQ(tamu_load_tga(missing.c_str()), nullptr);
    std::string no_folder = path_of("no/folder/x.bmp");
    EXPECT_EQ(tamu_save_bmp(no_folder.c_str(), b), 1);
    EXPECT_EQ(tamu_save_tga(no_folder.c_str(), b), 1);
    EXPECT_EQ(tamu_save_tga(good.c_str(), nullptr), 1);
    EXPECT_EQ(tamu_save_bmp(good.c_str(), nullptr), 1);
    std::fclose(tamu_state.log);
    tamu_state.log = nullptr;
    EXPECT_EQ(read_file(log_path), "tamu_save_tga " + good + "\nsaved " + good + "\n" +
                                       "tamu_load_tga " + good + " [2 3]\n" +
                                       "tamu_load_tga " + bad + " [2 3]failed\n" +
                                       "tamu_load_tga " + missing + " not found\n" +
                                       "tamu_save_bmp " + no_folder + "\n" + "tamu_save_tga " + no_folder + "\n" +
                                       "tamu_save_tga " + good + "\n" + "tamu_save_bmp " + good + "\n");
    expect_same_pixels(b, loaded);
    tamu_destroy_bitmap(loaded);
    tamu_destroy_bitmap(b);
}

// ---------------------------------------------------------------------------
// General compression

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char &c : s) c = char(rng());
    return s;
}

std::string compressed(const std::string &data) {
    uint8_t *out = nullptr;
    int length = 0;
    EXPECT_EQ(tamu_compress(data.data(), int(data.size()), &out, &length), 0u);
    std::string s(reinterpret_cast<char *>(out), size_t(length));
    tamu_free(out);
    return s;
}

TEST_F(Compression, ZlibStreamsRoundTrip) {
    std::string text;
    for (int i = 0; i < 2000; i++) text += "function _update() x+=" + std::to_string(i % 17) + " end\n";
    const std::pair<const char *, std::string> cases[] = {
        {"empty", ""},
        {"one byte", "x"},
        {"repetitive text", text},
        {"random", random_bytes(100000, 7)},
    };
    for (auto &[name, data] : cases) {
        SCOPED_TRACE(name);
        std::string z = compressed(data);
        // A zlib header: deflate, and the check bits.
        ASSERT_GE(z.size(), 6u);
        EXPECT_EQ(uint8_t(z[0]) & 0x0F, 8);
        EXPECT_EQ((uint8_t(z[0]) * 256 + uint8_t(z[1])) % 31, 0);
        if (data.size() > 1000 && std::string(name) != "random") {
            EXPECT_LT(z.size(), data.size() / 10);
        }
        uint8_t *out = reinterpret_cast<uint8_t *>(1);
        int length = -1;
        ASSERT_EQ(tamu_decompress(z.data(), int(z.size()), &out, &length), 0u);
        ASSERT_EQ(length, int(data.size()));
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out), size_t(length)), data);
        if (data.empty()) {
            EXPECT_EQ(out, nullptr);
        }
        tamu_free(out);
    }
}

TEST_F(Compression, WindowSizeSettingTakesEffect) {
    for (int size : {0, 1, 3, 1000, 65536, -2048, INT_MIN}) EXPECT_EQ(tamu_set_zlib_window_size(size), 1) << size;
    // A random block repeated 3000 bytes later: only a window that reaches
    // back that far finds the repeat.
    std::string block = random_bytes(3000, 11);
    std::string data = block + block;
    ASSERT_EQ(tamu_set_zlib_window_size(2048), 0);
    size_t narrow = compressed(data).size();
    ASSERT_EQ(tamu_set_zlib_window_size(32768), 0);
    size_t wide = compressed(data).size();
    EXPECT_LT(wide + 2000, narrow);
    ASSERT_EQ(tamu_set_zlib_window_size(2), 0);
    std::string tiny_window = compressed(data);
    uint8_t *out = nullptr;
    int length = 0;
    ASSERT_EQ(tamu_decompress(tiny_window.data(), int(tiny_window.size()), &out, &length), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), size_t(length)), data);
    tamu_free(out);
    ASSERT_EQ(tamu_set_zlib_window_size(2048), 0);
}

TEST_F(Compression, DecompressedSizeIsBounded) {
    std::string zeros(1 << 20, '\0');
    std::string z = compressed(zeros);
    struct Case {
        int bound;
        bool accepted;
    };
    const Case cases[] = {{1 << 20, true}, {(1 << 20) + 1, true}, {(1 << 20) - 1, false}, {1000, false}, {0, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bound);
        uint8_t *out = reinterpret_cast<uint8_t *>(1);
        int length = -1;
        unsigned e = tamu_decompress_bounded(z.data(), int(z.size()), &out, &length, c.bound);
        if (c.accepted) {
            EXPECT_EQ(e, 0u);
            EXPECT_EQ(length, 1 << 20);
            tamu_free(out);
        } else {
            EXPECT_EQ(e, 109u);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(length, 0);
        }
    }
    // An empty result fits even the bound 0.
    std::string empty = compressed("");
    uint8_t *out = nullptr;
    int length = -1;
    EXPECT_EQ(tamu_decompress_bounded(empty.data(), int(empty.size()), &out, &length, 0), 0u);
    EXPECT_EQ(length, 0);

    // The unbounded form stops at its default limit: a small stream that
    // would give one byte more than the limit.
    std::string bomb = compressed(std::string(size_t(TAMU_DECOMPRESS_MAX_BYTES) + 1, '\0'));
    EXPECT_LT(bomb.size(), 1u << 20);
    out = reinterpret_cast<uint8_t *>(1);
    EXPECT_EQ(tamu_decompress(bomb.data(), int(bomb.size()), &out, &length), 109u);
    EXPECT_EQ(out, nullptr);
}

TEST_F(Compression, BadInputsFail) {
    std::string z = compressed("hello hello hello hello");
    std::string bad_adler = z;
    bad_adler.back() ^= 1;
    std::string bad_header = z;
    bad_header[1] ^= 1;
    const std::pair<const char *, std::string> cases[] = {
        {"garbage", "this is not a zlib stream at all"},
        {"cut", z.substr(0, z.size() - 5)},
        {"header only", z.substr(0, 2)},
        {"bad checksum", bad_adler},
        {"bad header check", bad_header},
    };
    for (auto &[name, data] : cases) {
        SCOPED_TRACE(name);
        uint8_t *out = reinterpret_cast<uint8_t *>(1);
        int length = -1;
        EXPECT_NE(tamu_decompress(data.data(), int(data.size()), &out, &length), 0u);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(length, 0);
    }
    uint8_t *out = nullptr;
    int length = 0;
    EXPECT_EQ(tamu_decompress(z.data(), 0, &out, &length), 48u);
    EXPECT_EQ(tamu_decompress(z.data(), -1, &out, &length), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_decompress(nullptr, 5, &out, &length), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_decompress(z.data(), int(z.size()), nullptr, &length), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_decompress_bounded(z.data(), int(z.size()), &out, &length, -1), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_compress("abc", -1, &out, &length), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_compress(nullptr, 3, &out, &length), TAMU_IMAGE_ERROR_ARGUMENT);
    EXPECT_EQ(tamu_compress("abc", 3, &out, nullptr), TAMU_IMAGE_ERROR_ARGUMENT);
}

// ---------------------------------------------------------------------------
// 6-bit character code

TEST(Int6Code, CharactersAndValuesMapBothWays) {
    const char *set = ".ABCDEFGHIJKLMNOPQRSTUVWXYZ01234_abcdefghijklmnopqrstuvwxyz56789";
    for (int v = 0; v < 64; v++) {
        EXPECT_EQ(tamu_int6_to_ascii(v), set[v]) << v;
        EXPECT_EQ(tamu_ascii_to_int6(set[v]), v) << set[v];
    }
    EXPECT_EQ(tamu_int6_to_ascii(0), '.');
    EXPECT_EQ(tamu_int6_to_ascii(27), '0');
    EXPECT_EQ(tamu_int6_to_ascii(63), '9');
    EXPECT_EQ(tamu_ascii_to_int6('_'), 32);
    for (int v : {-1, 64, 100, 1000, INT_MIN, INT_MAX}) EXPECT_EQ(tamu_int6_to_ascii(v), 0) << v;
    for (int c = -300; c < 300; c++)
        if (c < 0 || c > 127 || c == 0 || !std::strchr(set, c)) {
            EXPECT_EQ(tamu_ascii_to_int6(c), 0) << c;
        }
}

}  // namespace
