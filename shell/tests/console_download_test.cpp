// The console's wait for a forum cart download, against a local HTTP
// server that the test starts (127.0.0.1 only): an info file naming the
// cart, then the cart image, loaded as the working cart for the console
// or started for a running cart; failures, the time-out, Esc and the pause
// button; a cancelled download's worker reporting nothing into the next
// one. Also the forum cache paths and URLs.
#include "shell_session.h"

#include "cart_forms.h"
#include "console_download.h"
#include "http_server.h"
#include "zorva_run.h"
#include "zorva_run_chain.h"
#include "zorva_splore.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <chrono>
#include <functional>
#include <sys/stat.h>
#include <thread>

namespace {

using lines = std::vector<std::string>;
constexpr int KEY_P = 19, KEY_ESCAPE = 41;
const char *const demo_code = "-- demo\nprint(1)";

lines texts() {
    lines out;
    for (auto &[text, colour] : printed) out.push_back(text);
    return out;
}

void make_dirs(const std::string &path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class ConsoleDownload : public ::testing::Test {
  protected:
    std::string www = test_home() + "/www";
    HttpServer server;
    char old_host[sizeof bbs_host];

    void SetUp() override {
        std::snprintf(old_host, sizeof old_host, "%s", bbs_host);
        std::filesystem::remove_all(www);
        std::filesystem::remove_all(appdata_path("bbs"));
        make_dirs(www + "/info/");
        ASSERT_TRUE(server.start(www)) << "could not start http_server.py";
        std::snprintf(bbs_host, sizeof bbs_host, "127.0.0.1:%d", server.port);
    }
    void TearDown() override {
        server.stop();
        std::snprintf(bbs_host, sizeof bbs_host, "%s", old_host);
    }

    std::string url(const std::string &rest) { return "http://" + std::string(bbs_host) + "/" + rest; }
    void serve(const std::string &path, const std::string &bytes) {
        make_dirs(www + "/" + path);
        write_file(www + "/" + path, bytes);
    }
    // The demo cart as a PNG cartridge at path.
    void write_demo_cart(const std::string &path) {
        make_dirs(path);
        zorva_cart *cart = cart_from_code(demo_code);
        ASSERT_EQ(save_zorva_cart_png(cart, path.c_str()), 0);
        tamu_destroy_zorva_cart(cart);
    }
    void serve_info(const std::string &lid, const std::string &text) { serve("info/" + lid + ".nfo", text); }
    // Starts the info file's download as the console's load by number would.
    void start_info_download(const std::string &lid) {
        ASSERT_EQ(download_file(url("info/" + lid + ".nfo").c_str(), get_bbs_cart_filename_nfo(lid.c_str())), 0);
    }
    // Passes (with real time for the worker) until done() holds.
    bool pass_until(shell_session &s, const std::function<bool()> &done, int seconds = 15) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            s.pass();
            if (done()) return true;
            sleep_ms(5);
        }
        return false;
    }
    bool idle() { return app.download_slot.state == DOWNLOAD_IDLE; }
    // A console command in the middle of its run (MODE 1, no cart program).
    void console_command(shell_session &s) {
        s.to_console();
        ASSERT_EQ(run_program("x = 1", 1), 1);
        cconfig.timeout = 240;
    }
};

TEST_F(ConsoleDownload, TheConsoleFetchesTheInfoThenTheCartAndLoadsIt) {
    shell_session s;
    serve_info("zorva_demo", "lid: zorva_demo\ntitle: Demo Cart!\nauthor: someone\n");
    write_demo_cart(www + "/bbs/cposts/zo/zorva_demo.zv.png");
    console_command(s);
    start_info_download("zorva_demo");
    ASSERT_TRUE(pass_until(s, [] { return printed_line("downloading.. ok"); }));
    EXPECT_EQ(texts(), (lines{"downloading.. ok", "demo cart!", "loaded #zorva_demo (16 chars)"}));
    EXPECT_EQ(printed[1].second, 14);
    EXPECT_STREQ(working_cart()->code, demo_code);
    std::string cached = get_bbs_cart_filename("zorva_demo");
    EXPECT_STREQ(pstate.working_file_name, cached.c_str());
    EXPECT_EQ(read_file(appdata_path("bbs/carts/zorva_demo.nfo")), read_file(www + "/info/zorva_demo.nfo"));
    EXPECT_TRUE(idle());
    s.passes(2);
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);   // the console command ran on

    // Now the cart is in the cache: the info file alone loads it.
    std::remove((www + "/bbs/cposts/zo/zorva_demo.zv.png").c_str());
    printed.clear();
    console_command(s);
    start_info_download("zorva_demo");
    ASSERT_TRUE(pass_until(s, [&] { return idle(); }));
    EXPECT_EQ(texts(), (lines{"downloading.. ok", "demo cart!", "loaded #zorva_demo (16 chars)"}));

    // An info file without an id of its own: the cached copy names the cart.
    printed.clear();
    serve_info("zorva_demo", "title: gone\n");
    console_command(s);
    start_info_download("zorva_demo");
    ASSERT_TRUE(pass_until(s, [&] { return idle(); }));
    EXPECT_EQ(texts(), (lines{"downloading.. ok", "demo cart!", "loaded #zorva_demo (16 chars)"}));
}

