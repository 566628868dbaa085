// The text field as a GUI element: its key table, the search line, the
// clipboard, the mouse and the drawing. Keys, mouse and clock come through
// an injected input source; the keys reach the field as an application
// routes them, from the character queue through tamu_gui_key_event. The
// clipboard is SDL's (kept in the process under the dummy video driver).
#include "fake_input.h"
#include "stub_app.h"
#include "tamu.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstring>
#include <initializer_list>
#include <string>

namespace {

enum : int {
    K_C = 6, K_D = 7, K_F = 9, K_G = 10, K_I = 12, K_L = 15, K_V = 25, K_X = 27, K_Y = 28, K_Z = 29,
    K_HOME = 74, K_PAGEUP = 75, K_DELETE = 76, K_END = 77, K_PAGEDOWN = 78,
};

std::string clipboard() {
    char *t = tamu_get_clipboard_text();
    std::string s = t;
    tamu_free(t);
    return s;
}

class Field : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_input_for_test();
        last_line_num = -1;
        cconfig.pixel_perfect = 1;
        cconfig.keep_aspect = 0;
        cconfig.tab_width = 0;
        for (int &v : cconfig.draw_rect) v = 0;
        tamu_back_page = tamu_create_bitmap(128, 128, 8);
        in.window_w = 128;
        in.window_h = 128;
        tamu_gui_init();
    }
    void TearDown() override {
        tamu_destroy_ctext(f);
        tamu_gui_exit();
        tamu_destroy_bitmap(tamu_back_page);
        tamu_back_page = nullptr;
        if (video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    // The field at (10, 20), 80 x 60 pixels, cells 4 x 6.
    void field(const std::string &text, int cursor = 0, int max_len = 1000) {
        f = tamu_create_ctext(nullptr, max_len);
        std::memcpy(f->text, text.data(), text.size());
        f->text[text.size()] = 0;
        f->cell_w = 4;
        f->line_h = 6;
        f->cursor = f->sel_anchor = f->sel_end = cursor;
        index = tamu_gui_add_ctext_field(nullptr, 10, 20, 80, 60, f);
        ASSERT_GE(index, 0);
    }
    bool clipboard_ready() {
        if (!video) video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        return video && tamu_set_clipboard_text("") == 0;
    }
    // Every queued character to the GUI, as an application does.
    void route() {
        for (int c : drain_queue()) tamu_gui_key_event(c);
    }
    // A key pressed while the modifiers are held, then everything released.
    void key(int scancode, std::initializer_list<int> modifiers = {}) {
        for (int m : modifiers) in.press(m);
        in.pump();
        drain_queue();   // the modifiers' own -1
        in.press(scancode);
        in.pump();
        route();
        in.release(scancode);
        for (int m : modifiers) in.release(m);
        in.pump();
        in.pump();
        drain_queue();
    }
    void type(const std::string &s) {
        for (char c : s) {
            char one[2] = {c, 0};
            in.text(one);
            in.pump();
            route();
        }
    }
    std::string text() const { return f->text; }
    // Snapshots on the undo stack, walked back by their trailing lengths.
    int snapshots_count() const {
        int n = 0;
        for (int end = f->undo->position; end > 0; n++) {
            const uint8_t *p = f->undo->data + end - 4;
            end -= 4 + int(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24);
        }
        return n;
    }
    void expect_selection(int anchor, int end) {
        EXPECT_EQ(f->sel_anchor, anchor);
        EXPECT_EQ(f->sel_end, end);
    }
    fake_input in;
    ctext *f = nullptr;
    int index = -1;
    bool video = false;
};

TEST_F(Field, HomeEndAndTheirCtrlForms) {
    // a0 b1 \n2 _3 _4 c5 d6 \n7 e8 f9
    struct Case {
        int key;
        std::initializer_list<int> modifiers;
        int cursor;
    } cases[] = {
        {K_HOME, {}, 3}, {K_END, {}, 7}, {K_HOME, {K_LCTRL}, 0}, {K_END, {K_RCTRL}, 10},
        {K_UP, {K_LCTRL}, 0}, {K_DOWN, {K_LCTRL}, 10}, {K_LEFT, {}, 4}, {K_RIGHT, {}, 6},
    };
    field("ab\n  cd\nef");
    for (const Case &c : cases) {
        f->cursor = f->sel_anchor = f->sel_end = 5;
        key(c.key, c.modifiers);
        EXPECT_EQ(f->cursor, c.cursor) << c.key;
        expect_selection(c.cursor, c.cursor);
    }
}

TEST_F(Field, ShiftExtendsTheSelectionAndPlainKeysCollapseIt) {
    field("ab\n  cd\nef", 5);
    key(K_END, {K_LSHIFT});
    EXPECT_EQ(f->cursor, 7);
    expect_selection(5, 7);
    key(K_RIGHT, {K_RSHIFT});
    expect_selection(5, 8);
    key(K_LEFT);
    EXPECT_EQ(f->cursor, 7);
    expect_selection(7, 7);
    key(K_RIGHT, {K_LCTRL, K_LSHIFT});   // word step: "ef"
    EXPECT_EQ(f->cursor, 10);
    expect_selection(7, 10);
}

TEST_F(Field, UpAndDownKeepThePreferredColumn) {
    field("abcdef\nab\nabcdef", 4);
    key(K_RIGHT);   // the column comes from a horizontal move
    struct Step {
        int key, cursor;
    } steps[] = {{K_DOWN, 9}, {K_DOWN, 15}, {K_DOWN, 15}, {K_UP, 9}, {K_UP, 5}, {K_UP, 0}};
    for (const Step &s : steps) {
        key(s.key);
        EXPECT_EQ(f->cursor, s.cursor) << s.key;
    }
    // A horizontal move sets a new column.
    key(K_DOWN);
    key(K_END);
    key(K_DOWN);
    EXPECT_EQ(f->cursor, 12);
}

TEST_F(Field, PagesAreTheElementHeightInLines) {
    // Ten lines "lN\n"; 60 / 6 = 10 lines a page: use a shorter element.
    std::string t;
    for (int i = 0; i < 10; i++) t += "l" + std::to_string(i) + "\n";
    field(t, 0);
    key(K_RIGHT);
    tamu_get_gui_element(index)->h = 12;   // two lines
    struct Step {
        int key, line;
    } steps[] = {{K_PAGEDOWN, 2}, {K_PAGEDOWN, 4}, {K_PAGEUP, 2}, {K_PAGEDOWN, 4}, {K_PAGEDOWN, 6},
                 {K_PAGEDOWN, 8}, {K_PAGEDOWN, 10}, {K_PAGEUP, 8}};
    for (const Step &s : steps) {
        key(s.key);
        int expected = ctext_get_pos_for_line_number(f->text, s.line) + (s.line < 10 ? 1 : 0);
        EXPECT_EQ(f->cursor, expected) << "line " << s.line;
    }
    tamu_get_gui_element(index)->h = 5;   // under a line: no paging
    int before = f->cursor;
    key(K_PAGEUP);
    EXPECT_EQ(f->cursor, before);
    // Paging scrolls the view to the cursor.
    tamu_get_gui_element(index)->h = 12;
    f->scroll_y = 0;
    key(K_PAGEDOWN);
    EXPECT_GT(f->scroll_y, 0);
}

TEST_F(Field, BackspaceDeleteAndTypedBytes) {
    field("ab\ncd", 3);
    key(K_BACKSPACE);   // joins the lines
    EXPECT_EQ(text(), "abcd");
    EXPECT_EQ(f->cursor, 2);
    key(K_DELETE);
    EXPECT_EQ(text(), "abd");
    EXPECT_EQ(f->cursor, 2);
    type("XY z");
    EXPECT_EQ(text(), "abXY zd");
    EXPECT_EQ(f->cursor, 6);
    f->sel_anchor = 1;
    f->sel_end = 4;
    type("_");   // replaces the selection
    EXPECT_EQ(text(), "a_ zd");
    f->sel_anchor = 0;
    f->sel_end = 2;
    key(K_BACKSPACE);
    EXPECT_EQ(text(), " zd");
    f->cursor = 0;
    f->sel_anchor = f->sel_end = 0;
    key(K_BACKSPACE);   // at the start: nothing
    key(K_DELETE);
    EXPECT_EQ(text(), "zd");
    f->cursor = 2;
    key(K_DELETE);      // at the end: nothing
    EXPECT_EQ(text(), "zd");

    // Ctrl with a printable key types nothing.
    key(K_0, {K_LCTRL});
    EXPECT_EQ(text(), "zd");
}

TEST_F(Field, TypingStopsAtTheLimit) {
    field("abc", 3, 5);
    type("xyz");
    EXPECT_EQ(text(), "abcxy");
    EXPECT_EQ(f->cursor, 5);
}

TEST_F(Field, EnterCarriesTheIndentation) {
    struct Case {
        const char *before;
        int cursor;
        const char *after;
        int cursor_after;
    } cases[] = {
        {"  foo", 5, "  foo\n  ", 8},
        {"\t x", 3, "\t x\n\t ", 6},
        {"  foo", 1, " \n  foo", 3},   // only the indentation before the cursor
        {"bar", 1, "b\nar", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.before);
        tamu_destroy_ctext(f);
        tamu_gui_clear();
        field(c.before, c.cursor);
        key(K_RETURN);
        EXPECT_EQ(text(), c.after);
        EXPECT_EQ(f->cursor, c.cursor_after);
    }
}

TEST_F(Field, TabInsertsOrIndents) {
    struct Case {
        int tab_width;
        const char *before;
        int anchor, end;
        bool shift;
        const char *after;
    } cases[] = {
        {0, "ab", 1, 1, false, "a\tb"},
        {1, "ab", 1, 1, false, "a\tb"},
        {4, "ab", 1, 1, false, "a    b"},
        {12, "ab", 1, 1, false, "a        b"},   // at most 8
        {0, "a\nb\nc", 0, 3, false, "\ta\n\tb\nc"},
        {1, "a\nb\nc", 3, 0, false, "\ta\n\tb\nc"},
        {2, "a\nb\nc", 0, 5, false, "  a\n  b\n  c"},
        {0, "a\nb\nc", 0, 2, false, "\ta\nb\nc"},   // ends at a line start: that line is not in it
        {0, "\ta\n b\nc", 0, 5, true, "a\nb\nc"},
        {0, "  a\nb", 0, 5, true, " a\nb"},      // one per press
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.tab_width << " " << c.before);
        cconfig.tab_width = c.tab_width;
        tamu_destroy_ctext(f);
        tamu_gui_clear();
        field(c.before, c.end);
        f->sel_anchor = c.anchor;
        if (c.shift) key(K_TAB, {K_LSHIFT});
        else key(K_TAB);
        EXPECT_EQ(text(), c.after);
        if (c.anchor != c.end) {
            // The selection covers the lines it touched.
            int a = f->sel_anchor, e = f->sel_end;
            EXPECT_EQ(a, 0);
            EXPECT_TRUE(f->text[e] == 0 || f->text[e] == '\n');
            ASSERT_EQ(snapshots_count(), 1);
        }
    }
}

