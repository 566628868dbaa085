// The multi-line text field.
#include "tamu.h"
#include "tamu_ctext.h"

#include <cstdio>
#include <cstring>
#include <vector>

int last_line_num = -1;

namespace {

// Scancodes of the keys without characters that the field reads.
enum : int {
    SC_A = 4, SC_Z = 29, SC_HOME = 74, SC_PAGEUP = 75, SC_DELETE = 76, SC_END = 77, SC_PAGEDOWN = 78,
    SC_RIGHT = 79, SC_LEFT = 80, SC_DOWN = 81, SC_UP = 82, SC_LSHIFT = 225,
};

constexpr int SNAPSHOT_HEADER = 20;      // five int32 values
constexpr int SNAPSHOT_FIXED = 21;       // the header and the terminator
constexpr int LARGEST_MAX_LEN = 0x3FFFFFFF;
constexpr int TAB_SPACES_MAX = 8;
const char BOOKMARK[] = "function ";

// The field that was typed into last: typing in another field starts a new
// undo step even on a line of the same number.
const ctext *last_typed_field = nullptr;
// The latest press was a double click: the drag that follows keeps the
// selection it made.
bool double_clicked = false;

int clampi(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

uint8_t byte_at(const char *text, int pos) { return static_cast<uint8_t>(text[pos]); }

int cells(uint8_t c) { return c >= 128 ? 2 : 1; }

// Brings the text inside max_len and the cursor, the selection and the
// search cursor inside their texts (the text may have been written
// directly). Returns the text's length.
int settle(ctext *f) {
    int len = int(strnlen(f->text, size_t(f->max_len) + 1));
    if (len > f->max_len) {
        len = f->max_len;
        f->text[len] = 0;
    }
    f->cursor = clampi(f->cursor, 0, len);
    f->sel_anchor = clampi(f->sel_anchor, 0, len);
    f->sel_end = clampi(f->sel_end, 0, len);
    f->search_text[CTEXT_SEARCH_SIZE - 1] = 0;
    f->search_cursor = clampi(f->search_cursor, 0, int(std::strlen(f->search_text)));
    return len;
}

int screen_line_h(const ctext *f) { return f->line_h < 4 ? 4 : f->line_h; }

int line_start(const char *text, int pos) {
    while (pos > 0 && text[pos - 1] != '\n') pos--;
    return pos;
}

int line_end(const char *text, int pos) {
    while (text[pos] && text[pos] != '\n') pos++;
    return pos;
}

// The pixel position of the cursor for a given line height.
void cursor_pixel(const ctext *f, int line_h, int *x, int *y) {
    int px = 0, py = 0;
    for (int p = 0; p < f->cursor; p++) {
        uint8_t c = byte_at(f->text, p);
        if (!c) {
            px = py = 0;
            break;
        }
        if (c == '\n') {
            px = 0;
            py += line_h;
        } else {
            px += f->cell_w * cells(c);
        }
    }
    if (x) *x = px;
    if (y) *y = py;
}

// The element still showing this field, or null.
cguie *field_element(const ctext *f) {
    if (!f->element || tamu_gui_element_index(f->element) < 0 || f->element->attached != f) return nullptr;
    return f->element;
}

void collapse(ctext *f) { f->sel_anchor = f->sel_end = f->cursor; }

bool has_selection(const ctext *f) { return f->sel_anchor != f->sel_end; }

// Undo stacks: snapshots one after another up to the write position.
void clear_stack(cbuffer *stack) { stack->position = stack->size = 0; }

void push_snapshot(cbuffer *stack, ctext *f) {
    int len = settle(f);
    tamu_fwrite_int32(stack, f->cursor);
    tamu_fwrite_int32(stack, f->sel_anchor);
    tamu_fwrite_int32(stack, f->sel_end);
    tamu_fwrite_int32(stack, f->scroll_x);
    tamu_fwrite_int32(stack, f->scroll_y);
    tamu_fwrite(f->text, 1, len, stack);
    tamu_fwrite_uint8(stack, 0);
    tamu_fwrite_int32(stack, SNAPSHOT_FIXED + len);
}

int32_t read_int32(const uint8_t *p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// The start of the newest snapshot, or -1 when there is none.
int newest_snapshot(const cbuffer *stack) {
    int end = stack->position;
    if (end < SNAPSHOT_FIXED + 4) return -1;
    int32_t length = read_int32(stack->data + end - 4);
    if (length < SNAPSHOT_FIXED || length > end - 4) return -1;
    return end - 4 - length;
}

bool pop_snapshot(cbuffer *stack, ctext *f) {
    int start = newest_snapshot(stack);
    if (start < 0) {
        clear_stack(stack);   // nothing usable below a broken record
        return false;
    }
    const uint8_t *p = stack->data + start;
    int stored = read_int32(stack->data + stack->position - 4) - SNAPSHOT_FIXED;
    int n = int(strnlen(reinterpret_cast<const char *>(p + SNAPSHOT_HEADER), size_t(stored)));
    if (n > f->max_len) n = f->max_len;
    std::memcpy(f->text, p + SNAPSHOT_HEADER, size_t(n));
    f->text[n] = 0;
    f->cursor = read_int32(p);
    f->sel_anchor = read_int32(p + 4);
    f->sel_end = read_int32(p + 8);
    f->scroll_x = read_int32(p + 12);
    f->scroll_y = read_int32(p + 16);
    stack->position = stack->size = start;
    settle(f);
    return true;
}

bool keeps(uint8_t c) { return c != 13 && c != 255; }

int kept_length(const char *s) {
    int n = 0;
    for (; *s; s++)
        if (keeps(uint8_t(*s))) n++;
    return n;
}

// Puts the kept bytes of s (kept of them) into the text at pos; the caller
// has checked that they fit.
void splice_in(ctext *f, int len, int pos, const char *s, int kept) {
    std::memmove(f->text + pos + kept, f->text + pos, size_t(len - pos) + 1);
    char *out = f->text + pos;
    for (; *s; s++)
        if (keeps(uint8_t(*s))) *out++ = *s;
}

// The undo grouping of typing and single-byte deletes: a snapshot before
// the first of every 8 on one line.
void typing_step(ctext *f) {
    int line = ctext_get_line_number_for_pos(f->text, f->cursor);
    clear_stack(f->redo);
    f->typing_counter = (f->typing_counter + 1) % 8;
    if (line != last_line_num || f != last_typed_field) {
        f->typing_counter = 0;
        last_line_num = line;
        last_typed_field = f;
    }
    if (f->typing_counter == 0) push_snapshot(f->undo, f);
}

std::vector<int> occurrences(const char *text, const char *needle) {
    std::vector<int> found;
    if (!needle[0]) return found;
    for (const char *p = std::strstr(text, needle); p; p = std::strstr(p + 1, needle))
        found.push_back(int(p - text));
    return found;
}

// Forward: the first occurrence after the cursor, else the first; backward:
// the last before it, else the last. -1 when there is none.
int next_occurrence(const ctext *f, const char *needle, int direction) {
    std::vector<int> found = occurrences(f->text, needle);
    if (found.empty()) return -1;
    if (direction >= 0) {
        for (int p : found)
            if (p > f->cursor) return p;
        return found.front();
    }
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        if (*it < f->cursor) return *it;
    return found.back();
}

bool key_hit(int scancode) { return tamu_get_key_state(scancode) == 3; }

// The letter of a Ctrl chord (lower case), or 0. A chord with Shift types
// no character: its letter is read from the key slots.
int chord_letter(int value) {
    if (!tamu_get_key_state(TAMU_KEY_CTRL)) return 0;
    if (value >= 'a' && value <= 'z') return value;
    if (value >= 'A' && value <= 'Z') return value - 'A' + 'a';
    if (value < 0)
        for (int s = SC_A; s <= SC_Z; s++)
            if (key_hit(s)) return 'a' + (s - SC_A);
    return 0;
}

// Up (negative) or down by lines, to the preferred column.
void move_lines(ctext *f, int len, int n) {
    int line = ctext_get_line_number_for_pos(f->text, f->cursor);
    if (n < 0 && line == 0) {
        f->cursor = 0;
        return;
    }
    int last = ctext_get_line_number_for_pos(f->text, len);
    int target = clampi(line + n, 0, last);
    int start = ctext_get_pos_for_line_number(f->text, target);
    int width = line_end(f->text, start) - start;
    f->cursor = start + (f->pref_col < width ? f->pref_col : width);
}

// Tab over a selection: every line it touches is indented by one step, or
// with unindent loses one leading space or tab.
void indent_selection(ctext *f, int len, bool unindent) {
    int a = f->sel_anchor < f->sel_end ? f->sel_anchor : f->sel_end;
    int b = f->sel_anchor < f->sel_end ? f->sel_end : f->sel_anchor;
    int first = ctext_get_line_number_for_pos(f->text, a);
    int last = ctext_get_line_number_for_pos(f->text, b);
    if (last > first && f->text[b - 1] == '\n') last--;   // ends at a line start: that line is not in it

    char step[TAB_SPACES_MAX + 1] = "\t";
    int width = cconfig.tab_width == 0 ? 1 : cconfig.tab_width;
    if (width >= 2) {
        if (width > TAB_SPACES_MAX) width = TAB_SPACES_MAX;
        std::memset(step, ' ', size_t(width));
        step[width] = 0;
    }
    int step_len = int(std::strlen(step));
    if (!unindent && int64_t(len) + int64_t(last - first + 1) * step_len > f->max_len) return;

    tamu_backup_ctext(f);
    for (int line = last; line >= first; line--) {
        int start = ctext_get_pos_for_line_number(f->text, line);
        if (!unindent) {
            splice_in(f, len, start, step, step_len);
            len += step_len;
        } else if (f->text[start] == ' ' || f->text[start] == '\t') {
            ctext_remove_text(f->text, start, 1);
            len--;
        }
    }
    f->sel_anchor = ctext_get_pos_for_line_number(f->text, first);
    f->sel_end = f->cursor = line_end(f->text, ctext_get_pos_for_line_number(f->text, last));
}

// Keys while the search line is open. Returns 1 when the key ran a search
// (which moved and scrolled the view itself).
bool search_key(ctext *f, int value, int letter) {
    char *s = f->search_text;
    int n = int(std::strlen(s));
    if (letter == 'v') {
        char *clip = tamu_get_clipboard_text();
        std::snprintf(s, CTEXT_SEARCH_SIZE, "%s", clip);
        tamu_free(clip);
        f->search_cursor = int(std::strlen(s));
    } else if (letter) {
        // other chords do nothing here
    } else if (value == '\n') {
        f->search_active = 0;
        if (f->search_kind == 1) ctext_search_for_line(f, 1);
        else if (n) ctext_search_for_string(f, 1);
        return true;
    } else if (value == 8) {
        if (f->search_cursor > 0) {
            std::memmove(s + f->search_cursor - 1, s + f->search_cursor, size_t(n - f->search_cursor) + 1);
            f->search_cursor--;
        }
    } else if (value < 0) {
        if (key_hit(SC_DELETE) && f->search_cursor < n)
            std::memmove(s + f->search_cursor, s + f->search_cursor + 1, size_t(n - f->search_cursor));
        else if (key_hit(SC_LEFT) && f->search_cursor > 0)
            f->search_cursor--;
        else if (key_hit(SC_RIGHT) && f->search_cursor < n)
            f->search_cursor++;
    } else if (value >= 32 && value <= 153 && n <= CTEXT_SEARCH_TYPED_LIMIT) {
        std::memmove(s + f->search_cursor + 1, s + f->search_cursor, size_t(n - f->search_cursor) + 1);
        s[f->search_cursor++] = char(value);
    }
    return false;
}

void handle_key(ctext *f, cguie *e, int value) {
    int len = settle(f);
    const bool ctrl = tamu_get_key_state(TAMU_KEY_CTRL) != 0;
    const bool shift = tamu_get_key_state(TAMU_KEY_SHIFT) != 0;
    const bool alt = tamu_get_key_state(TAMU_KEY_ALT) != 0;
    const int letter = chord_letter(value);
    const int old_cursor = f->cursor;
    bool scrolled = false;   // the key scrolled the view itself
    bool vertical = false;   // keeps the preferred column

    if (letter == 'f' || letter == 'i' || letter == 'l') {
        if (f->search_active) {
            f->search_active = 0;
        } else {
            f->search_active = 1;
            f->search_kind = letter == 'f' ? 0 : 1;
            f->search_cursor = int(std::strlen(f->search_text));
        }
        return;
    }
    if (f->search_active) {
        scrolled = search_key(f, value, letter);
    } else if (letter) {
        switch (letter) {
        case 'd': ctext_duplicate_line(f); break;
        case 'a':
            f->sel_anchor = 0;
            f->sel_end = len;
            break;
        case 'c':
            if (has_selection(f)) ctextfield_copy(f);
            break;
        case 'x':
            if (has_selection(f)) {
                ctextfield_copy(f);
                ctextfield_delete_selected(f);
            }
            break;
        case 'v':
            ctextfield_delete_selected(f);
            ctextfield_paste(f);
            break;
        case 'z':
            if (tamu_get_key_state(SC_LSHIFT)) ctext_redo(f);
            else ctext_undo(f);
            break;
        case 'y': ctext_redo(f); break;
        case 'g':
            ctext_search_for_string(f, 1);
            scrolled = true;
            break;
        default: break;
        }
    } else if (value < 0) {
        bool moved = true;
        if (key_hit(SC_HOME)) {
            f->cursor = ctrl ? 0 : line_start(f->text, f->cursor);
        } else if (key_hit(SC_END)) {
            f->cursor = ctrl ? len : line_end(f->text, f->cursor);
        } else if (key_hit(SC_PAGEUP) || key_hit(SC_PAGEDOWN)) {
            int page = e ? e->h / screen_line_h(f) : 0;
            if (page) move_lines(f, len, key_hit(SC_PAGEUP) ? -page : page);
            vertical = true;
        } else if (key_hit(SC_UP) || key_hit(SC_DOWN)) {
            int direction = key_hit(SC_UP) ? -1 : 1;
            if (alt) {
                ctext_search_for_bookmark(f, direction);
                ctext_bound_scrolling_to_cursor(f, f->line_h);
                scrolled = true;
            } else if (ctrl) {
                f->cursor = direction < 0 ? 0 : len;
            } else {
                move_lines(f, len, direction);
                vertical = true;
            }
        } else if (key_hit(SC_LEFT)) {
            f->cursor += calculate_skip_steps(f, -1);
        } else if (key_hit(SC_RIGHT)) {
            f->cursor += calculate_skip_steps(f, 1);
        } else {
            moved = false;
            if (key_hit(SC_DELETE)) {
                if (has_selection(f)) {
                    ctextfield_delete_selected(f);
                } else if (f->cursor < len) {
                    typing_step(f);
                    ctext_remove_text(f->text, f->cursor, 1);
                    collapse(f);
                }
            }
        }
        if (moved) {
            if (shift) f->sel_end = f->cursor;
            else collapse(f);
        }
    } else if (value == 8) {
        if (has_selection(f)) {
            ctextfield_delete_selected(f);
        } else if (f->cursor > 0) {
            typing_step(f);
            bool newline = f->text[f->cursor - 1] == '\n';
            ctext_remove_text(f->text, f->cursor - 1, 1);
            f->cursor--;
            collapse(f);
            if (newline) f->scroll_y = f->scroll_y > f->line_h ? f->scroll_y - f->line_h : 0;
            else f->scroll_x = f->scroll_x > f->cell_w ? f->scroll_x - f->cell_w : 0;
        }
    } else if (value == '\t') {
        if (has_selection(f)) {
            indent_selection(f, len, shift);
        } else if (cconfig.tab_width < 2) {
            ctext_insert_character(f, '\t');
        } else {
            int n = cconfig.tab_width > TAB_SPACES_MAX ? TAB_SPACES_MAX : cconfig.tab_width;
            for (int i = 0; i < n; i++) ctext_insert_character(f, ' ');
        }
    } else if (value == '\n') {
        ctextfield_delete_selected(f);
        len = settle(f);
        int start = line_start(f->text, f->cursor);
        int indent = start;
        while (indent < f->cursor && (f->text[indent] == ' ' || f->text[indent] == '\t')) indent++;
        std::vector<char> line(size_t(indent - start) + 2, 0);
        line[0] = '\n';
        std::memcpy(line.data() + 1, f->text + start, size_t(indent - start));
        if (len + kept_length(line.data()) <= f->max_len) {
            typing_step(f);
            ctext_insert_text(f, line.data(), f->cursor);
        }
    } else if (value >= 32 && value <= 153 && !ctrl) {
        ctextfield_delete_selected(f);
        if (f->cursor < f->max_len) ctext_insert_character(f, value);
    }

    if (f->cursor != old_cursor && !scrolled) ctext_bound_scrolling_to_cursor(f, 0);
    if (!vertical) f->pref_col = get_cpos_x(f);
}

int mouse_pos(ctext *f, const cguie *e, int mx, int my) {
    return tamu_get_ctextfield_pos_for_cursor(f, mx - e->x + f->scroll_x, my - e->y + f->scroll_y);
}

}  // namespace

// ---------------------------------------------------------------------------
// The record

ctext *tamu_create_ctext(char *buffer, int max_len) {
    if (max_len < 0 || max_len > LARGEST_MAX_LEN) return nullptr;
    auto *f = static_cast<ctext *>(tamu_malloc(sizeof(ctext)));
    std::memset(f, 0, sizeof *f);
    f->max_len = max_len;
    if (buffer) {
        f->text = buffer;
    } else {
        f->buffer = tamu_create_buffer(max_len + 1);
        f->text = reinterpret_cast<char *>(f->buffer->data);
    }
    f->redo = tamu_create_buffer(0);
    f->undo = tamu_create_buffer(0);
    tamu_items_created++;
    return f;
}

void tamu_destroy_ctext(ctext *f) {
    if (!f) return;
    if (cguie *e = field_element(f)) e->attached = nullptr;
    if (last_typed_field == f) last_typed_field = nullptr;
    tamu_destroy_buffer(f->buffer);
    tamu_destroy_buffer(f->redo);
    tamu_destroy_buffer(f->undo);
    tamu_free(f);
    tamu_items_created--;
}

void tamu_backup_ctext(ctext *f) {
    if (!f) return;
    clear_stack(f->redo);
    push_snapshot(f->undo, f);
}

int ctext_undo(ctext *f) {
    if (!f || newest_snapshot(f->undo) < 0) return 0;
    push_snapshot(f->redo, f);
    return pop_snapshot(f->undo, f) ? 1 : 0;
}

int ctext_redo(ctext *f) {
    if (!f || newest_snapshot(f->redo) < 0) return 0;
    push_snapshot(f->undo, f);
    return pop_snapshot(f->redo, f) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Lines, positions and pixels

int ctext_get_line_number_for_pos(const char *text, int pos) {
    int line = 0;
    for (int p = 0; p < pos && text[p]; p++)
        if (text[p] == '\n') line++;
    return line;
}

int ctext_get_pos_for_line_number(const char *text, int n) {
    if (n < 1) return 0;
    int p = 0;
    for (; text[p]; p++)
        if (text[p] == '\n' && --n == 0) return p + 1;
    return p;
}

int get_cpos_x(ctext *f) {
    if (!f) return 0;
    settle(f);
    return f->cursor - line_start(f->text, f->cursor);
}

void tamu_get_ctextfield_cursor_pos(ctext *f, int *x, int *y) {
    if (!f) return;
    cursor_pixel(f, f->line_h, x, y);
}

int tamu_get_ctextfield_pos_for_cursor(ctext *f, int px, int py) {
    if (!f || py < 0 || f->line_h == 0) return 0;
    const int cell = f->cell_w < 1 ? 1 : f->cell_w;
    const int target = py / screen_line_h(f);
    const int column = px / cell;
    int line = 0, x = 0, found = -1, p = 0;
    for (;; p++) {
        if (line == target && (found < 0 || column >= x / cell)) found = p;
        uint8_t c = byte_at(f->text, p);
        if (!c) break;
        if (c == '\n') {
            if (++line > target) break;
            x = 0;
        } else {
            x += cell * cells(c);
        }
    }
    return found >= 0 ? found : p;
}

void ctext_bound_scrolling_to_cursor(ctext *f, int margin) {
    if (!f) return;
    const cguie *e = field_element(f);
    if (!e) return;
    settle(f);
    int x = 0, y = 0;
    cursor_pixel(f, f->line_h, &x, &y);
    int sy = f->scroll_y;
    if (margin != 0) {
        sy = y - margin;
    } else {
        int shown = sy < y ? sy : y;
        sy = y + f->line_h - e->h > shown ? y + f->line_h - e->h : shown;
    }
    f->scroll_y = sy < 0 ? 0 : sy;
    int sx = f->scroll_x < x ? f->scroll_x : x;
    if (sx < 0) sx = 0;
    f->scroll_x = x + f->cell_w - e->w > sx ? x + f->cell_w - e->w : sx;
}

// ---------------------------------------------------------------------------
// Editing

int ctext_insert_text(ctext *f, const char *s, int pos) {
    if (!f || !s) return 0;
    int len = settle(f);
    int kept = kept_length(s);
    if (kept == 0 || int64_t(len) + kept > f->max_len) return 0;
    pos = clampi(pos, 0, len);
    splice_in(f, len, pos, s, kept);
    if (f->cursor >= pos) f->cursor += kept;
    collapse(f);
    return kept;
}

void ctext_insert_character(ctext *f, int byte) {
    if (!f) return;
    byte &= 0xFF;
    if (byte == 0) return;   // would end the text there
    int len = settle(f);
    typing_step(f);
    if (len >= f->max_len) return;
    std::memmove(f->text + f->cursor + 1, f->text + f->cursor, size_t(len - f->cursor) + 1);
    f->text[f->cursor++] = char(byte);
    collapse(f);
}

void ctext_remove_text(char *text, int pos, int n) {
    if (!text || pos < 0 || n <= 0) return;
    int len = int(std::strlen(text));
    if (pos >= len) return;
    if (n > len - pos) n = len - pos;
    std::memmove(text + pos, text + pos + n, size_t(len - pos - n) + 1);
}

void ctextfield_delete_selected(ctext *f) {
    if (!f) return;
    settle(f);
    if (!has_selection(f)) return;
    tamu_backup_ctext(f);
    int a = f->sel_anchor < f->sel_end ? f->sel_anchor : f->sel_end;
    int b = f->sel_anchor < f->sel_end ? f->sel_end : f->sel_anchor;
    ctext_remove_text(f->text, a, b - a);
    f->cursor = a;
    collapse(f);
}

void ctext_duplicate_line(ctext *f) {
    if (!f) return;
    int len = settle(f);
    int start = line_start(f->text, f->cursor);
    int end = line_end(f->text, f->cursor);
    if (end <= start) return;   // an empty line is not copied
    std::vector<char> copy(size_t(end - start) + 2, 0);
    std::memcpy(copy.data(), f->text + start, size_t(end - start));
    copy[size_t(end - start)] = '\n';
    int kept = kept_length(copy.data());
    if (int64_t(len) + kept > f->max_len) return;
    tamu_backup_ctext(f);
    ctext_insert_text(f, copy.data(), start);
}

// ---------------------------------------------------------------------------
// The clipboard

char *convert_glyphs_to_escaped(const char *s, char *out) {
    if (!s) return out;
    size_t n = std::strlen(s);
    if (!out) {
        if (n > size_t(INT32_MAX - 1) / 4) return nullptr;
        out = static_cast<char *>(tamu_malloc(int(4 * n + 1)));
    }
    char *o = out;
    for (; *s; s++) {
        uint8_t c = uint8_t(*s);
        if (c >= 128) {
            std::snprintf(o, 5, "\\%d", c);
            o += 4;
        } else {
            *o++ = char(c);
        }
    }
    *o = 0;
    return out;
}

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

char *convert_escaped_to_glyphs(const char *s, char *out) {
    if (!s) return out;
    size_t n = std::strlen(s);
    if (!out) {
        if (n > size_t(INT32_MAX - 1)) return nullptr;
        out = static_cast<char *>(tamu_malloc(int(n + 1)));
    }
    char *o = out;
    while (*s) {
        // Only what copying writes: a backslash and exactly three digits
        // of a value 128..255.
        if (s[0] == '\\' && is_digit(s[1]) && is_digit(s[2]) && is_digit(s[3])) {
            int v = (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
            if (v >= 128 && v <= 255) {
                *o++ = char(v);
                s += 4;
                continue;
            }
        }
        *o++ = *s++;
    }
    *o = 0;
    return out;
}

void ctextfield_copy(ctext *f) {
    if (!f) return;
    settle(f);
    if (!has_selection(f)) return;
    int a = f->sel_anchor < f->sel_end ? f->sel_anchor : f->sel_end;
    int b = f->sel_anchor < f->sel_end ? f->sel_end : f->sel_anchor;
    std::vector<char> bytes(f->text + a, f->text + b);
    bytes.push_back(0);
    char *escaped = convert_glyphs_to_escaped(bytes.data(), nullptr);
    if (!escaped) return;
    tamu_set_clipboard_text(escaped);
    tamu_free(escaped);
}

void ctextfield_paste(ctext *f) {
    if (!f) return;
    int len = settle(f);
    char *clip = tamu_get_clipboard_text();
    char *glyphs = clip ? convert_escaped_to_glyphs(clip, nullptr) : nullptr;
    if (glyphs) {
        int kept = kept_length(glyphs);
        if (kept > 0 && int64_t(len) + kept <= f->max_len) {
            tamu_backup_ctext(f);
            ctext_insert_text(f, glyphs, f->cursor);
        }
    }
    tamu_free(glyphs);
    tamu_free(clip);
}

// ---------------------------------------------------------------------------
// Searching

void ctext_search_for_string(ctext *f, int direction) {
    if (!f || !f->search_text[0]) return;
    settle(f);
    int p = next_occurrence(f, f->search_text, direction);
    if (p < 0) return;
    f->sel_anchor = f->cursor = p;
    f->sel_end = p + int(std::strlen(f->search_text));
    ctext_bound_scrolling_to_cursor(f, CTEXT_SEARCH_MARGIN);
}

void ctext_search_for_line(ctext *f, int) {
    if (!f) return;
    settle(f);
    int n = 0;
    if (std::sscanf(f->search_text, "%d", &n) != 1) return;
    f->cursor = n <= 1 ? 0 : ctext_get_pos_for_line_number(f->text, n - 1);
    collapse(f);
    ctext_bound_scrolling_to_cursor(f, CTEXT_SEARCH_MARGIN);
}

void ctext_search_for_bookmark(ctext *f, int direction) {
    if (!f) return;
    settle(f);
    int p = next_occurrence(f, BOOKMARK, direction);
    if (p >= 0) f->cursor = p;
}

// ---------------------------------------------------------------------------
// Categories and cursor steps

int get_char_cat(int byte) {
    byte &= 0xFF;
    if (byte >= 128) return 3;
    if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '_') return 1;
    if (byte && std::strchr("!@#$%^&*(){}[]<>:;.,~=+-/\\`'\"", byte)) return 2;
    return 0;
}

int calculate_skip_steps(ctext *f, int direction) {
    if (!f) return 0;
    int len = settle(f);
    const char *t = f->text;
    int c = f->cursor;
    if (!tamu_get_key_state(TAMU_KEY_CTRL)) {
        if (direction < 0) return c > 0 ? -1 : 0;
        return c < len ? 1 : 0;
    }
    int p = c;
    if (direction > 0) {
        while (p < len && get_char_cat(byte_at(t, p)) == 0) p++;
        if (p < len) {
            int k = get_char_cat(byte_at(t, p));
            while (p < len && get_char_cat(byte_at(t, p)) == k) p++;
        }
    } else {
        while (p > 0 && get_char_cat(byte_at(t, p - 1)) == 0) p--;
        if (p > 0) {
            int k = get_char_cat(byte_at(t, p - 1));
            while (p > 0 && get_char_cat(byte_at(t, p - 1)) == k) p--;
        }
    }
    return p - c;
}

void ctext_select_from_double_click(ctext *f, int pos) {
    if (!f) return;
    int len = settle(f);
    pos = clampi(pos, 0, len);
    int k = get_char_cat(byte_at(f->text, pos));
    int a = pos, b = pos < len ? pos + 1 : len;
    while (a > 0 && get_char_cat(byte_at(f->text, a - 1)) == k) a--;
    while (b < len && get_char_cat(byte_at(f->text, b)) == k) b++;
    f->sel_anchor = a;
    f->sel_end = f->cursor = b;
}

// ---------------------------------------------------------------------------
// The element

int tamu_gui_add_ctext_field(cbitmap *bitmap, int x, int y, int w, int h, ctext *f) {
    int index = tamu_add_guie(int64_t(reinterpret_cast<intptr_t>(bitmap)), x, y, w, h, TAMU_GUIE_TEXT_FIELD,
                              vhand_ctextfield);
    if (index < 0) return -1;
    cguie *e = tamu_get_gui_element(index);
    if (f) {
        if (cguie *old = field_element(f)) old->attached = nullptr;
        f->element = e;
    }
    e->attached = f;
    tamu_gui_set_keyboard_focus(e);
    return index;
}

int vhand_ctextfield(cguie *e, int mx, int my, int, int message) {
    ctext *f = e ? static_cast<ctext *>(e->attached) : nullptr;
    if (!f) return 0;
    settle(f);
    switch (message) {
    case TAMU_GUI_PRESS: {
        tamu_gui_set_keyboard_focus(e);
        double_clicked = false;
        f->cursor = f->sel_end = mouse_pos(f, e, mx, my);
        if (!tamu_get_key_state(TAMU_KEY_SHIFT)) f->sel_anchor = f->cursor;
        f->pref_col = get_cpos_x(f);
        break;
    }
    case TAMU_GUI_DRAG:
        if (!double_clicked) {
            f->cursor = f->sel_end = mouse_pos(f, e, mx, my);
            f->pref_col = get_cpos_x(f);
        }
        break;
    case TAMU_GUI_DOUBLE_PRESS:
        ctext_select_from_double_click(f, mouse_pos(f, e, mx, my));
        double_clicked = true;
        f->pref_col = get_cpos_x(f);
        break;
    case TAMU_GUI_CLICK:
        f->cursor = mouse_pos(f, e, mx, my);
        f->pref_col = get_cpos_x(f);
        break;
    case TAMU_GUI_WHEEL: {
        int64_t sy = int64_t(f->scroll_y) - int64_t(f->line_h) * my * 2;
        f->scroll_y = sy < 0 ? 0 : sy > INT32_MAX ? INT32_MAX : int(sy);
        break;
    }
    case TAMU_GUI_KEY:   // the key comes in mx
        handle_key(f, e, mx == 13 ? '\n' : mx);
        break;
    case TAMU_GUI_DRAW: {
        auto *bitmap = reinterpret_cast<cbitmap *>(static_cast<intptr_t>(e->user));
        if (!bitmap) break;
        tamu_set_clip(bitmap, e->x, e->y, e->x + e->w, e->y + e->h);
        (f->draw ? f->draw : draw_ctext)(bitmap, e->x, e->y, e->w, e->h, f);
        tamu_reset_clip(bitmap);
        break;
    }
    default: break;
    }
    return 0;
}

void draw_ctext(cbitmap *bitmap, int x, int y, int w, int h, ctext *f) {
    if (!bitmap || !f) return;
    settle(f);
    if (w > 0 && h > 0) tamu_rectfill(bitmap, x, y, x + w - 1, y + h - 1, 0x404040);
    cpod *font = f->font ? f->font : tamu_font2;
    const int line_h = screen_line_h(f);
    const int left = x - f->scroll_x;
    int cx = left, cy = y - f->scroll_y;
    for (int p = 0; f->text[p] && cy < y + h; p++) {
        uint8_t c = byte_at(f->text, p);
        if (c == '\n') {
            cx = left;
            cy += line_h;
            continue;
        }
        if (c < 128 && cy + line_h > y)
            if (cbitmap *glyph = tamu_font_glyph(font, c))
                tamu_draw_sprite_col(glyph, bitmap, 0, 0, cx, cy, glyph->width, glyph->height, 0xFFFFFFFF, 0);
        cx += f->cell_w * cells(c);
    }
    const cguie *e = field_element(f);
    if (e && (e->flags & TAMU_GUIE_FOCUS) && (tamu_input_time() & 0x100)) {
        int px = 0, py = 0;
        cursor_pixel(f, line_h, &px, &py);
        int x0 = left + px, y0 = y - f->scroll_y + py + 1;
        if (f->cell_w > 0 && line_h > 1) tamu_rectfill(bitmap, x0, y0, x0 + f->cell_w - 1, y0 + line_h - 2, f->cursor_colour);
    }
}
