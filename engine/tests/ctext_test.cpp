// The text field's record: line and position mapping, cursor pixels,
// inserting, typing with its undo grouping, the undo snapshots, deleting,
// the clipboard escapes, scrolling, searching, character categories, the
// cursor steps and double-click selection.
#include "fake_input.h"
#include "stub_app.h"
#include "tamu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class Ctext : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_input_for_test();
        last_line_num = -1;
    }
    void TearDown() override {
        for (ctext *f : made) tamu_destroy_ctext(f);
        tamu_gui_exit();
    }
    ctext *make(const std::string &text, int max_len = -1) {
        if (max_len < 0) max_len = int(text.size()) + 256;
        ctext *f = tamu_create_ctext(nullptr, max_len);
        EXPECT_NE(f, nullptr);
        std::memcpy(f->text, text.data(), text.size());
        f->text[text.size()] = 0;
        f->cell_w = 4;
        f->line_h = 6;
        made.push_back(f);
        return f;
    }
    // A field shown by a GUI element of w x h at (0, 0).
    ctext *shown(const std::string &text, int w, int h) {
        if (!tamu_gui) tamu_gui_init();
        ctext *f = make(text);
        EXPECT_GE(tamu_gui_add_ctext_field(nullptr, 0, 0, w, h, f), 0);
        return f;
    }
    void select(ctext *f, int anchor, int end) {
        f->sel_anchor = anchor;
        f->sel_end = end;
    }
    std::vector<ctext *> made;
};

std::string text_of(const ctext *f) { return f->text; }

// The snapshots of a stack, newest last, found from the end by their
// trailing lengths.
struct snapshot {
    int cursor, anchor, end, scroll_x, scroll_y;
    std::string text;
};

int32_t le32(const uint8_t *p) { return int32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

std::vector<snapshot> snapshots(const cbuffer *stack) {
    std::vector<snapshot> out;
    int end = stack->position;
    while (end > 0) {
        int length = le32(stack->data + end - 4);
        int start = end - 4 - length;
        EXPECT_GE(start, 0);
        if (start < 0) break;
        const uint8_t *p = stack->data + start;
        out.insert(out.begin(), {le32(p), le32(p + 4), le32(p + 8), le32(p + 12), le32(p + 16),
                                 std::string(reinterpret_cast<const char *>(p + 20), size_t(length - 21))});
        EXPECT_EQ(p[length - 1], 0);   // the terminator
        end = start;
    }
    return out;
}

TEST_F(Ctext, CreationAndDestruction) {
    int live = tamu_items_created;
    ctext *f = tamu_create_ctext(nullptr, 10);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(tamu_items_created, live + 1);
    EXPECT_EQ(f->max_len, 10);
    ASSERT_NE(f->buffer, nullptr);
    EXPECT_EQ(f->text, reinterpret_cast<char *>(f->buffer->data));
    EXPECT_GE(f->buffer->capacity, 11);
    EXPECT_STREQ(f->text, "");
    EXPECT_EQ(f->cursor, 0);
    EXPECT_EQ(f->element, nullptr);
    EXPECT_EQ(f->font, nullptr);
    EXPECT_EQ(f->undo->position, 0);
    EXPECT_EQ(f->redo->position, 0);
    tamu_destroy_ctext(f);
    EXPECT_EQ(tamu_items_created, live);

    char own[6] = "abc";
    ctext *g = tamu_create_ctext(own, 5);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->text, own);
    EXPECT_EQ(g->buffer, nullptr);
    ctext_insert_text(g, "de", 3);
    EXPECT_STREQ(own, "abcde");
    EXPECT_EQ(ctext_insert_text(g, "f", 0), 0);   // the caller's 6 bytes are full
    tamu_destroy_ctext(g);
    EXPECT_STREQ(own, "abcde");

    EXPECT_EQ(tamu_create_ctext(nullptr, -1), nullptr);
    tamu_destroy_ctext(nullptr);
}

