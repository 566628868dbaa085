// Drawing each frame: the console screen through the screen palette and
// the screen mode into the library's back page, the prompt, the overlays
// and the console's line feed.
#include "zorva_shell.h"

#include "cart_overlay.h"
#include "console_text.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_cpu.h"
#include "zorva_keyconfig.h"
#include "zorva_memory.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_shell_steps.h"
#include "zorva_state.h"

#include <cstring>

namespace {

constexpr int LINE_HEIGHT = 6;
constexpr int SCROLL_LIMIT = 123;
constexpr int SCROLL_COST = 65536;
constexpr uint8_t HI_COLOUR_KEY[4] = {0xAD, 0xDF, 0xAD, 0xED};

void scroll_screen_up() {
    cbitmap *s = pstate.screen;
    if (!s || s->height <= LINE_HEIGHT) return;
    for (int y = 0; y + LINE_HEIGHT < s->height; y++)
        std::memcpy(s->rows[y], s->rows[y + LINE_HEIGHT], size_t(s->width));
    for (int y = s->height - LINE_HEIGHT; y < s->height; y++) std::memset(s->rows[y], 0, size_t(s->width));
}

void horizontal_stretch(cbitmap *b) {
    for (int y = 0; y < b->height; y++)
        for (int x = b->width - 1; x >= 0; x--) b->rows[y][x] = b->rows[y][x / 2];
}

void vertical_stretch(cbitmap *b) {
    for (int y = b->height - 1; y >= 0; y--) std::memcpy(b->rows[y], b->rows[y / 2], size_t(b->width));
}

void horizontal_mirror(cbitmap *b) {
    for (int y = 0; y < b->height; y++)
        for (int x = 0; x < b->width / 2; x++) b->rows[y][b->width - 1 - x] = b->rows[y][x];
}

void vertical_mirror(cbitmap *b) {
    for (int y = b->height - 1; y >= b->height / 2; y--)
        std::memcpy(b->rows[y], b->rows[b->height - 1 - y], size_t(b->width));
}

bool hi_colour_set() {
    for (int i = 0; i < 4; i++)
        if (zorva_peek(&pstate, pstate.live_cart, 0x5F60 + i) != HI_COLOUR_KEY[i]) return false;
    return true;
}

// The editors' frame around the console screen (the editors are inert).
void draw_editor_frame() {
    cbitmap *s = pstate.screen;
    if (!s) return;
    int background = 5;
    if (pstate.view == 1 && app.gui_theme == 1) background = 1;
    if (pstate.view == 1 && app.gui_theme == 2) background = 0;
    tamu_rectfill(s, 0, 0, 127, 127, uint32_t(background));
    tamu_rectfill(s, 0, 0, 127, 7, 8);
    tamu_rectfill(s, 0, 121, 127, 127, 8);
    tamu_gui_broadcast(TAMU_GUI_DRAW, 0);
    draw_code_tab_preview();
}

// Shown while the shell holds the cart back: a small hourglass.
void draw_waiting_sprite(cbitmap *page) {
    int x = 115, y = 115;
    tamu_rectfill(page, x, y, x + 11, y + 11, 0);
    tamu_rect(page, x, y, x + 11, y + 11, 7);
    tamu_line(page, x + 3, y + 3, x + 8, y + 8, 7);
    tamu_line(page, x + 8, y + 3, x + 3, y + 8, 7);
    tamu_hline(page, x + 3, x + 8, y + 3, 7);
    tamu_hline(page, x + 3, x + 8, y + 8, 7);
}

// In the prompt's place (the console takes no typed commands in this
// build), one line of the keys that lead on.
void draw_console_keys(int y) {
    cbitmap *s = pstate.screen;
    if (!s) return;
    tamu_rectfill(s, 0, y, 127, y + LINE_HEIGHT - 1, 0);
    cpod *font = zorva_system_font();
    int x = 0;
    auto put = [&](const char *text, int colour) {
        tamu_draw_text_ex(s, text, font, x, y, TAMU_TEXT_SOLID, uint32_t(colour));
        x += 4 * int(std::strlen(text));
    };
    const char *gap = " ";
    if (console_can_run_again()) {
        put("ctrl+r", 7);
        put(" run ", 6);
    } else {
        gap = "  ";   // room to spare
    }
    put("esc", 7);
    put(" carts", 6);
    put(gap, 6);
    put("ctrl+q", 7);
    put(" quit", 6);
}

// The library back page at the given size (8 bits).
cbitmap *back_page_of_size(int w, int h) {
    if (!tamu_back_page || tamu_back_page->width != w || tamu_back_page->height != h || tamu_back_page->bpp != 8) {
        tamu_destroy_bitmap(tamu_back_page);
        tamu_back_page = tamu_create_bitmap(w, h, 8);
    }
    return tamu_back_page;
}

}  // namespace

void shell_cursor_cr() {
    zorva_draw_state &d = pstate.draw_state;
    if (d.cursor_y + LINE_HEIGHT < SCROLL_LIMIT) {
        d.cursor_y += LINE_HEIGHT;
        return;
    }
    scroll_screen_up();
    spend_cpu(SCROLL_COST);
}

void scroll_immediate_mode_screen() {
    scroll_screen_up();
    pstate.draw_state.cursor_y -= LINE_HEIGHT;
}

void apply_draw_mode(cbitmap *bitmap, int mode) {
    if (!bitmap || bitmap->bpp != 8) return;
    switch (mode) {
    case 1: horizontal_stretch(bitmap); break;
    case 2: vertical_stretch(bitmap); break;
    case 3:
        horizontal_stretch(bitmap);
        vertical_stretch(bitmap);
        break;
    case 5: horizontal_mirror(bitmap); break;
    case 6: vertical_mirror(bitmap); break;
    case 7:
        horizontal_mirror(bitmap);
        vertical_mirror(bitmap);
        break;
    default: break;
    }
}

