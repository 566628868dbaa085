// Installing the demo carts and the preloaded forum carts.
#include "demo_install.h"

#include "tamu.h"
#include "zorva_print.h"
#include "zorva_shell_steps.h"
#include "zorva_splore.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

const char *const demo_cart_names[DEMO_CARTS] = {"hello.zv", "bounce.zv", "rain.zv"};
const char *const preloaded_bbs_cart_ids[PRELOADED_BBS_CARTS] = {"zorva_hello", "zorva_bounce", "zorva_rain"};

namespace {

// Writes the bytes as the whole file at path, unless a file is there.
// 0 when the file is in place (written now or before).
int write_new_file(const char *path, const uint8_t *bytes, int length) {
    if (!path || !path[0]) return 1;
    if (tamu_file_exists(path)) return 0;
    cfile *f = tamu_fopen_save(path);
    if (!f) return 1;
    if (length > 0) tamu_fwrite(bytes, 1, length, f);
    return tamu_fclose_save(f) == 0 ? 0 : 1;
}

// The whole content of a disk file; empty when there is none.
std::string read_whole_file(const char *path) {
    std::string text;
    std::FILE *f = tamu_platform_fopen(path, "rb");
    if (!f) return text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
    return text;
}

std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') end++;
        start = end + 1;
    }
    return lines;
}

// The cart id of a favourites line: its first field, trailing spaces cut;
// empty for a line that is not one.
std::string line_lid(const std::string &line) {
    if (line.empty() || line[0] != '|') return "";
    size_t end = line.find('|', 1);
    std::string lid = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    while (!lid.empty() && lid.back() == ' ') lid.pop_back();
    return lid;
}

// Adds the lines of the text whose cart ids "favourites.txt" does not
// name yet. 0 when the file holds them all.
int add_favourites(const char *text, int length) {
    char path[ZORVA_PATH_SIZE] = "";
    if (tamu_prefix_with_appdata_path("favourites.txt", path) != 0) return 1;
    std::string old = read_whole_file(path);
    std::set<std::string> known;
    for (const std::string &line : split_lines(old)) known.insert(line_lid(line));
    std::string added;
    for (const std::string &line : split_lines(std::string(text, size_t(length)))) {
        std::string lid = line_lid(line);
        if (lid.empty() || known.count(lid)) continue;
        known.insert(lid);
        added += line + "\n";
    }
    if (added.empty()) return 0;
    if (!old.empty() && old.back() != '\n' && old.back() != '\r') old += "\n";
    std::string whole = old + added;
    cfile *f = tamu_fopen_save(path);
    if (!f) return 1;
    tamu_fwrite(whole.data(), 1, int(whole.size()), f);
    return tamu_fclose_save(f) == 0 ? 0 : 1;
}

}  // namespace

cpod *read_data_pod_nested(int item) {
    auto *file = static_cast<cfile *>(cpod_get_item(pstate.data_pod, item, CPOD_ITEM_FILE));
    if (!file) return nullptr;
    file->position = 0;
    cpod *pod = tamu_load_pod_file(nullptr, file);
    file->position = 0;
    return pod;
}

void install_demo_carts(int verbose) {
    zorva_print_col("installing demo carts to /demos/", 14);
    cpod *demos = read_data_pod_nested(POD_DEMO_CARTS);
    if (!demos) return;
    char folder[ZORVA_PATH_SIZE * 2];
    std::snprintf(folder, sizeof folder, "%sdemos/", pstate.root_path);
    for (int i = 0; i < DEMO_CARTS; i++) {
        auto *entry = static_cast<cfile *>(cpod_get_item(demos, i, CPOD_ITEM_FILE));
        if (!entry) break;
        tamu_mkdir(folder);
        char path[ZORVA_PATH_SIZE * 3];
        std::snprintf(path, sizeof path, "%s%s", folder, demo_cart_names[i]);
        if (tamu_file_exists(path)) continue;   // the user's copy stays
        if (write_new_file(path, entry->data, entry->size) == 0) {
            if (verbose) zorva_print(demo_cart_names[i]);
        } else {
            zorva_print_2("could not write %s", demo_cart_names[i]);
        }
    }
    tamu_destroy_pod(demos);
}

int install_preloaded_bbs_carts() {
    cpod *carts = read_data_pod_nested(POD_PRELOADED_BBS_CARTS);
    if (!carts) return 1;
    int failed = 0;
    if (auto *list = static_cast<cfile *>(cpod_get_item(carts, 0, CPOD_ITEM_FILE)))
        failed |= add_favourites(reinterpret_cast<const char *>(list->data), list->size);
    else
        failed = 1;
    for (int k = 1; k <= PRELOADED_BBS_CARTS; k++) {
        auto *entry = static_cast<cfile *>(cpod_get_item(carts, k, CPOD_ITEM_FILE));
        if (!entry) {
            failed = 1;
            break;
        }
        char path[ZORVA_PATH_SIZE];
        std::snprintf(path, sizeof path, "%s", get_bbs_cart_filename(preloaded_bbs_cart_ids[k - 1]));
        failed |= write_new_file(path, entry->data, entry->size);
    }
    tamu_destroy_pod(carts);
    return failed;
}

int install_games() {
    save_splore_favourites();
    int result = install_preloaded_bbs_carts();
    reload_favourites();
    return result;
}
