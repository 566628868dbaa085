// The stand-alone export: its arguments, the folders it makes for each
// platform with a runtime, the data pod in them, the icon and the property
// list of the macOS bundle, and its refusals; and the cart API's export,
// which makes nothing.
#include "file_tree.h"
#include "shell_session.h"

#include "cart_forms.h"
#include "demo_install.h"
#include "lua.h"
#include "zorva_cpu.h"
#include "standalone_export.h"
#include "zorva_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using lines = std::vector<std::string>;

void command(shell_session &s, const std::string &text) {
    s.to_console();
    ASSERT_EQ(run_program(text.c_str(), 1), 1) << text;
    s.pass();
}

// The stand-alone export of the working cart with the given words.
void export_words(const std::string &words) {
    param_list list;
    if (extract_parameters(words.c_str(), &list) == 0) export_bin(&list);
}

lines texts() {
    lines out;
    for (auto &[text, colour] : printed) out.push_back(text);
    return out;
}

std::string root() { return pstate.root_path; }

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int mode_of(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

std::string program_bytes() {
    char exe[1024];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    exe[n > 0 ? n : 0] = 0;
    return read_file(exe);
}

std::string item_bytes(cpod *pod, int i) {
    auto *f = static_cast<cfile *>(cpod_get_item(pod, i, CPOD_ITEM_FILE));
    return f ? std::string(reinterpret_cast<char *>(f->data), size_t(f->size)) : std::string("(none)");
}

std::string item_name(cpod *pod, int i) {
    auto *f = static_cast<cfile *>(cpod_get_item(pod, i, CPOD_ITEM_FILE));
    return f ? f->name : "(none)";
}

// The code of a 32K cart image item.
std::string image_code(cpod *pod, int i) {
    auto *f = static_cast<cfile *>(cpod_get_item(pod, i, CPOD_ITEM_FILE));
    if (!f || f->size != CART_IMAGE_SIZE) return "(no image)";
    zorva_cart *cart = tamu_create_zorva_cart();
    load_zorva_cart_32k(cart, f->data);
    std::string code = cart->code;
    tamu_destroy_zorva_cart(cart);
    return code;
}

cfile *memory_item(const std::string &name, const std::string &bytes) {
    cbuffer *file = tamu_create_buffer(0);
    if (!bytes.empty()) tamu_fwrite(bytes.data(), 1, int(bytes.size()), file);
    std::snprintf(file->name, sizeof file->name, "%s", name.c_str());
    return file;
}

// Replaces the data pod's runtimes (item 7) by memory files of the given
// contents, for the test's life.
class packed_runtimes {
  public:
    explicit packed_runtimes(const lines &contents) {
        cpod *runtimes = tamu_create_pod(EXPORT_RUNTIMES);
        for (int i = 0; i < EXPORT_RUNTIMES; i++)
            cpod_add_item(runtimes, CPOD_ITEM_FILE, memory_item(export_runtime_names[i], contents[size_t(i)]));
        cbuffer *bytes = tamu_create_buffer(0);
        tamu_save_pod_file(nullptr, runtimes, bytes);
        tamu_destroy_pod(runtimes);
        std::snprintf(bytes->name, sizeof bytes->name, "runtimes.pod");
        old_ = static_cast<cfile *>(cpod_get_item(pstate.data_pod, POD_EXPORT_RUNTIMES, CPOD_ITEM_FILE));
        pstate.data_pod->items[POD_EXPORT_RUNTIMES] = bytes;
    }
    ~packed_runtimes() {
        cpod *pod = pstate.data_pod;
        tamu_destroy_buffer(static_cast<cfile *>(pod->items[POD_EXPORT_RUNTIMES]));
        pod->items[POD_EXPORT_RUNTIMES] = old_;
    }

  private:
    cfile *old_;
};

void load_code(const std::string &code, const char *name = "game.zv") {
    prepare_loaded_cart(cart_from_code(code), name);
}

uint32_t be32(const std::string &s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
           uint8_t(s[at + 3]);
}

TEST(ExportArguments, WordsAndOptions) {
    shell_session s;
    param_list *list = new param_list;
    struct {
        const char *text;
        int result;
        lines words;
        int i_option;
    } cases[] = {
        {"game.bin", 0, {"game.bin"}, PARAM_UNSET},
        {"game.bin -i 3 level2.zv,level3.zv", 0, {"game.bin", "level2.zv", "level3.zv"}, 3},
        {"  ,game.bin,, -i -2 ", 0, {"game.bin"}, -2},
        {"game.bin -i", 1, {}, 0},        // no word after the option
        {"game.bin -ix 2", 1, {}, 0},     // not one letter
        {"game.bin -I 2", 1, {}, 0},
        {"", 0, {}, PARAM_UNSET},
    };
    for (auto &c : cases) {
        printed.clear();
        EXPECT_EQ(extract_parameters(c.text, list), c.result) << c.text;
        if (c.result) {
            EXPECT_EQ(texts(), lines{"bad argument"}) << c.text;
            continue;
        }
        lines words(list->words, list->words + list->count);
        EXPECT_EQ(words, c.words) << c.text;
        EXPECT_EQ(list->options['i' - 'a'], c.i_option) << c.text;
        EXPECT_EQ(list->options['a' - 'a'], PARAM_UNSET);
    }
    std::string many;
    for (int i = 0; i < 40; i++) many += "w" + std::to_string(i) + " ";
    many += std::string(2000, 'x');
    EXPECT_EQ(extract_parameters(many.c_str(), list), 0);
    EXPECT_EQ(list->count, PARAM_WORDS);
    EXPECT_STREQ(list->words[30], "w30");
    delete list;
}

TEST(Export, TheLinuxPlayerIsTheRunningProgramWithTheCartsInItsDataPod) {
    shell_session s;
    std::string r = root();
    write_file(r + "extra.zv", "zorva cartridge\nversion 11\n__lua__\n-- extra\nprint(2)\n");
    load_code("-- my game\nprint(1)", (r + "game.zv").c_str());
    export_words("game.bin extra.zv");
    EXPECT_EQ(texts(), (lines{"exporting 2 carts\n", "no windows runtime", "no macos runtime"}));

    std::string dir = r + "game.bin/linux/";
    EXPECT_EQ(read_file(dir + "game"), program_bytes());
    EXPECT_EQ(mode_of(dir + "game"), 0775);
    EXPECT_FALSE(exists(r + "game.bin/windows"));
    EXPECT_FALSE(exists(r + "game.bin/game.app"));

    cpod *pod = tamu_load_pod((dir + "data.pod").c_str());
    ASSERT_NE(pod, nullptr);
    ASSERT_EQ(pod->count, 5);
    for (int i = 0; i < 3; i++) EXPECT_EQ(item_bytes(pod, i), item_bytes(pstate.data_pod, i)) << i;
    EXPECT_EQ(item_name(pod, 3), "game.zv");
    EXPECT_EQ(image_code(pod, 3), "-- my game\nprint(1)");
    EXPECT_EQ(item_name(pod, 4), "extra.zv");
    EXPECT_EQ(image_code(pod, 4), "-- extra\nprint(2)");
    tamu_destroy_pod(pod);

    // A PNG cart takes its name without ".png"; exporting again replaces
    // the files.
    printed.clear();
    ASSERT_EQ(save_zorva_cart_png(working_cart(), (r + "other.zv.png").c_str()), 0);
    load_code("-- other", (r + "other.zv.png").c_str());
    export_words("game.bin");
    pod = tamu_load_pod((dir + "data.pod").c_str());
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->count, 4);
    EXPECT_EQ(item_name(pod, 3), "other.zv");
    tamu_destroy_pod(pod);
}

