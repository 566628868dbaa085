// Fonts and text drawing.
#include "tamu.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

cpod *tamu_font1 = nullptr;
cpod *tamu_font2 = nullptr;
int tamu_font_spacing = 1;
int (*tamu_text_key_source)() = tamu_readkey;

namespace {

// How a font's items are laid out in sets.
struct font_layout {
    int set_size;     // glyphs per set: 256, or 96 for the bytes 32..127
    int first_byte;   // the byte of a set's first glyph
    int sets;
    int count;
};

font_layout layout_of(cpod *font) {
    font_layout l{256, 0, 0, font ? font->count : 0};
    if (l.count & 0xFF) {
        l.set_size = 96;
        l.first_byte = 32;
    }
    l.sets = std::max(l.count > 0 ? 1 : 0, l.count / l.set_size);
    return l;
}

// The glyph of byte in the given set; null for a byte outside the set's
// range, an item past the font's end or an item that is not a bitmap.
cbitmap *glyph_of(cpod *font, const font_layout &l, int set, int byte) {
    if (byte < l.first_byte || byte >= l.first_byte + l.set_size) return nullptr;
    int index = set * l.set_size + byte - l.first_byte;
    if (index < 0 || index >= l.count) return nullptr;
    auto *glyph = static_cast<cbitmap *>(cpod_get_item(font, index, CPOD_ITEM_BITMAP));
    return glyph && glyph->rows ? glyph : nullptr;
}

// The depth of a set: that of its first glyph present (0 for none).
int set_depth(cpod *font, const font_layout &l, int set) {
    for (int b = l.first_byte; b < l.first_byte + l.set_size; b++)
        if (cbitmap *g = glyph_of(font, l, set, b)) return g->bpp;
    return 0;
}

void draw_glyph(cbitmap *glyph, cbitmap *bitmap, int x, int y, bool solid, uint32_t colour) {
    if (!solid) {
        tamu_draw_sprite(glyph, bitmap, 0, 0, x, y, glyph->width, glyph->height);
    } else if (glyph->bpp == 8) {
        tamu_draw_sprite_col(glyph, bitmap, 0, 0, x, y, glyph->width, glyph->height, colour, 0);
    } else {
        // A 32-bit glyph drawn solid: every non-zero pixel is ink.
        for (int gy = 0; gy < glyph->height; gy++) {
            const auto *row = reinterpret_cast<const uint32_t *>(glyph->rows[gy]);
            for (int gx = 0; gx < glyph->width; gx++)
                if (row[gx]) tamu_putpixel(bitmap, x + gx, y + gy, colour);
        }
    }
}

cpod *build_font(bool bold) {
    const int width = bold ? 6 : 5;
    cpod *font = tamu_create_pod(512);
    for (int depth : {8, 32}) {
        uint32_t ink = depth == 8 ? 255u : bold ? 0xFFFFFFFFu : 0xFFC0C0C0u;
        for (int byte = 0; byte < 256; byte++) {
            cbitmap *glyph = tamu_create_bitmap(width, 5, depth);
            if (byte >= 32 && byte < 32 + TAMU_FONT1_GLYPHS) {
                for (int r = 0; r < 5; r++) {
                    uint8_t bits = tamu_font1_dat[5 * (byte - 32) + r];
                    for (int c = 0; c < 5; c++) {
                        if (!(bits & (0x10 >> c))) continue;
                        tamu_putpixel(glyph, c, r, ink);
                        if (bold) tamu_putpixel(glyph, c + 1, r, ink);
                    }
                }
            }
            cpod_add_item(font, CPOD_ITEM_BITMAP, glyph);
        }
    }
    return font;
}

}  // namespace

int tamu_text_init() {
    if (!tamu_font1) tamu_font1 = build_font(false);
    if (!tamu_font2) tamu_font2 = build_font(true);
    return 0;
}

int tamu_text_exit() {
    tamu_destroy_pod(tamu_font1);
    tamu_destroy_pod(tamu_font2);
    tamu_font1 = tamu_font2 = nullptr;
    return 0;
}

void tamu_set_text_spacing(int n) { tamu_font_spacing = std::max(0, n); }
int tamu_get_text_spacing() { return tamu_font_spacing; }

cbitmap *tamu_font_glyph(cpod *font, int byte) {
    if (!font) return nullptr;
    return glyph_of(font, layout_of(font), 0, byte);
}

int tamu_get_text_width(const char *text, cpod *font) {
    int width = 0;
    if (text && font) {
        font_layout l = layout_of(font);
        for (const char *p = text; *p; p++) {
            int byte = uint8_t(*p);
            if (byte == '\n') continue;
            if (cbitmap *g = glyph_of(font, l, 0, byte)) width += g->width + tamu_font_spacing;
        }
    }
    return width - tamu_font_spacing;
}