TEST_F(Field, SelectAllAndTheClipboardKeys) {
    if (!clipboard_ready()) GTEST_SKIP() << "no SDL clipboard";
    field("one \xc8 two", 0);
    key(K_A, {K_LCTRL});
    expect_selection(0, 9);   // the text's length, not one past it
    key(K_C, {K_LCTRL});
    EXPECT_EQ(clipboard(), "one \\200 two");
    EXPECT_EQ(text(), "one \xc8 two");

    f->sel_anchor = 4;
    f->sel_end = 5;
    key(K_X, {K_LCTRL});
    EXPECT_EQ(clipboard(), "\\200");
    EXPECT_EQ(text(), "one  two");
    EXPECT_EQ(f->cursor, 4);

    f->cursor = f->sel_anchor = f->sel_end = 0;
    key(K_V, {K_LCTRL});
    EXPECT_EQ(text(), "\xc8one  two");   // the escape turned back into the byte
    EXPECT_EQ(f->cursor, 1);

    // Paste over a selection replaces it.
    tamu_set_clipboard_text("X\\127Y");
    f->sel_anchor = 1;
    f->sel_end = 4;
    f->cursor = 4;
    key(K_V, {K_LCTRL});
    EXPECT_EQ(text(), "\xc8X\\127Y  two");

    // An empty selection copies nothing and cuts nothing.
    tamu_set_clipboard_text("kept");
    f->sel_anchor = f->sel_end = 2;
    key(K_C, {K_LCTRL});
    key(K_X, {K_LCTRL});
    EXPECT_EQ(clipboard(), "kept");
    EXPECT_EQ(text(), "\xc8X\\127Y  two");

    // Select all, then typing replaces everything.
    key(K_A, {K_LCTRL});
    type("q");
    EXPECT_EQ(text(), "q");
}