TEST_F(Ctext, LineAndPositionMapping) {
    const char *t = "a\nb\nc";
    struct Line {
        const char *text;
        int pos, line;
    } lines[] = {
        {t, 0, 0}, {t, 1, 0}, {t, 2, 1}, {t, 3, 1}, {t, 4, 2}, {t, 5, 2},
        {t, 99, 2},   // beyond the text: every newline
        {t, -3, 0},   {"", 0, 0}, {"", 7, 0},   {"\n\n\n", 2, 2}, {"\xc8\n\xff", 3, 1},
    };
    for (const Line &c : lines)
        EXPECT_EQ(ctext_get_line_number_for_pos(c.text, c.pos), c.line) << c.pos << " in " << c.text;

    struct Pos {
        const char *text;
        int n, pos;
    } positions[] = {
        {t, 1, 2}, {t, 2, 4}, {t, 3, 5}, {t, 9, 5},   // fewer newlines: the length
        {t, 0, 0}, {t, -1, 0}, {"", 1, 0}, {"\n\n", 1, 1}, {"\n\n", 2, 2}, {"\n\n", 3, 2},
    };
    for (const Pos &c : positions)
        EXPECT_EQ(ctext_get_pos_for_line_number(c.text, c.n), c.pos) << c.n << " in " << c.text;

    // The two agree on every line start of a longer text.
    std::string big;
    for (int i = 0; i < 300; i++) big += std::string(size_t(i % 7), 'x') + "\n";
    for (int n = 1; n <= 300; n++) {
        int pos = ctext_get_pos_for_line_number(big.c_str(), n);
        ASSERT_EQ(ctext_get_line_number_for_pos(big.c_str(), pos), n);
        ASSERT_EQ(big[size_t(pos) - 1], '\n');
    }
}

TEST_F(Ctext, CursorPixelPositionCountsWideBytesTwice) {
    ctext *f = make("ab\n\xc8x\nq");
    struct Case {
        int cursor, x, y;
    } cases[] = {{0, 0, 0}, {2, 8, 0}, {3, 0, 6}, {4, 8, 6}, {5, 12, 6}, {6, 0, 12}, {7, 4, 12},
                 {50, 0, 0}};   // past the terminator
    for (const Case &c : cases) {
        f->cursor = c.cursor;
        int x = -1, y = -1;
        tamu_get_ctextfield_cursor_pos(f, &x, &y);
        EXPECT_EQ(x, c.x) << c.cursor;
        EXPECT_EQ(y, c.y) << c.cursor;
    }
    f->cursor = 2;
    EXPECT_EQ(get_cpos_x(f), 2);
    f->cursor = 5;
    EXPECT_EQ(get_cpos_x(f), 2);
}

TEST_F(Ctext, PositionUnderAPixel) {
    ctext *f = make("ab\n\xc8x\nq");   // cell 4, line 6
    struct Case {
        int px, py, pos;
    } cases[] = {
        {0, 0, 0},    {3, 0, 0},   {4, 0, 1},   {7, 0, 1},   {8, 0, 2},
        {9, 0, 2},    // the top pixel row is the first line's
        {100, 0, 2},  {9, 5, 2},   {0, 6, 3},   {5, 6, 3},   // inside the wide byte's cells
        {8, 6, 4},    {12, 6, 5},  {99, 6, 5},  {0, 12, 6},  {4, 12, 7},  {99, 17, 7},
        {0, 18, 7},   // past the last line: the length
        {-5, 6, 3},   // left of the text: the line start
        {10, -1, 0},  // above the text
    };
    for (const Case &c : cases) EXPECT_EQ(tamu_get_ctextfield_pos_for_cursor(f, c.px, c.py), c.pos) << c.px << "," << c.py;

    f->line_h = 2;   // counts as 4
    EXPECT_EQ(tamu_get_ctextfield_pos_for_cursor(f, 0, 4), 3);
    f->line_h = 0;
    EXPECT_EQ(tamu_get_ctextfield_pos_for_cursor(f, 8, 8), 0);
    f->line_h = 6;
    f->cell_w = 0;   // no division by zero
    EXPECT_EQ(tamu_get_ctextfield_pos_for_cursor(f, 5, 0), 2);
}

