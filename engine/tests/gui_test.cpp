// The GUI element list: adding, deleting, focus and raising, and the
// messages the per-frame processing sends for a scripted mouse, driven
// through an injected input source.
#include "fake_input.h"
#include "stub_app.h"
#include "tamu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct message {
    int slot, number, mx, my, buttons;
    bool operator==(const message &o) const {
        return slot == o.slot && number == o.number && mx == o.mx && my == o.my && buttons == o.buttons;
    }
};

std::ostream &operator<<(std::ostream &out, const message &m) {
    return out << "{slot " << m.slot << ", msg " << m.number << ", " << m.mx << ", " << m.my << ", b " << m.buttons
               << "}";
}

std::vector<message> received;

int record_handler(cguie *e, int mx, int my, int buttons, int number) {
    received.push_back({tamu_gui_element_index(e), number, mx, my, buttons});
    return 0;
}

// Message numbers alone, for sequences where the arguments do not matter.
std::vector<int> numbers() {
    std::vector<int> out;
    for (const message &m : received) out.push_back(m.number);
    return out;
}

class Gui : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_input_for_test();
        cconfig.pixel_perfect = 1;
        cconfig.keep_aspect = 0;
        for (int &v : cconfig.draw_rect) v = 0;
        tamu_back_page = tamu_create_bitmap(128, 128, 8);
        in.window_w = 128;   // back-page pixels are window pixels
        in.window_h = 128;
        ASSERT_EQ(tamu_gui_init(), 0);
        received.clear();
    }
    void TearDown() override {
        tamu_gui_exit();
        tamu_destroy_bitmap(tamu_back_page);
        tamu_back_page = nullptr;
    }
    int add(int x, int y, int w, int h, int type = 1) { return tamu_add_guie(0, x, y, w, h, type, record_handler); }
    // One frame: the pump (which advances the clock by its sleep, 10 ms)
    // and the GUI processing.
    void frame(int x, int y, int buttons = 0, int extra_ms = 0) {
        in.clock += extra_ms;
        in.mouse_x = x;
        in.mouse_y = y;
        in.mouse_buttons = buttons;
        in.pump();
        tamu_process_gui();
    }
    fake_input in;
};

TEST_F(Gui, ElementsAreAddedLookedUpAndDeleted) {
    EXPECT_EQ(tamu_gui_num_elements(), 0);
    int a = tamu_add_guie(77, 1, 2, 3, 4, 9, record_handler);
    int b = add(0, 0, 5, 5);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(tamu_gui_num_elements(), 2);

    cguie *e = tamu_get_gui_element(a);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->user, 77);
    EXPECT_EQ(e->x, 1);
    EXPECT_EQ(e->y, 2);
    EXPECT_EQ(e->w, 3);
    EXPECT_EQ(e->h, 4);
    EXPECT_EQ(e->type, 9);
    EXPECT_EQ(e->flags, 0u);
    EXPECT_EQ(e->handler, record_handler);
    EXPECT_EQ(e->attached, nullptr);
    EXPECT_EQ(tamu_gui_element_index(e), a);

    EXPECT_EQ(tamu_get_gui_element(-1), nullptr);
    EXPECT_EQ(tamu_get_gui_element(TAMU_GUI_ELEMENTS), nullptr);
    EXPECT_NE(tamu_get_gui_element(TAMU_GUI_ELEMENTS - 1), nullptr);

    // A claimed record starts zeroed, whatever its slot held before.
    e->flags = TAMU_GUIE_FOCUS | TAMU_GUIE_OVER;
    e->attached = e;
    tamu_delete_guie(a);
    EXPECT_EQ(tamu_gui_num_elements(), 1);
    EXPECT_EQ(tamu_gui_element_index(e), -1);
    tamu_delete_guie(a);   // a free slot is left alone
    tamu_delete_guie(-5);
    tamu_delete_guie(5000);
    EXPECT_EQ(tamu_gui_num_elements(), 1);
    int c = add(0, 0, 1, 1);
    EXPECT_EQ(c, a);
    EXPECT_EQ(tamu_get_gui_element(c)->flags, 0u);
    EXPECT_EQ(tamu_get_gui_element(c)->attached, nullptr);
}

TEST_F(Gui, FullListRefusesAnotherElementAndChangesNothing) {
    std::vector<bool> seen(TAMU_GUI_ELEMENTS, false);
    for (int i = 0; i < TAMU_GUI_ELEMENTS; i++) {
        int slot = add(i, 0, 1, 1);
        ASSERT_GE(slot, 0);
        ASSERT_LT(slot, TAMU_GUI_ELEMENTS);
        EXPECT_FALSE(seen[size_t(slot)]);
        seen[size_t(slot)] = true;
    }
    std::vector<uint8_t> before(tamu_gui->block, tamu_gui->block + TAMU_GUI_ELEMENTS * sizeof(cguie));
    // Distinct from every real index, the first one (0) included.
    EXPECT_EQ(add(500, 500, 9, 9), -1);
    EXPECT_EQ(tamu_gui_num_elements(), TAMU_GUI_ELEMENTS);
    EXPECT_EQ(std::memcmp(before.data(), tamu_gui->block, before.size()), 0);
}

