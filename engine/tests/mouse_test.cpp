// The mouse in back-page pixels, its buttons, tamu_set_mouse and the
// deltas, driven through an injected input source.
#include "fake_input.h"
#include "stub_app.h"
#include "tamu.h"

#include <gtest/gtest.h>

namespace {

class Mouse : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_input_for_test();
        cconfig.pixel_perfect = 1;
        cconfig.keep_aspect = 0;
        for (int &v : cconfig.draw_rect) v = 0;
        page(128, 128);
        in.window_w = 1280;
        in.window_h = 720;
    }
    void TearDown() override {
        tamu_destroy_bitmap(tamu_back_page);
        tamu_back_page = nullptr;
    }
    void page(int w, int h) {
        tamu_destroy_bitmap(tamu_back_page);
        tamu_back_page = w ? tamu_create_bitmap(w, h, 8) : nullptr;
    }
    void move(int x, int y, int buttons = 0) {
        in.mouse_x = x;
        in.mouse_y = y;
        in.mouse_buttons = buttons;
        in.pump();
    }
    struct reading {
        int x, y, b;
    };
    reading read() {
        reading r{-99, -99, -99};
        tamu_get_mouse(&r.x, &r.y, &r.b);
        return r;
    }
    fake_input in;
};

TEST_F(Mouse, PointerMapsIntoBackPagePixels) {
    struct Case {
        int pixel_perfect, keep_aspect;
        int draw_rect[4];
        int wx, wy;      // pointer in the window
        int x, y;        // expected, back-page pixels
    } cases[] = {
        // 640 x 640 at (320, 40).
        {1, 0, {0, 0, 0, 0}, 640, 360, 64, 64},
        {1, 0, {0, 0, 0, 0}, 320, 40, 0, 0},
        {1, 0, {0, 0, 0, 0}, 959, 679, 127, 127},
        {1, 0, {0, 0, 0, 0}, 325, 45, 1, 1},
        {1, 0, {0, 0, 0, 0}, 0, 0, -64, -8},          // left of the page
        {1, 0, {0, 0, 0, 0}, 316, 36, 0, 0},          // toward zero, not down
        {1, 0, {0, 0, 0, 0}, 1279, 719, 191, 135},    // right of the page
        // 720 x 720 at (280, 0).
        {0, 1, {0, 0, 0, 0}, 640, 360, 64, 64},
        {0, 1, {0, 0, 0, 0}, 280, 719, 0, 127},
        // The whole window.
        {0, 0, {0, 0, 0, 0}, 640, 360, 64, 64},
        {0, 0, {0, 0, 0, 0}, 1270, 715, 127, 127},
        // A fixed rectangle wins.
        {1, 1, {10, 20, 256, 512}, 138, 276, 64, 64},
    };
    for (const Case &c : cases) {
        cconfig.pixel_perfect = c.pixel_perfect;
        cconfig.keep_aspect = c.keep_aspect;
        for (int i = 0; i < 4; i++) cconfig.draw_rect[i] = c.draw_rect[i];
        move(c.wx, c.wy);
        reading r = read();
        EXPECT_EQ(r.x, c.x) << c.wx << "," << c.wy << " pp " << c.pixel_perfect;
        EXPECT_EQ(r.y, c.y) << c.wx << "," << c.wy << " pp " << c.pixel_perfect;
    }
}

TEST_F(Mouse, NonSquarePageScalesEachAxisByItsOwnSide) {
    page(320, 180);
    cconfig.pixel_perfect = 0;
    move(640, 360);
    reading r = read();
    EXPECT_EQ(r.x, 160);
    EXPECT_EQ(r.y, 90);
}

TEST_F(Mouse, WithoutBackPageAllOutputsAreZero) {
    move(640, 360, 1);
    page(0, 0);
    reading r = read();
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.b, 0);
}

TEST_F(Mouse, ZeroSizedWindowLeavesOutputsUnchanged) {
    in.window_w = 0;
    move(640, 360, 1);
    reading r = read();
    EXPECT_EQ(r.x, -99);
    EXPECT_EQ(r.y, -99);
    EXPECT_EQ(r.b, -99);
}

TEST_F(Mouse, EmptyDestinationRectangleGivesZero) {
    // A page 128 wide and 1 high kept in aspect in a 1-pixel-wide window
    // gets a rectangle 1 x 0.
    page(128, 1);
    cconfig.pixel_perfect = 0;
    cconfig.keep_aspect = 1;
    in.window_w = 1;
    move(0, 300);
    reading r = read();
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    // A draw_rect with a side of 0 is no fixed rectangle: the other rules apply.
    page(128, 128);
    in.window_w = 1280;
    cconfig.keep_aspect = 0;
    cconfig.draw_rect[0] = 5;
    cconfig.draw_rect[2] = 100;
    move(640, 360);
    EXPECT_EQ(read().x, 64);
}

TEST_F(Mouse, NullOutputsAreSkipped) {
    move(640, 360, 7);
    int x = 0, b = 0;
    tamu_get_mouse(&x, nullptr, nullptr);
    EXPECT_EQ(x, 64);
    tamu_get_mouse(nullptr, nullptr, &b);
    EXPECT_EQ(b, 7);
    tamu_get_mouse(nullptr, nullptr, nullptr);
}

TEST_F(Mouse, RightButtonKeyTurnsALeftClickIntoARightOne) {
    struct Case {
        int rmb_key;
        bool alt_down;
        int buttons, expected;
    } cases[] = {
        {226, true, 1, 2}, {226, true, 5, 6}, {226, false, 1, 1}, {0, true, 1, 1},
        {226, true, 2, 2}, {226, true, 4, 4},
    };
    for (const Case &c : cases) {
        tamu_input_reset();
        cconfig.rmb_key = c.rmb_key;
        if (c.alt_down) {
            in.press(K_LALT);
            in.pump();
        }
        move(640, 360, c.buttons);
        EXPECT_EQ(read().b, c.expected) << c.rmb_key << " alt " << c.alt_down << " buttons " << c.buttons;
        in.release(K_LALT);
        in.pump();
        in.pump();
    }
}

TEST_F(Mouse, SetMouseHoldsUntilThePointerMovesInBothCoordinates) {
    move(640, 360);
    tamu_set_mouse(10, 20);
    reading r = read();
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 20);
    move(700, 360);   // x only
    r = read();
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 20);
    move(700, 400);
    r = read();
    EXPECT_EQ(r.x, 76);
    EXPECT_EQ(r.y, 72);
    move(640, 360);   // back where it was: the real position stays
    EXPECT_EQ(read().x, 64);
}

TEST_F(Mouse, DeltasAreAgainstTheMainLoopsLastReading) {
    move(640, 360);
    tamu_last_mouse_x = 60;
    tamu_last_mouse_y = 70;
    int dx = 0, dy = 0;
    tamu_get_mouse_deltas(&dx, &dy);
    EXPECT_EQ(dx, 4);
    EXPECT_EQ(dy, -6);
    // The main loop's step stores the position for the next frame.
    tamu_handle_messages();
    EXPECT_EQ(tamu_last_mouse_x, 64);
    EXPECT_EQ(tamu_last_mouse_y, 64);
    tamu_get_mouse_deltas(&dx, &dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
}

}  // namespace
