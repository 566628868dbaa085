// Installing the carts of the data pod: the preloaded forum carts into the
// forum cache and "favourites.txt" (install_games), and the demo carts
// into "demos/" (install_demos), each written once and never over the
// user's files.
#include "shell_session.h"

#include "cart_forms.h"
#include "demo_install.h"
#include "lua.h"
#include "zorva_cpu.h"
#include "zorva_run.h"
#include "zorva_splore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

namespace {

using lines = std::vector<std::string>;

void command(shell_session &s, const std::string &text) {
    s.to_console();
    ASSERT_EQ(run_program(text.c_str(), 1), 1) << text;
    s.pass();
}

cfile *memory_item(const std::string &name, const std::string &bytes) {
    cbuffer *file = tamu_create_buffer(0);
    if (!bytes.empty()) tamu_fwrite(bytes.data(), 1, int(bytes.size()), file);
    std::snprintf(file->name, sizeof file->name, "%s", name.c_str());
    return file;
}

// A pod file of memory files, as bytes.
std::string pod_bytes(const std::vector<std::pair<std::string, std::string>> &items) {
    cpod *pod = tamu_create_pod(int(items.size()));
    for (auto &[name, bytes] : items) cpod_add_item(pod, CPOD_ITEM_FILE, memory_item(name, bytes));
    cbuffer *out = tamu_create_buffer(0);
    tamu_save_pod_file(nullptr, pod, out);
    std::string result(reinterpret_cast<char *>(out->data), size_t(out->size));
    tamu_destroy_buffer(out);
    tamu_destroy_pod(pod);
    return result;
}

// Puts a data pod of the given items in place of the player's for the
// test's life.
class swapped_data_pod {
  public:
    explicit swapped_data_pod(const std::vector<std::string> &items) : old_(pstate.data_pod) {
        cpod *pod = tamu_create_pod(int(items.size()));
        for (const std::string &bytes : items) cpod_add_item(pod, CPOD_ITEM_FILE, memory_item("", bytes));
        pstate.data_pod = pod;
    }
    ~swapped_data_pod() {
        tamu_destroy_pod(pstate.data_pod);
        pstate.data_pod = old_;
    }

