// Image files, general compression and the 6-bit character code.
#include "tamu_image.h"

#include "tamu_bitmap.h"
#include "tamu_file.h"
#include "tamu_main.h"
#include "tamu_memory.h"

#include <lodepng.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The signature (8), and the header chunk's length, type, 13 bytes of
// content and check (25).
constexpr size_t PNG_HEADER_BYTES = 33;
std::atomic<int> png_decodes{0};

// ---------------------------------------------------------------------------
// Shared helpers

// The whole content of a file: a memory handle lends its block, a disk
// file is read into an owned block.
struct whole_file {
    const uint8_t *bytes = nullptr;
    int64_t length = 0;
    uint8_t *owned = nullptr;
    ~whole_file() { tamu_free(owned); }
};

unsigned read_whole(cfile *file, whole_file &out) {
    if (!file) return TAMU_IMAGE_ERROR_NO_FILE;
    if (file->mode == 1) {
        file->position = 0;
        out.bytes = file->data;
        out.length = file->size > 0 && file->data ? file->size : 0;
        return 0;
    }
    if (!file->stream) return TAMU_IMAGE_ERROR_NO_FILE;
    std::rewind(file->stream);
    int size = tamu_fsize(file);
    if (size < 0) return TAMU_IMAGE_ERROR_NO_FILE;
    if (size > TAMU_IMAGE_MAX_FILE_BYTES) return TAMU_IMAGE_ERROR_TOO_LARGE;
    if (size == 0) return 0;
    out.owned = static_cast<uint8_t *>(tamu_malloc(size));
    if (tamu_fread(out.owned, 1, size, file) != size) return TAMU_IMAGE_ERROR_NO_FILE;
    out.bytes = out.owned;
    out.length = size;
    return 0;
}

unsigned read_whole_path(const char *path, whole_file &out, bool &found) {
    found = false;
    if (!path) return TAMU_IMAGE_ERROR_NO_FILE;
    cfile *f = tamu_fopen(path, "rb");
    if (!f) return TAMU_IMAGE_ERROR_NO_FILE;
    found = true;
    unsigned e = read_whole(f, out);
    if (e == 0 && out.owned == nullptr && out.length > 0) {
        // A virtual-disk entry's block may change once the handle is
        // handed back; keep a copy (entries are never closed, though).
        out.owned = static_cast<uint8_t *>(tamu_malloc(static_cast<int>(out.length)));
        std::memcpy(out.owned, out.bytes, static_cast<size_t>(out.length));
        out.bytes = out.owned;
    }
    tamu_fclose(f);
    return e;
}

// Writes the bytes as the whole new content of path. 0, or 1 on failure
// (the old file is then left as it was).
int write_whole(const char *path, const uint8_t *bytes, size_t length) {
    if (length > size_t(INT_MAX)) return 1;
    cfile *f = tamu_fopen_save(path);
    if (!f) return 1;
    int n = static_cast<int>(length);
    if (n > 0 && tamu_fwrite(bytes, 1, n, f) != n) {
        tamu_abort_save(f);
        return 1;
    }
    return tamu_fclose_save(f) != 0 ? 1 : 0;
}

bool size_allowed(int64_t w, int64_t h) {
    return w >= 1 && h >= 1 && w <= TAMU_IMAGE_MAX_SIDE && h <= TAMU_IMAGE_MAX_SIDE &&
           w * h <= TAMU_IMAGE_MAX_PIXELS;
}

bool writable(const cbitmap *b) {
    return b && b->rows && b->width >= 1 && b->height >= 1 && (b->bpp == 8 || b->bpp == 32);
}

// The palette 8-bit bitmaps are written through: the video palette, or the
// grey ramp a missing one stands for.
const cpalette *video_palette() {
    static const cpalette grey = [] {
        cpalette p;
        for (int i = 0; i < 256; i++) p.rgb[3 * i] = p.rgb[3 * i + 1] = p.rgb[3 * i + 2] = uint8_t(i);
        return p;
    }();
    return tamu_palette ? tamu_palette : &grey;
}