TEST(Export, EveryPlatformFromPackedRuntimes) {
    shell_session s;
    packed_runtimes runtimes({"WINDOWS", "DLL", "LINUX", "MAC", "FRAMEWORK"});
    std::string r = root();
    load_code("-- icon test");
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) working_cart()->gfx->rows[y][x] = 0;
    working_cart()->gfx->rows[9][10] = 8;   // sprite 17: one red pixel at (2, 1)
    export_words("pack.bin -i 17");
    EXPECT_EQ(texts(), lines{"exporting 1 carts\n"});

    std::string out = r + "pack.bin/";
    EXPECT_EQ(read_file(out + "windows/pack.exe"), "WINDOWS");
    EXPECT_EQ(read_file(out + "windows/SDL2.dll"), "DLL");
    EXPECT_EQ(read_file(out + "linux/pack"), "LINUX");
    std::string contents = out + "pack.app/Contents/";
    EXPECT_EQ(read_file(contents + "MacOS/pack"), "MAC");
    EXPECT_EQ(mode_of(contents + "MacOS/pack"), 0775);
    EXPECT_EQ(read_file(contents + "Frameworks/SDL2.framework/Versions/A/SDL2"), "FRAMEWORK");
    std::string pod = read_file(out + "linux/data.pod");
    EXPECT_FALSE(pod.empty());
    for (const char *other : {"windows/data.pod", "pack.app/Contents/MacOS/data.pod"})
        EXPECT_EQ(read_file(out + other), pod) << other;

    std::string plist = read_file(contents + "Info.plist");
    for (const char *part :
         {"<key>CFBundleExecutable</key>\n\t<string>pack</string>", "<key>CFBundleIconFile</key>\n\t<string>pack.icns</string>",
          "<key>CFBundleIdentifier</key>\n\t<string>com.zorva_author.pack</string>",
          "<key>CFBundleInfoDictionaryVersion</key>\n\t<string>6.0</string>",
          "<key>CFBundlePackageType</key>\n\t<string>APPL</string>", "<key>CFBundleSignature</key>\n\t<string>?\?\?\?</string>",
          "<key>LSMinimumSystemVersion</key>\n\t<string>10.5</string>"})
        EXPECT_NE(plist.find(part), std::string::npos) << part;

    // The icon: sprite 17 enlarged 16 times, with a drop shadow in the mask.
    std::string icns = read_file(contents + "Resources/pack.icns");
    const size_t it32_length = 8 + 4 + 3 * 128 * 129, mask_length = 8 + 128 * 128;
    ASSERT_EQ(icns.size(), 8 + it32_length + mask_length);
    EXPECT_EQ(icns.substr(0, 4), "icns");
    EXPECT_EQ(be32(icns, 4), icns.size());
    EXPECT_EQ(icns.substr(8, 4), "it32");
    EXPECT_EQ(be32(icns, 12), it32_length);
    EXPECT_EQ(be32(icns, 16), 0u);
    const size_t red = 20, mask = 8 + it32_length + 8;
    EXPECT_EQ(icns.substr(8 + it32_length, 4), "t8mk");
    EXPECT_EQ(be32(icns, 8 + it32_length + 4), mask_length);
    auto channel = [&](int c, int x, int y) { return uint8_t(icns[red + size_t(c * 128 + y) * 129 + 1 + size_t(x)]); };
    auto mask_at = [&](int x, int y) { return uint8_t(icns[mask + size_t(y * 128 + x)]); };
    for (int y = 0; y < 128; y++) EXPECT_EQ(uint8_t(icns[red + size_t(y) * 129]), 127) << y;   // literal runs of 128
    uint32_t colour8 = 0;
    auto *palette = static_cast<cpalette *>(cpod_get_item(pstate.resource_pod, 1, CPOD_ITEM_PALETTE));
    ASSERT_NE(palette, nullptr);
    colour8 = uint32_t(palette->rgb[24]) << 16 | uint32_t(palette->rgb[25]) << 8 | palette->rgb[26];
    EXPECT_EQ(uint32_t(channel(0, 40, 20)) << 16 | uint32_t(channel(1, 40, 20)) << 8 | channel(2, 40, 20), colour8);
    EXPECT_EQ(mask_at(32, 16), 255);
    EXPECT_EQ(mask_at(47, 31), 255);
    EXPECT_EQ(mask_at(50, 34), 80);   // the shadow, 4 pixels down and right
    EXPECT_EQ(mask_at(30, 16), 0);
    EXPECT_EQ(mask_at(60, 60), 0);
}

