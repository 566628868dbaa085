// Opening web pages and folders: the command texts, the argument that
// reaches xdg-open (a stand-in first on PATH records it), the log, the
// length bound and not waiting for a browser that keeps running.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Waits up to about two seconds for the file to appear.
bool wait_for_file(const std::string &path) {
    for (int i = 0; i < 400 && !exists(path); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return exists(path);
}

class LaunchHtml : public ::testing::Test {
  protected:
    std::string home = test_home();
    std::string bin = home + "/launch-bin";
    std::string record = home + "/launch-record";
    std::string log_path = home + "/launch-log.txt";
    std::string old_path;

    void SetUp() override {
        const char *path = std::getenv("PATH");
        old_path = path ? path : "/usr/bin:/bin";
        mkdir(bin.c_str(), 0755);
        // Records its arguments NUL-separated and its process id, waits while
        // the hold file exists (at most about five seconds), exits with the
        // status asked for.
        write_file(bin + "/xdg-open",
                   "#!/bin/sh\n"
                   "echo $$ > \"$ZORVA_LAUNCH_RECORD.pid\"\n"
                   "printf '%s\\0' \"$@\" > \"$ZORVA_LAUNCH_RECORD.tmp\"\n"
                   "mv \"$ZORVA_LAUNCH_RECORD.tmp\" \"$ZORVA_LAUNCH_RECORD\"\n"
                   "i=0\n"
                   "while [ -n \"$ZORVA_LAUNCH_HOLD\" ] && [ -e \"$ZORVA_LAUNCH_HOLD\" ] && [ $i -lt 100 ]; do\n"
                   "  sleep 0.05; i=$((i+1))\n"
                   "done\n"
                   "exit ${ZORVA_LAUNCH_STATUS:-0}\n");
        chmod((bin + "/xdg-open").c_str(), 0755);
        setenv("PATH", (bin + ":" + old_path).c_str(), 1);
        setenv("ZORVA_LAUNCH_RECORD", record.c_str(), 1);
        unsetenv("ZORVA_LAUNCH_HOLD");
        unsetenv("ZORVA_LAUNCH_STATUS");
        ASSERT_EQ(chdir(home.c_str()), 0);
        // The home folder outlives a run.
        for (std::string old : {record, record + ".pid", home + "/pwned", home + "/pwned2",
                                home + "/pwned3"})
            std::remove(old.c_str());
        tamu_state.log = std::fopen(log_path.c_str(), "wb");
        tamu_debug_indentation = 0;
    }
    void TearDown() override {
        std::fclose(tamu_state.log);
        tamu_state.log = nullptr;
        setenv("PATH", old_path.c_str(), 1);
    }

    // The arguments the stand-in received.
    std::vector<std::string> arguments() {
        std::string bytes = read_file(record);
        std::vector<std::string> args;
        size_t start = 0;
        for (size_t i = 0; i < bytes.size(); i++)
            if (bytes[i] == 0) {
                args.push_back(bytes.substr(start, i - start));
                start = i + 1;
            }
        return args;
    }
    void expect_no_shell_ran() {
        for (const char *name : {"pwned", "pwned2", "pwned3"})
            EXPECT_FALSE(exists(home + "/" + name)) << name << " was created by a shell";
    }
};

struct launch_case {
    const char *target;
    const char *argument;   // what xdg-open receives
    const char *command;    // the logged command text
};

const launch_case launch_cases[] = {
    // http: targets are percent-escaped only where the shell would read them
    {"http://example.com/a b", "http://example.com/a%20b", "xdg-open \"http://example.com/a%20b\""},
    {"http://x.org/p?a=1&b_c-d.e:f/Z9", "http://x.org/p?a=1&b_c-d.e:f/Z9",
     "xdg-open \"http://x.org/p?a=1&b_c-d.e:f/Z9\""},
    // existing escapes, '#', '+' and the other reserved characters stay
    {"http://x.org/a%20b+c,d;e@f!(g)*'h'~[i]#frag", "http://x.org/a%20b+c,d;e@f!(g)*'h'~[i]#frag",
     "xdg-open \"http://x.org/a%20b+c,d;e@f!(g)*'h'~[i]#frag\""},
    {"http://x.org/\"$(touch pwned)`touch pwned2`;touch pwned3\\",
     "http://x.org/%22%24(touch%20pwned)%60touch%20pwned2%60;touch%20pwned3%5c",
     "xdg-open \"http://x.org/%22%24(touch%20pwned)%60touch%20pwned2%60;touch%20pwned3%5c\""},
    {"http://x.org/caf\xc3\xa9\t\x7f", "http://x.org/caf%c3%a9%09%7f",
     "xdg-open \"http://x.org/caf%c3%a9%09%7f\""},
    // anything else goes through as it is, quoted for the shell
    {"/home/user/my carts/", "/home/user/my carts/", "xdg-open \"/home/user/my carts/\""},
    {"/tmp/a\"b$(touch pwned)`touch pwned2`\\;touch pwned3",
     "/tmp/a\"b$(touch pwned)`touch pwned2`\\;touch pwned3",
     "xdg-open \"/tmp/a\\\"b\\$(touch pwned)\\`touch pwned2\\`\\\\;touch pwned3\""},
    {"https://x.org/a b?q=%41", "https://x.org/a b?q=%41", "xdg-open \"https://x.org/a b?q=%41\""},
};

TEST_F(LaunchHtml, PassesTheTargetAsOneArgumentAndLogsTheCommand) {
    for (const launch_case &c : launch_cases) {
        SCOPED_TRACE(c.target);
        std::remove(record.c_str());
        std::fclose(tamu_state.log);
        tamu_state.log = std::fopen(log_path.c_str(), "wb");

        char command[1024];
        int length = tamu_create_launch_string(c.target, command, sizeof command);
        EXPECT_STREQ(command, c.command);
        EXPECT_EQ(length, static_cast<int>(std::strlen(c.command)));

        tamu_launch_html(c.target);
        ASSERT_TRUE(wait_for_file(record));
        EXPECT_EQ(arguments(), std::vector<std::string>{c.argument});
        EXPECT_EQ(read_file(log_path), std::string("launch: [") + c.command + "] result: 0\n");
    }
    expect_no_shell_ran();
}

TEST_F(LaunchHtml, LogsTheExitStatusOrAMissingCommand) {
    setenv("ZORVA_LAUNCH_STATUS", "3", 1);
    tamu_launch_html("/some/folder");
    EXPECT_EQ(read_file(log_path), "launch: [xdg-open \"/some/folder\"] result: 3\n");

    std::fclose(tamu_state.log);
    tamu_state.log = std::fopen(log_path.c_str(), "wb");
    std::string empty = home + "/empty-bin";
    mkdir(empty.c_str(), 0755);
    setenv("PATH", empty.c_str(), 1);
    tamu_launch_html("http://x.org/");
    EXPECT_EQ(read_file(log_path), "launch: [xdg-open \"http://x.org/\"] result: 127\n");
}

TEST_F(LaunchHtml, CommandsOverTheBoundAreNotRun) {
    // "xdg-open \"" + target + "\"" is 11 characters plus the target.
    std::string fits = "/" + std::string(499, 'a');
    std::string over = fits + "a";
    char command[1024];
    ASSERT_EQ(tamu_create_launch_string(fits.c_str(), command, sizeof command), 511);

    tamu_launch_html(over.c_str());
    std::string log = read_file(log_path);
    EXPECT_EQ(log, "launch: target too long (501 bytes)\n");
    EXPECT_FALSE(exists(record));

    // Escapes count: this 500-character http target makes a 763-character
    // command.
    std::string spaced = "http://x.org/" + std::string(126, ' ') + std::string(361, 'b');
    tamu_launch_html(spaced.c_str());
    EXPECT_FALSE(exists(record));

    tamu_launch_html(fits.c_str());
    ASSERT_TRUE(wait_for_file(record));
    EXPECT_EQ(arguments(), std::vector<std::string>{fits});
}

TEST_F(LaunchHtml, EscapedCommandStaysWithinItsCapacity) {
    // Escapes are written whole; the text ends with the quote and a NUL
    // inside the buffer, and a URL that did not fit is reported.
    std::string url = "http://x.org/" + std::string(40, ' ');
    std::string escaped = "http://x.org/";
    for (int i = 0; i < 40; i++) escaped += "%20";
    for (int capacity : {1, 11, 12, 20, 31, 32, 33, 64}) {
        SCOPED_TRACE(capacity);
        std::vector<char> buffer(static_cast<size_t>(capacity) + 8, '#');
        int length = tamu_create_osx_launch_html_string(url.c_str(), buffer.data(), capacity);
        EXPECT_EQ(length, -1);
        for (int i = capacity; i < capacity + 8; i++) EXPECT_EQ(buffer[i], '#') << "at " << i;
        const char *text = buffer.data();
        int n = static_cast<int>(strnlen(text, static_cast<size_t>(capacity)));
        ASSERT_LT(n, capacity);
        if (capacity >= 12) {
            EXPECT_EQ(std::string(text, 10), "xdg-open \"");
            EXPECT_EQ(text[n - 1], '"');
            // A start of the escaped URL that ends on a whole "%20".
            std::string body(text + 10, static_cast<size_t>(n - 11));
            EXPECT_EQ(escaped.compare(0, body.size(), body), 0) << body;
            if (body.size() > 13) {
                EXPECT_EQ((body.size() - 13) % 3, 0u) << body;
            }
        }
    }
    char exact[64];
    std::string small = "http://a";
    // 19 characters; a URL byte is copied only while more than 4 places are
    // left, so they need a capacity of 22.
    EXPECT_EQ(tamu_create_osx_launch_html_string(small.c_str(), exact, 21), -1);
    EXPECT_EQ(tamu_create_osx_launch_html_string(small.c_str(), exact, 22), 19);
    EXPECT_STREQ(exact, "xdg-open \"http://a\"");
}

TEST_F(LaunchHtml, DoesNotWaitForABrowserThatKeepsRunning) {
    std::string hold = home + "/launch-hold";
    write_file(hold, "");
    setenv("ZORVA_LAUNCH_HOLD", hold.c_str(), 1);

    auto start = std::chrono::steady_clock::now();
    tamu_launch_html("http://x.org/page");
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    EXPECT_EQ(read_file(log_path), "launch: [xdg-open \"http://x.org/page\"] result: running\n");
    ASSERT_TRUE(wait_for_file(record));
    EXPECT_EQ(arguments(), std::vector<std::string>{"http://x.org/page"});

    // Once the browser ends it is reaped: no zombie stays behind.
    ASSERT_TRUE(wait_for_file(record + ".pid"));
    pid_t pid = std::atoi(read_file(record + ".pid").c_str());
    ASSERT_GT(pid, 0);
    std::remove(hold.c_str());
    bool gone = false;
    for (int i = 0; i < 600 && !gone; i++) {
        gone = kill(pid, 0) != 0;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "xdg-open " << pid << " was not reaped";
}

}  // namespace
