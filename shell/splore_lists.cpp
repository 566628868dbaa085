// The cart browser's lists, their entries and labels, and the favourites.
#include "zorva_splore.h"

#include "cart_forms.h"
#include "cart_text.h"
#include "tamu.h"
#include "zorva_print.h"
#include "zorva_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

splore_list_record splore_list[SPLORE_MAX_LISTS];
int splore_lists = 0;
int list_index = SPLORE_LIST_FAVOURITES;
int32_t list_index_x = 0x10000;
splore_item running_item;
splore_item dummy_splore_item;

const char *const list_name[SPLORE_LISTS] = {"local", "fav", "new", "top", "wip", "collab", "jam", "search"};
const char *const list_title[SPLORE_LISTS] = {"local",         "favourites", "new", "featured", "work in progress",
                                              "collaboration", "jam",        "search"};
const char *const list_req[SPLORE_LISTS] = {"",
                                            "",
                                            "cat=7&sub=2",
                                            "cat=7&sub=2&orderby=rating",
                                            "cat=7&sub=3",
                                            "cat=7&sub=4",
                                            "cat=7&sub=8",
                                            "cat=7&search=blah"};

namespace {

// Set when "favourites.txt" exists but could not be read at set-up: saving
// the favourites then would replace it by a list that lacks its entries.
bool favourites_unreadable = false;

// Larger list files than this are not read (nor replaced).
constexpr long LIST_FILE_LIMIT = 16L << 20;

constexpr int TEXT_CART_LINE = 64;   // a text cart's first lines, 63 characters kept
constexpr int LABEL_LINES = 5;
// The preview's lines keep a glyph's width clear of the left edge.
constexpr int LABEL_TEXT_MARGIN = 4;

bool shown_by_console(unsigned char c) { return c >= 32 && c < 128 && !(c >= 'A' && c <= 'Z'); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equal_to(const splore_item &e, const char *lid, const char *path) {
    bool by_path = path[0] && !e.lid[0] && !e.mid[0] && std::strcmp(e.path, path) == 0;
    if (lid[0]) return std::strcmp(e.lid, lid) == 0 || by_path;
    return by_path;
}

// A list file's whole content. 0 read, 1 no such file, 2 it exists but
// could not be read whole (or is too large to be a list).
int read_list_file(const char *path, std::string &out) {
    out.clear();
    errno = 0;
    FILE *f = path && path[0] ? std::fopen(path, "rb") : nullptr;
    if (!f) return errno == ENOENT || !path || !path[0] ? 1 : 2;
    char chunk[4096];
    size_t n;
    bool too_large = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        out.append(chunk, n);
        if (long(out.size()) > LIST_FILE_LIMIT) {
            too_large = true;
            break;
        }
    }
    bool failed = std::ferror(f) != 0 || too_large;
    std::fclose(f);
    return failed ? 2 : 0;
}

// The fields of a list file line after its first '|': lid, mid, catsub,
// author, path and title, each cut at the next '|'.
void parse_list_line(const char *line, splore_item *e) {
    std::string field[6];
    int n = 0;
    for (const char *p = line + 1; n < 6; p++) {
        if (*p == '|' || !*p) {
            n++;
            if (!*p) break;
            continue;
        }
        field[n] += *p;
    }
    copy_splore_text(e->lid, field[0].c_str());
    copy_splore_text(e->mid, field[1].c_str());
    long catsub = std::strtol(field[2].c_str(), nullptr, 10);
    e->catsub = catsub > INT32_MAX ? INT32_MAX : catsub < INT32_MIN ? INT32_MIN : int32_t(catsub);
    copy_splore_text(e->author, field[3].c_str());
    copy_splore_text(e->path, field[4].c_str());
    copy_splore_text(e->title, field[5].c_str());
}

// A field as written to a list file: '|' and line ends would break the
// line apart, so they are written as '_'.
std::string file_field(const char *text) {
    std::string s = text;
    for (char &c : s)
        if (c == '|' || c == '\n' || c == '\r') c = '_';
    return s;
}

int compare_alphabetical(const void *a, const void *b) {
    const auto *x = static_cast<const splore_item *>(a);
    const auto *y = static_cast<const splore_item *>(b);
    bool fx = x->kind == SPLORE_KIND_FOLDER, fy = y->kind == SPLORE_KIND_FOLDER;
    if (fx != fy) return fx ? -1 : 1;
    return std::strcmp(x->title, y->title);
}

// The rule for a title from a file name, on a base name.
void title_from_base(char *title, const char *path) {
    char base[1024];
    tamu_split_filename(path, nullptr, base, nullptr);
    size_t n = std::strlen(base);
    if (n >= 4 && base[n - 3] == '.') base[n - 3] = 0;
    copy_splore_text(title, base);
}

// The first 16 console colours for converting pictures; the rest of the
// palette repeats colour 0, which the conversion finds first.
void console_colours(cpalette *colours) {
    for (int i = 0; i < 256; i++)
        for (int c = 0; c < 3; c++) {
            int entry = i < 16 ? i : 0;
            colours->rgb[3 * i + c] = tamu_palette ? tamu_palette->rgb[3 * entry + c] : uint8_t(entry);
        }
}

// A text cart's next line, at most 63 characters (the rest of a longer
// line is passed over); false at the end of the text.
bool next_cart_line(const std::string &text, size_t &at, char *line) {
    if (at >= text.size()) return false;
    size_t end = at;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') end++;
    size_t n = end - at;
    if (n > TEXT_CART_LINE - 1) n = TEXT_CART_LINE - 1;
    std::memcpy(line, text.data() + at, n);
    line[n] = 0;
    if (end < text.size() && text[end] == '\r') end++;
    if (end < text.size() && text[end] == '\n') end++;
    at = end;
    return true;
}

cbitmap *label_from_text_cart(const char *path) {
    std::string text;
    if (read_list_file(path, text) != 0) return nullptr;
    size_t at = 0;
    char line[TEXT_CART_LINE];
    if (!next_cart_line(text, at, line) || std::strncmp(line, "zorva cartridge", 15) != 0) return nullptr;
    if (!next_cart_line(text, at, line) || !next_cart_line(text, at, line) || std::strncmp(line, "__lua__", 7) != 0)
        return nullptr;
    cbitmap *label = tamu_create_bitmap(SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE, 8);
    if (!label) return nullptr;
    tamu_rectfill(label, 0, 0, SPLORE_LABEL_SIZE - 1, SPLORE_LABEL_SIZE - 1, 5);
    for (int i = 0; i < LABEL_LINES; i++) {
        if (!next_cart_line(text, at, line) || std::strncmp(line, "--", 2) != 0) break;
        tamu_draw_text_ex(label, line, zorva_system_font(), LABEL_TEXT_MARGIN, 22 + 6 * i, TAMU_TEXT_SOLID, 6);
    }
    return label;
}

}  // namespace