TEST(Export, TheIconComesFromTheLabelOrSaysWhyNot) {
    shell_session s;
    packed_runtimes runtimes({"", "", "", "MAC", ""});
    std::string r = root();
    load_code("-- no label");

    export_words("nolabel.bin");
    EXPECT_EQ(texts(), lines{"please capture a label or use -i"});
    EXPECT_FALSE(exists(r + "nolabel.bin"));

    printed.clear();
    export_words("empty.bin -i 5");   // a blank sprite
    EXPECT_EQ(texts(), lines{"no icon found"});
    EXPECT_FALSE(exists(r + "empty.bin"));

    printed.clear();
    working_cart()->label = tamu_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) working_cart()->label->rows[y][x] = uint8_t((x / 8) & 15);
    export_words("labelled.bin");
    EXPECT_EQ(texts(), (lines{"exporting 1 carts\n", "no windows runtime"}));
    std::string icns = read_file(r + "labelled.bin/labelled.app/Contents/Resources/labelled.icns");
    ASSERT_EQ(icns.size(), size_t(8 + 8 + 4 + 3 * 128 * 129 + 8 + 128 * 128));
    EXPECT_EQ(icns.substr(icns.size() - 128 * 128), std::string(128 * 128, char(255)));   // no shadow, all solid
    EXPECT_FALSE(exists(r + "labelled.bin/labelled.app/Contents/Frameworks/SDL2.framework/Versions/A/SDL2"));
    EXPECT_TRUE(exists(r + "labelled.bin/linux/labelled"));   // this platform's own program
}

