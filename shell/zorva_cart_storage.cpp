// Cart storage: the working cart, loading and saving it, backups, the
// quick save and load keys, the embedded carts of the data pod, and the
// cart files behind cstore() and reload() with a file name.
#include "zorva_cart_storage.h"

#include "cart_forms.h"
#include "cart_text.h"
#include "code_compression.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_cart.h"
#include "zorva_memory.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_shell_steps.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstring>
#include <vector>

embedded_cart_entry embedded_cart[EMBEDDED_CARTS_MAX];
int embedded_carts = 0;

namespace {

constexpr int POD_MAIN_CART = 3;
constexpr int TRANSFER_HOLD_FRAMES = 30;

bool holds(const char *text, const char *part) { return std::strstr(text, part) != nullptr; }

// Copies text into a 1024-character buffer; false (out empty) when it does
// not fit.
bool copy_path(char *out, const char *text) {
    size_t n = text ? std::strlen(text) : 0;
    if (n >= size_t(ZORVA_PATH_SIZE)) {
        out[0] = 0;
        return false;
    }
    if (n) std::memcpy(out, text, n);
    out[n] = 0;
    return true;
}

// Formats into a 1024-character buffer; false (out empty) when the result
// does not fit.
bool format_path(char *out, const char *format, const char *a, const char *b, const char *c = "") {
    int n = std::snprintf(out, ZORVA_PATH_SIZE, format, a, b, c);
    if (n < 0 || n >= ZORVA_PATH_SIZE) {
        out[0] = 0;
        return false;
    }
    return true;
}

// A file of that name on the disk (the virtual disk does not count).
bool disk_file_exists(const char *path) {
    cfile *file = path && path[0] ? tamu_fopen(path, "rb") : nullptr;
    bool found = file && !file->vdisk;
    tamu_fclose(file);
    return found;
}

void make_appdata_folder(const char *folder) {
    char path[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path(folder, path) == 0) tamu_mkdir(path);
}

// Any cell of map rows 32-63 set.
bool shared_map_used(const zorva_cart *cart) {
    const cbitmap *map = cart->map;
    if (!map) return false;
    for (int y = 32; y < map->height; y++)
        for (int x = 0; x < map->width; x++)
            if (map->rows[y][x]) return true;
    return false;
}

// The SHA-1 identifying a cart: that of its 32K image; for a cart whose
// code does not fit an image, that of its ROM followed by its code, so
// that no two carts share one by accident.
void identify_cart(const zorva_cart *cart, char *sha1) {
    if (hash_cart(cart, sha1) == 0) return;
    std::vector<uint8_t> bytes(CART_ROM_SIZE);
    zorva_cart *source = const_cast<zorva_cart *>(cart);
    for (int a = 0; a < CART_ROM_SIZE; a++) bytes[size_t(a)] = uint8_t(zorva_peek(nullptr, source, a));
    if (cart->code) bytes.insert(bytes.end(), cart->code, cart->code + std::strlen(cart->code));
    tamu_sha1(bytes.data(), int(bytes.size()), sha1);
}

// Copies the ROM of one cart into another.
void copy_rom(zorva_cart *to, zorva_cart *from) {
    for (int a = 0; a < CART_ROM_SIZE; a++) zorva_poke(nullptr, to, a, zorva_peek(nullptr, from, a));
}

// Copy lengths outside 1..32767 copy nothing, as for the memory functions.
bool transfer_length_ok(int len) { return len >= 1 && len <= ZORVA_MEMORY_LEN_MAX; }
int offset_address(int base, int i) { return int(uint32_t(base) + uint32_t(i)); }

int load_failure = CART_LOAD_OK;

// Why a cart file could not be read (png: as a PNG cartridge, with its
// error; else as a text cart, with the reader's result).
void note_failed_read(const char *name, bool png, int result) {
    switch (tamu_path_kind(name)) {
    case TAMU_PATH_NONE: note_cart_load_failure(CART_LOAD_NO_FILE); return;
    case TAMU_PATH_FILE: break;
    case TAMU_PATH_FOLDER: note_cart_load_failure(CART_LOAD_FOLDER); return;
    default: note_cart_load_failure(CART_LOAD_NOT_A_FILE); return;
    }
    bool future = png ? result == 3 : result == ZORVA_CART_FUTURE_VERSION;
    bool unreadable = !png && result == ZORVA_CART_CANNOT_OPEN;
    note_cart_load_failure(future ? CART_LOAD_FUTURE_VERSION : unreadable ? CART_LOAD_UNREADABLE : CART_LOAD_NOT_A_CART);
}

zorva_cart *read_text_or_png(const char *name) {
    if (holds(name, ".png")) {
        zorva_cart *cart = load_zorva_cart_png(name);
        app.png_load_error = last_png_load_error;
        if (!cart) note_failed_read(name, true, last_png_load_error);
        return cart;
    }
    int result = ZORVA_CART_OK;
    zorva_cart *cart = tamu_load_zorva_cart(name, &result);
    if (!cart) note_failed_read(name, false, result);
    return cart;
}

bool label_is_blank(const zorva_cart *cart) {
    const cbitmap *label = cart->label;
    if (!label || !label->rows || label->width < 1 || label->height < 1) return true;
    uint8_t first = label->rows[0][0];
    for (int y = 0; y < label->height; y++)
        for (int x = 0; x < label->width; x++)
            if (label->rows[y][x] != first) return false;
    return true;
}

int compressed_code_size(const char *code, int length) {
    std::vector<uint8_t> packed(size_t(compress_mini_bound(length)));
    return compress_mini(code, packed.data(), length);
}

// Writes the cart as a PNG cartridge (".png" names) or a text cart: 0 when
// the file was written whole.
int write_cart_file(const zorva_cart *cart, const char *name) {
    if (holds(name, ".png")) return save_zorva_cart_png(cart, name) == 0 ? 0 : 1;
    return tamu_save_zorva_cart(cart, name) == ZORVA_CART_OK ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The files of cstore and reload

// The last file reload or cstore went to, and the files cstore wrote,
// each after a '|'.
char *last_partial_file() { return pstate.last_partial_file; }

bool touched(const char *name) {
    const char *list = app.touched_cstore;
    size_t n = std::strlen(name);
    for (const char *p = std::strchr(list, '|'); p; p = std::strchr(p + 1, '|'))
        if (std::strncmp(p + 1, name, n) == 0 && (p[1 + n] == '|' || p[1 + n] == 0)) return true;
    return false;
}

int touched_count() {
    int count = 0;
    for (const char *p = app.touched_cstore; *p; p++)
        if (*p == '|') count++;
    return count;
}

// Adds the name to the list of files cstore wrote: false when the list is
// full (256 names, or no room for this one).
bool touch(const char *name) {
    if (touched(name)) return true;
    if (touched_count() >= CSTORE_FILES_MAX) return false;
    size_t used = std::strlen(app.touched_cstore), n = std::strlen(name);
    if (used + 1 + n > size_t(APP_TOUCHED_CSTORE_SIZE)) return false;
    app.touched_cstore[used] = '|';
    std::memcpy(app.touched_cstore + used + 1, name, n + 1);
    return true;
}

// A transfer from or to another file than the last holds the cart.
void note_partial_file(const char *name) {
    copy_path(last_partial_file(), name);
    pstate.hold_counter = TRANSFER_HOLD_FRAMES;
}

// The cart of a reload: ".png" a PNG cartridge, ".hex" and ".bin" those
// forms, anything else (and a form that failed) a text cart. internal:
// only the virtual disk's copy of an embedded cart.
zorva_cart *read_partial_cart(const char *name, bool internal) {
    if (internal) {
        cfile *file = tamu_fopen_vdisk(name, "r");
        return file ? tamu_load_zorva_cart_from_file(file) : nullptr;
    }
    zorva_cart *cart = nullptr;
    if (holds(name, ".png"))
        cart = load_zorva_cart_png(name);
    else if (holds(name, ".hex"))
        cart = load_zorva_cart_hex(name);
    else if (holds(name, ".bin"))
        cart = load_zorva_cart_bin(name);
    if (!cart) cart = tamu_load_zorva_cart(name, nullptr);
    return cart;
}

int reload_partial(const char *name, bool internal, int dest, int src, int len) {
    if (!name) return 1;
    tamu_debugf("@ reload_cart_partial: %.300s %d %d %d\n", name, dest, src, len);
    if (std::strcmp(name, last_partial_file()) != 0) note_partial_file(name);
    zorva_cart *cart = read_partial_cart(name, internal);
    if (!cart) return 1;
    if (transfer_length_ok(len))
        for (int i = 0; i < len; i++)
            zorva_poke(&pstate, pstate.live_cart, offset_address(dest, i),
                       zorva_peek(nullptr, cart, offset_address(src, i)));
    tamu_destroy_zorva_cart(cart);
    return 0;
}

// The shell's answers to the cart's reload() and cstore() with a file.
int reload_from_file(const char *name, int dest, int src, int len) {
    if (!name || std::strncmp(name, "__", 2) == 0) return 1;
    char path[ZORVA_PATH_SIZE];
    if (const char *hash = get_embedded_cart_hash_for_filename(name)) {
        const char *own = get_sandboxed_cstore_filename(hash);
        if (own && disk_file_exists(own)) {
            copy_path(path, own);
            return reload_partial(path, false, dest, src, len);
        }
        std::printf(" using internal\n");
        std::fflush(stdout);
        return reload_partial(name, true, dest, src, len);
    }
    if (get_shared_cstore_filename(name, path) != 0) {
        tamu_debugf("reload: refused file name %.300s\n", name);
        return 1;
    }
    return reload_partial(path, false, dest, src, len);
}

int cstore_to_file(const char *name, int dest, int src, int len) {
    char path[ZORVA_PATH_SIZE];
    int own = 0;
    if (!name) {
        const char *file = get_sandboxed_cstore_filename(pstate.working_sha1);
        if (!file) return 1;
        copy_path(path, file);
        own = 1;
    } else if (std::strlen(name) > size_t(CSTORE_NAME_LIMIT) || std::strncmp(name, "__", 2) == 0) {
        return 1;
    } else if (const char *hash = get_embedded_cart_hash_for_filename(name)) {
        const char *file = get_sandboxed_cstore_filename(hash);
        if (!file) return 1;
        copy_path(path, file);
    } else if (get_shared_cstore_filename(name, path) != 0) {
        tamu_debugf("cstore: refused file name %.300s\n", name);
        return 1;
    }
    return cstore_cart_partial(path, dest, src, len, own);
}

}  // namespace

// ---------------------------------------------------------------------------
// Loading

int inject_zv_extention(const char *name, char *output) {
    if (!name) name = "";
    // Only the file's own name counts: a ".zv" in a folder's name (or in
    // the root folder's) makes no cart name of "d.zv/notes".
    const char *file = std::strrchr(name, '/');
    if (holds(file ? file + 1 : name, ".zv")) return copy_path(output, name) ? 0 : 1;
    char directory[ZORVA_PATH_SIZE], base[ZORVA_PATH_SIZE], extension[ZORVA_PATH_SIZE];
    tamu_split_filename(name, directory, base, extension);
    char joined[ZORVA_PATH_SIZE];
    bool fits = holds(extension, ".png") ? format_path(joined, "%s%s.zv%s", directory, base, extension)
                                         : format_path(joined, "%s%s%s.zv", directory, base, extension);
    // The parts are cut at 1023 characters each: compare against the whole.
    if (!fits || std::strlen(joined) != std::strlen(name) + 3) {
        output[0] = 0;
        return 1;
    }
    std::memcpy(output, joined, std::strlen(joined) + 1);
    return 0;
}

zorva_cart *load_zorva_cart_any_format(const char *name) {
    if (!name || !name[0]) return nullptr;
    return read_text_or_png(name);
}

void hash_working_cart() {
    if (zorva_cart *cart = working_cart()) identify_cart(cart, pstate.working_sha1);
}

void prepare_loaded_cart(zorva_cart *cart, const char *name) {
    if (!cart) return;
    char given[ZORVA_PATH_SIZE];   // name may be the working file name itself
    copy_path(given, name);
    set_working_cart(cart);
    apply_legacy_changes(cart);
    if (shared_map_used(cart))
        sync_shared_map_to_gfx(cart);
    else
        sync_shared_gfx_to_map(cart);
    split_code_to_tabs();
    merge_code_from_tabs();
    hash_working_cart();
    const char *own = get_sandboxed_cstore_filename(pstate.working_sha1);
    copy_path(pstate.working_file_name, given[0] ? given : own ? own : "");
    if (own && disk_file_exists(own)) {
        if (zorva_cart *stored = tamu_load_zorva_cart(own, nullptr)) {
            copy_rom(cart, stored);
            tamu_destroy_zorva_cart(stored);
        }
    }
    reset_editor_state();
    pstate.current_tab = 0;
    set_code_tab(0);
}

const char *cart_load_failure() {
    switch (load_failure) {
    case CART_LOAD_NO_FILE: return "no such file";
    case CART_LOAD_NOT_A_FILE: return "not a regular file";
    case CART_LOAD_FOLDER: return "a folder";
    case CART_LOAD_UNREADABLE: return "cannot be read";
    case CART_LOAD_NOT_A_CART: return "not a cart";
    case CART_LOAD_FUTURE_VERSION: return "version too new";
    default: return "";
    }
}

void note_cart_load_failure(int reason) {
    if (reason > load_failure) load_failure = reason;
}

static int load_cart_file(const char *name);

int load_working_cart(const char *name) {
    load_failure = CART_LOAD_OK;
    int result = load_cart_file(name);
    if (result != 0) {
        note_cart_load_failure(CART_LOAD_NO_FILE);
        tamu_debugf("could not load %.400s: %s\n", name ? name : "", cart_load_failure());
    }
    return result;
}

// load_working_cart's search.
static int load_cart_file(const char *name) {
    char given[ZORVA_PATH_SIZE];
    if (!name || !name[0] || !copy_path(given, name)) return 1;
    if (zorva_cart *cart = load_zorva_cart_any_format(given)) {
        prepare_loaded_cart(cart, given);
        return 0;
    }
    if (pstate.MODE == MODE_RUNNING && pstate.running) return 1;

    char variant[ZORVA_PATH_SIZE], with_png[ZORVA_PATH_SIZE];
    if (inject_zv_extention(given, variant) != 0) return 1;
    zorva_cart *cart = nullptr;
    const char *found = variant;
    if (holds(variant, ".png")) {
        cart = read_text_or_png(variant);
    } else {
        cart = tamu_load_zorva_cart(variant, nullptr);
        if (!cart && format_path(with_png, "%s%s", variant, ".png")) {
            cart = read_text_or_png(with_png);
            found = with_png;
        }
        if (!cart && format_path(with_png, "%s%s", given, ".png")) {
            cart = read_text_or_png(with_png);
            found = with_png;
        }
    }
    if (!cart) return 1;
    prepare_loaded_cart(cart, found);
    return 0;
}

// ---------------------------------------------------------------------------
// Saving

int save_backup(const char *name, int copy) {
    char directory[ZORVA_PATH_SIZE], base[ZORVA_PATH_SIZE], extension[ZORVA_PATH_SIZE];
    if (name && name[0]) {
        tamu_split_filename(name, directory, base, extension);
    } else {
        std::strcpy(base, "untitled");
        std::strcpy(extension, ".zv");
    }
    char file[ZORVA_PATH_SIZE], path[ZORVA_PATH_SIZE];
    if (!format_path(file, "backup/%s%s", base, extension) || tamu_prefix_with_appdata_path(file, path) != 0) {
        tamu_debugf("backup: name too long: %.300s\n", name ? name : "");
        return 1;
    }
    make_appdata_folder("backup/");
    if (copy) {
        // The whole file, however long: a backup that is cut short is no
        // backup.
        int result = tamu_copy_file(name, path);
        if (result != 0) tamu_debugf("backup: could not copy %.300s (%d)\n", name, result);
        return result == 0 ? 0 : 1;
    }
    merge_code_from_tabs();
    zorva_cart *cart = working_cart();
    if (!cart) return 1;
    if (cart->code && std::strlen(cart->code) > size_t(SAVE_CODE_LIMIT)) {
        zorva_print("program over size limit\n");
        return 1;
    }
    return write_cart_file(cart, path);
}

int save_working_cart(const char *name) {
    char requested[ZORVA_PATH_SIZE];   // name may be the working file name itself
    if (!name || !name[0] || !copy_path(requested, name)) return 1;
    zorva_cart *cart = working_cart();
    if (!cart) return 1;
    merge_code_from_tabs();
    const char *code = cart->code ? cart->code : "";
    int length = int(std::strlen(code));
    if (length > SAVE_CODE_LIMIT || cart->code_cut) {
        zorva_print("program over size limit\n");
        return 1;
    }
    int compressed = compressed_code_size(code, length);
    bool png = holds(requested, ".png");
    if (png) {
        if (compressed > PNG_CODE_LIMIT) {
            zorva_print_col("compressed code size too large\n", 8);
            zorva_print_2("%d / %d bytes", compressed, PNG_CODE_LIMIT);
            return 1;
        }
        if (label_is_blank(cart)) {
            zorva_print_col("warning: label is blank", 9);
            zorva_print_col("run cart and use f7 to capture", 10);
        }
    } else if (compressed > PNG_CODE_LIMIT) {
        zorva_print_col("warning: compressed program too\n", 9);
        zorva_print_col("large to save in .zv.png format\n", 9);
        zorva_print_2("%d / %d bytes", compressed, PNG_CODE_LIMIT);
        zorva_print("(saving .zv anyway)\n");
    }

    char target[ZORVA_PATH_SIZE];
    if (inject_zv_extention(requested, target) != 0) {
        show_message("** failed to save **", 1500);
        return 1;
    }
    if (disk_file_exists(target)) {
        // The file about to be replaced is kept first, its own file too (a
        // cart edited by hand is saved over with Ctrl+S); without that copy
        // it is not replaced. Only another file's is worth a warning.
        if (save_backup(target, 1) != 0) {
            zorva_print("could not back up the old file");
            show_message("** failed to save **", 1500);
            return 1;
        }
        if (std::strcmp(target, pstate.working_file_name) != 0) show_message("** overwriting; saved backup **", 2500);
    }
    if (write_cart_file(cart, target) != 0) {
        show_message("** failed to save **", 1500);
        return 1;
    }
    copy_path(pstate.working_file_name, target);
    hash_working_cart();
    return 0;
}

void do_quick_save() {
    const char *name = pstate.working_file_name;
    if (!name[0]) {
        show_message("*** no filename. not saved! ***", 1500);
        return;
    }
    char bbs[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("bbs", bbs) == 0 && holds(name, bbs)) {
        show_message("* can not overwrite bbs cart! *", 1500);
        return;
    }
    merge_code_from_tabs();
    zorva_cart *cart = working_cart();
    if (cart && cart->code && std::strlen(cart->code) > size_t(SAVE_CODE_LIMIT)) {
        zorva_print("program over size limit\n");
        return;
    }
    char saved_as[ZORVA_PATH_SIZE];
    copy_path(saved_as, name);
    if (save_working_cart(saved_as) != 0) {
        show_message("** save failed **", 1500);
        return;
    }
    char base[ZORVA_PATH_SIZE], extension[ZORVA_PATH_SIZE], text[APP_MESSAGE_SIZE];
    tamu_split_filename(pstate.working_file_name, nullptr, base, extension);
    // (A message shows a line of the bar; longer names are cut.)
    std::snprintf(text, sizeof text, "saved %.200s%.40s\n", base, extension);
    show_message(text, 1000);
}

void do_quick_load() {
    char name[ZORVA_PATH_SIZE];
    copy_path(name, pstate.working_file_name);
    if (!name[0]) return;
    zorva_cart *cart = load_zorva_cart_any_format(name);
    if (!cart) return;
    apply_legacy_changes(cart);
    char sha1[41];
    identify_cart(cart, sha1);
    if (std::strcmp(sha1, pstate.working_sha1) == 0) {
        tamu_destroy_zorva_cart(cart);
        return;
    }
    prepare_loaded_cart(cart, name);
    show_message("loaded external changes", 1000);
}

int detect_unsaved_changes() { return 0; }

// ---------------------------------------------------------------------------
// Embedded carts

void clear_embedded_carts() {
    std::memset(embedded_cart, 0, sizeof embedded_cart);
    embedded_carts = 0;
}

int mount_embedded_cart(zorva_cart *cart, const char *name) {
    if (!cart || !name || !name[0] || embedded_carts >= EMBEDDED_CARTS_MAX) return 1;
    if (std::strlen(name) >= size_t(EMBEDDED_CART_NAME_SIZE)) return 1;
    embedded_cart_entry &entry = embedded_cart[embedded_carts];
    identify_cart(cart, entry.sha1);
    std::snprintf(entry.name, sizeof entry.name, "%s", name);
    embedded_carts++;
    cfile *file = tamu_fopen_vdisk(name, "w");
    if (!file || tamu_save_zorva_cart_to_file(cart, file) != ZORVA_CART_OK)
        tamu_debugf("embedded cart %.200s: no copy on the virtual disk\n", name);
    return 0;
}

const char *get_embedded_cart_filename_for_hash(const char *hash) {
    if (!hash) return nullptr;
    for (int i = 0; i < embedded_carts; i++)
        if (std::strcmp(embedded_cart[i].sha1, hash) == 0) return embedded_cart[i].name;
    return nullptr;
}

const char *get_embedded_cart_hash_for_filename(const char *name) {
    if (!name) return nullptr;
    for (int i = 0; i < embedded_carts; i++)
        if (std::strcmp(embedded_cart[i].name, name) == 0) return embedded_cart[i].sha1;
    return nullptr;
}

// A cart of the data pod: an item that is a 32K cart image (other items,
// such as nested pods, are not carts). A new cart, or null.
static zorva_cart *pod_cart(int index, const char **name) {
    auto *file = static_cast<cfile *>(cpod_get_item(pstate.data_pod, index, CPOD_ITEM_FILE));
    if (!file || file->size != CART_IMAGE_SIZE || !file->data) return nullptr;
    zorva_cart *cart = tamu_create_zorva_cart();
    if (cart && load_zorva_cart_32k(cart, file->data) != 0) {
        tamu_destroy_zorva_cart(cart);
        return nullptr;
    }
    *name = file->name;
    return cart;
}

void boot_embedded_cart() {
    clear_embedded_carts();
    const char *name = nullptr;
    if (zorva_cart *cart = pod_cart(POD_MAIN_CART, &name)) {
        cart->version = ZORVA_CART_VERSION;
        prepare_loaded_cart(cart, name);
    } else {
        zorva_print("no main cart in data.pod");
    }
    int items = pstate.data_pod ? pstate.data_pod->count : 0;
    for (int i = POD_MAIN_CART; i < items; i++) {
        zorva_cart *cart = pod_cart(i, &name);
        if (!cart) continue;
        mount_embedded_cart(cart, name);
        tamu_destroy_zorva_cart(cart);
    }
    pstate.MODE = MODE_CONSOLE;
    pstate.REQUEST = REQUEST_RUN;
}

// ---------------------------------------------------------------------------
// cstore and reload files

int zorva_prefix_with_cstore_path(const char *name, const char *prefix, char *output) {
    char folder[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("cstore/", folder) != 0 ||
        !format_path(output, "%s%s%s", folder, prefix ? prefix : "", name ? name : ""))
        return 1;
    return 0;
}

const char *get_sandboxed_cstore_filename(const char *hash) {
    static char file[ZORVA_PATH_SIZE];
    if (!hash || std::strlen(hash) != 40) return nullptr;
    for (const char *p = hash; *p; p++)
        if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'))) return nullptr;
    char name[48];
    std::snprintf(name, sizeof name, "%s.zv", hash);
    if (zorva_prefix_with_cstore_path(name, "__", file) != 0) return nullptr;
    return file;
}

int get_shared_cstore_filename(const char *name, char *output) {
    output[0] = 0;
    if (!name) return 1;
    if (name[0] == '/') name++;
    // The folder is flat: no folders in the name; "__" names are the
    // carts' own files; '|' separates the touched list.
    if (std::strncmp(name, "__", 2) == 0 || std::strpbrk(name, "/\\|")) return 1;
    char folder[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("cstore/", folder) != 0 ||
        tamu_resolve_inside(folder, "", name, std::strlen(name), output) <= 0) {
        output[0] = 0;
        return 1;
    }
    return 0;
}

int reload_cart_partial(const char *name, int dest, int src, int len) {
    return reload_partial(name, false, dest, src, len);
}

int cstore_cart_partial(const char *name, int dest, int src, int len, int own) {
    char path[ZORVA_PATH_SIZE];   // name may be the shared cstore buffer
    if (!name || !copy_path(path, name) || !path[0]) return 2;
    if (!touch(path)) return 3;
    note_partial_file(path);

    zorva_cart *cart = read_text_or_png(path);
    if (!cart) {
        if (disk_file_exists(path)) {
            // Starting from an empty cart would lose what the file holds.
            tamu_debugf("cstore: %.300s cannot be read; it is left as it is\n", path);
            return 2;
        }
        cart = tamu_create_zorva_cart();
    }
    zorva_cart *working = own ? working_cart() : nullptr;
    if (transfer_length_ok(len)) {
        for (int i = 0; i < len; i++) {
            int byte = zorva_peek(&pstate, pstate.live_cart, offset_address(src, i));
            zorva_poke(nullptr, cart, offset_address(dest, i), byte);
            if (working) zorva_poke(nullptr, working, offset_address(dest, i), byte);
        }
    }
    make_appdata_folder("cstore/");
    int result = write_cart_file(cart, path);
    tamu_destroy_zorva_cart(cart);
    if (result != 0) {
        tamu_debugf("cstore: could not write %.300s\n", path);
        return 2;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The clipboard

int save_clip_cart() {
    char png[ZORVA_PATH_SIZE], hex[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("_clip.zv.png", png) != 0 ||
        tamu_prefix_with_appdata_path("_clip.zv.png.hex", hex) != 0)
        return 1;
    merge_code_from_tabs();
    zorva_cart *cart = working_cart();
    if (!cart || save_zorva_cart_png(cart, png) != 0) return 1;
    if (convert_binary_file_to_hex(png, hex) != 0) return 1;
    return tamu_load_clipboard_from_file(hex) == 0 ? 0 : 1;
}

int load_clip_cart() {
    char png[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("_clip.zv.png", png) != 0) return 1;
    char *text = tamu_get_clipboard_text();
    int result = convert_hex_to_binary_file(text, png);
    tamu_free(text);
    if (result != 0) return 1;
    zorva_cart *cart = load_zorva_cart_png(png);
    app.png_load_error = last_png_load_error;
    if (!cart) return 1;
    prepare_loaded_cart(cart, png);
    return 0;
}

void install_cart_storage_hooks() {
    zorva_shell.load_working_cart = load_working_cart;
    zorva_shell.save_working_cart = save_working_cart;
    zorva_shell.reload_from_file = reload_from_file;
    zorva_shell.cstore_to_file = cstore_to_file;
    zorva_shell.load_clip_cart = load_clip_cart;
    zorva_shell.save_clip_cart = save_clip_cart;
}
