// Console output.
#include "zorva_print.h"

#include "tamu.h"
#include "zorva_cpu.h"
#include "zorva_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

char global_str[ZORVA_GLOBAL_STR_SIZE];

namespace {

constexpr int LINE_HEIGHT = 6;
constexpr int CHARS_PER_LINE = 32;
constexpr int SCROLL_LIMIT = 123;       // the cursor never goes this far down
constexpr int SCROLL_COST = 65536;
constexpr int TEXT_MODE = TAMU_TEXT_SOLID;

bool usable_screen(const cbitmap *s) { return s && s->bpp == 8 && s->width == 128 && s->height == 128; }

// The lines of the open error report.
bool reporting = false;
std::vector<std::string> report_lines;

void scroll_screen_up(cbitmap *s) {
    int rows = s->height;
    for (int y = 0; y + LINE_HEIGHT < rows; y++) std::memcpy(s->rows[y], s->rows[y + LINE_HEIGHT], size_t(s->width));
    for (int y = rows - LINE_HEIGHT; y < rows; y++) std::memset(s->rows[y], 0, size_t(s->width));
}

}  // namespace

int zorva_wrap_words(const char *text, int width, char *out, int out_size) {
    if (out_size < 1) return 0;
    if (width < 1) width = 1;
    int n = 0, lines = 1;
    auto put = [&](char c) {
        if (n < out_size - 1) out[n++] = c;
    };
    for (const char *p = text ? text : "";;) {
        const char *end = p;
        while (*end && *end != '\n' && end - p < width) end++;
        const char *stop = end;   // this line's text ends here
        const char *next = end;   // the next line starts here
        if (*end && *end != '\n') {
            // The line is full and the text goes on: break after its last
            // space, else after its last '/', unless one word fills it.
            if (*end != ' ') {
                for (char mark : {' ', '/'}) {
                    const char *q = end;
                    while (q > p && q[-1] != mark) q--;
                    if (q > p) {
                        stop = next = q;
                        break;
                    }
                }
            }
            while (stop > p && stop[-1] == ' ') stop--;
            while (*next == ' ') next++;
        }
        for (const char *c = p; c < stop; c++) put(*c);
        if (*next == '\n') next++;
        if (!*next) break;
        put('\n');
        lines++;
        p = next;
    }
    out[n] = 0;
    return lines;
}

cpod *zorva_system_font() { return pstate.font_pod ? pstate.font_pod : tamu_font1; }

void console_cursor_cr() {
    zorva_draw_state &d = pstate.draw_state;
    if (d.cursor_y + LINE_HEIGHT < SCROLL_LIMIT) {
        d.cursor_y += LINE_HEIGHT;
        return;
    }
    if (usable_screen(pstate.screen)) scroll_screen_up(pstate.screen);
    spend_cpu(SCROLL_COST);
}

void cursor_cr() {
    if (zorva_shell.cursor_cr)
        zorva_shell.cursor_cr();
    else
        console_cursor_cr();
}

void zorva_open_report() {
    reporting = true;
    report_lines.clear();
}

void zorva_close_report(const char *cart_name) {
    if (!reporting) return;
    reporting = false;
    if (!cart_name || !cart_name[0]) cart_name = "(untitled)";
    tamu_debugf("cart error in %.400s:\n", cart_name);
    for (const std::string &line : report_lines)
        if (!line.empty()) tamu_debugf("  %.400s\n", line.c_str());
    if (!pstate.exec_mode) {
        std::fprintf(stderr, "zorva: error in %s:\n", cart_name);
        for (const std::string &line : report_lines)
            if (!line.empty()) std::fprintf(stderr, "  %s\n", line.c_str());
        std::fflush(stderr);
    }
    report_lines.clear();
}

void zorva_print_col(const char *text, int colour) {
    if (!text) text = "";
    if (zorva_shell.console_printed) zorva_shell.console_printed(text, colour);
    if (reporting) {
        // A format's own line ends ("%d / %d chars\n") end no line here.
        std::string line = text;
        while (!line.empty() && line.back() == '\n') line.pop_back();
        report_lines.push_back(line);
    }
    if (pstate.exec_mode && pstate.MODE == MODE_CONSOLE) {
        std::printf("** %s\n", text);
        std::fflush(stdout);
        return;
    }
    cbitmap *screen = pstate.screen;
    if (!usable_screen(screen)) return;
    zorva_draw_state &d = pstate.draw_state;
    char wrapped[ZORVA_GLOBAL_STR_SIZE * 2];
    int parts = text[0] ? zorva_wrap_words(text, CHARS_PER_LINE, wrapped, int(sizeof wrapped)) : 0;
    int extra = parts > 1 ? parts - 1 : 0;
    // Make room below first, so that a long text scrolls the screen as
    // far as it needs, then go back up to where it starts. (A line feed
    // that scrolls leaves the cursor where it is, so the way back up is
    // taken once all of them are done.)
    for (int i = 0; i < extra; i++) cursor_cr();
    d.cursor_y -= extra * LINE_HEIGHT;
    // Console output ignores what clip rectangle the cart left.
    int x0 = screen->clip_x0, y0 = screen->clip_y0, x1 = screen->clip_x1, y1 = screen->clip_y1;
    tamu_reset_clip(screen);
    if (parts > 0) tamu_rectfill(screen, 0, d.cursor_y, screen->width - 1, d.cursor_y + parts * LINE_HEIGHT - 1, 0);
    if (parts > 0)
        tamu_draw_text_ex(screen, wrapped, zorva_system_font(), d.cursor_x, d.cursor_y, TEXT_MODE, uint32_t(colour));
    tamu_set_clip(screen, x0, y0, x1, y1);
    d.cursor_y += extra * LINE_HEIGHT;
    cursor_cr();
}

void zorva_print(const char *text) { zorva_print_col(text, 6); }

void zorva_print_2(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(global_str, sizeof global_str, format, args);
    va_end(args);
    zorva_print_col(global_str, 6);
}
