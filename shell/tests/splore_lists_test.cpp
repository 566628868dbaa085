// The cart browser's lists: entries and their text rules, local folder
// listings, the favourites file (reading, writing, toggling) and labels.
#include "shell_session.h"

#include "cart_forms.h"
#include "zorva_splore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A list of its own, freed at the end of the test.
struct own_list {
    splore_list_record list{};
    own_list() { list.name = "test"; }
    ~own_list() { free_splore_list(&list); }
    splore_list_record *operator->() { return &list; }
    splore_list_record *get() { return &list; }
};

splore_item *add_cart(splore_list_record *list, const char *lid, const char *path, const char *title = "") {
    splore_item *e = add_splore_item(list, 0);
    e->kind = SPLORE_KIND_CART;
    copy_splore_text(e->lid, lid);
    copy_splore_text(e->path, path);
    copy_splore_text(e->title, title);
    return e;
}

std::vector<std::string> titles(splore_list_record *list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count; i++) out.push_back(list->items[i].title);
    return out;
}

std::string root_folder() { return pstate.root_path; }

void make_file(const std::string &path, const std::string &bytes = "x") {
    fs::create_directories(fs::path(path).parent_path());
    write_file(path, bytes);
}

std::string fav_file() { return appdata_path("favourites.txt"); }

// The favourites list as set up at start, from the file as it is now.
void load_favourites_from(const std::string &text) {
    write_file(fav_file(), text);
    clear_splore_list(favourites_list());
    load_splore_favourites();
}

cbitmap *patterned_label(int seed) {
    cbitmap *b = tamu_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) b->rows[y][x] = uint8_t((x / 8 + y / 8 + seed) % 16);
    return b;
}