TEST_F(Ctext, InsertFiltersOnlyTheInsertedText) {
    struct Case {
        const char *before;
        int max_len, cursor, pos;
        const char *s;
        const char *after;
        int cursor_after, result;
    } cases[] = {
        {"hello", 10, 5, 5, " wor", "hello wor", 9, 4},
        {"ab\ncd", 10, 4, 3, "X", "ab\nXcd", 5, 1},            // at a line start before the cursor
        {"abcd", 10, 1, 3, "X", "abcXd", 1, 1},                // after the cursor: it stays
        {"abc", 10, 3, 99, "d", "abcd", 4, 1},                 // pos held inside the text
        {"abc", 10, 0, -4, "z", "zabc", 1, 1},
        {"0123456789abcde", 20, 0, 0, "0123456789", "0123456789abcde", 0, 0},   // 10 into 5 left
        {"0123456789abcde", 20, 0, 0, "01234", "012340123456789abcde", 5, 5},   // exactly fits
        // Carriage returns and bytes 255 of the inserted text are left out
        // and the cursor moves by the bytes kept; those already in the
        // text stay.
        {"a\rb\xff", 10, 0, 0, "x\r\ny\xff", "x\nya\rb\xff", 3, 3},
        {"\r\r\r", 10, 0, 0, "\r", "\r\r\r", 0, 0},
        {"abcdefgh", 10, 8, 8, "12\r\r", "abcdefgh12", 10, 2},   // fits once filtered
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.before);
        ctext *f = make(c.before, c.max_len);
        f->cursor = c.cursor;
        select(f, 0, 1);
        EXPECT_EQ(ctext_insert_text(f, c.s, c.pos), c.result);
        EXPECT_EQ(text_of(f), c.after);
        EXPECT_EQ(f->cursor, c.cursor_after);
        if (c.result) {
            EXPECT_EQ(f->sel_anchor, f->cursor);
            EXPECT_EQ(f->sel_end, f->cursor);
        }
    }
}

TEST_F(Ctext, TypingGroupsEightBytesOnALineIntoOneUndoStep) {
    ctext *f = make("first\nsecond");
    f->cursor = 5;
    for (const char *p = "123456789"; *p; p++) ctext_insert_character(f, *p);
    EXPECT_EQ(text_of(f), "first123456789\nsecond");
    EXPECT_EQ(f->cursor, 14);
    auto s = snapshots(f->undo);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].text, "first\nsecond");
    EXPECT_EQ(s[1].text, "first12345678\nsecond");   // before the ninth

    // Another line starts a step at once.
    f->cursor = 15;
    ctext_insert_character(f, 'x');
    s = snapshots(f->undo);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[2].text, "first123456789\nsecond");
    EXPECT_EQ(last_line_num, 1);

    // And so does another field, even on a line of the same number.
    ctext *g = make("other\nline");
    g->cursor = 6;
    ctext_insert_character(g, 'y');
    EXPECT_EQ(snapshots(g->undo).size(), 1u);

    // Typing clears the redo stack.
    ctext_undo(f);
    ASSERT_GT(f->redo->position, 0);
    ctext_insert_character(f, 'z');
    EXPECT_EQ(f->redo->position, 0);
}

TEST_F(Ctext, FullTextTakesNoTypedByte) {
    ctext *f = make("abc", 3);
    f->cursor = 1;
    ctext_insert_character(f, 'x');
    EXPECT_EQ(text_of(f), "abc");
    EXPECT_EQ(f->cursor, 1);
    ctext *g = make("ab", 3);
    g->cursor = 1;
    ctext_insert_character(g, 0);   // would cut the text
    EXPECT_EQ(text_of(g), "ab");
}