uint32_t *row32(const cbitmap *b, int y) { return reinterpret_cast<uint32_t *>(b->rows[y]); }

uint32_t rgba_to_word(const uint8_t *p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

void put_le(std::vector<uint8_t> &v, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) v.push_back(uint8_t(value >> (8 * i)));
}

// A bounds-checked little-endian reader over a block.
struct reader {
    const uint8_t *bytes;
    int64_t length;
    bool has(int64_t at, int64_t n) const { return at >= 0 && n >= 0 && at <= length && n <= length - at; }
    uint32_t u8(int64_t at) const { return has(at, 1) ? bytes[at] : 0; }
    uint32_t u16(int64_t at) const { return has(at, 2) ? bytes[at] | uint32_t(bytes[at + 1]) << 8 : 0; }
    uint32_t u32(int64_t at) const {
        return has(at, 4) ? bytes[at] | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                                uint32_t(bytes[at + 3]) << 24
                          : 0;
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// PNG

unsigned LodePNG_decode_tamu_file(unsigned char **out, unsigned *width, unsigned *height, cfile *file,
                                  int colour_type, unsigned bit_depth) {
    if (!out || !width || !height) return TAMU_IMAGE_ERROR_ARGUMENT;
    *out = nullptr;
    *width = *height = 0;
    whole_file content;
    unsigned e = read_whole(file, content);
    if (e) return e;
    const uint8_t *in = content.bytes;
    size_t in_length = static_cast<size_t>(content.length);

    LodePNGState state;
    lodepng_state_init(&state);
    state.info_raw.colortype = static_cast<LodePNGColorType>(colour_type);
    state.info_raw.bitdepth = bit_depth;
    // Text and unknown chunks are of no use here; skipping them also skips
    // decompressing text.
    state.decoder.read_text_chunks = 0;
    state.decoder.remember_unknown_chunks = 0;

    // The header first: refuse an image over the limits before the decoder
    // allocates its scanlines and pixels.
    unsigned w = 0, h = 0;
    e = in_length ? lodepng_inspect(&w, &h, &state, in, in_length) : 48;
    if (!e && !size_allowed(w, h)) e = TAMU_IMAGE_ERROR_TOO_LARGE;
    if (!e) {
        // Scanlines of the file's own format (an interlaced image has a
        // filter byte and a partial byte more per row of each pass).
        uint64_t bpp = lodepng_get_bpp(&state.info_png.color);
        uint64_t scanlines = uint64_t(h) * (1 + (uint64_t(w) * bpp + 7) / 8) + 16 * uint64_t(h) + 64;
        state.decoder.zlibsettings.max_output_size = static_cast<size_t>(scanlines);
        png_decodes++;
        e = lodepng_decode(out, &w, &h, &state, in, in_length);
    }
    lodepng_state_cleanup(&state);
    if (e) {
        std::free(*out);
        *out = nullptr;
        return e;
    }
    *width = w;
    *height = h;
    return 0;
}

unsigned LodePNG_decode32_tamu_file(unsigned char **out, unsigned *width, unsigned *height, cfile *file) {
    return LodePNG_decode_tamu_file(out, width, height, file, LCT_RGBA, 8);
}

int tamu_png_decodes() { return png_decodes; }

unsigned tamu_png_size_from_bytes(const uint8_t *bytes, size_t length, unsigned *width, unsigned *height) {
    unsigned w = 0, h = 0;
    unsigned e = 48;   // lodepng's "empty input"
    if (bytes && length > 0) {
        LodePNGState state;
        lodepng_state_init(&state);
        e = lodepng_inspect(&w, &h, &state, bytes, length < PNG_HEADER_BYTES ? length : PNG_HEADER_BYTES);
        lodepng_state_cleanup(&state);
    }
    if (e) w = h = 0;
    if (width) *width = w;
    if (height) *height = h;
    return e;
}

unsigned tamu_png_size_from_file(cfile *file, unsigned *width, unsigned *height) {
    if (width) *width = 0;
    if (height) *height = 0;
    if (!file) return TAMU_IMAGE_ERROR_NO_FILE;
    if (file->mode == 1) {
        file->position = 0;
        return tamu_png_size_from_bytes(file->data, file->data && file->size > 0 ? size_t(file->size) : 0, width,
                                        height);
    }
    if (!file->stream) return TAMU_IMAGE_ERROR_NO_FILE;
    uint8_t header[PNG_HEADER_BYTES];
    std::rewind(file->stream);
    size_t n = std::fread(header, 1, sizeof header, file->stream);
    std::rewind(file->stream);
    return tamu_png_size_from_bytes(header, n, width, height);
}

int64_t tamu_png_file_bound(int width, int height) {
    if (width < 1 || height < 1) return 0;
    int64_t w = width, h = height;
    // Rows of 8 bytes a pixel and a filter byte; an interlaced picture has
    // up to seven passes, each row of a pass with a filter byte and a
    // partly used byte.
    int64_t raw = h * (8 * w + 1) + 15 * h + 64;
    // Stored deflate blocks: 5 bytes per 65535; the zlib header and check.
    int64_t zlib = raw + 5 * (raw / 65535 + 1) + 6;
    // The data in chunks of at least 1024 bytes (12 bytes around each);
    // signature, header and end; and 64 KB of small chunks besides.
    return zlib + 12 * (zlib / 1024 + 1) + 8 + 25 + 12 + 65536;
}

unsigned LodePNG_decode32_tamu_file_sized(unsigned char **out, cfile *file, unsigned width, unsigned height,
                                          unsigned *got_width, unsigned *got_height) {
    if (got_width) *got_width = 0;
    if (got_height) *got_height = 0;
    if (!out) return TAMU_IMAGE_ERROR_ARGUMENT;
    *out = nullptr;
    unsigned w = 0, h = 0;
    unsigned e = tamu_png_size_from_file(file, &w, &h);
    if (e) return e;
    if (got_width) *got_width = w;
    if (got_height) *got_height = h;
    if (w != width || h != height) return TAMU_IMAGE_ERROR_WRONG_SIZE;
    int64_t length = file->mode == 1 ? file->size : tamu_fsize(file);
    if (length > tamu_png_file_bound(int(width), int(height))) return TAMU_IMAGE_ERROR_TOO_LARGE;
    e = LodePNG_decode32_tamu_file(out, &w, &h, file);
    if (!e && (w != width || h != height)) {
        std::free(*out);
        *out = nullptr;
        e = TAMU_IMAGE_ERROR_WRONG_SIZE;
    }
    return e;
}

cbitmap *tamu_load_png_from_file(cfile *file) {
    unsigned char *pixels = nullptr;
    unsigned w = 0, h = 0;
    if (LodePNG_decode32_tamu_file(&pixels, &w, &h, file) != 0) return nullptr;
    cbitmap *bitmap = size_allowed(w, h) ? tamu_create_bitmap(int(w), int(h), 32) : nullptr;
    if (bitmap) {
        const uint8_t *p = pixels;
        for (int y = 0; y < bitmap->height; y++) {
            uint32_t *d = row32(bitmap, y);
            for (int x = 0; x < bitmap->width; x++, p += 4) d[x] = rgba_to_word(p);
        }
    }
    std::free(pixels);
    return bitmap;
}

cbitmap *tamu_load_png(const char *path) {
    if (!path) return nullptr;
    cfile *f = tamu_fopen(path, "rb");
    if (!f) return nullptr;
    cbitmap *bitmap = tamu_load_png_from_file(f);
    tamu_fclose(f);
    return bitmap;
}

unsigned tamu_save_png(const char *path, cbitmap *bitmap) {
    if (!path || !writable(bitmap)) return TAMU_IMAGE_ERROR_ARGUMENT;
    cbitmap *copy = tamu_create_bitmap(bitmap->width, bitmap->height, 32);
    if (!copy) return TAMU_IMAGE_ERROR_ARGUMENT;
    if (bitmap->bpp == 8)
        tamu_convert_bitmap(bitmap, copy, video_palette());
    else
        tamu_blit(bitmap, copy, 0, 0, 0, 0, bitmap->width, bitmap->height);

    std::vector<uint8_t> rgba(size_t(copy->width) * size_t(copy->height) * 4);
    uint8_t *p = rgba.data();
    for (int y = 0; y < copy->height; y++) {
        const uint32_t *s = row32(copy, y);
        for (int x = 0; x < copy->width; x++, p += 4) {
            uint32_t c = s[x];
            p[0] = uint8_t(c >> 16);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c);
            p[3] = uint8_t(c >> 24);
        }
    }
    unsigned w = unsigned(copy->width), h = unsigned(copy->height);
    tamu_destroy_bitmap(copy);

    unsigned char *png = nullptr;
    size_t png_size = 0;
    unsigned e = lodepng_encode_memory(&png, &png_size, rgba.data(), w, h, LCT_RGBA, 8);
    if (!e && write_whole(path, png, png_size) != 0) e = TAMU_IMAGE_ERROR_WRITE;
    std::free(png);
    return e;
}

// ---------------------------------------------------------------------------
// TGA

static cpalette tga_palette;

cpalette *get_tga_palette() { return &tga_palette; }

// The bitmap of a TGA file, or null; *w and *h are set once the header is
// read (0 before).
static cbitmap *decode_tga(const reader &r, int &w, int &h) {
    w = h = 0;
    if (!r.has(0, 18)) return nullptr;
    uint32_t id_length = r.u8(0), map_type = r.u8(1), type = r.u8(2);
    uint32_t map_first = r.u16(3), map_length = r.u16(5), map_bits = r.u8(7);
    w = int(r.u16(12));
    h = int(r.u16(14));
    uint32_t depth = r.u8(16), descriptor = r.u8(17);
    if (map_type > 1 || !size_allowed(w, h)) return nullptr;

    int64_t at = 18 + int64_t(id_length);
    int64_t map_bytes = map_type ? int64_t(map_length) * ((map_bits + 7) / 8) : 0;
    if (!r.has(at, map_bytes)) return nullptr;

    int out_bpp, in_bytes;
    if (type == 1 && map_type == 1 && depth == 8 && (map_bits == 24 || map_bits == 32) && map_length >= 1 &&
        map_first + map_length <= 256) {
        out_bpp = 8, in_bytes = 1;
        std::memset(tga_palette.rgb, 0, sizeof tga_palette.rgb);
        int entry = int(map_bits / 8);
        for (uint32_t i = 0; i < map_length; i++) {
            const uint8_t *e = r.bytes + at + int64_t(i) * entry;
            uint8_t *d = tga_palette.rgb + 3 * (map_first + i);
            d[0] = e[2];
            d[1] = e[1];
            d[2] = e[0];
        }
    } else if (type == 2 && (depth == 24 || depth == 32)) {
        out_bpp = 32, in_bytes = int(depth / 8);
    } else if (type == 3 && depth == 8) {
        out_bpp = 8, in_bytes = 1;
    } else {
        return nullptr;
    }
    at += map_bytes;
    int64_t row_bytes = int64_t(w) * in_bytes;
    if (!r.has(at, row_bytes * h)) return nullptr;

    cbitmap *bitmap = tamu_create_bitmap(w, h, out_bpp);
    if (!bitmap) return nullptr;
    bool top_down = descriptor & 0x20, mirrored = descriptor & 0x10;
    for (int y = 0; y < h; y++) {
        const uint8_t *s = r.bytes + at + row_bytes * (top_down ? y : h - 1 - y);
        for (int x = 0; x < w; x++) {
            const uint8_t *p = s + int64_t(mirrored ? w - 1 - x : x) * in_bytes;
            if (out_bpp == 8)
                bitmap->rows[y][x] = p[0];
            else
                row32(bitmap, y)[x] = (in_bytes == 4 ? uint32_t(p[3]) << 24 : 0xFF000000u) |
                                      uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
    }
    return bitmap;
}

cbitmap *tamu_load_tga(const char *path) {
    tamu_debugf("tamu_load_tga %s ", path ? path : "(null)");
    whole_file content;
    bool found = false;
    unsigned e = read_whole_path(path, content, found);
    if (!found) {
        tamu_debug("not found\n");
        return nullptr;
    }
    int w = 0, h = 0;
    cbitmap *bitmap = e ? nullptr : decode_tga(reader{content.bytes, content.length}, w, h);
    if (w || h) tamu_debugf("[%d %d]", w, h);
    tamu_debug(bitmap ? "\n" : "failed\n");
    return bitmap;
}

int tamu_save_tga(const char *path, cbitmap *bitmap) {
    tamu_debugf("tamu_save_tga %s\n", path ? path : "(null)");
    if (!path || !writable(bitmap)) return 1;
    bool mapped = bitmap->bpp == 8;
    std::vector<uint8_t> v;
    v.reserve(18 + 768 + size_t(bitmap->width) * bitmap->height * (mapped ? 1 : 4));
    put_le(v, 0, 1);                 // no identification field
    put_le(v, mapped ? 1 : 0, 1);    // colour map present
    put_le(v, mapped ? 1 : 2, 1);    // colour-mapped or true colour
    put_le(v, 0, 2);                 // first map entry
    put_le(v, mapped ? 256 : 0, 2);  // map length
    put_le(v, mapped ? 24 : 0, 1);   // map entry bits
    put_le(v, 0, 2);                 // origin
    put_le(v, 0, 2);
    put_le(v, uint32_t(bitmap->width), 2);
    put_le(v, uint32_t(bitmap->height), 2);
    put_le(v, mapped ? 8 : 32, 1);
    put_le(v, mapped ? 0x20 : 0x28, 1);  // top-left origin; 8 alpha bits
    if (mapped) {
        const cpalette *p = video_palette();
        for (int i = 0; i < 256; i++) {
            v.push_back(p->rgb[3 * i + 2]);
            v.push_back(p->rgb[3 * i + 1]);
            v.push_back(p->rgb[3 * i]);
        }
    }
    size_t row_bytes = size_t(bitmap->width) * (mapped ? 1 : 4);
    for (int y = 0; y < bitmap->height; y++) v.insert(v.end(), bitmap->rows[y], bitmap->rows[y] + row_bytes);
    if (write_whole(path, v.data(), v.size()) != 0) return 1;
    tamu_debugf("saved %s\n", path);
    return 0;
}

// ---------------------------------------------------------------------------
// BMP

static cbitmap *decode_bmp(const reader &r) {
    if (!r.has(0, 54) || r.u8(0) != 'B' || r.u8(1) != 'M') return nullptr;
    int64_t pixel_offset = r.u32(10);
    int64_t info_size = r.u32(14);
    int64_t w = int32_t(r.u32(18));
    int64_t h = int32_t(r.u32(22));
    uint32_t planes = r.u16(26), bits = r.u16(28), compression = r.u32(30);
    uint32_t colours_used = r.u32(46);
    bool top_down = h < 0;
    if (top_down) h = -h;
    if (info_size < 40 || planes != 1 || !size_allowed(w, h)) return nullptr;
    if (compression == 3) {
        // Bit fields are accepted only in the usual 32-bit layout.
        if (bits != 32 || !r.has(54, 12) || r.u32(54) != 0xFF0000 || r.u32(58) != 0xFF00 || r.u32(62) != 0xFF)
            return nullptr;
    } else if (compression != 0) {
        return nullptr;
    }
    if (bits != 8 && bits != 24 && bits != 32) return nullptr;

    uint32_t table[256];
    for (uint32_t &c : table) c = 0xFF000000;
    if (bits == 8) {
        int64_t entries = colours_used ? colours_used : 256;
        int64_t table_at = 14 + info_size;
        if (entries > 256 || !r.has(table_at, entries * 4) || table_at + entries * 4 > pixel_offset)
            return nullptr;
        for (int64_t i = 0; i < entries; i++) table[i] = 0xFF000000 | (r.u32(table_at + 4 * i) & 0xFFFFFF);
    }
    int64_t stride = (w * bits + 31) / 32 * 4;
    int64_t row_bytes = w * bits / 8;
    // The last row may come without its padding.
    if (pixel_offset < 14 + info_size || !r.has(pixel_offset, stride * (h - 1) + row_bytes)) return nullptr;

    cbitmap *bitmap = tamu_create_bitmap(int(w), int(h), 32);
    if (!bitmap) return nullptr;
    bool any_alpha = false;
    for (int y = 0; y < h; y++) {
        const uint8_t *s = r.bytes + pixel_offset + stride * (top_down ? y : h - 1 - y);
        uint32_t *d = row32(bitmap, y);
        for (int x = 0; x < w; x++) {
            if (bits == 8) {
                d[x] = table[s[x]];
            } else {
                const uint8_t *p = s + x * (bits / 8);
                uint32_t alpha = bits == 32 ? uint32_t(p[3]) << 24 : 0xFF000000u;
                any_alpha |= alpha != 0;
                d[x] = alpha | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            }
        }
    }
    if (bits == 32 && !any_alpha)
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) row32(bitmap, y)[x] |= 0xFF000000;
    return bitmap;
}

cbitmap *tamu_load_bmp(const char *path) {
    whole_file content;
    bool found = false;
    if (read_whole_path(path, content, found) != 0) return nullptr;
    return decode_bmp(reader{content.bytes, content.length});
}

int tamu_save_bmp(const char *path, cbitmap *bitmap) {
    tamu_debugf("tamu_save_bmp %s\n", path ? path : "(null)");
    if (!path || !writable(bitmap)) return 1;
    uint32_t bits = bitmap->bpp == 8 ? 24 : 32;
    uint32_t w = uint32_t(bitmap->width), h = uint32_t(bitmap->height);
    uint32_t stride = (w * bits + 31) / 32 * 4;
    uint32_t image_bytes = stride * h;
    std::vector<uint8_t> v;
    v.reserve(54 + size_t(image_bytes));
    v.push_back('B');
    v.push_back('M');
    put_le(v, 54 + image_bytes, 4);
    put_le(v, 0, 4);
    put_le(v, 54, 4);
    put_le(v, 40, 4);
    put_le(v, w, 4);
    put_le(v, h, 4);  // positive: rows bottom-up
    put_le(v, 1, 2);
    put_le(v, bits, 2);
    put_le(v, 0, 4);  // uncompressed
    put_le(v, image_bytes, 4);
    put_le(v, 2835, 4);  // 72 dots per inch
    put_le(v, 2835, 4);
    put_le(v, 0, 4);
    put_le(v, 0, 4);
    const cpalette *palette = video_palette();
    for (int y = int(h) - 1; y >= 0; y--) {
        size_t start = v.size();
        for (int x = 0; x < int(w); x++) {
            if (bits == 24) {
                const uint8_t *c = palette->rgb + 3 * bitmap->rows[y][x];
                v.push_back(c[2]);
                v.push_back(c[1]);
                v.push_back(c[0]);
            } else {
                put_le(v, row32(bitmap, y)[x], 4);
            }
        }
        v.resize(start + stride, 0);
    }
    return write_whole(path, v.data(), v.size()) != 0 ? 1 : 0;
}

cbitmap *tamu_load_image(const char *path) {
    cbitmap *bitmap = tamu_load_bmp(path);
    return bitmap ? bitmap : tamu_load_tga(path);
}

// ---------------------------------------------------------------------------
// General compression

static LodePNGCompressSettings &compress_settings() {
    static LodePNGCompressSettings settings = [] {
        LodePNGCompressSettings s;
        lodepng_compress_settings_init(&s);
        return s;
    }();
    return settings;
}

int tamu_set_zlib_window_size(int size) {
    if (size < 2 || size > 32768 || (size & (size - 1)) != 0) return 1;
    compress_settings().windowsize = unsigned(size);
    return 0;
}

// Moves a lodepng result into a new engine block.
static unsigned take_output(unsigned e, unsigned char *buffer, size_t size, uint8_t **out, int *out_length) {
    if (!e && size > size_t(INT_MAX)) e = TAMU_IMAGE_ERROR_TOO_LARGE;
    if (!e && size > 0) {
        *out = static_cast<uint8_t *>(tamu_malloc(int(size)));
        std::memcpy(*out, buffer, size);
        *out_length = int(size);
    }
    std::free(buffer);
    return e;
}

unsigned tamu_compress(const void *data, int length, uint8_t **out, int *out_length) {
    if (!out || !out_length) return TAMU_IMAGE_ERROR_ARGUMENT;
    *out = nullptr;
    *out_length = 0;
    if (length < 0 || (!data && length > 0)) return TAMU_IMAGE_ERROR_ARGUMENT;
    static const uint8_t nothing = 0;
    unsigned char *buffer = nullptr;
    size_t size = 0;
    unsigned e = lodepng_zlib_compress(&buffer, &size, data ? static_cast<const uint8_t *>(data) : &nothing,
                                       size_t(length), &compress_settings());
    return take_output(e, buffer, size, out, out_length);
}

unsigned tamu_decompress_bounded(const void *data, int length, uint8_t **out, int *out_length, int max_bytes) {
    if (!out || !out_length) return TAMU_IMAGE_ERROR_ARGUMENT;
    *out = nullptr;
    *out_length = 0;
    if (length < 0 || max_bytes < 0 || (!data && length > 0)) return TAMU_IMAGE_ERROR_ARGUMENT;
    if (length == 0) return 48;  // lodepng's code for empty input
    LodePNGDecompressSettings settings;
    lodepng_decompress_settings_init(&settings);
    // lodepng takes 0 as "no limit"; 1 stops a non-empty result as early.
    settings.max_output_size = max_bytes > 0 ? size_t(max_bytes) : 1;
    unsigned char *buffer = nullptr;
    size_t size = 0;
    unsigned e = lodepng_zlib_decompress(&buffer, &size, static_cast<const uint8_t *>(data), size_t(length),
                                         &settings);
    // The decoder's limit is advisory: check the size it actually gave.
    if (!e && size > size_t(max_bytes)) e = 109;
    return take_output(e, buffer, size, out, out_length);
}

unsigned tamu_decompress(const void *data, int length, uint8_t **out, int *out_length) {
    return tamu_decompress_bounded(data, length, out, out_length, TAMU_DECOMPRESS_MAX_BYTES);
}

// ---------------------------------------------------------------------------
// 6-bit character code

static const char int6_characters[] = ".ABCDEFGHIJKLMNOPQRSTUVWXYZ01234_abcdefghijklmnopqrstuvwxyz56789";
static_assert(sizeof int6_characters == 65);

int tamu_int6_to_ascii(int value) { return value >= 0 && value < 64 ? int6_characters[value] : 0; }

int tamu_ascii_to_int6(int character) {
    static const auto table = [] {
        std::array<uint8_t, 128> t{};
        for (int i = 0; i < 64; i++) t[uint8_t(int6_characters[i])] = uint8_t(i);
        return t;
    }();
    return character >= 0 && character < 128 ? table[size_t(character)] : 0;
}