bool same_pixels(const cbitmap *a, const cbitmap *b) {
    if (!a || !b || a->width != b->width || a->height != b->height) return false;
    for (int y = 0; y < a->height; y++)
        if (std::memcmp(a->rows[y], b->rows[y], size_t(a->width)) != 0) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Entries

TEST(SploreEntries, AddedEntriesGoLastOrBeforeTheFirstCart) {
    shell_session s;
    own_list l;
    splore_item *head = add_splore_item(l.get(), 0);
    head->kind = SPLORE_KIND_UPDATE;
    copy_splore_text(head->title, "[update]");
    add_cart(l.get(), "aa", "", "one");
    add_cart(l.get(), "bb", "", "two");
    splore_item *e = add_splore_item(l.get(), 1);
    EXPECT_EQ(e->kind, 0);
    EXPECT_EQ(e->title[0], 0);
    copy_splore_text(e->title, "inserted");
    EXPECT_EQ(titles(l.get()), (std::vector<std::string>{"[update]", "inserted", "one", "two"}));
    // No cart at all: last.
    own_list folders;
    add_splore_item(folders.get(), 0)->kind = SPLORE_KIND_FOLDER;
    add_splore_item(folders.get(), 1);
    EXPECT_EQ(folders->count, 2);
    EXPECT_EQ(folders->items[0].kind, SPLORE_KIND_FOLDER);

    // Outside the list: the dummy, cleared each time.
    splore_item *d = get_splore_item(l.get(), 4);
    EXPECT_EQ(d, &dummy_splore_item);
    copy_splore_text(d->title, "dirty");
    EXPECT_EQ(get_splore_item(l.get(), -1)->title[0], 0);
    EXPECT_STREQ(get_splore_item(l.get(), 3)->title, "two");
}

TEST(SploreEntries, EqualityByLidOrByPathOfALocalCart) {
    shell_session s;
    own_list l;
    add_cart(l.get(), "", "local.zv");              // 0
    add_cart(l.get(), "12345", "");                 // 1
    add_cart(l.get(), "", "other.zv");              // 2
    copy_splore_text(l->items[2].mid, "99");        // a mid: not a local cart
    add_cart(l.get(), "abc", "local2.zv");          // 3
    add_cart(l.get(), "", "Local.zv");              // 4
    struct {
        const char *lid, *path;
        int index;
    } cases[] = {
        {"12345", "", 1},
        {"12345", "local.zv", 0},   // the first equal entry: by path
        {"", "local.zv", 0},
        {"", "other.zv", -1},       // it has a mid
        {"", "local2.zv", -1},      // it has a lid
        {"abc", "", 3},
        {"", "LOCAL.zv", -1},       // case counts
        {"", "Local.zv", 4},
        {"", "", -1},
        {"nope", "", -1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(std::string(c.lid) + " / " + c.path);
        EXPECT_EQ(find_item_index(l.get(), c.lid, c.path), c.index);
    }
}

TEST(SploreEntries, TextRules) {
    shell_session s;
    struct {
        const char *in, *title, *author;
    } cases[] = {
        {"Hello|World", "hello_world", "hello_world"},
        {"Some Body!", "some body!", "some_body_"},
        {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst", "abcdefghijklmnop"},
        {"trailing   ", "trailing", "trailing"},
        {"tab\there\x01\x7f\xc3\xa9", "tab here \x7f", "tab_here____"},
        // Control bytes at the end become spaces, which are then trimmed.
        {"game\x01\x02 \x1b", "game", "game____"},
        {"", "", ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.in);
        char title[128], author[128];
        copy_splore_text(title, c.in);
        copy_splore_text(author, c.in);
        sanitise_title_string(title);
        sanitise_author_string(author);
        EXPECT_STREQ(title, c.title);
        EXPECT_STREQ(author, c.author);
    }
    char text[128] = "ABC|d\x05";
    clean_zorva_string(text);
    EXPECT_STREQ(text, "abc|d ");

    // A whole entry: lid, mid and path only lose trailing spaces.
    splore_item e{};
    copy_splore_text(e.lid, "Ab_1  ");
    copy_splore_text(e.mid, "M ");
    copy_splore_text(e.path, "Dir/Game.zv ");
    copy_splore_text(e.title, "My Game ");
    copy_splore_text(e.author, "Me ");
    sanitise_splore_item(&e);
    EXPECT_STREQ(e.lid, "Ab_1");
    EXPECT_STREQ(e.mid, "M");
    EXPECT_STREQ(e.path, "Dir/Game.zv");
    EXPECT_STREQ(e.title, "my game");
    EXPECT_STREQ(e.author, "me");

    // Texts are cut to 127 characters.
    copy_splore_text(e.title, std::string(300, 'a').c_str());
    EXPECT_EQ(std::strlen(e.title), 127u);
}

TEST(SploreEntries, TitlesFromFileNamesAndIcons) {
    shell_session s;
    struct {
        const char *path, *title;
    } names[] = {
        {"game.zv", "game"},         {"game.zv.png", "game"}, {"ab.zv", "ab"},
        {"my.game.zv", "my.game"},   {"dir/x.y/cart.zv", "cart"}, {"noext", "noext"},
        {"a.zv.png", "a"},
    };
    for (auto &n : names) {
        splore_item e{};
        get_title_from_filename(&e, n.path);
        EXPECT_STREQ(e.title, n.title) << n.path;
    }
    splore_item kept{};
    copy_splore_text(kept.title, "kept");
    get_title_from_filename(&kept, "other.zv");
    EXPECT_STREQ(kept.title, "kept");

    struct {
        int kind, icon;
        const char *lid, *mid, *path;
        int expected;
    } icons[] = {
        {SPLORE_KIND_CART, 0, "123", "", "", SPLORE_ICON_FORUM_CART},
        {SPLORE_KIND_CART, 0, "", "9", "", SPLORE_ICON_FORUM_CART},
        {SPLORE_KIND_CART, 0, "", "", "a.zv.png", SPLORE_ICON_PNG_CART},
        {SPLORE_KIND_CART, 0, "", "", "a.zv", SPLORE_ICON_TEXT_CART},
        {SPLORE_KIND_FOLDER, SPLORE_ICON_FOLDER, "", "", "d", SPLORE_ICON_FOLDER},
        {SPLORE_KIND_UPDATE, SPLORE_ICON_HEAD_ROW, "", "", "", SPLORE_ICON_HEAD_ROW},
    };
    for (auto &c : icons) {
        splore_item e{};
        e.kind = c.kind;
        e.icon = c.icon;
        copy_splore_text(e.lid, c.lid);
        copy_splore_text(e.mid, c.mid);
        copy_splore_text(e.path, c.path);
        EXPECT_EQ(get_icon_for_item(&e), c.expected);
    }
}

TEST(SploreEntries, ForumIdsThatMayNameFiles) {
    struct {
        const char *id;
        bool ok;
    } cases[] = {
        {"1234567", true}, {"ab_cd", true},   {"a", false},         {"", false},        {"Ab", false},
        {"../x", false},   {"a/b", false},    {"a.b", false},       {"2147483647", true}, {"2147483648", false},
        {"007", true},     {"x y", false},
    };
    for (auto &c : cases) EXPECT_EQ(valid_forum_id(c.id), c.ok) << c.id;
}

// ---------------------------------------------------------------------------
// Local folders

TEST(SploreFolders, RootListingHasNoParentRow) {
    shell_session s;
    std::string root = root_folder();
    make_file(root + "zeta.zv");
    make_file(root + "alpha.zv.png");
    make_file(root + "notes.txt");
    make_file(root + ".hidden.zv");
    fs::create_directories(root + "games");
    fs::create_directories(root + ".secret");
    make_file(root + std::string(130, 'l') + ".zv");   // its path would not fit
    pstate.current_directory[0] = 0;
    own_list l;
    populate_splore_list_from_directory(l.get(), "");
    EXPECT_EQ(titles(l.get()), (std::vector<std::string>{"games", "alpha", "zeta"}));
    EXPECT_EQ(l->items[0].kind, SPLORE_KIND_FOLDER);
    EXPECT_EQ(l->items[0].icon, SPLORE_ICON_FOLDER);
    EXPECT_STREQ(l->items[0].path, "games");
    EXPECT_EQ(l->items[1].kind, SPLORE_KIND_CART);
    EXPECT_STREQ(l->items[1].path, "alpha.zv.png");
    EXPECT_EQ(l->head_row, 0);
}

TEST(SploreFolders, SubFolderListingStartsWithFoldersThenCartsByTitle) {
    shell_session s;
    std::string root = root_folder();
    make_file(root + "sub/b.zv");
    make_file(root + "sub/a.zv");
    make_file(root + "sub/C.zv");
    fs::create_directories(root + "sub/zz");
    fs::create_directories(root + "sub/aa");
    std::snprintf(pstate.current_directory, sizeof pstate.current_directory, "sub/");
    own_list l;
    populate_splore_list_from_directory(l.get(), "sub/");
    // Byte order: ".." and the folders first, "C" before the lower case.
    EXPECT_EQ(titles(l.get()), (std::vector<std::string>{"..", "aa", "zz", "C", "a", "b"}));
    EXPECT_EQ(l->items[0].icon, SPLORE_ICON_PARENT);
    EXPECT_STREQ(l->items[0].path, "");
    EXPECT_STREQ(l->items[3].path, "sub/C.zv");
}

TEST(SploreFolders, ListingMarksFavourites) {
    shell_session s;
    std::string root = root_folder();
    make_file(root + "fav.zv");
    make_file(root + "plain.zv");
    pstate.current_directory[0] = 0;
    splore_toggle_favourite_0("", "fav.zv");
    own_list l;
    populate_splore_list_from_directory(l.get(), "");
    ASSERT_EQ(l->count, 2);
    EXPECT_EQ(l->items[0].favourite, 1);
    EXPECT_EQ(l->items[1].favourite, 0);
}

// ---------------------------------------------------------------------------
// The favourites file

TEST(SploreFavouritesFile, ReadsLinesAndDropsDuplicatesAndEmptyOnes) {
    shell_session s;
    std::string text =
        "|1234                 |5678                 |2      |Author Name      |                     |Cool Game\n"
        "|1234                 |9                    |3      |someone          |                     |again\r\n"
        "|                     |                     |0      |                 |carts/local.zv       |Local Cart\r"
        "|                     |                     |0      |                 |carts/local.zv       |twice\n"
        "|                     |                     |0      |                 |                     |no id\n"
        "|                     |77                   |0      |                 |carts/mid.zv         |mid only\n"
        "|||||\n"
        "not a line\n"
        "\n"
        "|ab_cd|x|junk|Who|path.zv|Title|extra\n"
        "|short\n";
    load_favourites_from(text);
    splore_list_record *fav = favourites_list();
    ASSERT_EQ(fav->count, 4);
    const splore_item &a = fav->items[0];
    EXPECT_STREQ(a.lid, "1234");
    EXPECT_STREQ(a.mid, "5678");
    EXPECT_EQ(a.catsub, 2);
    EXPECT_STREQ(a.author, "author_name");
    EXPECT_STREQ(a.path, "");
    EXPECT_STREQ(a.title, "cool game");
    EXPECT_EQ(a.kind, SPLORE_KIND_CART);
    EXPECT_EQ(a.icon, SPLORE_ICON_FORUM_CART);
    EXPECT_STREQ(fav->items[1].path, "carts/local.zv");
    EXPECT_STREQ(fav->items[1].title, "local cart");
    EXPECT_EQ(fav->items[1].icon, SPLORE_ICON_TEXT_CART);
    const splore_item &c = fav->items[2];
    EXPECT_STREQ(c.lid, "ab_cd");
    EXPECT_EQ(c.catsub, 0);   // not a number
    EXPECT_STREQ(c.title, "title");
    EXPECT_STREQ(fav->items[3].lid, "short");
    EXPECT_STREQ(fav->items[3].title, "");
}

TEST(SploreFavouritesFile, LongLinesAndFieldsAreCutNotSplit) {
    shell_session s;
    std::string long_title(900, 't');
    std::string text = "|" + std::string(200, 'a') + "|mid|1|au|p.zv|" + long_title + "\n" +
                       // the rest of an over-long line never reads as a line of its own
                       "|xx|||||" + std::string(1100, 'q') + "|yy|||||\n" + "|zz||||| last\n";
    load_favourites_from(text);
    splore_list_record *fav = favourites_list();
    ASSERT_EQ(fav->count, 3);
    EXPECT_EQ(std::strlen(fav->items[0].lid), 127u);
    EXPECT_EQ(std::strlen(fav->items[0].title), 127u);
    EXPECT_STREQ(fav->items[1].lid, "xx");
    EXPECT_STREQ(fav->items[2].lid, "zz");
}

TEST(SploreFavouritesFile, WritesTheFormatAndReadsItBack) {
    shell_session s;
    splore_list_record *fav = favourites_list();
    clear_splore_list(fav);
    splore_item *a = add_cart(fav, "1234", "", "cool game");
    copy_splore_text(a->mid, "5678");
    copy_splore_text(a->author, "someone");
    a->catsub = 2;
    add_cart(fav, "", "carts/local.zv", "local cart");
    add_splore_item(fav, 0)->kind = SPLORE_KIND_UPDATE;   // not a cart: not written
    ASSERT_EQ(save_splore_favourites(), 0);
    EXPECT_EQ(read_file(fav_file()),
              "|1234                 |5678                 |2      |someone          |                     |cool game\n"
              "|                     |                     |0      |                 |carts/local.zv       |local cart\n");

    clear_splore_list(fav);
    load_splore_favourites();
    ASSERT_EQ(fav->count, 2);
    EXPECT_STREQ(fav->items[0].lid, "1234");
    EXPECT_STREQ(fav->items[0].mid, "5678");
    EXPECT_STREQ(fav->items[1].path, "carts/local.zv");
}

TEST(SploreFavouritesFile, BarsAndLineEndsInFieldsDoNotBreakTheFile) {
    shell_session s;
    splore_list_record *fav = favourites_list();
    clear_splore_list(fav);
    add_cart(fav, "", "odd|name\n|evil|x.zv", "title\r|x");
    add_cart(fav, "5555", "", "after");
    ASSERT_EQ(save_splore_favourites(), 0);
    std::string written = read_file(fav_file());
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2);
    clear_splore_list(fav);
    load_splore_favourites();
    ASSERT_EQ(fav->count, 2);
    EXPECT_STREQ(fav->items[0].path, "odd_name__evil_x.zv");
    EXPECT_STREQ(fav->items[1].lid, "5555");
}

TEST(SploreFavouritesFile, MissingFileIsAnEmptyList) {
    shell_session s;
    std::remove(fav_file().c_str());
    clear_splore_list(favourites_list());
    load_splore_favourites();
    EXPECT_EQ(favourites_list()->count, 0);
    copy_splore_text(running_item.lid, "4321");
    splore_toggle_favourite_ingame(running_item.lid, "");
    EXPECT_NE(read_file(fav_file()).find("|4321 "), std::string::npos);
}

TEST(SploreFavouritesFile, AFileThatCannotBeReadIsNotReplaced) {
    shell_session s;
    // A folder where the file belongs: it opens, but cannot be read.
    fs::remove_all(fav_file());
    fs::create_directories(fav_file());
    clear_splore_list(favourites_list());
    load_splore_favourites();
    copy_splore_text(running_item.lid, "4321");
    splore_toggle_favourite_ingame(running_item.lid, "");
    EXPECT_EQ(save_splore_favourites(), 1);
    EXPECT_TRUE(fs::is_directory(fav_file()));
    fs::remove(fav_file());

    // Once it reads again (the sample games install reloads it), saving
    // works again.
    write_file(fav_file(), "|1111|||||one\n");
    reload_favourites();
    EXPECT_EQ(save_splore_favourites(), 0);
    std::string text = read_file(fav_file());
    EXPECT_NE(text.find("|4321 "), std::string::npos);
    EXPECT_NE(text.find("|1111 "), std::string::npos);
}

TEST(SploreFavouritesFile, ReloadAppendsOnlyNewEntries) {
    shell_session s;
    load_favourites_from("|1111|||||one\n|2222|||||two\n");
    write_file(fav_file(), "|2222|||||two\n|3333|||||three\n");
    reload_favourites();
    EXPECT_EQ(titles(favourites_list()), (std::vector<std::string>{"one", "two", "three"}));
}

// ---------------------------------------------------------------------------
// Toggling favourites

TEST(SploreToggle, RemovesAFavouriteAndPutsItBackBeforeTheCarts) {
    shell_session s;
    load_favourites_from("|1111|||||one\n|2222|||||two\n|3333|||||three\n");
    EXPECT_TRUE(is_favourite("2222", ""));
    EXPECT_EQ(splore_toggle_favourite_0("2222", ""), nullptr);
    EXPECT_FALSE(is_favourite("2222", ""));
    EXPECT_EQ(titles(favourites_list()), (std::vector<std::string>{"one", "three"}));
    splore_item *back = splore_toggle_favourite_0("2222", "");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back, &favourites_list()->items[0]);
    EXPECT_STREQ(back->lid, "2222");
    EXPECT_EQ(back->kind, SPLORE_KIND_CART);
    // A local cart gets its title from the file name.
    splore_item *local = splore_toggle_favourite_0("", "dir/new.zv.png");
    ASSERT_NE(local, nullptr);
    EXPECT_STREQ(local->title, "new");
    EXPECT_STREQ(local->path, "dir/new.zv.png");
}

TEST(SploreToggle, SelectedEntryIsCopiedWithItsLabelAndSaved) {
    shell_session s;
    load_favourites_from("");
    list_index = 2;
    splore_list_record *forum = &splore_list[2];
    clear_splore_list(forum);
    add_cart(forum, "3001", "", "first");
    splore_item *e = add_cart(forum, "3002", "", "second");
    copy_splore_text(e->author, "someone");
    copy_splore_text(e->mid, "77");
    e->catsub = 4;
    e->label = patterned_label(3);
    forum->selected = 1;
    splore_toggle_favourite();

    splore_list_record *fav = favourites_list();
    ASSERT_EQ(fav->count, 1);
    const splore_item &f = fav->items[0];
    EXPECT_STREQ(f.title, "second");
    EXPECT_STREQ(f.author, "someone");
    EXPECT_STREQ(f.mid, "77");
    EXPECT_EQ(f.catsub, 4);
    ASSERT_NE(f.label, nullptr);
    EXPECT_NE(f.label, e->label);   // its own copy
    EXPECT_TRUE(same_pixels(f.label, e->label));
    EXPECT_EQ(forum->items[1].favourite, 1);
    EXPECT_EQ(forum->items[0].favourite, 0);
    EXPECT_NE(read_file(fav_file()).find("|3002 "), std::string::npos);
    // The label file, read back as a label.
    std::string label_file = appdata_path("bbs/labels/3002.png");
    ASSERT_TRUE(fs::exists(label_file));
    cbitmap *picture = tamu_load_png(label_file.c_str());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 128);
    tamu_destroy_bitmap(picture);

    // Toggled again: removed, and the file says so.
    splore_toggle_favourite();
    EXPECT_EQ(fav->count, 0);
    EXPECT_EQ(forum->items[1].favourite, 0);
    EXPECT_EQ(read_file(fav_file()), "");
}