TEST_F(Field, PasteDropsCarriageReturnsAndRefusesWhatDoesNotFit) {
    if (!clipboard_ready()) GTEST_SKIP() << "no SDL clipboard";
    field("0123456789abcde", 15, 20);
    tamu_set_clipboard_text("0123456789");   // 10 bytes, 5 left
    key(K_V, {K_LCTRL});
    EXPECT_EQ(text(), "0123456789abcde");
    EXPECT_EQ(f->undo->position, 0);

    tamu_set_clipboard_text("a\r\nb");
    key(K_V, {K_LCTRL});
    EXPECT_EQ(text(), "0123456789abcdea\nb");
    EXPECT_EQ(f->cursor, 18);
    EXPECT_GT(f->undo->position, 0);
    key(K_Z, {K_LCTRL});
    EXPECT_EQ(text(), "0123456789abcde");
}

TEST_F(Field, UndoAndRedoKeys) {
    field("start", 5);
    type(" one");
    key(K_RETURN);
    type("two");
    EXPECT_EQ(text(), "start one\ntwo");
    key(K_Z, {K_LCTRL});
    EXPECT_EQ(text(), "start one\n");
    key(K_Z, {K_LCTRL});
    EXPECT_EQ(text(), "start");
    EXPECT_EQ(f->cursor, 5);
    key(K_Z, {K_LCTRL});   // nothing more to undo
    EXPECT_EQ(text(), "start");
    key(K_Y, {K_LCTRL});
    EXPECT_EQ(text(), "start one\n");
    key(K_Z, {K_LCTRL, K_LSHIFT});   // left Shift: redo
    EXPECT_EQ(text(), "start one\ntwo");
    key(K_Y, {K_LCTRL});
    EXPECT_EQ(text(), "start one\ntwo");
    key(K_Z, {K_LCTRL, K_RSHIFT});   // right Shift: undo
    EXPECT_EQ(text(), "start one\n");
}

