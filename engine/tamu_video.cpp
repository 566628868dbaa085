// The window, the back page and its presentation: the portable half
// (choosing sizes and modes, the destination rectangle, the frame-rate
// figures, the 8-to-32-bit conversion, the software scaler and the
// cursor bitmaps). The SDL half is platform/sdl_video.cpp.
#include "tamu.h"

#include <algorithm>
#include <cstring>
#include <vector>

int tamu_screen_mode = 1;
cbitmap *tamu_cursor_bitmap = nullptr;
cbitmap *tamu_current_cursor = nullptr;

namespace {

int desktop_w = 0, desktop_h = 0;
cbitmap *converted = nullptr;     // the page in 32 bits, when it is not 32-bit itself
cbitmap *fps_bitmap = nullptr;    // 128 x 8, the renderer path's frame-rate text
cbitmap *window_icon = nullptr;   // kept copy, given to each new window
int cursor_focus_x = 16, cursor_focus_y = 16;
bool cursor_visible = true;

constexpr int FPS_BITMAP_W = 128, FPS_BITMAP_H = 8;

// The one-pixel-per-word image that presentation hands to the platform.
// An 8-bit page goes through the video palette; a 32-bit page is copied
// when something is drawn over it, so the application's page is never
// written.
cbitmap *page_in_32_bits(cbitmap *src, bool private_copy) {
    if (src->bpp == 32 && !private_copy) return src;
    if (converted && (converted->width != src->width || converted->height != src->height)) {
        tamu_destroy_bitmap(converted);
        converted = nullptr;
    }
    if (!converted) converted = tamu_create_bitmap(src->width, src->height, 32);
    if (!converted) return nullptr;
    if (src->bpp == 32) {
        for (int y = 0; y < src->height; y++)
            std::memcpy(converted->rows[y], src->rows[y], size_t(src->width) * 4);
        return converted;
    }
    uint32_t table[256];
    for (int i = 0; i < 256; i++) {
        uint32_t r = i, g = i, b = i;
        if (tamu_palette) {
            r = tamu_palette->rgb[3 * i];
            g = tamu_palette->rgb[3 * i + 1];
            b = tamu_palette->rgb[3 * i + 2];
        }
        table[i] = 0xFF000000u | r << 16 | g << 8 | b;
    }
    for (int y = 0; y < src->height; y++) {
        const uint8_t *s = src->rows[y];
        auto *d = reinterpret_cast<uint32_t *>(converted->rows[y]);
        for (int x = 0; x < src->width; x++) d[x] = table[s[x]];
    }
    return converted;
}

// Installed as tamu_present_hook: a blit or sprite draw of a whole bitmap
// onto tamu_screen shows it. A copy to any other place on the screen is
// not a frame and shows nothing.
void present_on_screen(cbitmap *src, cbitmap *, int sx, int sy, int dx, int dy) {
    if (sx || sy || dx || dy || !src || !src->rows) return;
    if (cconfig.headless) return;
    char text[32];
    if (cconfig.software_blit) {
        cbitmap *page = page_in_32_bits(src, cconfig.show_fps != 0);
        if (!page) return;
        if (cconfig.show_fps) {
            std::snprintf(text, sizeof text, "%03d", tamu_get_fps());
            tamu_draw_text_phat(page, text, tamu_font1, 1, 1, TAMU_TEXT_SOLID, 0, 0xFFFFFF);
        }
        tamu_present_plat(page, nullptr);
        return;
    }
    cbitmap *page = page_in_32_bits(src, false);
    if (!page) return;
    const cbitmap *overlay = nullptr;
    if (cconfig.show_fps) {
        tamu_dest rect;
        get_dest_rect(&rect);
        if (rect.w >= FPS_BITMAP_W && rect.h >= FPS_BITMAP_H) {
            if (!fps_bitmap) fps_bitmap = tamu_create_bitmap(FPS_BITMAP_W, FPS_BITMAP_H, 32);
            tamu_clear_bitmap(fps_bitmap);
            std::snprintf(text, sizeof text, "%03d fps", tamu_get_fps());
            tamu_draw_text(fps_bitmap, text, tamu_font2, 1, 1);
            overlay = fps_bitmap;
        }
    }
    tamu_present_plat(page, overlay);
}

void make_palettes() {
    if (!tamu_palette) {
        tamu_palette = tamu_create_palette();
        for (int i = 0; i < 256; i++)
            tamu_palette->rgb[3 * i] = tamu_palette->rgb[3 * i + 1] = tamu_palette->rgb[3 * i + 2] = uint8_t(i);
    }
    if (!tamu_black_palette) tamu_black_palette = tamu_create_palette();
}

int recreate_window() {
    int page_w = tamu_back_page ? tamu_back_page->width : cconfig.window_size[0];
    int page_h = tamu_back_page ? tamu_back_page->height : cconfig.window_size[1];
    return tamu_set_screen_plat(cconfig.window_size[0], cconfig.window_size[1], page_w, page_h, tamu_screen->bpp, 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Start and end

int tamu_video_init() {
    make_palettes();
    desktop_w = desktop_h = 0;
    if (!cconfig.headless) tamu_video_init_plat(&desktop_w, &desktop_h);
    tamu_state.fps16 = 32 << 16;
    tamu_state.fps = 32;
    tamu_state.fps_smoothed_ms16 = 0;
    tamu_state.last_frame_time = tamu_get_time();
    tamu_present_hook = present_on_screen;
    return 0;
}

int tamu_video_exit() {
    tamu_destroy_bitmap(tamu_back_page);
    tamu_back_page = nullptr;
    tamu_destroy_bitmap(converted);
    converted = nullptr;
    tamu_destroy_bitmap(fps_bitmap);
    fps_bitmap = nullptr;
    if (tamu_current_cursor == tamu_cursor_bitmap) tamu_current_cursor = nullptr;
    tamu_destroy_bitmap(tamu_cursor_bitmap);
    tamu_cursor_bitmap = nullptr;
    tamu_destroy_bitmap(window_icon);
    window_icon = nullptr;
    tamu_destroy_palette(tamu_palette);
    tamu_palette = nullptr;
    tamu_destroy_palette(tamu_black_palette);
    tamu_black_palette = nullptr;
    tamu_video_exit_plat();
    tamu_present_hook = nullptr;
    tamu_set_screen_bitmap(0, 0, 8);
    return 0;
}

// ---------------------------------------------------------------------------
// Screen and window

int tamu_set_screen(int width, int height, int bpp, int flags) {
    tamu_debugf("tamu_set_screen %d %d %d %x\n", width, height, bpp, flags);
    if (cconfig.pixel_perfect == -1) {
        cconfig.pixel_perfect = height < 480 ? 1 : 0;
        tamu_debugf(" set pixel_perfect %d\n", cconfig.pixel_perfect);
    }
    if (width == 0 || height == 0) {
        width = desktop_w;
        height = desktop_h;
        tamu_debugf("retrieving desktop resolution: %d %d\n", width, height);
    }
    if (tamu_state.window_size_set == 1) {
        if (cconfig.window_size[0] < 32 || cconfig.window_size[1] < 32) {
            cconfig.window_size[0] = 640;
            cconfig.window_size[1] = 480;
        }
        tamu_debugf(" window size: %d %d\n", cconfig.window_size[0], cconfig.window_size[1]);
    } else {
        cconfig.window_size[0] = width;
        cconfig.window_size[1] = height;
    }
    if (flags & TAMU_SCREEN_BY_CONFIG) {
        if (cconfig.windowed) tamu_screen_mode = 0;
    } else {
        if (flags & TAMU_SCREEN_WINDOWED) tamu_screen_mode = 0;
        if (flags & TAMU_SCREEN_FULLSCREEN) tamu_screen_mode = 1;
    }
    if (!cconfig.headless) {
        int result = tamu_set_screen_plat(cconfig.window_size[0], cconfig.window_size[1], width, height, bpp, flags);
        if (result) return result;
    }
    tamu_set_screen_bitmap(cconfig.window_size[0], cconfig.window_size[1], bpp);
    if (!(tamu_back_page && tamu_back_page->width == width && tamu_back_page->height == height &&
          tamu_back_page->bpp == bpp)) {
        tamu_destroy_bitmap(tamu_back_page);
        tamu_back_page = tamu_create_bitmap(width, height, bpp);
    }
    tamu_state.windowed = tamu_screen_mode == 0;
    return 0;
}

void tamu_set_window_size(int width, int height) {
    cconfig.window_size[0] = width;
    cconfig.window_size[1] = height;
    tamu_state.window_size_set = 1;
}

int tamu_get_windowed() { return tamu_screen_mode == 0 ? 1 : 0; }

void tamu_set_windowed(int windowed) {
    if (cconfig.headless) return;
    tamu_screen_mode = windowed ? 0 : 1;
    tamu_state.windowed = tamu_screen_mode == 0;
    recreate_window();
}

void tamu_toggle_fullscreen() {
    if (cconfig.headless) return;
    tamu_screen_mode = tamu_screen_mode ? 0 : 1;
    tamu_state.windowed = tamu_screen_mode == 0;
    recreate_window();
}

int tamu_get_desktop_width() { return desktop_w; }
int tamu_get_desktop_height() { return desktop_h; }

void tamu_set_window_icon(const cbitmap *bitmap) {
    if (!bitmap || bitmap->bpp != 32 || !bitmap->rows) return;
    tamu_destroy_bitmap(window_icon);
    window_icon = tamu_create_bitmap(bitmap->width, bitmap->height, 32);
    if (!window_icon) return;
    for (int y = 0; y < bitmap->height; y++)
        std::memcpy(window_icon->rows[y], bitmap->rows[y], size_t(bitmap->width) * 4);
    tamu_set_window_icon_plat(window_icon);
}

const cbitmap *tamu_kept_window_icon() { return window_icon; }

void tamu_flip_screen() {}
void tamu_flip_screen_plat() {}

// ---------------------------------------------------------------------------
// Presenting and the frame rate

void tamu_video_frame_timing(int now) {
    // The smoothed frame time is kept in 16.16 and rounded, so steady
    // frames settle on their true length instead of sticking short of it.
    int64_t elapsed = std::max<int64_t>(int64_t(now) - tamu_state.last_frame_time, 0);
    elapsed = std::min<int64_t>(elapsed, 1000000);
    int64_t frame_t = ((elapsed << 16) + 9 * int64_t(tamu_state.fps_smoothed_ms16) + 5) / 10;
    tamu_state.fps_smoothed_ms16 = int(frame_t);
    tamu_state.last_frame_time = now;
    int64_t t = std::min<int64_t>(frame_t, int64_t(1000) << 16);
    int64_t instant = t <= 65536 ? 1000 : ((int64_t(1000) << 16) + t / 2) / t;
    int64_t fps = (7 * (instant << 16) + tamu_state.fps16 + 4) / 8;
    tamu_state.fps16 = int(fps);
    tamu_state.fps = int(fps >> 16);
}

int tamu_get_fps() { return tamu_state.fps16 >> 16; }

int tamu_blit_back_page() {
    cbitmap *page = tamu_back_page;
    if (!page) return 0;
    tamu_video_frame_timing(tamu_get_time());
    tamu_blit(page, tamu_screen, 0, 0, 0, 0, page->width, page->height);
    return 0;
}

// ---------------------------------------------------------------------------
// The destination rectangle

tamu_dest tamu_dest_rect_for(int W, int H, int page_w, int page_h) {
    if (cconfig.draw_rect[2] > 0 && cconfig.draw_rect[3] > 0)
        return {cconfig.draw_rect[0], cconfig.draw_rect[1], cconfig.draw_rect[2], cconfig.draw_rect[3]};
    if (W <= 0 || H <= 0 || page_w <= 0 || page_h <= 0) return {0, 0, 0, 0};
    if (cconfig.pixel_perfect > 0) {
        int k = std::max(1, std::min(W / page_w, H / page_h));
        int w = k * page_w, h = k * page_h;
        return {(W - w) / 2, (H - h) / 2, w, h};
    }
    if (cconfig.keep_aspect) {
        if (float(page_w) / float(page_h) > float(W) / float(H)) {
            int h = int(float(W) * float(page_h) / float(page_w));
            return {0, (H - h) / 2, W, h};
        }
        int w = int(float(H) * float(page_w) / float(page_h));
        return {(W - w) / 2, 0, w, H};
    }
    return {0, 0, W, H};
}

void get_dest_rect(tamu_dest *rect) {
    if (!rect) return;
    int W = 0, H = 0;
    tamu_get_window_size(&W, &H);
    int pw = tamu_back_page ? tamu_back_page->width : 0;
    int ph = tamu_back_page ? tamu_back_page->height : 0;
    *rect = tamu_dest_rect_for(W, H, pw, ph);
}

void tamu_scale_page32(const cbitmap *src, uint32_t *target, int pitch, int w, int h, tamu_dest r) {
    if (!src || !src->rows || src->bpp != 32 || !target || r.w <= 0 || r.h <= 0) return;
    int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    int x1 = int(std::min<int64_t>(int64_t(r.x) + r.w, w));
    int y1 = int(std::min<int64_t>(int64_t(r.y) + r.h, h));
    if (x1 <= x0 || y1 <= y0) return;
    // Exact source positions: column x of the rectangle reads source
    // column x * width / rect width (a rounded 16.16 step would drift by a
    // column over a wide window).
    std::vector<int> column(size_t(x1 - x0));
    for (int x = x0; x < x1; x++) column[x - x0] = int(int64_t(x - r.x) * src->width / r.w);
    for (int y = y0; y < y1; y++) {
        int sy = int(int64_t(y - r.y) * src->height / r.h);
        const auto *s = reinterpret_cast<const uint32_t *>(src->rows[sy]);
        auto *d = reinterpret_cast<uint32_t *>(reinterpret_cast<uint8_t *>(target) + int64_t(pitch) * y);
        for (int x = x0; x < x1; x++) d[x] = s[column[x - x0]];
    }
}

// ---------------------------------------------------------------------------
// The cursor

void tamu_make_cursor_bitmaps() {
    if (!tamu_cursor_bitmap) {
        cbitmap *b = tamu_create_bitmap(33, 33, 32);
        const uint32_t white = 0xFFFFFFFF, grey = 0xFFA0A0A0;
        tamu_rectfill(b, 15, 8, 17, 24, white);
        tamu_rectfill(b, 8, 15, 24, 17, white);
        tamu_rectfill(b, 16, 9, 16, 23, grey);
        tamu_rectfill(b, 9, 16, 23, 16, grey);
        tamu_rectfill(b, 11, 11, 21, 21, 0);
        tamu_rectfill(b, 16, 11, 16, 21, white);
        tamu_rectfill(b, 11, 16, 21, 16, white);
        tamu_rectfill(b, 14, 14, 18, 18, 0);
        tamu_cursor_bitmap = b;
    }
    tamu_current_cursor = tamu_cursor_bitmap;
    cursor_focus_x = cursor_focus_y = 16;
    cursor_visible = true;
}

void tamu_set_mouse_bmp(cbitmap *bitmap) { tamu_current_cursor = bitmap; }
void tamu_set_mouse_focus(int x, int y) {
    cursor_focus_x = x;
    cursor_focus_y = y;
}
void tamu_hide_mouse() { cursor_visible = false; }
void tamu_show_mouse() { cursor_visible = true; }

void tamu_draw_cursor_at(cbitmap *target, int x, int y) {
    cbitmap *cursor = tamu_current_cursor;
    if (!cursor_visible || !cursor || !target || !target->rows || target == tamu_screen) return;
    int dx = x - cursor_focus_x, dy = y - cursor_focus_y;
    if (cursor->bpp == target->bpp) {
        tamu_draw_sprite(cursor, target, 0, 0, dx, dy, cursor->width, cursor->height);
        return;
    }
    if (cursor->bpp != 32 || target->bpp != 8) return;
    // A 32-bit cursor over an 8-bit page: its opaque pixels in the
    // nearest colours of the video palette.
    uint32_t last = 0;
    int index = 0;
    bool have = false;
    for (int cy = 0; cy < cursor->height; cy++) {
        const auto *row = reinterpret_cast<const uint32_t *>(cursor->rows[cy]);
        for (int cx = 0; cx < cursor->width; cx++) {
            uint32_t p = row[cx];
            if ((p >> 24) < 128) continue;
            if (!have || (p & 0xFFFFFF) != last) {
                last = p & 0xFFFFFF;
                index = tamu_find_colour(int(last >> 16), int(last >> 8 & 0xFF), int(last & 0xFF), tamu_palette);
                have = true;
            }
            tamu_putpixel(target, dx + cx, dy + cy, uint32_t(index));
        }
    }
}

void tamu_draw_mouse_cursor(cbitmap *target) {
    int x = 0, y = 0;
    tamu_get_mouse(&x, &y, nullptr);
    tamu_draw_cursor_at(target, x, y);
}
