// The console's text: directory listing, command line and history, folder
// settings.
#include "console_text.h"

#include "tamu.h"
#include "zorva_app.h"
#include "zorva_print.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

directory_listing_record directory_listing;
char command_text[COMMAND_SIZE];
int command_position = 0;
char command_history[COMMAND_HISTORY_SIZE][COMMAND_SIZE];
int command_history_count = 0;

namespace {

constexpr int STEPS_PER_CALL = 2;
constexpr int RES_INFO = 4;
constexpr uint32_t ANY_ENTRY = TAMU_FIND_DIRECTORY | TAMU_FIND_FILE;

// Root path + current directory.
bool current_folder(char *out) {
    return tamu_resolve_inside(pstate.root_path, pstate.current_directory, "", 0, out) >= 0;
}

bool dot_entry(const char *name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

void start_search(uint32_t mask) {
    directory_listing_record &l = directory_listing;
    char folder[ZORVA_PATH_SIZE];
    tamu_find_close(&l.search);
    l.has_entry = current_folder(folder) && tamu_find_first(folder, "*", &l.search, mask) == 0;
}

// The entry in search.name is taken: the next one is looked up.
void advance_search() {
    directory_listing_record &l = directory_listing;
    l.has_entry = tamu_find_next(&l.search) == 0;
}

void print_entry(const char *name, int colour) {
    zorva_print_col(name, colour);
    directory_listing.page_counter--;
}

void listing_step() {
    directory_listing_record &l = directory_listing;
    switch (l.phase) {
    case 0:
        zorva_print_col((std::string("directory: /") + pstate.current_directory).c_str(), 12);
        start_search(TAMU_FIND_DIRECTORY);
        l.phase = 1;
        break;
    case 1:
        if (!l.has_entry) {
            tamu_find_close(&l.search);
            l.phase = 2;
        } else {
            std::string name = l.search.name;
            advance_search();
            if (!dot_entry(name.c_str())) print_entry(name.c_str(), 14);
        }
        break;
    case 2:
        // Folders were listed already: a folder whose name holds ".zv" is
        // no cart.
        start_search(TAMU_FIND_FILE);
        l.phase = 3;
        break;
    default:
        if (!l.has_entry) {
            tamu_find_close(&l.search);
            l.phase = 0;
            l.page_counter = 0;
            return;
        } else {
            std::string name = l.search.name;
            advance_search();
            if (name.find(".zv") != std::string::npos)
                print_entry(name.c_str(), pstate.draw_state.pen_colour & 15);
            else if (app.listing_filter[0] == '*')
                print_entry(name.c_str(), 5);
        }
        break;
    }
    if (l.page_counter == 0 && l.phase != 0) zorva_print_col("--more--", 12);
}

}  // namespace

// ---------------------------------------------------------------------------
// Directory listing

void start_directory_listing(const char *filter) {
    directory_listing.page_counter = LISTING_PAGE_LINES;
    std::snprintf(app.listing_filter, sizeof app.listing_filter, "%s", filter ? filter : "");
    zorva_list_files();
}

void zorva_list_files() {
    for (int i = 0; i < STEPS_PER_CALL && directory_listing.page_counter > 0; i++) listing_step();
}

int listing_in_progress() { return directory_listing.page_counter > 0 ? 1 : 0; }

void close_directory_listing() {
    tamu_find_close(&directory_listing.search);
    directory_listing.phase = 0;
    directory_listing.page_counter = 0;
    directory_listing.has_entry = 0;
}

// ---------------------------------------------------------------------------
// The typed command line

void store_command(const char *text) {
    if (!text || !text[0]) return;
    if (command_history_count > 0 && std::strncmp(command_history[0], text, COMMAND_SIZE - 1) == 0) return;
    int keep = command_history_count < COMMAND_HISTORY_SIZE ? command_history_count : COMMAND_HISTORY_SIZE - 1;
    std::memmove(command_history[1], command_history[0], size_t(keep) * COMMAND_SIZE);
    std::snprintf(command_history[0], COMMAND_SIZE, "%s", text);
    command_history_count = keep + 1;
}

void clear_command_history() {
    std::memset(command_history, 0, sizeof command_history);
    command_history_count = 0;
}

void tab_completion() {
    size_t length = std::strlen(command_text);
    size_t start = length;
    while (start > 0 && !std::strchr(" \"(,", command_text[start - 1])) start--;
    std::string word(command_text + start, length - start);

    char folder[ZORVA_PATH_SIZE];
    std::vector<std::string> matches;
    cfind search;
    if (current_folder(folder) && tamu_find_first(folder, "*", &search, ANY_ENTRY) == 0) {
        do {
            if (!dot_entry(search.name) && std::strncmp(search.name, word.c_str(), word.size()) == 0)
                matches.emplace_back(search.name);
        } while (tamu_find_next(&search) == 0);
    }
    tamu_find_close(&search);

    if (matches.size() == 1) {
        std::string line = std::string(command_text, start) + matches[0];
        std::snprintf(command_text, sizeof command_text, "%s", line.c_str());
        command_position = int(std::strlen(command_text));
    } else if (matches.size() > 1) {
        zorva_print_2("%d files", int(matches.size()));
        for (const std::string &name : matches) zorva_print(name.c_str());
    }
}

int is_input_char(int c) { return c >= 32 && c <= 127 && !(c >= 'A' && c <= 'Z') ? 1 : 0; }

void blah(int32_t *array, int count) {
    for (int i = 0; array && i < count; i++) array[i] = 0;
}

// ---------------------------------------------------------------------------
// Folders and titles

void init_path(char *path, const char *default_folder) {
    cfind search;
    bool usable = path[0] && tamu_find_first(path, "*", &search, ANY_ENTRY) == 0;
    if (path[0]) tamu_find_close(&search);
    if (!usable) tamu_prefix_with_appdata_path(default_folder, path);
}

const char *get_embedded_cart_title() {
    static char title[256];
    title[0] = 0;
    auto *file = static_cast<cfile *>(cpod_get_item(pstate.resource_pod, RES_INFO, CPOD_ITEM_FILE));
    if (!file) return title;
    // A record of NUL-terminated texts: name, version, title.
    int field = 0, start = 0;
    for (int i = 0; i <= file->size && field < 3; i++) {
        if (i < file->size && file->data[i]) continue;
        if (field == 2) {
            int n = i - start;
            if (n >= int(sizeof title)) n = int(sizeof title) - 1;
            std::memcpy(title, file->data + start, size_t(n));
            title[n] = 0;
        }
        field++;
        start = i + 1;
    }
    return title;
}