TEST_F(Ctext, SnapshotByteLayout) {
    ctext *f = make("ab");
    f->cursor = 1;
    select(f, 0, 2);
    f->scroll_x = 3;
    f->scroll_y = 12;
    cbuffer_add_uint8(f->redo, 9);
    tamu_backup_ctext(f);
    EXPECT_EQ(f->redo->position, 0);
    const uint8_t expected[] = {1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 12, 0, 0, 0,
                                'a', 'b', 0, 23, 0, 0, 0};
    ASSERT_EQ(f->undo->position, int(sizeof expected));
    EXPECT_EQ(std::memcmp(f->undo->data, expected, sizeof expected), 0);

    // An empty text: 21 bytes and the length 21.
    ctext *g = make("");
    tamu_backup_ctext(g);
    ASSERT_EQ(g->undo->position, 25);
    EXPECT_EQ(le32(g->undo->data + 21), 21);
    EXPECT_EQ(g->undo->data[20], 0);
}

TEST_F(Ctext, UndoAndRedoRestoreSnapshots) {
    ctext *f = make("one");
    EXPECT_EQ(ctext_undo(f), 0);   // empty stacks do nothing
    EXPECT_EQ(ctext_redo(f), 0);
    EXPECT_EQ(text_of(f), "one");

    f->cursor = 2;
    f->scroll_y = 6;
    tamu_backup_ctext(f);
    // A loader replaces the text directly.
    std::strcpy(f->text, "second text");
    f->cursor = 11;
    f->scroll_y = 0;
    tamu_backup_ctext(f);
    std::strcpy(f->text, "3");
    f->cursor = 1;

    EXPECT_EQ(ctext_undo(f), 1);
    EXPECT_EQ(text_of(f), "second text");
    EXPECT_EQ(f->cursor, 11);
    EXPECT_EQ(ctext_undo(f), 1);
    EXPECT_EQ(text_of(f), "one");
    EXPECT_EQ(f->cursor, 2);
    EXPECT_EQ(f->scroll_y, 6);
    EXPECT_EQ(f->undo->position, 0);   // the popped records are dropped
    EXPECT_EQ(ctext_undo(f), 0);
    EXPECT_EQ(snapshots(f->redo).size(), 2u);

    EXPECT_EQ(ctext_redo(f), 1);
    EXPECT_EQ(text_of(f), "second text");
    EXPECT_EQ(ctext_redo(f), 1);
    EXPECT_EQ(text_of(f), "3");
    EXPECT_EQ(f->cursor, 1);
    EXPECT_EQ(ctext_redo(f), 0);
    EXPECT_EQ(snapshots(f->undo).size(), 2u);

    // A new backup clears the redo stack.
    ctext_undo(f);
    tamu_backup_ctext(f);
    EXPECT_EQ(f->redo->position, 0);
}

TEST_F(Ctext, UndoIntoASmallerFieldKeepsWithinItsLimit) {
    ctext *f = make("0123456789", 10);
    tamu_backup_ctext(f);
    f->max_len = 4;   // a field whose limit is lowered
    f->text[4] = 0;
    ctext_undo(f);
    EXPECT_EQ(text_of(f), "0123");
    EXPECT_LE(f->cursor, 4);
}

