// Downloads with the real wget from a local HTTP server that the test starts
// and stops itself (127.0.0.1 only, on a free port): files, names and paths
// the shell would read, failures, the command bound and the time-out.
#include "tamu.h"
#include "http_server.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

extern char **environ;

namespace {

using clock_type = std::chrono::steady_clock;

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A port on 127.0.0.1 that nothing listens on.
int closed_port() {
    SilentServer probe;
    if (!probe.start()) return 0;
    return probe.port;   // closed again when probe goes
}

class Download : public ::testing::Test {
  protected:
    std::string home = test_home();
    std::string root = home + "/www";
    std::string old_path;
    HttpServer server;

    void SetUp() override {
        const char *path = std::getenv("PATH");
        old_path = path ? path : "/usr/bin:/bin";
        ASSERT_EQ(chdir(home.c_str()), 0);
        mkdir(root.c_str(), 0755);
        cconfig.timeout = 10;
        // The home folder outlives a run.
        for (const char *old : {"pwned", "pwned2", "pwned3", "long.out", "cart.out", "wget.pid"})
            std::remove((home + "/" + old).c_str());
    }
    void TearDown() override {
        server.stop();
        setenv("PATH", old_path.c_str(), 1);
    }
    void start_server() { ASSERT_TRUE(server.start(root)) << "could not start http_server.py"; }
    std::string url(const std::string &rest) {
        return "http://127.0.0.1:" + std::to_string(server.port) + "/" + rest;
    }
    void expect_no_shell_ran() {
        for (const char *name : {"pwned", "pwned2", "pwned3"})
            EXPECT_FALSE(exists(home + "/" + name)) << name << " was created by a shell";
    }
};

std::string all_bytes() {
    std::string bytes;
    for (int i = 0; i < 256; i++) bytes += static_cast<char>(i);
    return bytes + bytes;
}

TEST_F(Download, FetchesIntoTheFileWhateverTheShellWouldRead) {
    write_file(root + "/hello.txt", "hello, world\n");
    write_file(root + "/bytes.bin", all_bytes());
    write_file(root + "/a\"b$c`d.txt", "odd name\n");
    start_server();

    struct {
        std::string url, path, contents;
    } cases[] = {
        {url("hello.txt"), home + "/hello.out", "hello, world\n"},
        {url("bytes.bin"), home + "/bytes.out", all_bytes()},
        // the quote, dollar and backquote reach wget unchanged
        {url("a\"b$c`d.txt"), home + "/odd.out", "odd name\n"},
        {url("hello.txt?q=\"$(touch pwned)`touch pwned2`;touch pwned3"), home + "/query.out",
         "hello, world\n"},
        {url("hello.txt"), home + "/out \"$(touch pwned)`touch pwned2`;touch pwned3\\.txt",
         "hello, world\n"},
        {url("hello.txt"), "relative.out", "hello, world\n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.url + " -> " + c.path);
        EXPECT_EQ(tamu_wget(c.url.c_str(), c.path.c_str()), 0);
        ASSERT_TRUE(exists(c.path));
        EXPECT_EQ(read_file(c.path), c.contents);
    }
    expect_no_shell_ran();
}

TEST_F(Download, FailedDownloadsLeaveNoFile) {
    start_server();
    std::string path = home + "/fail.out";
    int refused = closed_port();
    ASSERT_GT(refused, 0);
    for (const std::string &u :
         {url("missing.txt"), "http://127.0.0.1:" + std::to_string(refused) + "/x.txt",
          std::string("nope://127.0.0.1/x")}) {
        SCOPED_TRACE(u);
        write_file(path, "stale");   // an older file must not pass as the download
        auto start = clock_type::now();
        EXPECT_EQ(tamu_wget(u.c_str(), path.c_str()), 0);
        EXPECT_LT(clock_type::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(exists(path));
    }
    // No wget to run at all.
    std::string empty = home + "/no-wget-bin";
    mkdir(empty.c_str(), 0755);
    setenv("PATH", empty.c_str(), 1);
    write_file(path, "stale");
    EXPECT_EQ(tamu_wget(url("missing.txt").c_str(), path.c_str()), 0);
    EXPECT_FALSE(exists(path));
}

TEST_F(Download, CommandsOverTheBoundAreNotRun) {
    char command[1024];
    EXPECT_EQ(tamu_create_wget_string("http://h/\"$`\\", "p \"x\"", command, sizeof command), 40);
    EXPECT_STREQ(command, "wget \"http://h/\\\"\\$\\`\\\\\" -q -O \"p \\\"x\\\"\"");
    EXPECT_EQ(tamu_create_wget_string("http://h/", "p", command, 10), -1);
    EXPECT_LT(std::strlen(command), 10u);

    write_file(root + "/hello.txt", "hi\n");
    start_server();
    std::string path = "long.out";
    // Pad the query so that the command is exactly 511 characters, then one
    // more; a '$' in the padding counts twice.
    std::string base = url("hello.txt?$");
    int length = tamu_create_wget_string(base.c_str(), path.c_str(), command, sizeof command);
    ASSERT_GT(length, 0);
    std::string fits = base + std::string(static_cast<size_t>(TAMU_MAX_COMMAND - length), 'a');
    ASSERT_EQ(tamu_create_wget_string(fits.c_str(), path.c_str(), command, sizeof command), 511);
    std::string over = fits + "a";

    write_file(path, "stale");   // not run: an older file must not pass as the download
    tamu_wget(over.c_str(), path.c_str());
    EXPECT_FALSE(exists(path));
    tamu_wget(fits.c_str(), path.c_str());
    EXPECT_EQ(read_file(path), "hi\n");
}

TEST_F(Download, ServerThatNeverAnswersTimesOut) {
    SilentServer silent;
    ASSERT_TRUE(silent.start());
    cconfig.timeout = 1;
    std::string path = home + "/silent.out";
    std::string u = "http://127.0.0.1:" + std::to_string(silent.port) + "/x.txt";
    auto start = clock_type::now();
    EXPECT_EQ(tamu_wget(u.c_str(), path.c_str()), 0);
    auto took = clock_type::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_FALSE(exists(path));
}

TEST_F(Download, WgetStillRunningAtTheTimeoutIsEnded) {
    // A stand-in wget that hangs without a word.
    std::string bin = home + "/wget-bin";
    std::string pid_file = home + "/wget.pid";
    mkdir(bin.c_str(), 0755);
    write_file(bin + "/wget",
               "#!/bin/sh\n"
               "echo $$ > \"$ZORVA_WGET_PID\"\n"
               "exec sleep 30\n");
    chmod((bin + "/wget").c_str(), 0755);
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    setenv("ZORVA_WGET_PID", pid_file.c_str(), 1);
    cconfig.timeout = 1;

    std::string path = home + "/hung.out";
    auto start = clock_type::now();
    tamu_wget("http://127.0.0.1:9/x", path.c_str());
    auto took = clock_type::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_FALSE(exists(path));
    pid_t pid = std::atoi(read_file(pid_file).c_str());
    ASSERT_GT(pid, 0);
    EXPECT_NE(kill(pid, 0), 0) << "the hung wget " << pid << " still exists";
}

// The largest size a file reached while a download ran on another thread.
struct size_watch {
    std::string path;
    std::atomic<bool> done{false};
    std::atomic<long long> largest{0};
    std::thread thread;
    explicit size_watch(const std::string &p) : path(p) {
        thread = std::thread([this] {
            while (!done) {
                struct stat st;
                if (stat(path.c_str(), &st) == 0 && st.st_size > largest) largest = st.st_size;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }
    ~size_watch() {
        done = true;
        thread.join();
    }
};

TEST_F(Download, BoundedDownloadsEndAtTheirBoundAndFollowNoRedirect) {
    write_file(root + "/small.bin", std::string(1000, 's'));
    write_file(root + "/exact.bin", std::string(4096, 'e'));
    write_file(root + "/over.bin", std::string(4097, 'o'));
    start_server();
    SilentServer elsewhere;   // another server a redirect may point at
    ASSERT_TRUE(elsewhere.start());
    std::string other = "http://127.0.0.1:" + std::to_string(elsewhere.port) + "/x.png";
    cconfig.timeout = 30;
    const int64_t cap = 4096, big_cap = 8 << 20;
    struct {
        std::string url;
        int64_t cap;
        int result;
    } cases[] = {
        {url("small.bin"), cap, TAMU_WGET_DONE},
        {url("exact.bin"), cap, TAMU_WGET_DONE},
        {url("over.bin"), cap, TAMU_WGET_TOO_LARGE},
        {url("missing.bin"), cap, TAMU_WGET_FAILED},
        {url("hostile/endless"), big_cap, TAMU_WGET_TOO_LARGE},
        {url("hostile/chunk?262144000"), big_cap, TAMU_WGET_TOO_LARGE},
        {url("hostile/redirect?") + other, cap, TAMU_WGET_REDIRECTED},
        {url("hostile/redirect?ftp://127.0.0.1/x.png"), cap, TAMU_WGET_REDIRECTED},
        {url("hostile/redirect?/small.bin"), cap, TAMU_WGET_REDIRECTED},
    };
    std::string path = home + "/bounded.out";
    for (auto &c : cases) {
        SCOPED_TRACE(c.url);
        std::remove(path.c_str());
        auto start = clock_type::now();
        int result;
        {
            size_watch watch(path);
            result = tamu_wget_limited(c.url.c_str(), path.c_str(), c.cap, nullptr);
            EXPECT_LE(watch.largest, c.cap);
        }
        EXPECT_EQ(result, c.result);
        // Not held until the time-out (a generous bound).
        EXPECT_LT(clock_type::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(exists(path), c.result == TAMU_WGET_DONE);
        if (c.result == TAMU_WGET_DONE) {
            EXPECT_EQ(read_file(path), read_file(root + c.url.substr(c.url.rfind('/'))));
        }
        EXPECT_EQ(child_wget_processes(), 0);
    }
    EXPECT_FALSE(elsewhere.contacted());
}

TEST_F(Download, AStopWordEndsTheDownloadAndItsWget) {
    start_server();
    cconfig.timeout = 30;
    std::string path = home + "/stopped.out";
    std::atomic<int> stop{0};
    std::atomic<int> result{-1};
    std::thread worker([&] { result = tamu_wget_limited(url("hostile/trickle").c_str(), path.c_str(), -1, &stop); });
    // Until the trickle has begun (a generous bound).
    for (int i = 0; i < 1000 && !(exists(path) && child_wget_processes() == 1); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(child_wget_processes(), 1);
    EXPECT_EQ(result, -1);
    stop = 1;
    auto start = clock_type::now();
    worker.join();
    EXPECT_LT(clock_type::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(result, TAMU_WGET_STOPPED);
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(child_wget_processes(), 0);
}

TEST_F(Download, ATricklingServerIsEndedAtTheTimeout) {
    start_server();
    cconfig.timeout = 1;
    std::string path = home + "/trickle.out";
    auto start = clock_type::now();
    EXPECT_EQ(tamu_wget_limited(url("hostile/trickle").c_str(), path.c_str(), -1, nullptr), TAMU_WGET_TIMED_OUT);
    EXPECT_LT(clock_type::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(child_wget_processes(), 0);
}

std::atomic<int> worker_state{0};
std::string worker_url, worker_path;

void download_worker() {
    tamu_wget(worker_url.c_str(), worker_path.c_str());
    int running = 1;
    worker_state.compare_exchange_strong(running, exists(worker_path) ? 2 : 3);
}

TEST_F(Download, RunsOnAWorkerThreadThatReportsThroughAStateWord) {
    write_file(root + "/cart.txt", "cart data\n");
    start_server();
    worker_url = url("cart.txt");
    worker_path = home + "/cart.out";
    worker_state = 1;
    cthread *thread = tamu_create_thread(download_worker);
    ASSERT_NE(thread, nullptr);
    tamu_destroy_thread(thread);   // detached: it runs on
    for (int i = 0; i < 1000 && worker_state == 1; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(worker_state, 2);
    EXPECT_EQ(read_file(worker_path), "cart data\n");
}

}  // namespace