TEST(SploreToggle, InTheFavouritesListItselfTheSelectionStaysInside) {
    shell_session s;
    load_favourites_from("|1111|||||one\n|2222|||||two\n");
    list_index = SPLORE_LIST_FAVOURITES;
    favourites_list()->selected = 1;
    splore_toggle_favourite();
    EXPECT_EQ(titles(favourites_list()), (std::vector<std::string>{"one"}));
    EXPECT_EQ(favourites_list()->selected, 0);
    // Not a cart, or nothing selected: nothing happens.
    favourites_list()->selected = 5;
    splore_toggle_favourite();
    EXPECT_EQ(favourites_list()->count, 1);
}

TEST(SploreToggle, InGameToggleTakesTheRunningCart) {
    shell_session s;
    load_favourites_from("");
    copy_splore_text(running_item.lid, "4444");
    copy_splore_text(running_item.title, "running");
    copy_splore_text(running_item.author, "me");
    running_item.kind = SPLORE_KIND_CART;
    splore_toggle_favourite_ingame(running_item.lid, running_item.path);
    ASSERT_EQ(favourites_list()->count, 1);
    EXPECT_STREQ(favourites_list()->items[0].title, "running");
    EXPECT_STREQ(favourites_list()->items[0].author, "me");
    EXPECT_EQ(favourites_list()->items[0].label, nullptr);
    // A local cart keeps only its path and the title from it.
    splore_toggle_favourite_ingame("", "mine.zv");
    EXPECT_STREQ(favourites_list()->items[0].title, "mine");
    EXPECT_STREQ(favourites_list()->items[0].author, "");
    splore_toggle_favourite_ingame("4444", "");
    EXPECT_EQ(favourites_list()->count, 1);
    EXPECT_EQ(read_file(fav_file()).find("4444"), std::string::npos);
}