TEST_F(Ctext, DeletingTheSelection) {
    ctext *f = make("hello world");
    select(f, 8, 2);   // either order
    f->cursor = 8;
    ctextfield_delete_selected(f);
    EXPECT_EQ(text_of(f), "herld");
    EXPECT_EQ(f->cursor, 2);
    EXPECT_EQ(f->sel_anchor, 2);
    EXPECT_EQ(f->sel_end, 2);
    ASSERT_EQ(snapshots(f->undo).size(), 1u);
    EXPECT_EQ(snapshots(f->undo)[0].text, "hello world");
    ctextfield_delete_selected(f);   // no selection: nothing, no snapshot
    EXPECT_EQ(snapshots(f->undo).size(), 1u);

    struct Remove {
        int pos, n;
        const char *after;
    } removes[] = {{1, 2, "adef"}, {4, 10, "abcd"}, {6, 1, "abcdef"}, {-1, 2, "abcdef"}, {0, 0, "abcdef"},
                   {0, 6, ""}};
    for (const Remove &r : removes) {
        char t[] = "abcdef";
        ctext_remove_text(t, r.pos, r.n);
        EXPECT_STREQ(t, r.after) << r.pos << " " << r.n;
    }
}

// The text written directly, shorter than before: every edit starts with
// the cursor and the selection inside it.
TEST_F(Ctext, DirectlyWrittenTextLeavesNoStaleCursorOrSelection) {
    struct Edit {
        const char *name;
        void (*run)(ctext *);
        const char *after;
    } edits[] = {
        {"type", [](ctext *f) { ctext_insert_character(f, 'x'); }, "hix"},
        {"insert", [](ctext *f) { ctext_insert_text(f, "yz", f->cursor); }, "hiyz"},
        {"delete selection", [](ctext *f) { ctextfield_delete_selected(f); }, "hi"},
        {"duplicate", [](ctext *f) { ctext_duplicate_line(f); }, "hi\nhi"},
        {"double click", [](ctext *f) { ctext_select_from_double_click(f, f->cursor); }, "hi"},
        {"copy", [](ctext *f) { ctextfield_copy(f); }, "hi"},
    };
    for (const Edit &e : edits) {
        SCOPED_TRACE(e.name);
        ctext *f = make("hello world");
        f->cursor = 11;
        select(f, 5, 9);
        std::strcpy(f->text, "hi");
        e.run(f);
        EXPECT_EQ(text_of(f), e.after);
        EXPECT_GE(f->cursor, 0);
        EXPECT_LE(f->cursor, int(std::strlen(f->text)));
        EXPECT_LE(f->sel_anchor, int(std::strlen(f->text)));
        EXPECT_LE(f->sel_end, int(std::strlen(f->text)));
    }
    // A text that lost its terminator within the limit gets one.
    ctext *g = make("", 4);
    std::memset(g->text, 'q', 5);
    ctext_insert_character(g, 'x');
    EXPECT_EQ(text_of(g), "qqqq");
}

TEST_F(Ctext, ClipboardEscapes) {
    struct Case {
        const char *glyphs, *escaped;
    } round_trips[] = {
        {"a\xc8" "b", "a\\200b"}, {"\x80\xff", "\\128\\255"}, {"plain \\ text", "plain \\ text"}, {"", ""},
    };
    for (const Case &c : round_trips) {
        char *e = convert_glyphs_to_escaped(c.glyphs, nullptr);
        EXPECT_STREQ(e, c.escaped);
        char *g = convert_escaped_to_glyphs(e, nullptr);
        // A backslash the text had stays (it is not followed by digits).
        EXPECT_STREQ(g, c.glyphs);
        tamu_free(e);
        tamu_free(g);
    }
    struct Unescape {
        const char *in, *out;
    } unescapes[] = {
        {"\\200", "\xc8"},     {"\\127", "\\127"},    {"\\256", "\\256"},   {"\\20", "\\20"},
        {"\\2000", "\xc8" "0"}, {"x\\\\200", "x\\\xc8"}, {"\\ 200", "\\ 200"}, {"\\+99", "\\+99"},
        {"\\-12", "\\-12"},    {"end\\", "end\\"},
    };
    for (const Unescape &u : unescapes) {
        char out[32];
        EXPECT_EQ(convert_escaped_to_glyphs(u.in, out), out);
        EXPECT_STREQ(out, u.out) << u.in;
    }
    char out[32];
    EXPECT_EQ(convert_glyphs_to_escaped("\xe9!", out), out);
    EXPECT_STREQ(out, "\\233!");
}