TEST_F(Field, DuplicateLineKey) {
    field("ab\ncd", 4);
    key(K_D, {K_LCTRL});
    EXPECT_EQ(text(), "ab\ncd\ncd");
    key(K_Z, {K_LCTRL});
    EXPECT_EQ(text(), "ab\ncd");
}

TEST_F(Field, SearchLineFindsAndGoesToLines) {
    std::string t;
    for (int i = 1; i <= 30; i++) t += (i == 25 ? "target\n" : "line\n");
    field(t, 0);
    key(K_F, {K_LCTRL});
    EXPECT_EQ(f->search_active, 1);
    EXPECT_EQ(f->search_kind, 0);
    type("targ");
    EXPECT_STREQ(f->search_text, "targ");
    EXPECT_EQ(text(), t);   // the keys went to the search line
    key(K_UP);
    EXPECT_EQ(f->cursor, 0);
    key(K_ESCAPE);
    EXPECT_EQ(f->search_active, 1);
    key(K_RETURN);
    EXPECT_EQ(f->search_active, 0);
    int at = int(t.find("target"));
    EXPECT_EQ(f->cursor, at);
    expect_selection(at, at + 4);
    EXPECT_EQ(f->scroll_y, 24 * 6 - 52);

    // Ctrl+G finds the next (here: the same, wrapped).
    f->cursor = f->sel_anchor = f->sel_end = 0;
    key(K_G, {K_LCTRL});
    EXPECT_EQ(f->cursor, at);

    // Ctrl+L: a line number.
    key(K_L, {K_LCTRL});
    EXPECT_EQ(f->search_active, 1);
    EXPECT_EQ(f->search_kind, 1);
    for (int i = 0; i < 4; i++) key(K_BACKSPACE);
    type("7");
    key(K_RETURN);
    EXPECT_EQ(f->cursor, ctext_get_pos_for_line_number(f->text, 6));

    // Ctrl+F and Ctrl+I toggle it.
    key(K_I, {K_LCTRL});
    EXPECT_EQ(f->search_active, 1);
    key(K_F, {K_LCTRL});
    EXPECT_EQ(f->search_active, 0);
}

