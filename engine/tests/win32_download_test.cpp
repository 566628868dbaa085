// Downloads through WinINet from the tests' HTTP server on 127.0.0.1
// (tools/wine-run.sh starts it over ZORVA_TEST_HTTP_ROOT and passes its
// port in ZORVA_TEST_HTTP_PORT), plus small servers of the test's own for
// what that server never does: answer nothing, or break off a transfer.
// Results: 0 done, 2 no output file, 3 the URL could not be fetched; only a
// complete download leaves a file, and the reason of a failure is kept for
// the thread.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using clock_type = std::chrono::steady_clock;

bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string all_bytes(int copies) {
    std::string bytes;
    for (int n = 0; n < copies; n++)
        for (int i = 0; i < 256; i++) bytes += static_cast<char>(i);
    return bytes;
}

struct winsock {
    winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~winsock() { WSACleanup(); }
};

// A listening socket on 127.0.0.1 with a free port; a thread may serve it.
class LocalServer {
  public:
    int port = 0;
    bool listen_now() {
        fd_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (fd_ == INVALID_SOCKET) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (bind(fd_, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            return false;
        port = ntohs(address.sin_port);
        return true;
    }
    // Answers each connection with reply (after reading the request) and
    // closes it, until stopped.
    void serve(const std::string &reply) {
        worker_ = std::thread([this, reply] {
            while (!stop_) {
                SOCKET client = accept(fd_, nullptr, nullptr);
                if (client == INVALID_SOCKET) return;
                char request[4096];
                recv(client, request, sizeof request, 0);
                send(client, reply.data(), static_cast<int>(reply.size()), 0);
                shutdown(client, SD_BOTH);
                closesocket(client);
            }
        });
    }
    ~LocalServer() {
        stop_ = true;
        if (fd_ != INVALID_SOCKET) closesocket(fd_);   // ends a waiting accept
        if (worker_.joinable()) worker_.join();
    }

  private:
    SOCKET fd_ = INVALID_SOCKET;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

class WinDownload : public ::testing::Test {
  protected:
    winsock sockets;
    std::string home = test_home();
    std::string root;
    int port = 0;
    std::string log_path = home + "/download_log.txt";

    void SetUp() override {
        const char *served = std::getenv("ZORVA_TEST_HTTP_ROOT");
        const char *p = std::getenv("ZORVA_TEST_HTTP_PORT");
        ASSERT_TRUE(served && p) << "run through tools/wine-run.sh, which starts the HTTP server";
        root = served;
        port = std::atoi(p);
        cconfig.timeout = 10;
        std::snprintf(tamu_state.application_title, sizeof tamu_state.application_title, "zorva");
        tamu_state.log = std::fopen(log_path.c_str(), "wb");
    }
    void TearDown() override {
        // The log is the main thread's: tamu_wget, which runs on workers,
        // keeps its reasons to itself (tamu_wget_failure).
        EXPECT_EQ(log(), "");
        if (tamu_state.log) std::fclose(tamu_state.log);
        tamu_state.log = nullptr;
    }
    std::string url(const std::string &rest, int at_port = 0) {
        return "http://127.0.0.1:" + std::to_string(at_port ? at_port : port) + "/" + rest;
    }
    std::string log() {
        std::fflush(tamu_state.log);
        return read_file(log_path);
    }
};

TEST_F(WinDownload, FetchesFilesWhole) {
    write_file(root + "/hello.txt", "hello, world\n");
    write_file(root + "/bytes.bin", all_bytes(2));
    write_file(root + "/big.bin", all_bytes(1000));   // many 2048-byte blocks
    write_file(root + "/empty.txt", "");
    write_file(root + "/a b.txt", "spaced\n");
    struct {
        std::string url, path, contents;
    } cases[] = {
        {url("hello.txt"), home + "/hello.out", "hello, world\n"},
        {url("bytes.bin"), home + "/bytes.out", all_bytes(2)},
        {url("big.bin"), home + "/big.out", all_bytes(1000)},
        {url("empty.txt"), home + "/empty.out", ""},
        {url("a%20b.txt"), home + "/spaced.out", "spaced\n"},
        {url("hello.txt?q=1&r=\"$x`"), home + "/query.out", "hello, world\n"},
        {url("hello.txt"), home + "/out with space.txt", "hello, world\n"},
        {url("hello.txt"), "relative.out", "hello, world\n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.url + " -> " + c.path);
        EXPECT_EQ(tamu_wget(c.url.c_str(), c.path.c_str()), 0);
        ASSERT_TRUE(exists(c.path));
        EXPECT_EQ(read_file(c.path), c.contents);
    }
    EXPECT_EQ(std::string(tamu_wget_failure()), "");
}

TEST_F(WinDownload, ReplacesAnEarlierFile) {
    write_file(root + "/new.txt", "new");
    std::string path = home + "/replaced.out";
    write_file(path, "an older and longer content");
    EXPECT_EQ(tamu_wget(url("new.txt").c_str(), path.c_str()), 0);
    EXPECT_EQ(read_file(path), "new");
}

TEST_F(WinDownload, MissingFileOnTheServerLeavesNoFile) {
    std::string path = home + "/missing.out";
    EXPECT_EQ(tamu_wget(url("no/such/file.png").c_str(), path.c_str()), 3);
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(std::string(tamu_wget_failure()), "HTTP status 404");
}

TEST_F(WinDownload, NoServerOnThePortLeavesNoFile) {
    int closed;
    {
        LocalServer probe;
        ASSERT_TRUE(probe.listen_now());
        closed = probe.port;
    }
    std::string path = home + "/refused.out";
    EXPECT_EQ(tamu_wget(url("x", closed).c_str(), path.c_str()), 3);
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(std::string(tamu_wget_failure()), "UrlHandle == 0");
}

TEST_F(WinDownload, AnOutputFileThatCannotBeCreatedIsResultTwo) {
    write_file(root + "/hello.txt", "hello");
    std::string path = home + "/no/such/folder/out.txt";
    EXPECT_EQ(tamu_wget(url("hello.txt").c_str(), path.c_str()), 2);
    EXPECT_EQ(std::string(tamu_wget_failure()), "could not open outfile: " + path);
    EXPECT_EQ(tamu_wget(url("hello.txt").c_str(), ""), 2);
    EXPECT_EQ(tamu_wget(url("hello.txt").c_str(), nullptr), 2);
    EXPECT_EQ(tamu_wget(nullptr, (home + "/null.out").c_str()), 3);
    EXPECT_FALSE(exists(home + "/null.out"));
}

TEST_F(WinDownload, ABrokenOffTransferLeavesNoFile) {
    LocalServer server;
    ASSERT_TRUE(server.listen_now());
    server.serve("HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: 5000\r\n\r\nonly this much");
    std::string path = home + "/short.out";
    EXPECT_EQ(tamu_wget(url("cart.png", server.port).c_str(), path.c_str()), 3);
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(std::string(tamu_wget_failure()), "the transfer broke off");
}

TEST_F(WinDownload, ABodyWithoutALengthEndsWithTheConnection) {
    LocalServer server;
    ASSERT_TRUE(server.listen_now());
    server.serve("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthe whole body");
    std::string path = home + "/unsized.out";
    EXPECT_EQ(tamu_wget(url("page", server.port).c_str(), path.c_str()), 0);
    EXPECT_EQ(read_file(path), "the whole body");
}

// wine's ntdll names itself.
bool under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST_F(WinDownload, AServerThatNeverAnswersTimesOut) {
    if (under_wine())
        GTEST_SKIP() << "wine's WinINet ignores the session's receive time-out and keeps "
                        "InternetOpenUrlA waiting for the answer's headers (closing the handle "
                        "does not end the wait either)";
    LocalServer silent;   // the system takes the connection; nobody answers
    ASSERT_TRUE(silent.listen_now());
    cconfig.timeout = 2;
    std::string path = home + "/silent.out";
    auto start = clock_type::now();
    EXPECT_EQ(tamu_wget(url("x", silent.port).c_str(), path.c_str()), 3);
    double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    EXPECT_LT(seconds, 30.0);
    EXPECT_FALSE(exists(path));
}

// As the cart browser does it: the fetch runs on a worker thread, which
// reports through a state word that the main thread polls.
std::atomic<int> worker_state{0};
std::string worker_url, worker_path;
void download_worker() {
    worker_state = tamu_wget(worker_url.c_str(), worker_path.c_str()) == 0 ? 2 : 3;
}

TEST_F(WinDownload, RunsOnAWorkerThread) {
    write_file(root + "/label.png", all_bytes(40));
    worker_url = url("label.png");
    worker_path = home + "/label.out";
    worker_state = 1;
    cthread *thread = tamu_create_thread(download_worker);
    ASSERT_NE(thread, nullptr);
    tamu_destroy_thread(thread);   // detached: it runs on
    auto deadline = clock_type::now() + std::chrono::seconds(30);
    while (worker_state == 1 && clock_type::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(worker_state, 2);
    EXPECT_EQ(read_file(worker_path), all_bytes(40));
}

}  // namespace