int tamu_draw_text_ex(cbitmap *bitmap, const char *text, cpod *font, int x, int y, int flags, uint32_t colour) {
    if (!bitmap || !text || !font || !bitmap->rows || bitmap == tamu_screen) return y;
    font_layout l = layout_of(font);
    if (l.sets < 1) return y;

    bool solid = flags & TAMU_TEXT_SOLID;
    int set = 0;
    if (!solid) {
        set = -1;
        for (int s = 0; s < l.sets && set < 0; s++)
            if (set_depth(font, l, s) == bitmap->bpp) set = s;
        if (set < 0) {
            solid = true;
            set = l.sets - 1;
        }
    }

    bool marker = false;
    if (flags & TAMU_TEXT_CLIP) {
        int w = tamu_get_text_width(text, font);
        if (bitmap->clip_x1 - x < w) {
            bitmap->clip_x0 += 15;
            x = bitmap->clip_x1 - w;
            marker = true;
        }
    }
    if (flags & TAMU_TEXT_CENTRE) x -= tamu_get_text_width(text, font) / 2;
    if (flags & TAMU_TEXT_RIGHT) x -= tamu_get_text_width(text, font);

    const int start_x = x;
    int line_h = 0;
    for (const char *p = text; *p; p++) {
        int byte = uint8_t(*p);
        cbitmap *glyph = glyph_of(font, l, set, byte);
        bool new_line = byte == '\n';
        if (glyph) {
            line_h = std::max(line_h, glyph->height);
            if (!new_line) {
                draw_glyph(glyph, bitmap, x, y, solid, colour);
                int advance = glyph->width + tamu_font_spacing;
                x += advance;
                if ((flags & TAMU_TEXT_WRAP) && x > bitmap->clip_x1 - advance) new_line = true;
            }
        }
        if (byte == 127) break;
        if (new_line) {
            x = start_x;
            y += line_h + tamu_font_spacing;
            line_h = 0;
        }
    }

    if (marker) {
        bitmap->clip_x0 -= 15;
        tamu_draw_text_ex(bitmap, "..", tamu_font1, bitmap->clip_x0, y, 0, 0);
    }
    return y;
}

int tamu_draw_text(cbitmap *bitmap, const char *text, cpod *font, int x, int y) {
    return tamu_draw_text_ex(bitmap, text, font, x, y, 0, 0);
}

int tamu_draw_text_c(cbitmap *bitmap, const char *text, cpod *font, int x, int y) {
    return tamu_draw_text_ex(bitmap, text, font, x, y, TAMU_TEXT_CENTRE, 0);
}

int tamu_draw_text_phat(cbitmap *bitmap, const char *text, cpod *font, int x, int y, int flags, uint32_t outline,
                        uint32_t colour) {
    flags |= TAMU_TEXT_SOLID;
    for (int oy = -1; oy <= 1; oy++)
        for (int ox = -1; ox <= 1; ox++) tamu_draw_text_ex(bitmap, text, font, x + ox, y + oy, flags, outline);
    return tamu_draw_text_ex(bitmap, text, font, x, y, flags, colour);
}

// ---------------------------------------------------------------------------
// Line input

namespace {

// A byte line input takes: printable, and drawable in the font.
bool takes_byte(cpod *font, int key) {
    if (key < -1 && key >= -128) key += 256;   // a byte of typed text, read as signed
    if (key < 32 || key == 127 || key > 255) return false;
    return tamu_font_glyph(font, key) != nullptr;
}

}  // namespace

int tamu_get_keyboard_string_ex(char *buffer, int x, int y, cpod *font, int size, int width) {
    if (!buffer || size < 1) return 0;
    buffer[0] = 0;
    cbitmap *page = tamu_back_page;
    cbitmap *dash = tamu_font_glyph(font, '-');
    cbitmap *underscore = tamu_font_glyph(font, '_');
    int height = (dash ? dash->height : 5) + 2;
    int margin = underscore ? underscore->width : 0;
    // The field ends at the page's right edge.
    if (page && x < page->width) width = std::min(width, page->width - x);
    width = std::max(width, 1);
    int bpp = page ? page->bpp : 8;

    // What lies under the field, put back on every frame and at the end.
    cbitmap *under = tamu_create_bitmap(width, height, bpp);
    cbitmap *work = tamu_create_bitmap(width, height, bpp);
    if (!under || !work) {
        tamu_destroy_bitmap(under);
        tamu_destroy_bitmap(work);
        return 0;
    }
    if (page) tamu_blit(page, under, x, y, 0, 0, width, height);

    auto restore = [&] {
        if (page) tamu_blit(under, page, 0, 0, x, y, width, height);
        tamu_destroy_bitmap(under);
        tamu_destroy_bitmap(work);
    };

    char *shown = static_cast<char *>(tamu_malloc(size + 2));
    int result = 0;
    for (;;) {
        tamu_blit(under, work, 0, 0, 0, 0, width, height);
        int len = int(std::strlen(buffer));
        std::memcpy(shown, buffer, size_t(len));
        shown[len] = 127;
        shown[len + 1] = 0;
        tamu_draw_text_ex(work, shown, font, 0, 0, 0, 0);
        if (page) {
            tamu_blit(work, page, 0, 0, x, y, width, height);
            tamu_blit_back_page();
        }
        tamu_handle_system_messages();
        if (tamu_quit) break;

        int key = tamu_text_key_source ? tamu_text_key_source() : 0;
        if (tamu_quit) break;
        if (key == 13) {
            result = 1;
            break;
        }
        if (key == 8) {
            if (len > 0) buffer[len - 1] = 0;
            continue;
        }
        if (!takes_byte(font, key)) continue;
        char byte = char(key & 0xFF);
        int at = len < size - 1 ? len : len - 1;   // at the limit the last byte is replaced
        if (at < 0) continue;
        char old = buffer[at];
        buffer[at] = byte;
        buffer[std::max(at + 1, len)] = 0;
        // Too wide: take the byte back.
        if (tamu_get_text_width(buffer, font) > width - margin) buffer[at] = old;
    }
    tamu_free(shown);
    restore();
    return result;
}

int tamu_get_keyboard_string(char *buffer, int x, int y, cpod *font, int size) {
    return tamu_get_keyboard_string_ex(buffer, x, y, font, size, tamu_screen->width);
}