TEST(SploreToggle, LabelFilesAreWrittenOnceAndOnlyForForumIds) {
    shell_session s;
    splore_item e{};
    e.label = patterned_label(1);
    std::string folder = appdata_path("bbs/labels/");
    fs::remove_all(folder);   // the home folder outlives a run
    fs::create_directories(folder);
    for (const char *lid : {"../escape", "a", "Up", "x.y"}) {
        copy_splore_text(e.lid, lid);
        save_bbs_cart_label(&e);
    }
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_FALSE(fs::exists(appdata_path("bbs/escape.png")));
    copy_splore_text(e.lid, "ab_cd");
    write_file(folder + "ab_cd.png", "old");
    save_bbs_cart_label(&e);
    EXPECT_EQ(read_file(folder + "ab_cd.png"), "old");
    tamu_destroy_bitmap(e.label);
}

TEST(SploreToggle, RunningItemFromAnInfoTable) {
    shell_session s;
    std::string info = "title: My Cool GAME\nauthor: Some Body!\nlid: cool_game\nmid: 321\ncatsub: 7\n";
    cfile *f = tamu_fopen_memory(info.data(), int(info.size()));
    cdict *d = tamu_load_stable_config_from_file(f);
    tamu_fclose(f);
    set_running_item_from_nfo(d);
    tamu_destroy_stable(d);
    EXPECT_STREQ(running_item.title, "my cool game");
    EXPECT_STREQ(running_item.author, "some_body_");
    EXPECT_STREQ(running_item.lid, "cool_game");
    EXPECT_STREQ(running_item.mid, "321");
    EXPECT_EQ(running_item.catsub, 7);
    EXPECT_EQ(running_item.kind, SPLORE_KIND_CART);

    cdict *empty = tamu_create_stable();
    set_running_item_from_nfo(empty);
    tamu_destroy_stable(empty);
    EXPECT_STREQ(running_item.title, "");
    EXPECT_STREQ(running_item.lid, "");
    EXPECT_EQ(running_item.catsub, 0);
}

