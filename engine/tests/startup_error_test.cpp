// Start-up failures that must reach the user: where the standard streams
// go, and the decision to show a message box, which only the Windows
// program makes, and only when neither stream shows text.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <string>

namespace {

TEST(StartupError, MessageBoxOnlyWhenNothingShowsTheText) {
    const tamu_output_kind none = TAMU_OUTPUT_NONE, console = TAMU_OUTPUT_CONSOLE, file = TAMU_OUTPUT_FILE,
                           pipe = TAMU_OUTPUT_PIPE, device = TAMU_OUTPUT_DEVICE;
    struct Case {
        int windows_program;
        tamu_output_kind out, err;
        int box;
    };
    const Case cases[] = {
        {1, none, none, 1},       // started from the desktop
        {1, device, none, 1},     // output thrown away (the null device)
        {1, device, device, 1},
        {1, console, none, 0},    // attached to the console that started it
        {1, none, console, 0},
        {1, file, none, 0},       // redirected into a file
        {1, none, pipe, 0},       // read by another program
        {1, pipe, pipe, 0},
        {1, file, device, 0},
        {0, none, none, 0},       // Linux programs show no boxes
        {0, device, device, 0},
        {0, console, console, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.windows_program << " " << c.out << " " << c.err);
        EXPECT_EQ(tamu_error_needs_message_box(c.windows_program, c.out, c.err), c.box);
    }
}

// Standard output sent to each kind of place in turn, as the system reports it.
class OutputKinds : public ::testing::Test {
  protected:
#ifdef _WIN32
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    void send_to(HANDLE h) { SetStdHandle(STD_OUTPUT_HANDLE, h); }
    void TearDown() override { SetStdHandle(STD_OUTPUT_HANDLE, saved); }
#else
    int saved = dup(STDOUT_FILENO);
    void send_to(int fd) {
        std::fflush(stdout);
        if (fd < 0)
            close(STDOUT_FILENO);
        else
            dup2(fd, STDOUT_FILENO);
    }
    void TearDown() override {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
#endif
};

TEST_F(OutputKinds, EachPlaceIsTold) {
    const std::string path = test_home() + "/out.txt";
#ifdef _WIN32
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    HANDLE null_device = CreateFileA("NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE read_end, write_end;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    HANDLE nothing = nullptr;
#else
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null_device = open("/dev/null", O_WRONLY);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    int write_end = ends[1];
    int nothing = -1;
#endif
    send_to(file);
    EXPECT_EQ(tamu_platform_output_kind(1), TAMU_OUTPUT_FILE);
    send_to(null_device);
    EXPECT_EQ(tamu_platform_output_kind(1), TAMU_OUTPUT_DEVICE);
    send_to(write_end);
    EXPECT_EQ(tamu_platform_output_kind(1), TAMU_OUTPUT_PIPE);
    send_to(nothing);
    EXPECT_EQ(tamu_platform_output_kind(1), TAMU_OUTPUT_NONE);
#ifdef _WIN32
    for (HANDLE h : {file, null_device, read_end, write_end}) CloseHandle(h);
#else
    for (int fd : {file, null_device, ends[0], ends[1]}) close(fd);
#endif
}

// The tests' own output is read (by CTest through a pipe, or on a
// terminal): a start-up error is printed there and never waits on a box
// that nobody could close.
TEST(StartupError, NoBoxWhileTheOutputIsRead) {
    tamu_output_kind out = tamu_platform_output_kind(1);
    ASSERT_TRUE(out == TAMU_OUTPUT_PIPE || out == TAMU_OUTPUT_CONSOLE || out == TAMU_OUTPUT_FILE) << out;
    EXPECT_EQ(tamu_show_startup_error("couldn't load data.pod"), 0);
}

}  // namespace
