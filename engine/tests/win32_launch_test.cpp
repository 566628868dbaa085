// Opening a target with the shell's "open" verb (ShellExecuteA): a batch
// file opened that way runs, which shows the target reached the shell as
// it is; nothing is logged. Web addresses are not opened here (wine would
// hand them to the desktop's browser).
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using clock_type = std::chrono::steady_clock;

bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string windows_path(std::string path) {
    for (char &c : path)
        if (c == '/') c = '\\';
    return path;
}

bool appears_within(const std::string &path, int seconds) {
    auto deadline = clock_type::now() + std::chrono::seconds(seconds);
    while (!exists(path)) {
        if (clock_type::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class WinLaunch : public ::testing::Test {
  protected:
    std::string home = test_home();
    std::string log_path = home + "/launch_log.txt";
    void SetUp() override { tamu_state.log = std::fopen(log_path.c_str(), "wb"); }
    void TearDown() override {
        if (tamu_state.log) std::fclose(tamu_state.log);
        tamu_state.log = nullptr;
    }
    std::string log() {
        std::fflush(tamu_state.log);
        return read_file(log_path);
    }
};

TEST_F(WinLaunch, OpensATargetWithTheShellAndLogsNothing) {
    for (const std::string &folder : {home + "/plain", home + "/with space"}) {
        SCOPED_TRACE(folder);
        CreateDirectoryA(folder.c_str(), nullptr);
        std::string marker = folder + "/opened.txt";
        std::string script = folder + "/open me.bat";
        DeleteFileA(marker.c_str());
        write_file(script, "@echo opened> \"" + windows_path(marker) + "\"\r\n");
        auto start = clock_type::now();
        tamu_launch_html(script.c_str());
        // The shell starts the handler and returns at once.
        EXPECT_LT(std::chrono::duration<double>(clock_type::now() - start).count(), 20.0);
        ASSERT_TRUE(appears_within(marker, 30)) << "the batch file never ran";
    }
    EXPECT_EQ(log(), "");
}

TEST_F(WinLaunch, MissingTargetsAndNullAreIgnored) {
    tamu_launch_html(nullptr);
    tamu_launch_html("");
    tamu_launch_html((home + "/no such file.bat").c_str());
    EXPECT_EQ(log(), "");
}

TEST_F(WinLaunch, OverlongTargetIsRefused) {
    tamu_launch_html((home + "/" + std::string(600, 'x') + ".bat").c_str());
    EXPECT_NE(log().find("launch: target too long"), std::string::npos) << log();
}

}  // namespace
