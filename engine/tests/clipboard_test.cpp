// The clipboard through SDL's video subsystem. Under the dummy video driver
// SDL keeps the text in the process; run under an X server
// (SDL_VIDEODRIVER=x11 and xvfb-run) the same cases go through the X
// selection.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <sys/stat.h>

#include <string>

namespace {

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string take_clipboard() {
    char *text = tamu_get_clipboard_text();
    std::string copy = text;
    tamu_free(text);
    return copy;
}

class Clipboard : public ::testing::Test {
  protected:
    std::string home = test_home();
    void SetUp() override {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            GTEST_SKIP() << "no SDL video: " << SDL_GetError();
        // The dummy driver keeps the text itself; a driver with no
        // clipboard at all reports it here.
        if (tamu_set_clipboard_text("probe") != 0 || !tamu_has_clipboard_text())
            GTEST_SKIP() << "SDL has no clipboard with video driver "
                         << SDL_GetCurrentVideoDriver() << ": " << SDL_GetError();
    }
    void TearDown() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
};

TEST_F(Clipboard, TextRoundTripsAsNewCopies) {
    for (const char *text : {"hello", "two\nlines\ttab", "\\200 and \xc3\xa9", "x"}) {
        SCOPED_TRACE(text);
        ASSERT_EQ(tamu_set_clipboard_text(text), 0);
        EXPECT_EQ(tamu_has_clipboard_text(), 1);
        char *a = tamu_get_clipboard_text();
        char *b = tamu_get_clipboard_text();
        EXPECT_STREQ(a, text);
        EXPECT_NE(a, b);   // each call gives its own copy
        tamu_free(a);
        tamu_free(b);
    }
}

TEST_F(Clipboard, EmptyClipboardGivesAnEmptyTextToFree) {
    ASSERT_EQ(tamu_set_clipboard_text(""), 0);
    EXPECT_EQ(tamu_has_clipboard_text(), 0);
    char *text = tamu_get_clipboard_text();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    tamu_free(text);   // a tamu_malloc block: a bad free would stop here
}

TEST_F(Clipboard, SavesToAndLoadsFromFiles) {
    std::string path = home + "/clip.txt";
    ASSERT_EQ(tamu_set_clipboard_text("[cart]00ff\n"), 0);
    EXPECT_EQ(tamu_save_clipboard_to_file(path.c_str()), 0);
    EXPECT_EQ(read_file(path), "[cart]00ff\n");

    write_file(path, "from a file");
    EXPECT_EQ(tamu_load_clipboard_from_file(path.c_str()), 0);
    EXPECT_EQ(take_clipboard(), "from a file");

    // Only the first 1048576 bytes are taken.
    std::string big(1048576, 'a');
    write_file(path, big + "bcd");
    EXPECT_EQ(tamu_load_clipboard_from_file(path.c_str()), 0);
    std::string got = take_clipboard();
    EXPECT_EQ(got.size(), big.size());
    EXPECT_TRUE(got == big) << "got " << got.substr(0, 40) << "...";
}

TEST_F(Clipboard, FailuresLeaveClipboardAndFilesAlone) {
    ASSERT_EQ(tamu_set_clipboard_text("kept"), 0);
    EXPECT_NE(tamu_load_clipboard_from_file((home + "/missing.txt").c_str()), 0);
    EXPECT_EQ(take_clipboard(), "kept");
    EXPECT_NE(tamu_save_clipboard_to_file((home + "/no/such/dir/clip.txt").c_str()), 0);

    std::string path = home + "/none.txt";
    ASSERT_EQ(tamu_set_clipboard_text(""), 0);
    EXPECT_NE(tamu_save_clipboard_to_file(path.c_str()), 0);
    EXPECT_FALSE(exists(path));
}

}  // namespace
