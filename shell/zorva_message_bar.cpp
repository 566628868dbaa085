// The message bar.
#include "zorva_message_bar.h"

#include "tamu.h"
#include "zorva_app.h"
#include "zorva_print.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int SLIDE_MS = 200;
constexpr int SLIDE_STEP_MS = 20;    // one pixel of slide
constexpr int HOVER_MS = 50;
constexpr int BAR_COLOUR = 8;
constexpr const char *DEVKIT_MESSAGE = "devkit mouse enabled";
// A notice line: 32 characters of the system font from x 1, 6 pixels high.
constexpr int MESSAGE_LINE_CHARS = 32;
constexpr int LINE_HEIGHT = 6;
constexpr int MESSAGE_MAX_LINES = 4;

// The mouse drawn beside the devkit notice: one console colour a pixel,
// '.' for none.
const char *const mouse_sprite[] = {
    ".111.",
    "1.1.1",
    "11111",
    "1...1",
    "1...1",
    ".111.",
};

void draw_pixels(cbitmap *target, const char *const *rows, int count, int x, int y) {
    for (int j = 0; j < count; j++)
        for (int i = 0; rows[j][i]; i++)
            if (rows[j][i] != '.') tamu_putpixel(target, x + i, y + j, uint32_t(rows[j][i] - '0'));
}

void set_message(const char *text, int start, int end) {
    std::snprintf(app.message_text, sizeof app.message_text, "%s", text ? text : "");
    app.message_start = start;
    app.message_end = end;
}

// Pixels the bar is moved down by: 10 at the start, 0 after 200 ms, and
// back to 10 over the last 200 ms.
int slide_offset(int now) {
    if (app.message_start == 0) return 0;   // a hover notice
    int offset = 0;
    if (now - app.message_start < SLIDE_MS) offset = (app.message_start - now + SLIDE_MS) / SLIDE_STEP_MS;
    if (app.message_end - now < SLIDE_MS) {
        int out = (now - app.message_end + SLIDE_MS) / SLIDE_STEP_MS;
        if (out > offset) offset = out;
    }
    return offset;
}

}  // namespace

void show_message(const char *text, int ms) {
    int now = zorva_clock();
    set_message(text, now, now + ms);
    app.message_colour = app.message_colour == 15 ? 7 : 15;
}

void show_message_2(const char *format, int ms, int a, int b) {
    char text[APP_MESSAGE_SIZE];
    std::snprintf(text, sizeof text, format ? format : "", a, b);
    show_message(text, ms);
}

void show_message_ex(const char *text, int ms) { show_message(text, ms); }

void show_message_2_ex(const char *format, int ms, int a, int b) { show_message_2(format, ms, a, b); }

void show_message_hover(const char *format, int a, int b) {
    int now = zorva_clock();
    if (app.message_end - now > HOVER_MS) return;
    char text[APP_MESSAGE_SIZE];
    std::snprintf(text, sizeof text, format ? format : "", a, b);
    set_message(text, 0, now + HOVER_MS);
    app.message_colour = app.gui_theme == 0 ? 7 : 6;
}

void draw_message_bar(cbitmap *target) {
    if (!target || target->bpp != 8) return;
    int now = zorva_clock();
    if (now - app.message_end >= 0) return;
    int o = slide_offset(now);
    cpod *font = zorva_system_font();
    if (std::strcmp(app.message_text, DEVKIT_MESSAGE) == 0) {
        tamu_rect(target, 0, 119 + o, 101, 127 + o, 0);
        tamu_rectfill(target, 1, 120 + o, 100, 126 + o, 6);
        draw_pixels(target, mouse_sprite, int(sizeof mouse_sprite / sizeof *mouse_sprite), 6, 120 + o);
        tamu_draw_text_ex(target, app.message_text, font, 16, 120 + o, TAMU_TEXT_SOLID, 1);
        return;
    }
    // A notice too long for one line takes more, broken between words,
    // and the bar grows upward.
    char lines[APP_MESSAGE_SIZE * 2];
    int count = zorva_wrap_words(app.message_text, MESSAGE_LINE_CHARS, lines, int(sizeof lines));
    if (count > MESSAGE_MAX_LINES) count = MESSAGE_MAX_LINES;
    int top = 128 - LINE_HEIGHT * count;
    tamu_rectfill(target, 0, top - 1 + o, 128, 127 + o, BAR_COLOUR);
    const char *line = lines;
    for (int i = 0; i < count; i++) {
        const char *end = std::strchr(line, '\n');
        char one[APP_MESSAGE_SIZE];
        std::snprintf(one, sizeof one, "%.*s", end ? int(end - line) : int(std::strlen(line)), line);
        tamu_draw_text_ex(target, one, font, 1, top + LINE_HEIGHT * i + o, TAMU_TEXT_SOLID,
                          uint32_t(app.message_colour));
        if (!end) break;
        line = end + 1;
    }
}