splore_list_record *favourites_list() { return &splore_list[SPLORE_LIST_FAVOURITES]; }

void copy_splore_text(char *field, const char *text) {
    std::snprintf(field, SPLORE_TEXT_SIZE, "%s", text ? text : "");
}

// ---------------------------------------------------------------------------
// Lists

splore_item *add_splore_item(splore_list_record *list, int before_carts) {
    if (!list->item_buffer) list->item_buffer = tamu_create_buffer(int(sizeof(splore_item)));
    tamu_allocate_buffer_size(list->item_buffer, int(sizeof(splore_item)) * (list->count + 1));
    list->items = reinterpret_cast<splore_item *>(list->item_buffer->data);
    int at = list->count;
    if (before_carts)
        for (int i = 0; i < list->count; i++)
            if (list->items[i].kind == SPLORE_KIND_CART) {
                at = i;
                break;
            }
    std::memmove(&list->items[at + 1], &list->items[at], sizeof(splore_item) * size_t(list->count - at));
    std::memset(&list->items[at], 0, sizeof(splore_item));
    list->count++;
    return &list->items[at];
}

splore_item *get_splore_item(splore_list_record *list, int i) {
    if (list && i >= 0 && i < list->count) return &list->items[i];
    std::memset(&dummy_splore_item, 0, sizeof dummy_splore_item);
    return &dummy_splore_item;
}

void remove_splore_item(splore_list_record *list, int i) {
    if (i < 0 || i >= list->count) return;
    tamu_destroy_bitmap(list->items[i].label);
    std::memmove(&list->items[i], &list->items[i + 1], sizeof(splore_item) * size_t(list->count - i - 1));
    list->count--;
}

int find_item_index(splore_list_record *list, const char *lid, const char *path) {
    if (!lid) lid = "";
    if (!path) path = "";
    for (int i = 0; i < list->count; i++)
        if (equal_to(list->items[i], lid, path)) return i;
    return -1;
}