TEST_F(Field, SearchLineEditing) {
    field("text", 0);
    key(K_F, {K_LCTRL});
    type("acd");
    key(K_LEFT);
    key(K_LEFT);
    type("b");
    EXPECT_STREQ(f->search_text, "abcd");
    key(K_DELETE);
    EXPECT_STREQ(f->search_text, "abd");
    key(K_BACKSPACE);
    EXPECT_STREQ(f->search_text, "ad");
    key(K_RIGHT);
    key(K_RIGHT);
    key(K_RIGHT);
    type("!");
    EXPECT_STREQ(f->search_text, "ad!");
    EXPECT_EQ(f->search_cursor, 3);
}

TEST_F(Field, SearchLineLimitsItsLengthNotItsCursor) {
    field("text", 0);
    key(K_F, {K_LCTRL});
    // A long search text with the cursor at its start.
    std::memset(f->search_text, 'a', 254);
    f->search_text[254] = 0;
    f->search_cursor = 0;
    type("b");
    EXPECT_EQ(std::strlen(f->search_text), 254u);
    EXPECT_EQ(f->search_text[0], 'a');
    f->search_text[252] = 0;
    type("bb");
    EXPECT_EQ(std::strlen(f->search_text), 253u);
    EXPECT_EQ(f->search_text[0], 'b');

    // Typing at the end stops at the same length.
    f->search_text[0] = 0;
    f->search_cursor = 0;
    for (int i = 0; i < 300; i++) {
        in.text("c");
        in.pump();
        route();
    }
    EXPECT_EQ(std::strlen(f->search_text), size_t(CTEXT_SEARCH_TYPED_LIMIT + 1));
    EXPECT_EQ(f->search_text[CTEXT_SEARCH_SIZE - 1], 0);
}

TEST_F(Field, SearchLinePastesAtMost255Bytes) {
    if (!clipboard_ready()) GTEST_SKIP() << "no SDL clipboard";
    field("text", 0);
    key(K_F, {K_LCTRL});
    tamu_set_clipboard_text(std::string(300, 'p').c_str());
    key(K_V, {K_LCTRL});
    EXPECT_EQ(std::strlen(f->search_text), 255u);
    EXPECT_EQ(f->search_cursor, 255);
    type("q");
    EXPECT_EQ(std::strlen(f->search_text), 255u);
    EXPECT_EQ(text(), "text");
}

TEST_F(Field, AltUpAndDownVisitFunctions) {
    std::string t = "function a()\nend\n\n\n\n\n\n\n\n\n\n\n\n\n\n\nfunction b()\nend";
    int b = int(t.find("function b"));
    field(t, 0);
    f->sel_anchor = 0;
    f->sel_end = 3;
    key(K_DOWN, {K_LALT});
    EXPECT_EQ(f->cursor, b);
    expect_selection(b, b);
    EXPECT_EQ(f->scroll_y, ctext_get_line_number_for_pos(f->text, b) * 6 - 6);   // margin: one line
    key(K_DOWN, {K_LALT});
    EXPECT_EQ(f->cursor, 0);
    key(K_UP, {K_RALT});
    EXPECT_EQ(f->cursor, b);
}

TEST_F(Field, StaleCursorFromADirectWriteIsClampedByKeys) {
    field("hello world", 11);
    f->sel_anchor = 3;
    f->sel_end = 11;
    std::strcpy(f->text, "hi");   // a loader replaced the text
    key(K_BACKSPACE);
    EXPECT_EQ(text(), "h");
    EXPECT_EQ(f->cursor, 1);
    f->cursor = 40;
    type("!");
    EXPECT_EQ(text(), "h!");
    f->cursor = 40;
    f->sel_anchor = 30;
    f->sel_end = 35;
    key(K_DELETE);
    EXPECT_EQ(text(), "h!");
    EXPECT_EQ(f->cursor, 2);
}