TEST_F(Gui, WithoutAListNothingIsAddedOrSent) {
    tamu_gui_exit();
    EXPECT_EQ(add(0, 0, 10, 10), -1);
    EXPECT_EQ(tamu_gui_num_elements(), 0);
    EXPECT_EQ(tamu_get_gui_element(0), nullptr);
    EXPECT_EQ(tamu_gui_cursor_element(), -1);
    EXPECT_EQ(tamu_gui_get_keyboard_focus(), nullptr);
    tamu_gui_message(0, 3);
    tamu_gui_broadcast(7, 0);
    tamu_gui_key_event('a');
    frame(5, 5, 1);
    EXPECT_TRUE(received.empty());
}

// The cursor element and direct messages go by which slots are used, not
// by comparing the slot with the element count.
TEST_F(Gui, CursorElementAndMessagesFollowUsedSlotsAfterDeletions) {
    int a = add(0, 0, 10, 10), b = add(20, 0, 10, 10), c = add(40, 0, 10, 10);
    tamu_delete_guie(a);
    tamu_delete_guie(b);
    ASSERT_EQ(tamu_gui_num_elements(), 1);   // slot 2 is live, above the count
    frame(45, 5);
    EXPECT_EQ(tamu_gui_cursor_element(), c);
    received.clear();
    tamu_gui_message(c, 42);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (message{c, 42, 45, 5, 0}));
    received.clear();
    tamu_gui_message_ex(c, 43, 1, 2, 3);
    EXPECT_EQ(received, (std::vector<message>{{c, 43, 1, 2, 3}}));

    // A deleted element is not reported, even though its record keeps the
    // flag and its slot is below the count.
    received.clear();
    int d = add(60, 0, 10, 10), e = add(80, 0, 10, 10);
    frame(65, 5);
    ASSERT_EQ(tamu_gui_cursor_element(), d);
    tamu_delete_guie(d);
    EXPECT_TRUE(tamu_get_gui_element(d)->flags & TAMU_GUIE_OVER);
    EXPECT_EQ(tamu_gui_cursor_element(), -1);
    received.clear();
    tamu_gui_message(d, 42);
    tamu_gui_message_ex(d, 42, 0, 0, 0);
    tamu_gui_message(-1, 42);
    tamu_gui_message(TAMU_GUI_ELEMENTS, 42);
    EXPECT_TRUE(received.empty());
    tamu_gui_message(e, 42);
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(Gui, KeyboardFocusIsHeldByOneElement) {
    int a = add(0, 0, 10, 10), b = add(20, 0, 10, 10);
    cguie *ea = tamu_get_gui_element(a), *eb = tamu_get_gui_element(b);
    EXPECT_EQ(tamu_gui_get_keyboard_focus(), nullptr);
    tamu_gui_set_keyboard_focus(eb);
    EXPECT_EQ(tamu_gui_get_keyboard_focus(), eb);
    EXPECT_FALSE(ea->flags & TAMU_GUIE_FOCUS);
    tamu_gui_set_keyboard_focus(ea);
    EXPECT_EQ(tamu_gui_get_keyboard_focus(), ea);
    EXPECT_FALSE(eb->flags & TAMU_GUIE_FOCUS);
    tamu_gui_set_keyboard_focus(nullptr);
    EXPECT_EQ(tamu_gui_get_keyboard_focus(), nullptr);
}

TEST_F(Gui, OverlapGoesToTheLaterElementUnlessTheEarlierIsRaised) {
    int a = add(0, 0, 20, 20), b = add(10, 10, 20, 20);
    frame(15, 15);
    EXPECT_EQ(tamu_gui_cursor_element(), b);
    EXPECT_FALSE(tamu_get_gui_element(a)->flags & TAMU_GUIE_OVER);

    tamu_gui_elevate_element(tamu_get_gui_element(a));
    EXPECT_TRUE(tamu_get_gui_element(a)->flags & TAMU_GUIE_RAISED);
    received.clear();
    frame(15, 15);
    EXPECT_EQ(tamu_gui_cursor_element(), a);
    // b is left (2) before a is entered: the walk runs backwards.
    EXPECT_EQ(received, (std::vector<message>{{b, 2, 15, 15, 0}, {a, 3, 15, 15, 0}, {a, 1, 15, 15, 0}}));
    EXPECT_TRUE(tamu_get_gui_element(a)->flags & TAMU_GUIE_RAISED);

    // Raising lasts while the element is under the mouse.
    frame(50, 50);
    EXPECT_FALSE(tamu_get_gui_element(a)->flags & TAMU_GUIE_RAISED);
    frame(15, 15);
    EXPECT_EQ(tamu_gui_cursor_element(), b);
}