  private:
    cpod *old_;
};

bool global_true(const char *name) {
    lua_getglobal(L0, name);
    bool b = lua_toboolean(L0, -1) != 0;
    lua_pop(L0, 1);
    return b;
}

std::string favourites() { return read_file(appdata_path("favourites.txt")); }

int count_of(const std::string &text, const std::string &part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

TEST(InstallGames, PutsThePreloadedCartsInTheCacheAndTheFavouritesOnce) {
    shell_session s;
    std::remove(appdata_path("favourites.txt").c_str());
    for (const char *id : preloaded_bbs_cart_ids) std::remove(get_bbs_cart_filename(id));

    command(s, "installed = install_games()");
    EXPECT_TRUE(global_true("installed"));
    EXPECT_EQ(printed.size(), 2u);
    EXPECT_TRUE(printed_line("installed sample games"));
    EXPECT_TRUE(printed_line("to splore favourites"));
    std::string list = favourites();
    for (const char *id : preloaded_bbs_cart_ids) {
        EXPECT_EQ(count_of(list, "|" + std::string(id) + " "), 1) << id;
        zorva_cart *cart = load_zorva_cart_png(get_bbs_cart_filename(id));
        ASSERT_NE(cart, nullptr) << id;
        EXPECT_EQ(std::strncmp(cart->code, "-- ", 3), 0) << id;
        tamu_destroy_zorva_cart(cart);
    }
    EXPECT_NE(list.find("|zorva_hello          |                     |0      |zorva            |                     |hello\n"),
              std::string::npos)
        << list;

    // Again: nothing twice, and nothing of the user's replaced. The user's
    // favourites are the browser's list, which install_games saves first.
    EXPECT_EQ(favourites_list()->count, PRELOADED_BBS_CARTS);
    std::string cached = get_bbs_cart_filename("zorva_bounce");
    write_file(cached, "my own copy");
    printed.clear();
    command(s, "install_games()");
    EXPECT_TRUE(printed_line("installed sample games"));
    EXPECT_EQ(favourites(), list);
    EXPECT_EQ(favourites_list()->count, PRELOADED_BBS_CARTS);
    EXPECT_EQ(read_file(cached), "my own copy");

    // A favourite of the user's for one of the preloaded ids, under a title
    // of their own, is kept; the others are added after it.
    std::string mine = "|zorva_rain           |                     |0      |me               |                     |my rain\n";
    write_file(appdata_path("favourites.txt"), mine.substr(0, mine.size() - 1));   // no last line end
    clear_splore_list(favourites_list());
    load_splore_favourites();   // the player started with that file
    command(s, "install_games()");
    std::string merged = favourites();
    EXPECT_EQ(merged.substr(0, mine.size()), mine);
    EXPECT_EQ(count_of(merged, "|zorva_rain "), 1);
    EXPECT_EQ(count_of(merged, "|zorva_hello "), 1);
    EXPECT_EQ(count_of(merged, "\n"), 3);
    splore_list_record *fav = favourites_list();
    ASSERT_EQ(fav->count, 3);
    EXPECT_STREQ(fav->items[0].title, "my rain");

    // Installed straight into a file whose last line has no line end: the
    // others get lines of their own after it.
    write_file(appdata_path("favourites.txt"), mine.substr(0, mine.size() - 1));
    EXPECT_EQ(install_preloaded_bbs_carts(), 0);
    merged = favourites();
    EXPECT_EQ(merged.substr(0, mine.size()), mine);
    EXPECT_EQ(count_of(merged, "|zorva_rain "), 1);
    EXPECT_EQ(count_of(merged, "|zorva_bounce "), 1);
    EXPECT_EQ(count_of(merged, "\n"), 3);
}

// From the main cart's menu, the way a new user does it: the second entry
// installs the sample games, and each comes with its label picture.
TEST(InstallGames, FromTheMainCartsMenuWithTheirLabels) {
    shell_session s;
    std::remove(appdata_path("favourites.txt").c_str());
    for (const char *id : preloaded_bbs_cart_ids) std::remove(get_bbs_cart_filename(id));
    for (int i = 0; i < 200 && !(pstate.MODE == MODE_RUNNING && pstate.running); i++) s.pass();
    ASSERT_STREQ(pstate.working_file_name, "zorva.zv");
    s.passes(3);
    s.press(81);   // down: "install sample games"
    s.passes(2);
    s.press(27);   // X
    s.passes(2);
    std::string list = favourites();
    for (const char *id : preloaded_bbs_cart_ids) {
        EXPECT_EQ(count_of(list, "|" + std::string(id) + " "), 1) << id;
        cbitmap *label = create_label_from_file(get_bbs_cart_filename(id));
        ASSERT_NE(label, nullptr) << id;
        int colours[16] = {};
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) colours[label->rows[y][x] & 15]++;
        int used = 0;
        for (int n : colours) used += n > 0;
        EXPECT_GE(used, 3) << id << ": a picture, not a blank label";
        tamu_destroy_bitmap(label);
    }
}

TEST(InstallGames, TheDataPodHoldsTheTableOfIds) {
    shell_session s;
    cpod *carts = read_data_pod_nested(POD_PRELOADED_BBS_CARTS);
    ASSERT_NE(carts, nullptr);
    ASSERT_EQ(carts->count, 1 + PRELOADED_BBS_CARTS);
    EXPECT_STREQ(static_cast<cfile *>(cpod_get_item(carts, 0, CPOD_ITEM_FILE))->name, "favourites.txt");
    for (int k = 1; k <= PRELOADED_BBS_CARTS; k++)
        EXPECT_EQ(std::string(static_cast<cfile *>(cpod_get_item(carts, k, CPOD_ITEM_FILE))->name),
                  std::string(preloaded_bbs_cart_ids[k - 1]) + ".zv.png");
    tamu_destroy_pod(carts);
}

TEST(InstallGames, ADataPodWithoutThemSaysSo) {
    shell_session s;
    std::remove(appdata_path("favourites.txt").c_str());
    {
        swapped_data_pod pod({"", "", "", "", "", "", "not a pod"});
        command(s, "installed = install_games()");
        EXPECT_FALSE(global_true("installed"));
    }
    EXPECT_EQ(printed.size(), 1u);
    EXPECT_TRUE(printed_line("could not install sample games"));
    EXPECT_EQ(favourites(), "");
}

TEST(InstallDemos, ThePlayersOwnDataPodHasTheMainCartAtItemThree) {
    shell_session s;
    std::string demos = std::string(pstate.root_path) + "demos";
    command(s, "install_demos()");
    EXPECT_EQ(printed.size(), 1u);
    EXPECT_TRUE(printed_line("installing demo carts to /demos/"));
    EXPECT_FALSE(tamu_directory_exists(demos.c_str()));
}

TEST(InstallDemos, WritesEachDemoOnceAndKeepsTheUsersFiles) {
    shell_session s;
    std::string demos = std::string(pstate.root_path) + "demos/";
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < DEMO_CARTS; i++) entries.emplace_back("", "demo " + std::to_string(i));
    swapped_data_pod pod({"", "", "", pod_bytes(entries)});

    for (int i = 0; i < DEMO_CARTS; i++) std::remove((demos + demo_cart_names[i]).c_str());   // an earlier run's
    mkdir(demos.c_str(), 0755);
    write_file(demos + demo_cart_names[1], "edited by me");
    command(s, "install_demos()");
    lines expected = {"installing demo carts to /demos/", demo_cart_names[0], demo_cart_names[2]};
    ASSERT_EQ(printed.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(printed[i].first, expected[i]);
    EXPECT_EQ(printed[0].second, 14);
    EXPECT_EQ(read_file(demos + demo_cart_names[0]), "demo 0");
    EXPECT_EQ(read_file(demos + demo_cart_names[1]), "edited by me");
    EXPECT_EQ(read_file(demos + demo_cart_names[2]), "demo 2");

    printed.clear();
    write_file(demos + demo_cart_names[0], "played and changed");
    command(s, "install_demos()");
    EXPECT_EQ(printed.size(), 1u);
    EXPECT_EQ(read_file(demos + demo_cart_names[0]), "played and changed");
}

}  // namespace