// The mouse through the GUI processing.
class FieldMouse : public Field {
  protected:
    void frame(int x, int y, int buttons = 0, int extra_ms = 0) {
        in.clock += extra_ms;
        in.mouse_x = x;
        in.mouse_y = y;
        in.mouse_buttons = buttons;
        in.pump();
        tamu_process_gui();
    }
    // Pixel of a cell: line n, column c, inside the element at (10, 20).
    static int px(int c) { return 10 + 4 * c + 1; }
    static int py(int n) { return 20 + 6 * n + 2; }
};

TEST_F(FieldMouse, PressDragAndShiftPress) {
    // hello world\n (0-11) second line\n (12-23) third (24-28)
    field("hello world\nsecond line\nthird", 0);
    tamu_gui_set_keyboard_focus(nullptr);
    frame(px(3), py(1), 1, 1000);
    EXPECT_EQ(tamu_gui_get_keyboard_focus(), f->element);
    EXPECT_EQ(f->cursor, 15);
    expect_selection(15, 15);
    frame(px(2), py(2), 1);
    EXPECT_EQ(f->cursor, 26);
    expect_selection(15, 26);
    frame(px(40), py(0), 1);   // right of the line's end
    EXPECT_EQ(f->cursor, 11);
    frame(px(40), py(0), 0);
    expect_selection(15, 11);

    // With Shift held a press moves only the end.
    in.press(K_LSHIFT);
    in.pump();
    frame(px(1), py(2), 1, 1000);
    EXPECT_EQ(f->cursor, 25);
    expect_selection(15, 25);
    frame(px(1), py(2), 0);
    in.release(K_LSHIFT);
    in.pump();
    in.pump();

    // Below the last line: the end of the text; the wheel scrolls.
    frame(px(0), py(9), 1, 1000);
    EXPECT_EQ(f->cursor, 29);
    frame(px(0), py(9), 0);
}

TEST_F(FieldMouse, DoubleClickSelectsAWordThatTheDragKeeps) {
    field("hello world\nsecond", 0);
    frame(px(8), py(0), 1, 1000);
    frame(px(8), py(0), 0);
    frame(px(8), py(0), 1, 100);   // the double press
    expect_selection(6, 11);
    frame(px(2), py(1), 1);        // dragging keeps the word
    expect_selection(6, 11);
    frame(px(2), py(1), 0);
    expect_selection(6, 11);
    // A new single press starts over.
    frame(px(1), py(0), 1, 1000);
    expect_selection(1, 1);
    frame(px(1), py(0), 0);

    // Double click at the end of the text: nothing past it.
    frame(px(30), py(1), 1, 1000);
    frame(px(30), py(1), 0);
    frame(px(30), py(1), 1, 100);
    EXPECT_LE(f->sel_end, 18);
    EXPECT_LE(f->sel_anchor, 18);
    EXPECT_LE(f->cursor, 18);
}

TEST_F(FieldMouse, WheelScrollsAndScrollOffsetsTheMouse) {
    std::string t;
    for (int i = 0; i < 40; i++) t += "line " + std::to_string(i) + "\n";
    field(t, 0);
    // The top pixel row of the element is the first line's.
    frame(px(2), 20, 1, 1000);
    EXPECT_EQ(f->cursor, 2);
    frame(px(2), 20, 0);
    f->scroll_y = 30;
    in.event(TAMU_EVENT_WHEEL, 0, 0, 2);
    frame(px(0), py(0));
    EXPECT_EQ(f->scroll_y, 30 - 6 * 2 * 2);
    in.event(TAMU_EVENT_WHEEL, 0, 0, 5);
    frame(px(0), py(0));
    EXPECT_EQ(f->scroll_y, 0);
    in.event(TAMU_EVENT_WHEEL, 0, 0, -3);
    frame(px(0), py(0));
    EXPECT_EQ(f->scroll_y, 36);

    // With the view scrolled, the line in view there.
    frame(px(2), 20, 1, 1000);
    EXPECT_EQ(f->cursor, ctext_get_pos_for_line_number(f->text, 6) + 2);
    frame(px(2), 20, 0);
}