TEST_F(Gui, ScriptedMouseGivesTheMessageSequence) {
    int e = add(10, 10, 20, 20);
    frame(5, 5);   // outside
    EXPECT_TRUE(received.empty());

    struct Step {
        int x, y, buttons, extra_ms;
        std::vector<message> expected;
    } steps[] = {
        // First frame over it: hover, then enter.
        {15, 15, 0, 0, {{e, 3, 15, 15, 0}, {e, 1, 15, 15, 0}}},
        {16, 15, 0, 0, {{e, 3, 16, 15, 0}}},
        // The press and, in the same frame, the drag.
        {16, 15, 1, 0, {{e, 4, 16, 15, 1}, {e, 5, 16, 15, 1}}},
        {18, 17, 1, 0, {{e, 5, 18, 17, 1}}},
        // Dragged outside: still the pressed element's drag, and it is left.
        {40, 40, 1, 0, {{e, 2, 40, 40, 1}, {e, 5, 40, 40, 1}}},
        // Released outside, far from the press: release alone.
        {40, 40, 0, 0, {{e, 6, 40, 40, 0}}},
        // Back over it; a press and a quick release near it: click (12)
        // with the buttons as they were.
        {20, 20, 0, 500, {{e, 3, 20, 20, 0}, {e, 1, 20, 20, 0}}},
        {20, 20, 2, 0, {{e, 4, 20, 20, 2}, {e, 5, 20, 20, 2}}},
        {21, 20, 0, 0, {{e, 6, 21, 20, 0}, {e, 12, 21, 20, 2}}},
        // A second press within 400 ms and 20 pixels: double press (11);
        // its release is a click and a double release (15).
        {25, 25, 1, 200, {{e, 4, 25, 25, 1}, {e, 11, 25, 25, 1}, {e, 5, 25, 25, 1}}},
        {25, 25, 0, 0, {{e, 6, 25, 25, 0}, {e, 12, 25, 25, 1}, {e, 15, 25, 25, 1}}},
        {25, 25, 0, 0, {{e, 3, 25, 25, 0}}},
        {50, 50, 0, 0, {{e, 2, 50, 50, 0}}},
        {50, 50, 0, 0, {}},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(::testing::Message() << s.x << "," << s.y << " b" << s.buttons);
        received.clear();
        frame(s.x, s.y, s.buttons, s.extra_ms);
        EXPECT_EQ(received, s.expected);
    }
}

TEST_F(Gui, HoverIsNotSentWhileAButtonIsDown) {
    int e = add(0, 0, 50, 50);
    frame(70, 70, 1);   // pressed elsewhere, then moved over it
    received.clear();
    frame(10, 10, 1);
    EXPECT_EQ(received, (std::vector<message>{{e, 1, 10, 10, 1}}));   // enter, no press: the button was down already
}

TEST_F(Gui, DoublePressNeedsBothTimeAndDistance) {
    struct Case {
        int delay_ms, dx, dy;
        bool double_press;
    } cases[] = {
        {300, 10, 0, true},
        {399, 0, 0, true},
        {400, 0, 0, false},
        {100, 19, 0, true},   // 361
        {100, 20, 0, false},  // 400
        {100, 12, 16, false}, // 144 + 256 = 400
        {100, -12, 15, true}, // 369
    };
    add(0, 0, 128, 128);
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.delay_ms << " ms, " << c.dx << "," << c.dy);
        frame(50, 50, 1, 1000);   // a first press long after anything before
        frame(50, 50, 0);
        received.clear();
        // The release took one pump (10 ms); the second press comes
        // delay_ms after the first.
        frame(50 + c.dx, 50 + c.dy, 1, c.delay_ms - 20);
        std::vector<int> n = numbers();
        bool got = std::find(n.begin(), n.end(), 11) != n.end();
        EXPECT_EQ(got, c.double_press);
        frame(50 + c.dx, 50 + c.dy, 0);
    }
}

TEST_F(Gui, FirstPressIsNotADoublePress) {
    // Right after start-up the clock is small and no press has happened:
    // a press at the origin must not pair with a press that never was.
    in.clock = 50;
    add(0, 0, 10, 10);
    frame(0, 0, 1);
    frame(0, 0, 0);
    EXPECT_EQ(numbers(), (std::vector<int>{4, 1, 5, 6, 12}));
}