// ---------------------------------------------------------------------------
// Labels

TEST(SploreLabels, FromAPngCartTheLabelAreaOfItsPicture) {
    shell_session s;
    zorva_cart *cart = cart_from_code("-- my cart");
    ASSERT_NE(cart, nullptr);
    cart->label = patterned_label(5);
    std::string path = root_folder() + "labelled.zv.png";
    ASSERT_EQ(save_zorva_cart_png(cart, path.c_str()), 0);
    cbitmap *label = create_label_from_file(path.c_str());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->bpp, 8);
    EXPECT_TRUE(same_pixels(label, cart->label));
    tamu_destroy_bitmap(label);
    tamu_destroy_zorva_cart(cart);

    // Another size: no label.
    cbitmap *other = tamu_create_bitmap(128, 128, 32);
    std::string small = root_folder() + "small.png";
    ASSERT_EQ(tamu_save_png(small.c_str(), other), 0u);
    tamu_destroy_bitmap(other);
    EXPECT_EQ(create_label_from_file(small.c_str()), nullptr);
    EXPECT_EQ(create_label_from_file(""), nullptr);
    EXPECT_EQ(create_label_from_file(nullptr), nullptr);
    EXPECT_EQ(create_label_from_file((root_folder() + "missing.zv.png").c_str()), nullptr);
}