TEST_F(Ctext, ScrollingBringsTheCursorIntoView) {
    std::string lines;
    for (int i = 0; i < 30; i++) lines += "line with some text " + std::to_string(i) + "\n";
    ctext *f = shown(lines, 40, 30);
    auto line_start = [&](int n) { return ctext_get_pos_for_line_number(f->text, n); };

    // Margin 52 on line 3: 18 - 52, raised to 0.
    f->cursor = line_start(3);
    ctext_bound_scrolling_to_cursor(f, 52);
    EXPECT_EQ(f->scroll_y, 0);
    f->cursor = line_start(20);
    ctext_bound_scrolling_to_cursor(f, 52);
    EXPECT_EQ(f->scroll_y, 120 - 52);

    // Margin 0: the smallest move that shows the whole line.
    f->scroll_y = 0;
    f->cursor = line_start(10);
    ctext_bound_scrolling_to_cursor(f, 0);
    EXPECT_EQ(f->scroll_y, 60 + 6 - 30);
    ctext_bound_scrolling_to_cursor(f, 0);
    EXPECT_EQ(f->scroll_y, 36);   // already shown: no move
    f->cursor = line_start(2);
    ctext_bound_scrolling_to_cursor(f, 0);
    EXPECT_EQ(f->scroll_y, 12);

    // Across: cursor x 60 in a 40-wide view.
    f->cursor = line_start(2) + 15;
    ctext_bound_scrolling_to_cursor(f, 0);
    EXPECT_EQ(f->scroll_x, 60 + 4 - 40);
    f->cursor = line_start(2) + 2;
    ctext_bound_scrolling_to_cursor(f, 0);
    EXPECT_EQ(f->scroll_x, 8);

    // Without an element nothing moves.
    ctext *g = make(lines);
    g->cursor = 400;
    ctext_bound_scrolling_to_cursor(g, 0);
    EXPECT_EQ(g->scroll_y, 0);
    EXPECT_EQ(g->scroll_x, 0);
}

TEST_F(Ctext, FieldAndElementThatOutliveEachOther) {
    ctext *f = shown("abc\ndef\nghi\njkl", 20, 6);
    int index = tamu_gui_element_index(f->element);
    ASSERT_GE(index, 0);
    cguie *e = tamu_get_gui_element(index);
    EXPECT_EQ(e->attached, f);
    EXPECT_EQ(e->type, TAMU_GUIE_TEXT_FIELD);
    EXPECT_EQ(e->handler, vhand_ctextfield);
    EXPECT_EQ(tamu_gui_get_keyboard_focus(), e);

    // The element deleted (and its slot given to another): the field no
    // longer scrolls by it.
    tamu_delete_guie(index);
    ASSERT_EQ(tamu_add_guie(0, 0, 0, 1000, 1000, 1, nullptr), index);
    f->cursor = 12;
    ctext_bound_scrolling_to_cursor(f, 0);
    EXPECT_EQ(f->scroll_y, 0);

    // The field destroyed: its element no longer points at it, and
    // messages to it do nothing.
    ctext *g = make("xyz");
    int gi = tamu_gui_add_ctext_field(nullptr, 0, 0, 10, 10, g);
    made.pop_back();
    tamu_destroy_ctext(g);
    EXPECT_EQ(tamu_get_gui_element(gi)->attached, nullptr);
    tamu_gui_key_event('a');
    tamu_gui_broadcast(TAMU_GUI_DRAW, 0);
}