TEST_F(Gui, WheelOverAnElementIsSentAndConsumed) {
    int e = add(0, 0, 50, 50);
    frame(10, 10);
    received.clear();
    in.event(TAMU_EVENT_WHEEL, 0, 1, -2);
    in.event(TAMU_EVENT_WHEEL, 0, 0, -1);
    frame(10, 10);
    EXPECT_EQ(received, (std::vector<message>{{e, 3, 10, 10, 0}, {e, 16, 1, -3, 0}}));
    EXPECT_EQ(tamu_state.wheel_x, 0);
    EXPECT_EQ(tamu_state.wheel_y, 0);
    received.clear();
    frame(10, 10);
    EXPECT_EQ(numbers(), (std::vector<int>{3}));
}

TEST_F(Gui, ButtonHeldAcrossClearIsNoPress) {
    add(0, 0, 50, 50);
    frame(10, 10, 1);
    tamu_gui_clear();
    EXPECT_EQ(tamu_gui_num_elements(), 0);
    frame(10, 10, 1);   // no elements: the held button is remembered
    int e = add(0, 0, 50, 50);
    received.clear();
    frame(10, 10, 1);
    frame(11, 10, 1);
    EXPECT_EQ(numbers(), (std::vector<int>{1}));   // entered, never pressed
    frame(11, 10, 0);
    received.clear();
    frame(11, 10, 1, 500);
    EXPECT_EQ(received, (std::vector<message>{{e, 4, 11, 10, 1}, {e, 5, 11, 10, 1}}));
}

TEST_F(Gui, BroadcastAndKeysReachTheirElementsInListOrder) {
    int a = add(0, 0, 1, 1, TAMU_GUIE_TEXT_FIELD);
    int b = add(0, 0, 1, 1, TAMU_GUIE_ALL_KEYS);
    int c = add(0, 0, 1, 1, TAMU_GUIE_TEXT_FIELD);
    int d = add(0, 0, 1, 1, 99);
    frame(3, 4, 2);
    received.clear();
    tamu_gui_broadcast(7, 0);
    EXPECT_EQ(received, (std::vector<message>{{a, 7, 3, 4, 2}, {b, 7, 3, 4, 2}, {c, 7, 3, 4, 2}, {d, 7, 3, 4, 2}}));
    received.clear();
    tamu_gui_broadcast(7, TAMU_GUIE_TEXT_FIELD);
    EXPECT_EQ(received, (std::vector<message>{{a, 7, 3, 4, 2}, {c, 7, 3, 4, 2}}));

    // Keys: every element that takes all keys and the focused text field.
    tamu_gui_set_keyboard_focus(tamu_get_gui_element(c));
    received.clear();
    tamu_gui_key_event('x');
    EXPECT_EQ(received, (std::vector<message>{{b, 9, 'x', 0, 0}, {c, 9, 'x', 0, 0}}));
    tamu_gui_set_keyboard_focus(tamu_get_gui_element(d));   // focus on a kind that takes no keys
    received.clear();
    tamu_gui_key_event(-1);
    EXPECT_EQ(received, (std::vector<message>{{b, 9, -1, 0, 0}}));
}

// Handlers that delete elements while a walk is under way.
int deleting_handler(cguie *e, int mx, int my, int buttons, int number) {
    record_handler(e, mx, my, buttons, number);
    for (int slot = 0; slot < TAMU_GUI_ELEMENTS; slot++) tamu_delete_guie(slot);
    return 0;
}

TEST_F(Gui, HandlersMayDeleteElementsDuringAWalk) {
    int a = add(0, 0, 50, 50);
    int b = tamu_add_guie(0, 0, 0, 50, 50, 1, deleting_handler);
    add(0, 0, 50, 50);
    tamu_gui_broadcast(7, 0);
    EXPECT_EQ(received, (std::vector<message>{{a, 7, 0, 0, 0}, {b, 7, 0, 0, 0}}));
    EXPECT_EQ(tamu_gui_num_elements(), 0);

    // The hit element deletes everything on its hover: no enter follows
    // and nothing is sent to the deleted ones.
    add(0, 0, 50, 50);
    int h = tamu_add_guie(0, 0, 0, 50, 50, 1, deleting_handler);
    received.clear();
    frame(10, 10, 1);
    frame(10, 10, 0);
    frame(10, 10, 0);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].slot, h);
    EXPECT_EQ(received[0].number, 4);
    EXPECT_EQ(tamu_gui_num_elements(), 0);
}

TEST_F(Gui, MainLoopMessageHandlingRunsTheProcessing) {
    int e = add(0, 0, 50, 50);
    in.mouse_x = 10;
    in.mouse_y = 10;
    tamu_handle_messages();
    EXPECT_EQ(received, (std::vector<message>{{e, 3, 10, 10, 0}, {e, 1, 10, 10, 0}}));
    // Not inside itself.
    received.clear();
    tamu_processing_gui = 1;
    tamu_handle_messages();
    tamu_processing_gui = 0;
    EXPECT_TRUE(received.empty());
}

}  // namespace
