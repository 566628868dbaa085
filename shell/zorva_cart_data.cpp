// Cart data: claiming an id, reading its file, and saving the values.
#include "zorva_cart_data.h"

#include "cart_data_file.h"
#include "tamu.h"
#include "zorva_cart_storage.h"
#include "zorva_shell.h"
#include "zorva_shell_steps.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstring>

static_assert(CART_DATA_VALUES == ZORVA_CART_DATA_VALUES);

namespace {

constexpr int CART_DATA_ID_LIMIT = 64;

// The file of the claimed id could not be read, or was damaged and could
// not be kept in "backup/": it is not written over.
bool keep_file_as_it_is = false;
// The last save failed (logged once until a save succeeds again).
bool last_save_failed = false;

bool cart_program_running() { return pstate.MODE == MODE_RUNNING && pstate.running; }

// A damaged or unreadable file is copied into "backup/" before the cart's
// next save replaces it; when even that fails it is left alone.
void keep_damaged_file(const char *path, const char *why) {
    tamu_debugf("cart data file %.300s %s\n", path, why);
    if (save_backup(path, 1) == 0) {
        tamu_debug("cart data: the old file was copied into backup/\n");
        show_message("** damaged cart data backed up", 1500);
        return;
    }
    tamu_debug("cart data: the old file could not be copied into backup/; it will not be written over\n");
    show_message("** cart data will not be saved", 1500);
    keep_file_as_it_is = true;
}

// Reads the file of the claimed id into the values: 0 read, 1 none.
int read_cdata_file(const char *path) {
    cfile *file = tamu_fopen(path, "rb");
    if (!file) return 1;
    if (file->vdisk) return 1;   // only a file on the disk counts
    char bytes[CART_DATA_READ_LIMIT + 1];
    int got = tamu_fread(bytes, 1, sizeof bytes, file);
    bool failed = tamu_ferror(file) != 0 || got < 0;
    tamu_fclose(file);
    if (failed) {
        keep_damaged_file(path, "could not be read");
        return 1;
    }
    uint32_t values[CART_DATA_VALUES];
    int damage = read_cart_data_text(bytes, got, values);
    for (int i = 0; i < CART_DATA_VALUES; i++) pstate.cart_data[i] = zorva_fixed(values[i]);
    if (damage) {
        const char *why = damage & CART_DATA_TOO_LONG       ? "holds more than the cart data"
                          : damage & CART_DATA_PARTIAL_VALUE ? "ends in the middle of a value"
                                                             : "holds characters that are not hex digits";
        keep_damaged_file(path, why);
    }
    return 0;
}

}  // namespace

int is_legal_cart_label_char(int c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ? 1 : 0;
}

int get_cdata_filename(const char *id, char *out) {
    char name[ZORVA_PATH_SIZE];
    int n = std::snprintf(name, sizeof name, "%s.zvd.txt", id);
    if (n < 0 || n >= ZORVA_PATH_SIZE || tamu_resolve_inside(pstate.cdata_path, "", name, size_t(n), out) <= 0) {
        out[0] = 0;
        return 1;
    }
    return 0;
}

int load_cdata(const char *id) {
    if (!id) return 3;
    if (!cart_program_running()) return 1;
    if (pstate.cartdata_id[0]) {
        zorva_runtime_error("cartdata() can only be called once");
        return 2;
    }
    size_t length = std::strlen(id);
    if (length == 0 || length > size_t(CART_DATA_ID_LIMIT)) {
        zorva_runtime_error("cart data id too long");
        return 2;
    }
    for (const char *p = id; *p; p++)
        if (!is_legal_cart_label_char(uint8_t(*p))) {
            zorva_runtime_error("cart data id: bad char");
            return 2;
        }
    std::memcpy(pstate.cartdata_id, id, length + 1);
    std::memset(pstate.cart_data, 0, sizeof pstate.cart_data);
    keep_file_as_it_is = false;
    char path[ZORVA_PATH_SIZE];
    if (get_cdata_filename(id, path) != 0) {
        tamu_debug("cart data: the cart-data folder's name is too long\n");
        return 1;
    }
    return read_cdata_file(path);
}

int save_cdata() {
    const char *id = pstate.cartdata_id;
    if (!cart_program_running() || !id[0] || std::strlen(id) > size_t(CART_DATA_ID_LIMIT)) {
        pstate.cart_data_dirty = 0;
        return 0;
    }
    char path[ZORVA_PATH_SIZE];
    if (keep_file_as_it_is || get_cdata_filename(id, path) != 0) {
        pstate.cart_data_dirty = 0;
        return 1;
    }
    uint32_t values[CART_DATA_VALUES];
    for (int i = 0; i < CART_DATA_VALUES; i++) values[i] = uint32_t(pstate.cart_data[i]);
    char text[CART_DATA_FILE_SIZE + 1];
    write_cart_data_text(values, text);

    bool written = false;
    if (cfile *file = tamu_fopen_save(path)) {
        bool complete = tamu_fwrite(text, 1, CART_DATA_FILE_SIZE, file) == CART_DATA_FILE_SIZE;
        if (complete)
            written = tamu_fclose_save(file) == 0;
        else
            tamu_abort_save(file);
    }
    if (!written) {
        // The values stay marked, so the next save tries again.
        if (!last_save_failed) tamu_debugf("cart data: could not write %.300s\n", path);
        last_save_failed = true;
        return 1;
    }
    last_save_failed = false;
    pstate.cart_data_dirty = 0;
    return 0;
}

void install_cart_data_hooks() {
    zorva_shell.load_cdata = load_cdata;
    zorva_shell.save_cdata = [] { save_cdata(); };
}
