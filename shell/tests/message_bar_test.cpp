// The message bar: notices, their colours and times, the slide in and out
// on the test clock, hover notices and the devkit notice.
#include "shell_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

int page(int x, int y) { return tamu_back_page->rows[y][x]; }

class MessageBar : public ::testing::Test {
  protected:
    shell_session s;
    void SetUp() override { s.to_console(); }
    // The frame at the given time, over a console screen of colour 1.
    void draw_at(int now) {
        test_now = now;
        for (int y = 0; y < 128; y++) std::memset(pstate.screen->rows[y], 1, 128);
        tamu_main_draw();
    }
    // The first row of the bar (colour 8 at the right edge), or 128 when
    // none shows.
    int bar_top() {
        for (int y = 0; y < 128; y++)
            if (page(127, y) == 8) return y;
        return 128;
    }
    int count(int colour, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1 && y < 128; y++)
            for (int x = x0; x <= x1; x++) n += page(x, y) == colour;
        return n;
    }
};

TEST_F(MessageBar, NoticesTakeTheirTextTimesAndAlternatingColours) {
    int now = test_now;
    show_message("hello", 1000);
    EXPECT_STREQ(app.message_text, "hello");
    EXPECT_EQ(app.message_start, now);
    EXPECT_EQ(app.message_end, now + 1000);
    int first = app.message_colour;
    EXPECT_TRUE(first == 15 || first == 7);
    show_message("again", 1500);
    EXPECT_EQ(app.message_colour, first == 15 ? 7 : 15);
    show_message(nullptr, 1000);
    EXPECT_EQ(app.message_colour, first);
    EXPECT_STREQ(app.message_text, "");

    std::string long_text(400, 'x');
    show_message(long_text.c_str(), 1000);
    EXPECT_EQ(std::strlen(app.message_text), 255u);

    show_message_2("%d of %d carts", 1500, 3, 40);
    EXPECT_STREQ(app.message_text, "3 of 40 carts");
    EXPECT_EQ(app.message_end - app.message_start, 1500);
}

TEST_F(MessageBar, ALongNoticeTakesMoreLinesBrokenBetweenWords) {
    struct Case {
        const char *text;
        int top;   // the bar's first row, once slid in
    } cases[] = {
        {"one line", 121},
        {"saved screenshot to ~/Desktop/ZORVA_000.png", 115},   // two lines
        {"a b c d e f g h i j k l m n o p q r s t u v w x y z a b c d e f g h i j k l m n o p q r s t u v w x y z "
         "a b c d e f g h i j k l m n o p q r s t u v w x y z",
         103},   // at most four lines
    };
    for (const Case &c : cases) {
        show_message(c.text, 2500);
        draw_at(app.message_start + 1000);
        EXPECT_EQ(bar_top(), c.top) << c.text;
    }
    // The second line starts with the path: the first ends after "to".
    show_message("saved screenshot to ~/Desktop/ZORVA_000.png", 2500);
    draw_at(app.message_start + 1000);
    EXPECT_EQ(count(8, 0, 116, 127, 120), 128 * 5 - count(app.message_colour, 0, 116, 127, 120));
    EXPECT_GT(count(app.message_colour, 0, 116, 75, 120), 0);
    EXPECT_EQ(count(app.message_colour, 77, 116, 127, 120), 0);   // "saved screenshot to" is 19 wide
    EXPECT_GT(count(app.message_colour, 0, 122, 91, 126), 0);
}

TEST_F(MessageBar, SlidesInStaysAndSlidesOut) {
    int start = test_now;
    show_message("sliding", 1000);
    struct Case {
        int ms, top;   // the bar's top row: 121 + the slide offset
    } cases[] = {
        {0, 128},      // offset 10: below the screen
        {20, 128},     // 9
        {60, 128},     // 7
        {80, 127},     // 6
        {100, 126},    // 5
        {180, 122},    // 1
        {199, 121},    // 0
        {500, 121},
        {800, 121},
        {819, 121},    // (819 - 1000 + 200) / 20 = 0
        {820, 122},
        {900, 126},
        {960, 128},
        {999, 128},    // 9
        {1000, 128},   // over
    };
    for (const Case &c : cases) {
        draw_at(start + c.ms);
        EXPECT_EQ(bar_top(), c.top) << c.ms;
    }
    // The text in the message's colour on the bar.
    draw_at(start + 500);
    EXPECT_GT(count(app.message_colour, 1, 122, 40, 126), 0);
    EXPECT_EQ(count(app.message_colour == 15 ? 7 : 15, 0, 121, 127, 127), 0);
    EXPECT_EQ(count(8, 0, 121, 127, 127) + count(app.message_colour, 0, 121, 127, 127), 128 * 7);
    EXPECT_EQ(page(64, 120), 1);
    // The bar is drawn after the capture copy: recordings never show it.
    EXPECT_EQ(app.capture->rows[125][127], 1);
}

TEST_F(MessageBar, AHoverNoticeWaitsForTheCurrentOneAndDoesNotSlide) {
    int start = test_now;
    show_message("notice", 1000);
    test_now = start + 900;
    show_message_hover("over %d, %d", 3, 4);
    EXPECT_STREQ(app.message_text, "notice");

    test_now = start + 950;   // ends within 50 ms
    show_message_hover("over %d, %d", 3, 4);
    EXPECT_STREQ(app.message_text, "over 3, 4");
    EXPECT_EQ(app.message_start, 0);
    EXPECT_EQ(app.message_end, start + 1000);
    EXPECT_EQ(app.message_colour, 7);
    draw_at(start + 951);
    EXPECT_EQ(bar_top(), 121);
    EXPECT_GT(count(7, 1, 122, 60, 126), 0);
    draw_at(start + 1000);
    EXPECT_EQ(bar_top(), 128);

    app.gui_theme = 1;
    show_message_hover("x", 0, 0);
    EXPECT_EQ(app.message_colour, 6);
    // The next notice after a hover one is drawn in 15.
    show_message("plain", 1000);
    EXPECT_EQ(app.message_colour, 15);
}

TEST_F(MessageBar, TheDevkitNoticeHasItsOwnBox) {
    int start = test_now;
    show_message("devkit mouse enabled", 2000);
    draw_at(start + 1000);
    EXPECT_EQ(page(0, 119), 0);
    EXPECT_EQ(page(101, 127), 0);
    EXPECT_EQ(page(50, 119), 0);
    EXPECT_EQ(page(0, 123), 0);
    EXPECT_EQ(page(101, 123), 0);
    EXPECT_EQ(page(100, 126), 6);
    EXPECT_EQ(page(102, 123), 1);   // the console screen beside it
    EXPECT_EQ(bar_top(), 128);      // no red bar
    EXPECT_GT(count(1, 16, 120, 99, 124), 0);   // the text
    EXPECT_GT(count(1, 2, 120, 14, 126), 0);    // the mouse
    // It slides like any other.
    draw_at(start + 1900);   // offset 5
    EXPECT_EQ(page(50, 124), 0);
    EXPECT_EQ(page(50, 119), 1);
}

TEST_F(MessageBar, NoticesShowInEveryModeButNotWhileARequestWaits) {
    int start = test_now;
    show_message("shown", 1000);
    pstate.MODE = MODE_BOOT;
    draw_at(start + 300);
    EXPECT_EQ(bar_top(), 121);
    pstate.MODE = MODE_CONSOLE;
    pstate.REQUEST = REQUEST_RUN;
    tamu_back_page->rows[127][127] = 0;
    draw_at(start + 300);
    EXPECT_EQ(page(127, 127), 0);
    pstate.REQUEST = 0;
}

}  // namespace
