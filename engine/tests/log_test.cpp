// The log: indentation, the long-line replacement and flushing.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace {

class Log : public ::testing::Test {
  protected:
    std::string path = test_home() + "/log_test.txt";
    void SetUp() override {
        tamu_state.log = std::fopen(path.c_str(), "wb");
        tamu_debug_indentation = 0;
    }
    void TearDown() override {
        std::fclose(tamu_state.log);
        tamu_state.log = nullptr;
    }
    // Flushed after every entry, so the file can be read while open.
    std::string contents() { return read_file(path); }
};

TEST_F(Log, IndentsTwoSpacesPerLevel) {
    tamu_debug(">open\n");
    tamu_debug("inside\n");
    tamu_debug(">deeper\n");
    tamu_debug("two\n");
    tamu_debug("<back\n");
    tamu_debug("<out\n");
    tamu_debug("plain\n");
    EXPECT_EQ(contents(), "open\n  inside\n  deeper\n    two\n  back\nout\nplain\n");
}

TEST_F(Log, ClosingAtLevelZeroStaysAtZero) {
    tamu_debug("<a\n");
    tamu_debug("<b\n");
    EXPECT_EQ(tamu_debug_indentation, 0);
    tamu_debug(">c\n");
    tamu_debug("d\n");
    EXPECT_EQ(contents(), "a\nb\nc\n  d\n");
}

TEST_F(Log, LongTextIsReplaced) {
    tamu_debug(">x\n");
    std::string exact(512, 'a');
    tamu_debug(exact.c_str());
    std::string over(513, 'b');
    tamu_debug(over.c_str());
    EXPECT_EQ(contents(), "x\n  " + exact + "[debug string too long!]\n");
    EXPECT_EQ(tamu_debug_indentation, 1);
}

// A run's log stops growing at 4 MiB, with one line that says so; a new
// log starts counting again.
TEST_F(Log, StopsGrowingAtItsLimit) {
    std::string line(99, 'x');
    line += '\n';
    for (int i = 0; i < 50000; i++) tamu_debug(line.c_str());   // 5 MB asked for
    std::string text = contents();
    const std::string full = "\n[the log is full: the rest of this run's lines are left out]\n";
    ASSERT_GT(text.size(), full.size());
    EXPECT_LE(text.size(), size_t(4 << 20));
    EXPECT_GT(text.size(), size_t(4 << 20) - 200);
    EXPECT_EQ(text.substr(text.size() - full.size()), full);
    tamu_debug("after\n");
    EXPECT_EQ(contents(), text);

    std::fclose(tamu_state.log);
    tamu_state.log = std::fopen(path.c_str(), "wb");
    tamu_debug("a new log\n");
    EXPECT_EQ(contents(), "a new log\n");
}

TEST_F(Log, FormattedEntriesAndNoStream) {
    tamu_debugf("n=%d %s\n", 42, "ok");
    EXPECT_EQ(contents(), "n=42 ok\n");
    FILE *saved = tamu_state.log;
    tamu_state.log = nullptr;
    tamu_debug(">silent\n");  // nothing written, no crash
    EXPECT_EQ(tamu_debug_indentation, 0);
    tamu_state.log = saved;
}

}  // namespace