// Drawing into an 8-bit bitmap.
class FieldDraw : public Field {
  protected:
    void SetUp() override {
        Field::SetUp();
        tamu_text_init();
        page = tamu_create_bitmap(64, 32, 8);
    }
    void TearDown() override {
        tamu_destroy_bitmap(page);
        tamu_text_exit();
        Field::TearDown();
    }
    void shown(const std::string &text, int cursor) {
        f = tamu_create_ctext(nullptr, int(text.size()) + 100);
        std::strcpy(f->text, text.c_str());
        f->cell_w = 6;
        f->line_h = 6;
        f->cursor = cursor;
        f->cursor_colour = 9;
        index = tamu_gui_add_ctext_field(page, 2, 2, 40, 20, f);
    }
    void draw_at(int clock) {
        in.clock = clock - cconfig.frame_sleep_ms;
        in.pump();
        tamu_clear_bitmap(page);
        tamu_gui_broadcast(TAMU_GUI_DRAW, 0);
    }
    uint32_t at(int x, int y) { return tamu_getpixel(page, x, y); }
    cbitmap *page = nullptr;
};

TEST_F(FieldDraw, BackgroundGlyphsAndBlinkingCursor) {
    shown("A\xc8" "B\nB", 1);
    draw_at(0x1000);   // blink bit clear
    EXPECT_EQ(at(0, 0), 0u);        // outside the element
    EXPECT_EQ(at(41, 21), 0x40u);   // its last pixel
    EXPECT_EQ(at(42, 21), 0u);
    // "A": top row ink in columns 0..5 (bold); byte 200 takes two cells
    // and draws nothing; "B" at 2 + 6 * 3.
    EXPECT_EQ(at(2, 2), 0xFFu);
    EXPECT_EQ(at(7, 2), 0xFFu);
    EXPECT_EQ(at(8, 2), 0x40u);
    for (int x = 8; x < 20; x++) EXPECT_EQ(at(x, 3), 0x40u) << x;
    EXPECT_EQ(at(20, 2), 0xFFu);
    EXPECT_EQ(at(2, 8), 0xFFu);     // the second line
    // The clip is the whole bitmap again.
    EXPECT_EQ(page->clip_x0, 0);
    EXPECT_EQ(page->clip_x1, 64);
    EXPECT_EQ(page->clip_y1, 32);

    draw_at(0x1100);   // blink bit set: a 6 x 5 block one pixel below the line top
    EXPECT_EQ(at(8, 3), 9u);
    EXPECT_EQ(at(13, 7), 9u);
    EXPECT_EQ(at(8, 2), 0x40u);
    EXPECT_EQ(at(8, 8), 0x40u);

    tamu_gui_set_keyboard_focus(nullptr);   // no focus, no cursor
    draw_at(0x1100);
    EXPECT_EQ(at(8, 3), 0x40u);
}

TEST_F(FieldDraw, ScrollingMovesTheTextAndTheElementClipsIt) {
    std::string t;
    for (int i = 0; i < 10; i++) t += "BBBBBBBBBB\n";
    shown(t, 0);
    f->scroll_x = 3;
    f->scroll_y = 2;
    draw_at(0x1000);
    EXPECT_EQ(at(1, 1), 0u);
    EXPECT_EQ(at(2, 2), 0xFFu);     // the glyph's row 2 column 3
    EXPECT_EQ(at(42, 10), 0u);      // nothing drawn right of the element
    EXPECT_EQ(at(10, 22), 0u);      // nor below it
}

int custom_calls = 0;
void custom_draw(cbitmap *bitmap, int x, int y, int w, int h, ctext *) {
    custom_calls++;
    tamu_putpixel(bitmap, x + w - 1, y + h - 1, 5);
    tamu_putpixel(bitmap, x + w, y + h, 5);   // outside the element: clipped
}

TEST_F(FieldDraw, ADrawFunctionReplacesTheDefault) {
    shown("A", 0);
    f->draw = custom_draw;
    draw_at(0x1000);
    EXPECT_EQ(custom_calls, 1);
    EXPECT_EQ(at(2, 2), 0u);
    EXPECT_EQ(at(41, 21), 5u);
    EXPECT_EQ(at(42, 22), 0u);
}

}  // namespace