void clear_splore_list(splore_list_record *list) {
    for (int i = 0; i < list->count; i++) {
        tamu_destroy_bitmap(list->items[i].label);
        list->items[i].label = nullptr;
    }
    list->count = 0;
}

void free_splore_list(splore_list_record *list) {
    clear_splore_list(list);
    tamu_destroy_buffer(list->item_buffer);
    list->item_buffer = nullptr;
    list->items = nullptr;
}

void release_splore_lists() {
    for (splore_list_record &list : splore_list) free_splore_list(&list);
    std::memset(splore_list, 0, sizeof splore_list);
    splore_lists = 0;
    list_index = SPLORE_LIST_FAVOURITES;
    list_index_x = 0x10000;
    std::memset(&running_item, 0, sizeof running_item);
    favourites_unreadable = false;
}

void update_list_favourites(splore_list_record *list) {
    if (list == favourites_list()) return;
    for (int i = 0; i < list->count; i++)
        list->items[i].favourite = is_favourite(list->items[i].lid, list->items[i].path) ? 1 : 0;
}

void clamp_list_selection(splore_list_record *list) {
    if (list->selected > list->count - 1) list->selected = list->count - 1;
    if (list->selected < 0) list->selected = 0;
}

void populate_splore_list_from_directory(splore_list_record *list, const char *folder) {
    list->head_row = 0;
    if (pstate.current_directory[0]) {
        splore_item *up = add_splore_item(list, 0);
        up->kind = SPLORE_KIND_FOLDER;
        up->icon = SPLORE_ICON_PARENT;
        copy_splore_text(up->title, "..");
    }
    std::string where = std::string(pstate.root_path) + (folder ? folder : "");
    cfind search;
    for (int found = tamu_find_first(where.c_str(), "*", &search, TAMU_FIND_DIRECTORY | TAMU_FIND_FILE);
         found == 0; found = tamu_find_next(&search)) {
        const char *name = search.name;
        bool is_folder = (search.mode & TAMU_FIND_DIRECTORY) != 0;
        if (name[0] == '.' || (!is_folder && !std::strstr(name, ".zv"))) continue;
        // A path cut to fit its field would name another file.
        std::string path = std::string(pstate.current_directory) + name;
        if (path.size() > SPLORE_TEXT_SIZE - 1) continue;
        splore_item *e = add_splore_item(list, 0);
        copy_splore_text(e->path, path.c_str());
        e->kind = SPLORE_KIND_CART;
        if (is_folder) {
            e->kind = SPLORE_KIND_FOLDER;
            e->icon = SPLORE_ICON_FOLDER;
            copy_splore_text(e->title, name);
        } else {
            get_title_from_filename(e, e->path);
        }
    }
    tamu_find_close(&search);
    if (list->count > 1) std::qsort(list->items, size_t(list->count), sizeof(splore_item), compare_alphabetical);
    update_list_favourites(list);
}

void read_splore_list_text(splore_list_record *list, const char *bytes, size_t length) {
    std::string text(bytes ? bytes : "", bytes ? length : 0);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') end++;
        std::string line = text.substr(at, std::min(end - at, size_t(SPLORE_FILE_LINE_SIZE - 1)));
        if (end < text.size() && text[end] == '\r') end++;
        if (end < text.size() && text[end] == '\n') end++;
        at = end;
        if (line.empty() || line[0] != '|') continue;
        splore_item *e = add_splore_item(list, 0);
        parse_list_line(line.c_str(), e);
        e->kind = SPLORE_KIND_CART;
        sanitise_splore_item(e);
        // Kept only when no earlier entry is equal to it (which also drops
        // a line without lid and path, and one with a mid but no lid).
        if (find_item_index(list, e->lid, e->path) != list->count - 1) {
            remove_splore_item(list, list->count - 1);
            continue;
        }
        e->icon = get_icon_for_item(e);
    }
}

int populate_splore_list_from_text_file(splore_list_record *list, const char *file) {
    std::string text;
    int read = read_list_file(file, text);
    if (read == 1) return 0;
    read_splore_list_text(list, text.data(), text.size());
    return read == 0 ? 0 : 1;
}