TEST_F(Ctext, SearchFindsEveryOccurrenceAndWraps) {
    ctext *f = shown("x=x\nfoo x\n", 40, 30);
    std::strcpy(f->search_text, "x");
    struct Step {
        int direction, found;
    } steps[] = {{1, 2}, {1, 8}, {1, 0}, {1, 2}, {-1, 0}, {-1, 8}, {-1, 2}};
    for (const Step &s : steps) {
        ctext_search_for_string(f, s.direction);
        EXPECT_EQ(f->cursor, s.found) << s.direction;
        EXPECT_EQ(f->sel_anchor, s.found);
        EXPECT_EQ(f->sel_end, s.found + 1);
    }

    std::strcpy(f->search_text, "foo");
    f->cursor = 0;
    ctext_search_for_string(f, 1);
    EXPECT_EQ(f->cursor, 4);
    EXPECT_EQ(f->sel_end, 7);

    // Not found, or an empty search text: nothing moves.
    std::strcpy(f->search_text, "zzz");
    ctext_search_for_string(f, 1);
    EXPECT_EQ(f->cursor, 4);
    f->search_text[0] = 0;
    ctext_search_for_string(f, 1);
    EXPECT_EQ(f->cursor, 4);
}

TEST_F(Ctext, SearchScrollsTheFoundLineBelowTheTop) {
    std::string lines;
    for (int i = 0; i < 40; i++) lines += (i == 30 ? "needle\n" : "hay\n");
    ctext *f = shown(lines, 40, 30);
    std::strcpy(f->search_text, "needle");
    ctext_search_for_string(f, 1);
    EXPECT_EQ(f->cursor, 30 * 4);
    EXPECT_EQ(f->scroll_y, 30 * 6 - 52);
}

TEST_F(Ctext, GoToLine) {
    std::string lines;
    for (int i = 1; i <= 20; i++) lines += "line " + std::to_string(i) + "\n";
    ctext *f = shown(lines, 40, 30);
    struct Case {
        const char *number;
        int line;   // expected cursor line, or -1 for no move
    } cases[] = {{"12", 11}, {"1", 0}, {"0", 0}, {"-4", 0}, {"7abc", 6}, {" 3", 2}, {"abc", -1}, {"", -1}};
    for (const Case &c : cases) {
        f->cursor = 5;
        select(f, 1, 3);
        std::strcpy(f->search_text, c.number);
        ctext_search_for_line(f, 1);
        if (c.line < 0) {
            EXPECT_EQ(f->cursor, 5) << c.number;
            continue;
        }
        EXPECT_EQ(f->cursor, ctext_get_pos_for_line_number(f->text, c.line)) << c.number;
        EXPECT_EQ(f->sel_anchor, f->cursor);
        EXPECT_EQ(f->sel_end, f->cursor);
    }
    std::strcpy(f->search_text, "99");
    ctext_search_for_line(f, 1);
    EXPECT_EQ(f->cursor, int(lines.size()));
    std::strcpy(f->search_text, "15");
    ctext_search_for_line(f, 1);
    EXPECT_EQ(f->scroll_y, 14 * 6 - 52);
}

TEST_F(Ctext, BookmarksAreTheFunctions) {
    std::string t = "function a()\nend\nlocal function b()\nend\nfunction c() end";
    int a = 0, b = int(t.find("function b")), c = int(t.find("function c"));
    ctext *f = make(t);
    select(f, 2, 4);
    struct Step {
        int direction, at;
    } steps[] = {{1, b}, {1, c}, {1, a}, {-1, c}, {-1, b}, {-1, a}};
    for (const Step &s : steps) {
        ctext_search_for_bookmark(f, s.direction);
        EXPECT_EQ(f->cursor, s.at);
    }
    EXPECT_EQ(f->sel_anchor, 2);   // only the cursor moves
    EXPECT_EQ(f->sel_end, 4);
    ctext *g = make("no functions here");
    g->cursor = 3;
    ctext_search_for_bookmark(g, 1);
    EXPECT_EQ(g->cursor, 3);
}