TEST_F(ConsoleDownload, ARunningCartStartsTheDownloadedCart) {
    shell_session s;
    serve_info("7654321", "lid: 7654321\ntitle: numbered\n");
    write_demo_cart(www + "/bbs/cposts/765/7654321.zv.png");
    s.run_code("function _update() end");
    ASSERT_EQ(pstate.running, 1);
    cconfig.timeout = 240;
    reset_run_chain();
    add_run_chain_item("first.zv", "back", 1);
    start_info_download("7654321");
    ASSERT_TRUE(pass_until(s, [&] { return idle() && pstate.REQUEST == REQUEST_RUN; }));
    EXPECT_EQ(pstate.hold_counter, 19);   // 20 frames from this tick on
    ASSERT_EQ(run_chain_items, 1);
    EXPECT_EQ(run_chain_item[0].pending, 0u);   // confirmed
    EXPECT_TRUE(printed.empty());
    EXPECT_STREQ(pstate.working_file_name, appdata_path("bbs/765/7654321.zv.png").c_str());
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_STREQ(working_cart()->code, demo_code);
}

// A PNG of a cart written by a newer version (format version 12).
void write_future_cart(const std::string &path, const std::string &from) {
    cbitmap *picture = tamu_load_png(from.c_str());
    ASSERT_NE(picture, nullptr);
    uint32_t &pixel = reinterpret_cast<uint32_t *>(picture->rows[CART_IMAGE_SIZE / 160])[CART_IMAGE_SIZE % 160];
    pixel = (pixel & 0xFCFCFCFC) | 3u << 8;   // the byte 12: G bits 2-3
    ASSERT_EQ(tamu_save_png(path.c_str(), picture), 0u);
    tamu_destroy_bitmap(picture);
}

TEST_F(ConsoleDownload, FailuresAreReported) {
    shell_session s;
    std::string scratch = test_home() + "/scratch.zv.png";
    write_demo_cart(scratch);
    make_dirs(www + "/bbs/cposts/fu/");
    write_future_cart(www + "/bbs/cposts/fu/future.zv.png", scratch);
    make_dirs(www + "/bbs/cposts/sm/");
    cbitmap *small = tamu_create_bitmap(8, 8, 32);
    ASSERT_EQ(tamu_save_png((www + "/bbs/cposts/sm/small.zv.png").c_str(), small), 0u);
    tamu_destroy_bitmap(small);
    serve_info("future", "lid: future\ntitle: future\n");
    serve_info("small", "lid: small\ntitle: small\n");
    serve_info("noid", "title: no id\n");
    serve_info("broken", "lid: broken\n");
    serve_info("unsafe", "lid: ../../x\ntitle: escape\n");
    serve("bbs/cposts/br/broken.zv.png", "not a png");

    struct {
        const char *lid;
        bool cart_runs;
        lines printed;
        const char *message;
    } cases[] = {
        {"missing", false, {"download failed"}, ""},                          // no info file
        {"missing", true, {}, "download failed"},
        {"noid", false, {"could not fetch cart"}, "could not find cart"},
        {"noid", true, {"could not fetch cart"}, "could not find cart"},
        {"broken", false, {"download failed"}, ""},                           // the cart is no PNG
        {"unsafe", true, {}, "download failed"},                               // an id that leaves the cache
        {"small", true, {}, "could not load"},                                 // a PNG of another size
        {"future", false, {}, "future version. please update!"},
    };
    for (auto &c : cases) {
        std::string what = std::string(c.lid) + (c.cart_runs ? " (cart)" : " (console)");
        if (c.cart_runs) {
            s.run_code("function _update() end");
            cconfig.timeout = 240;
        } else {
            console_command(s);
        }
        reset_run_chain();
        add_run_chain_item("first.zv", "back", 1);
        printed.clear();
        app.message_text[0] = 0;
        start_info_download(c.lid);
        ASSERT_TRUE(pass_until(s, [&] { return idle(); })) << what;
        // the second download (of the cart image) when there is one
        s.pass();
        ASSERT_TRUE(pass_until(s, [&] { return idle(); })) << what;
        lines out = texts();
        out.erase(std::remove(out.begin(), out.end(), std::string("future_version: 12")), out.end());
        EXPECT_EQ(out, c.printed) << what;
        EXPECT_STREQ(app.message_text, c.message) << what;
        EXPECT_EQ(run_chain_items, 0) << what;   // the pending entry went
        EXPECT_NE(pstate.REQUEST, REQUEST_RUN) << what;
    }
    struct stat st;
    EXPECT_NE(stat(appdata_path("x.zv.png").c_str(), &st), 0);
}