// Rows of the label that hold a pixel of colour 6.
std::vector<int> rows_with_text(const cbitmap *label) {
    std::vector<int> rows;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            if (label->rows[y][x] == 6) {
                rows.push_back(y);
                break;
            }
    return rows;
}

TEST(SploreLabels, FromATextCartItsLeadingCommentLines) {
    shell_session s;
    std::string path = root_folder() + "text.zv";
    std::string header = "zorva cartridge // " + std::string(100, '-') + "\nversion 11\n__lua__\n";
    write_file(path, header + "-- one\n-- two\nprint(1)\n-- not shown\n");
    cbitmap *label = create_label_from_file(path.c_str());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->rows[0][0], 5);
    std::vector<int> rows = rows_with_text(label);
    ASSERT_FALSE(rows.empty());
    EXPECT_GE(rows.front(), 22);
    EXPECT_LT(rows.back(), 34);   // two lines: 22 and 28
    // A margin of one glyph on the left.
    int leftmost = 128;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            if (label->rows[y][x] == 6 && x < leftmost) leftmost = x;
    EXPECT_EQ(leftmost, 4);
    tamu_destroy_bitmap(label);

    write_file(path, header + "-- 1\n-- 2\n-- 3\n-- 4\n-- 5\n-- 6\n");
    label = create_label_from_file(path.c_str());
    ASSERT_NE(label, nullptr);
    rows = rows_with_text(label);
    EXPECT_LT(rows.back(), 52);   // five lines, the last at 46
    EXPECT_GE(rows.back(), 46);
    tamu_destroy_bitmap(label);

    struct {
        const char *text;
    } not_carts[] = {
        {"hello\nversion 11\n__lua__\n-- x\n"},
        {"zorva cartridge\nversion 11\n__gfx__\n"},
        {"zorva cartridge\n"},
        {""},
    };
    for (auto &c : not_carts) {
        write_file(path, c.text);
        EXPECT_EQ(create_label_from_file(path.c_str()), nullptr) << c.text;
    }
    EXPECT_EQ(create_label_from_file((root_folder() + "none.zv").c_str()), nullptr);
}

}  // namespace