TEST(Export, RefusalsWriteNothing) {
    shell_session s;
    std::string r = root();
    load_code("-- refused");
    struct {
        const char *words;
        lines printed;
    } cases[] = {
        {".bin", {"no output file"}},
        {"", {"no output file"}},
        {"../escape.bin", {"bad argument"}},
        {"a/b.bin", {"bad argument"}},
        {"a\\b.bin", {"bad argument"}},
        {"c:b.bin", {"bad argument"}},
        {"game.bin missing.zv", {"** missing.zv not found"}},
        {"game.bin ../../outside.zv", {"** ../../outside.zv not found"}},
        {"game.bin -q", {"bad argument"}},
    };
    write_file(test_home() + "/.ostrel/outside.zv", "zorva cartridge\nversion 11\n__lua__\n-- outside\n");
    for (auto &c : cases) {
        printed.clear();
        export_words(c.words);
        EXPECT_EQ(texts(), c.printed) << c.words;
    }
    for (const char *made : {"game.bin", ".bin", "escape.bin", "a", "a\\b.bin", "c:b.bin"})
        EXPECT_FALSE(exists(r + made)) << made;
    EXPECT_FALSE(exists(test_home() + "/.ostrel/zorva/escape.bin"));
}

// A cart's export() makes nothing, however often it is called and
// whatever it names; the runtimes being there changes nothing.
TEST(Export, TheCartApiMakesNothing) {
    shell_session s;
    packed_runtimes runtimes({"WINDOWS", "DLL", "LINUX", "MAC", "FRAMEWORK"});
    write_file(root() + "extra.zv", "zorva cartridge\nversion 11\n__lua__\n-- extra\n");
    const std::vector<std::string> log = {".ostrel/zorva/log.txt"};
    file_tree before = snapshot(test_home(), log);
    s.run_code(
        "for i = 1, 20 do export('x' .. i .. '.bin') end\n"
        "export('game.bin extra.zv') export('game.bin -i 1') export('game.html') export('../escape.bin')\n"
        "done = true",
        (root() + "game.zv").c_str());
    lua_getglobal(L0, "done");
    EXPECT_TRUE(lua_toboolean(L0, -1));
    lua_pop(L0, 1);
    printed.clear();
    command(s, "export('game.bin') export('game.bin extra.zv') export()");
    EXPECT_EQ(texts(), lines{"please specify a file"});
    EXPECT_EQ(changes(before, snapshot(test_home(), log)), std::vector<std::string>{});
}

TEST(Export, ImportMakesNothing) {
    shell_session s;
    command(s, "import('sheet.png')");
    EXPECT_TRUE(printed.empty());
}

}  // namespace