TEST_F(ConsoleDownload, TimeOutEscAndTheWorkerOfACancelledDownload) {
    shell_session s;
    SilentServer silent;
    ASSERT_TRUE(silent.start());
    std::string silent_url = "http://127.0.0.1:" + std::to_string(silent.port) + "/x.nfo";
    console_command(s);
    cconfig.timeout = 1;
    ASSERT_EQ(download_file(silent_url.c_str(), get_bbs_cart_filename_nfo("slow")), 0);
    s.pass();
    EXPECT_FALSE(idle());
    pstate.draw_state.cursor_y = 60;
    s.pass(1100);   // the shell's clock: past the time-out
    EXPECT_TRUE(idle());
    EXPECT_EQ(texts(), lines{"download timed out"});
    EXPECT_EQ(pstate.draw_state.cursor_y, 60);   // printed over the line above

    // A new download while the old worker still waits for the server: the
    // old one's end must not count for it. (The old fetch gives up after
    // its one second; the new one has longer.)
    sleep_ms(200);
    cconfig.timeout = 30;
    int started = 1;
    for (int i = 0; i < 200 && started != 0; i++) {
        started = download_file(silent_url.c_str(), get_bbs_cart_filename_nfo("slower"));
        if (started) sleep_ms(5);
    }
    ASSERT_EQ(started, 0);
    sleep_ms(1500);   // the first fetch has given up by now
    s.passes(3);
    EXPECT_EQ(app.download_slot.state, DOWNLOAD_RUNNING);

    printed.clear();
    s.press(KEY_ESCAPE);
    EXPECT_TRUE(idle());
    EXPECT_EQ(texts(), lines{"downloading.. cancelled"});
}

TEST_F(ConsoleDownload, ThePauseButtonCancelsARunningCartsDownload) {
    shell_session s;
    SilentServer silent;
    ASSERT_TRUE(silent.start());
    std::string silent_url = "http://127.0.0.1:" + std::to_string(silent.port) + "/x.nfo";
    s.run_code("function _update() end");
    cconfig.timeout = 30;
    reset_run_chain();
    add_run_chain_item("first.zv", "back", 1);
    int started = 1;
    for (int i = 0; i < 200 && started != 0; i++) {
        started = download_file(silent_url.c_str(), get_bbs_cart_filename_nfo("slow"));
        if (started) sleep_ms(5);
    }
    ASSERT_EQ(started, 0);
    s.pass();
    s.press(KEY_P);
    EXPECT_TRUE(idle());
    EXPECT_TRUE(printed.empty());
    EXPECT_EQ(run_chain_items, 0);
    s.passes(3);
    EXPECT_EQ(app.pause_menu_open, 0);   // the press was used up
}

TEST(ForumCache, PathsAndUrls) {
    shell_session s;
    char old_host[sizeof bbs_host];
    std::snprintf(old_host, sizeof old_host, "%s", bbs_host);
    std::snprintf(bbs_host, sizeof bbs_host, "forum.test");
    std::string bbs = appdata_path("bbs/");
    struct {
        const char *lid;
        std::string cart, info, url;
    } cases[] = {
        {"1234567", bbs + "123/1234567.zv.png", bbs + "123/temp-1234567.nfo", "http://forum.test/bbs/cposts/123/1234567.zv.png"},
        {"0042", bbs + "0/42.zv.png", bbs + "0/temp-42.nfo", "http://forum.test/bbs/cposts/0/42.zv.png"},
        {"ab_cd", bbs + "carts/ab_cd.zv.png", bbs + "carts/temp-ab_cd.nfo", "http://forum.test/bbs/cposts/ab/ab_cd.zv.png"},
        {"Ab", "", "", ""},   // upper case: no forum id, so no cache file nor URL
        {"a", "", "", ""},    // too short
        {"", "", "", ""},
        {"../../x", "", "", ""},                                          // never outside the cache
        {"a/b", "", "", ""},
        {"a.b", "", "", ""},
    };
    for (auto &c : cases) {
        EXPECT_EQ(std::string(get_bbs_cart_filename(c.lid)), c.cart) << c.lid;
        EXPECT_EQ(std::string(get_bbs_cart_filename_nfo(c.lid)), c.info) << c.lid;
        EXPECT_EQ(std::string(get_bbs_cart_url(c.lid)), c.url) << c.lid;
    }
    EXPECT_TRUE(tamu_directory_exists((bbs + "123").c_str()));
    std::snprintf(bbs_host, sizeof bbs_host, "%s", old_host);
}

}  // namespace
