// Feeds arbitrary bytes to the PNG loader as a memory file, once as given
// and once with every chunk's CRC made right (so that mutations reach the
// decoder instead of stopping at the checksum), and checks what it
// promises: a bitmap within the limits, or null with no pixels handed out;
// its header read alone agrees, and a decode of a given size decodes
// nothing of another size.
#include "png_crc.h"
#include "tamu.h"

#include <lodepng.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

static void check(const uint8_t *data, size_t size) {
    cfile *f = tamu_fopen_memory(data, static_cast<int>(size));
    unsigned char *out = nullptr;
    unsigned w = 0, h = 0;
    unsigned e = LodePNG_decode32_tamu_file(&out, &w, &h, f);
    if (e) {
        if (out || w || h) std::abort();
    } else {
        if (!out || w < 1 || h < 1 || w > TAMU_IMAGE_MAX_SIDE || h > TAMU_IMAGE_MAX_SIDE) std::abort();
        if (int64_t(w) * h > TAMU_IMAGE_MAX_PIXELS) std::abort();
        out[size_t(w) * h * 4 - 1] ^= 1;  // the whole block is there
    }
    std::free(out);

    int items = tamu_items_created;
    cbitmap *b = tamu_load_png_from_file(f);
    if (b) {
        if (e || b->bpp != 32 || unsigned(b->width) != w || unsigned(b->height) != h) std::abort();
        tamu_destroy_bitmap(b);
    } else if (!e) {
        std::abort();
    }
    if (tamu_items_created != items) std::abort();

    // The header alone, and a decode that must give 160 x 205: anything
    // else refused before the decoder runs.
    unsigned hw = 0, hh = 0;
    unsigned he = tamu_png_size_from_file(f, &hw, &hh);
    if (he ? (hw || hh) : (!hw || !hh)) std::abort();
    if (!e && (he || hw != w || hh != h)) std::abort();
    int decodes = tamu_png_decodes();
    unsigned gw = 0, gh = 0;
    unsigned se = LodePNG_decode32_tamu_file_sized(&out, f, 160, 205, &gw, &gh);
    bool right_size = !he && hw == 160 && hh == 205;
    if (!right_size && (se == 0 || out || tamu_png_decodes() != decodes)) std::abort();
    if (se == 0 && (!out || gw != 160 || gh != 205 || e)) std::abort();
    if (se == 0) out[160 * 205 * 4 - 1] ^= 1;
    std::free(out);
    tamu_fclose(f);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    check(data, size);

    std::vector<uint8_t> fixed = png_with_fixed_crcs(data, size);
    if (!fixed.empty()) check(fixed.data(), fixed.size());
    return 0;
}