int save_splore_list_to_file(splore_list_record *list, const char *file) {
    cfile *f = tamu_fopen_save(file);
    if (!f) return 1;
    for (int i = 0; i < list->count; i++) {
        const splore_item &e = list->items[i];
        if (e.kind != SPLORE_KIND_CART) continue;
        char line[SPLORE_FILE_LINE_SIZE + 64];
        int n = std::snprintf(line, sizeof line, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", file_field(e.lid).c_str(),
                              file_field(e.mid).c_str(), int(e.catsub), file_field(e.author).c_str(),
                              file_field(e.path).c_str(), file_field(e.title).c_str());
        if (n > int(sizeof line) - 1) n = int(sizeof line) - 1;
        tamu_fwrite(line, 1, n, f);
    }
    return tamu_fclose_save(f) == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Entries

void trim_trailing_space(char *text) {
    size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ') text[--n] = 0;
}

void sanitise_title_string(char *text) {
    for (char *p = text; *p; p++) {
        *p = lower(*p);
        if (*p == '|')
            *p = '_';
        else if (!shown_by_console(static_cast<unsigned char>(*p)))
            *p = ' ';
    }
    // After the replacing: a title ending in control bytes ends in no spaces.
    trim_trailing_space(text);
}

void sanitise_author_string(char *text) {
    trim_trailing_space(text);
    for (char *p = text; *p; p++) {
        *p = lower(*p);
        if (!((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9'))) *p = '_';
    }
    if (std::strlen(text) > size_t(SPLORE_AUTHOR_CHARS)) text[SPLORE_AUTHOR_CHARS] = 0;
}

void clean_zorva_string(char *text) {
    for (char *p = text; *p; p++) {
        *p = lower(*p);
        if (!shown_by_console(static_cast<unsigned char>(*p))) *p = ' ';
    }
}

void sanitise_splore_item(splore_item *e) {
    trim_trailing_space(e->lid);
    trim_trailing_space(e->mid);
    trim_trailing_space(e->path);
    sanitise_author_string(e->author);
    sanitise_title_string(e->title);
}

void get_title_from_filename(splore_item *e, const char *path) {
    if (!e->title[0] && path) title_from_base(e->title, path);
}

int get_icon_for_item(const splore_item *e) {
    if (e->kind != SPLORE_KIND_CART) return e->icon;
    if (e->lid[0] || e->mid[0]) return SPLORE_ICON_FORUM_CART;
    if (std::strstr(e->path, ".png")) return SPLORE_ICON_PNG_CART;
    return SPLORE_ICON_TEXT_CART;
}

bool valid_forum_id(const char *lid) {
    if (!lid) return false;
    size_t n = std::strlen(lid);
    if (n < 2) return false;
    bool digits = true;
    for (const char *p = lid; *p; p++) {
        char c = *p;
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
        if (c < '0' || c > '9') digits = false;
    }
    // A numeric id is read as a number: it must fit.
    return !digits || std::strtoll(lid, nullptr, 10) <= INT32_MAX;
}

// ---------------------------------------------------------------------------
// Favourites

const char *favourites_file_path() {
    static char path[ZORVA_PATH_SIZE];
    tamu_prefix_with_appdata_path("favourites.txt", path);
    return path;
}

bool is_favourite(const char *lid, const char *path) {
    return find_item_index(favourites_list(), lid, path) >= 0;
}

splore_item *splore_toggle_favourite_0(const char *lid, const char *path) {
    if (!lid) lid = "";
    if (!path) path = "";
    splore_list_record *fav = favourites_list();
    int i = find_item_index(fav, lid, path);
    if (i >= 0) {
        remove_splore_item(fav, i);
        return nullptr;
    }
    // The arguments may point into the favourites' own buffer, which the
    // insertion moves: copy them first.
    char lid_copy[SPLORE_TEXT_SIZE], path_copy[SPLORE_TEXT_SIZE];
    copy_splore_text(lid_copy, lid);
    copy_splore_text(path_copy, path);
    splore_item *e = add_splore_item(fav, 1);
    e->kind = SPLORE_KIND_CART;
    copy_splore_text(e->lid, lid_copy);
    if (path_copy[0]) {
        copy_splore_text(e->path, path_copy);
        get_title_from_filename(e, e->path);
    }
    return e;
}

void splore_toggle_favourite() {
    if (list_index < 0 || list_index >= splore_lists) return;
    splore_list_record *list = &splore_list[list_index];
    if (list->selected < 0 || list->selected >= list->count) return;
    if (list->items[list->selected].kind != SPLORE_KIND_CART) return;
    // The selected entry may be in the favourites list itself, whose buffer
    // the toggle changes: work on a copy.
    splore_item selected = list->items[list->selected];
    splore_item *added = splore_toggle_favourite_0(selected.lid, selected.path);
    if (added) {
        *added = selected;
        added->label = copy_label(selected.label);
        if (added->lid[0] && added->label) save_bbs_cart_label(added);
    }
    clamp_list_selection(list);
    update_list_favourites(list);
    save_splore_favourites();
}

void splore_toggle_favourite_ingame(const char *lid, const char *path) {
    char lid_copy[SPLORE_TEXT_SIZE];
    copy_splore_text(lid_copy, lid);
    splore_item *added = splore_toggle_favourite_0(lid, path);
    if (added && lid_copy[0]) {
        *added = running_item;
        added->label = nullptr;
        // A favourite is a cart whatever the record said: only carts are
        // written to the file.
        added->kind = SPLORE_KIND_CART;
    }
    save_splore_favourites();
}

int save_splore_favourites() {
    if (favourites_unreadable) {
        tamu_debug("favourites.txt could not be read: not replaced\n");
        return 1;
    }
    return save_splore_list_to_file(favourites_list(), favourites_file_path());
}

void load_splore_favourites() {
    favourites_unreadable = populate_splore_list_from_text_file(favourites_list(), favourites_file_path()) != 0;
    if (favourites_unreadable) tamu_debug("favourites.txt could not be read\n");
}

void reload_favourites() {
    if (populate_splore_list_from_text_file(favourites_list(), favourites_file_path()) == 0)
        favourites_unreadable = false;
}

void save_bbs_cart_label(const splore_item *e) {
    if (!e || !e->lid[0] || !e->label) return;
    // The id names a file: only a forum id may (no folders, no dots).
    if (!valid_forum_id(e->lid)) return;
    char folder[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("bbs/labels/", folder) != 0) return;
    std::string path = std::string(folder) + e->lid + ".png";
    if (tamu_file_exists(path.c_str())) return;
    tamu_save_png(path.c_str(), e->label);
}

void set_running_item_from_nfo(const cdict *info) {
    std::memset(&running_item, 0, sizeof running_item);
    copy_splore_text(running_item.title, tamu_sts(info, "title", 0));
    copy_splore_text(running_item.author, tamu_sts(info, "author", 0));
    copy_splore_text(running_item.lid, tamu_sts(info, "lid", 0));
    copy_splore_text(running_item.mid, tamu_sts(info, "mid", 0));
    long catsub = std::strtol(tamu_sts(info, "catsub", 0), nullptr, 10);
    running_item.catsub = catsub > INT32_MAX ? INT32_MAX : catsub < INT32_MIN ? INT32_MIN : int32_t(catsub);
    running_item.kind = SPLORE_KIND_CART;
    sanitise_splore_item(&running_item);
}

// ---------------------------------------------------------------------------
// Labels

cbitmap *label_from_rgba(const uint8_t *rgba, int width, int height, int x0, int y0) {
    cbitmap *area = tamu_create_bitmap(SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE, 32);
    cbitmap *label = tamu_create_bitmap(SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE, 8);
    if (!area || !label) {
        tamu_destroy_bitmap(area);
        tamu_destroy_bitmap(label);
        return nullptr;
    }
    for (int y = 0; y < SPLORE_LABEL_SIZE; y++) {
        auto *row = reinterpret_cast<uint32_t *>(area->rows[y]);
        for (int x = 0; x < SPLORE_LABEL_SIZE; x++) {
            int sx = x0 + x, sy = y0 + y;
            if (!rgba || sx < 0 || sy < 0 || sx >= width || sy >= height) {
                row[x] = 0xFF000000u;
                continue;
            }
            const uint8_t *p = rgba + 4 * (size_t(sy) * size_t(width) + size_t(sx));
            row[x] = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    cpalette colours;
    console_colours(&colours);
    tamu_convert_bitmap(area, label, &colours);
    tamu_destroy_bitmap(area);
    return label;
}

cbitmap *copy_label(const cbitmap *label) {
    if (!label) return nullptr;
    cbitmap *copy = tamu_create_bitmap(SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE, 8);
    if (!copy) return nullptr;
    tamu_blit(const_cast<cbitmap *>(label), copy, 0, 0, 0, 0, SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE);
    return copy;
}

cbitmap *create_label_from_file(const char *path) {
    if (!path || !path[0]) return nullptr;
    if (std::strstr(path, ".png")) return label_from_png_cart(path);
    return label_from_text_cart(path);
}
