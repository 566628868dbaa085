// The working cart: loading a cart file as the working cart and booting
// the data pod's main cart. (Backups, quick save and load, embedded carts
// and cstore files come with the rest of cart storage.)
#include "zorva_shell_steps.h"

#include "cart_forms.h"
#include "cart_text.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_cart.h"
#include "zorva_memory.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstring>

namespace {

// Any cell of map rows 32-63 set.
bool shared_map_used(const zorva_cart *cart) {
    const cbitmap *map = cart->map;
    if (!map) return false;
    for (int y = 32; y < map->height; y++)
        for (int x = 0; x < map->width; x++)
            if (map->rows[y][x]) return true;
    return false;
}

// A ".png" name is read as a PNG cartridge, any other as a text cart.
zorva_cart *read_cart_file(const char *name) {
    if (std::strstr(name, ".png")) return load_zorva_cart_png(name);
    return tamu_load_zorva_cart(name, nullptr);
}

constexpr int POD_MAIN_CART = 3;

}  // namespace

void hash_working_cart() {
    if (zorva_cart *cart = working_cart()) hash_cart(cart, pstate.working_sha1);
}

void prepare_loaded_cart(zorva_cart *cart, const char *name) {
    if (!cart) return;
    set_working_cart(cart);
    apply_legacy_changes(cart);
    if (shared_map_used(cart))
        sync_shared_map_to_gfx(cart);
    else
        sync_shared_gfx_to_map(cart);
    split_code_to_tabs();
    merge_code_from_tabs();
    hash_working_cart();
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", name ? name : "");
    reset_editor_state();
    pstate.current_tab = 0;
    set_code_tab(0);
}

int load_working_cart(const char *name) {
    if (!name) return 1;
    zorva_cart *cart = read_cart_file(name);
    if (!cart) return 1;
    prepare_loaded_cart(cart, name);
    return 0;
}

void boot_embedded_cart() {
    auto *file = static_cast<cfile *>(cpod_get_item(pstate.data_pod, POD_MAIN_CART, CPOD_ITEM_FILE));
    zorva_cart *cart = nullptr;
    if (file && file->size >= CART_IMAGE_SIZE) {
        cart = tamu_create_zorva_cart();
        if (cart && load_zorva_cart_32k(cart, file->data) != 0) {
            tamu_destroy_zorva_cart(cart);
            cart = nullptr;
        }
    }
    if (cart) {
        cart->version = ZORVA_CART_VERSION;
        prepare_loaded_cart(cart, file->name);
    } else {
        zorva_print("no main cart in data.pod");
    }
    pstate.MODE = MODE_CONSOLE;
    pstate.REQUEST = REQUEST_RUN;
}