void apply_screen_mode(cbitmap *bitmap) {
    if (!bitmap || bitmap->bpp != 8) return;
    cpalette mixed{};
    for (int i = 0; i < 16; i++)
        for (int j = 0; j < 16; j++)
            for (int c = 0; c < 3; c++) {
                int a = tamu_palette ? tamu_palette->rgb[3 * i + c] : i;
                int b = tamu_palette ? tamu_palette->rgb[3 * j + c] : j;
                mixed.rgb[3 * (16 * i + j) + c] = uint8_t((a + b) / 2);
            }
    tamu_set_palette(&mixed);
    for (int y = 0; y < bitmap->height; y++) {
        uint8_t *row = bitmap->rows[y];
        for (int x = 0; x + 1 < bitmap->width; x += 2) {
            uint8_t packed = uint8_t(16 * (row[x + 1] & 15) + (row[x] & 15));
            row[x] = row[x + 1] = packed;
        }
    }
}

void blit_zorva_back_page_to_zorva_screen() {
    cbitmap *src = pstate.screen, *dst = pstate.back_page;
    if (!src || !dst) return;
    zorva_draw_state &d = pstate.draw_state;
    d.hi_colour = hi_colour_set() ? 1 : 0;
    int mask = d.hi_colour ? 0x8F : 0x0F;
    uint8_t colour[16];
    for (int i = 0; i < 16; i++) colour[i] = uint8_t(d.screen_palette[i] & mask);
    int w = src->width < dst->width ? src->width : dst->width;
    int h = src->height < dst->height ? src->height : dst->height;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) dst->rows[y][x] = colour[src->rows[y][x] & 15];
    if (pstate.MODE == MODE_RUNNING && pstate.running) apply_draw_mode(dst, d.screen_mode);
}

void draw_command_string(int draw_cursor, int draw_prompt) {
    cbitmap *s = pstate.screen;
    if (!s || listing_in_progress() || pstate.MODE != MODE_CONSOLE) return;
    int y = pstate.draw_state.cursor_y;
    int chars = int(std::strlen(command_text));
    int rows = chars / 30 + 1;
    for (int r = 0; r < rows; r++)
        tamu_rectfill(s, 0, y + r * LINE_HEIGHT, 4 * chars + 12, y + r * LINE_HEIGHT + LINE_HEIGHT - 1, 0);
    cpod *font = zorva_system_font();
    if (draw_prompt) tamu_draw_text_ex(s, ">", font, 0, y, TAMU_TEXT_SOLID, 7);
    tamu_draw_text_ex(s, command_text, font, 8, y, TAMU_TEXT_SOLID, 7);
    int cx = 4 * command_position + 8, cy = y;
    while (cx > 124) {
        cx -= 120;
        cy += LINE_HEIGHT;
    }
    if (draw_cursor && tamu_is_app_active() && (zorva_clock() & 0x100)) tamu_rectfill(s, cx, cy, cx + 3, cy + 4, 8);
}

namespace {

// The console screen (the prompt, the editors' frame or an overlay drawn
// on it) through the screen palette onto the page.
void draw_console_frame(cbitmap *page) {
    if (pstate.OVERLAY == OVERLAY_NONE) {
        if (pstate.view != 0) {
            draw_editor_frame();
            if (pstate.MODE == MODE_CONSOLE) draw_console_keys(122);
        } else if (pstate.MODE == MODE_CONSOLE && !listing_in_progress()) {
            draw_console_keys(pstate.draw_state.cursor_y);
        }
    } else if (pstate.MODE == MODE_CONSOLE) {
        if (pstate.OVERLAY == OVERLAY_KEYCONFIG)
            keyconfig_draw();
        else
            splore_draw();
    }

    bool downloading = app.download_slot.state > DOWNLOAD_IDLE;
    if (!downloading || pstate.running || pstate.MODE != MODE_RUNNING) {
        if (pstate.hold_counter == 0) {
            if (!pstate.hold_frame)
                blit_zorva_back_page_to_zorva_screen();
            else
                pstate.frame_held = 1;
        }
    } else if (pstate.screen && pstate.back_page) {
        tamu_blit(pstate.screen, pstate.back_page, 0, 0, 0, 0, 128, 128);
    }

    if (pstate.back_page) tamu_blit(pstate.back_page, page, 0, 0, 0, 0, 128, 128);
}

}  // namespace

int tamu_main_draw() {
    if (pstate.REQUEST) return 0;
    if (tamu_back_page) tamu_clear_bitmap(tamu_back_page);
    if (pstate.MODE == MODE_SPLASH && app.splash) {
        cbitmap *page = back_page_of_size(app.splash->width, app.splash->height);
        if (page) tamu_blit(app.splash, page, 0, 0, 0, 0, page->width, page->height);
        return 0;
    }
    cbitmap *page = back_page_of_size(128, 128);
    if (!page) return 0;

    if (overlay_over_cart())
        draw_overlay_over_cart(page);
    else
        draw_console_frame(page);
    if (app.pause_menu_open) draw_paused_menu(page);
    if (pstate.hold_counter > 0 && pstate.MODE == MODE_RUNNING && pstate.running) draw_waiting_sprite(page);
    if (app.capture) tamu_blit(page, app.capture, 0, 0, 0, 0, 128, 128);
    draw_message_bar(page);
    return 0;
}