TEST_F(Ctext, CharacterCategories) {
    for (int b = 0; b < 256; b++) {
        int expected = 0;
        if (b >= 128) expected = 3;
        else if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '_') expected = 1;
        else if (b && std::strchr("!@#$%^&*(){}[]<>:;.,~=+-/\\`'\"", b)) expected = 2;
        EXPECT_EQ(get_char_cat(b), expected) << b;
    }
    // The spot checks the table is made of.
    EXPECT_EQ(get_char_cat('A'), 0);
    EXPECT_EQ(get_char_cat(' '), 0);
    EXPECT_EQ(get_char_cat('\n'), 0);
    EXPECT_EQ(get_char_cat('|'), 0);
    EXPECT_EQ(get_char_cat('?'), 0);
    EXPECT_EQ(get_char_cat('`'), 2);
    int punctuation = 0;
    for (int b = 0; b < 128; b++) punctuation += get_char_cat(b) == 2;
    EXPECT_EQ(punctuation, 29);
}

TEST_F(Ctext, CursorSteps) {
    ctext *f = make("  foo_bar += 12;\nx");
    const int len = int(std::strlen(f->text));
    struct Case {
        bool ctrl;
        int cursor, direction, step;
    } cases[] = {
        {false, 0, -1, 0},  {false, 0, 1, 1},    {false, len, 1, 0}, {false, 3, -1, -1},
        {true, 0, 1, 9},    // the spaces, then the word
        {true, 9, 1, 3},    // " +="
        {true, 12, 1, 3},   // " 12"
        {true, 15, 1, 1},   // ";"
        {true, 16, 1, 2},   // the newline, then "x"
        {true, len, 1, 0},  {true, 9, -1, -7}, {true, 10, -1, -8}, {true, 2, -1, -2}, {true, 0, -1, 0},
    };
    for (const Case &c : cases) {
        tamukey[K_LCTRL] = last_tamukey[K_LCTRL] = c.ctrl ? 1 : 0;
        f->cursor = c.cursor;
        EXPECT_EQ(calculate_skip_steps(f, c.direction), c.step)
            << (c.ctrl ? "ctrl " : "") << c.cursor << " " << c.direction;
    }
}

TEST_F(Ctext, DoubleClickSelectsARunOfOneCategory) {
    struct Case {
        const char *text;
        int pos, anchor, end;
    } cases[] = {
        {"foo_bar += 12", 4, 0, 7},
        {"foo_bar += 12", 8, 8, 10},
        {"foo_bar += 12", 7, 7, 8},
        {"foo_bar += 12", 0, 0, 7},
        {"ab  ", 4, 2, 4},         // at the end: the run before it, and no further
        {"abc", 3, 3, 3},
        {"", 0, 0, 0},
        {"x\xc8\xc9y", 2, 1, 3},
    };
    for (const Case &c : cases) {
        ctext *f = make(c.text);
        ctext_select_from_double_click(f, c.pos);
        EXPECT_EQ(f->sel_anchor, c.anchor) << c.text << " @" << c.pos;
        EXPECT_EQ(f->sel_end, c.end) << c.text << " @" << c.pos;
        EXPECT_EQ(f->cursor, c.end);
    }
}

TEST_F(Ctext, DuplicateLine) {
    ctext *f = make("ab\ncd");
    f->cursor = 4;
    ctext_duplicate_line(f);
    EXPECT_EQ(text_of(f), "ab\ncd\ncd");
    EXPECT_EQ(f->cursor, 7);   // on the same text, now the lower copy
    EXPECT_EQ(snapshots(f->undo).size(), 1u);

    ctext *g = make("ab\n\ncd");
    g->cursor = 3;
    ctext_duplicate_line(g);
    EXPECT_EQ(text_of(g), "ab\n\ncd");
    EXPECT_EQ(g->undo->position, 0);

    ctext *h = make("abcd", 6);   // no room for the copy
    ctext_duplicate_line(h);
    EXPECT_EQ(text_of(h), "abcd");
    EXPECT_EQ(h->undo->position, 0);
}

}  // namespace
