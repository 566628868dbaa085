// The cart record.
#include "zorva_cart.h"

#include "tamu.h"
#include "zorva_state.h"

#include <cstring>

zorva_cart_release_hooks zorva_cart_hooks = {nullptr, nullptr};

static int default_speed(int index) { return index == 0 ? 1 : 16; }

void zorva_cart_reset_sfx(zorva_cart *cart) {
    if (!cart) return;
    std::memset(cart->sfx, 0, sizeof cart->sfx);
    for (int i = 0; i < ZORVA_SFX_COUNT; i++) cart->sfx[i].speed = default_speed(i);
}

int zorva_sfx_is_default(const sfx_record *sfx, int index) {
    sfx_record blank;
    std::memset(&blank, 0, sizeof blank);
    blank.speed = default_speed(index);
    return std::memcmp(sfx, &blank, sizeof blank) == 0 ? 1 : 0;
}

zorva_cart *tamu_create_zorva_cart() {
    auto *cart = static_cast<zorva_cart *>(tamu_malloc(sizeof(zorva_cart)));
    std::memset(cart, 0, sizeof *cart);
    cart->code = static_cast<char *>(tamu_malloc(ZORVA_CODE_BUFFER_SIZE));
    std::memset(cart->code, 0, ZORVA_CODE_BUFFER_SIZE);
    cart->gfx = tamu_create_bitmap(128, 128, 8);
    cart->map = tamu_create_bitmap(128, 64, 8);
    zorva_cart_reset_sfx(cart);
    for (int p = 0; p < ZORVA_MUSIC_PATTERNS; p++)
        for (int c = 0; c < ZORVA_MUSIC_CHANNELS; c++) cart->music[p][c] = 65 + c;
    tamu_items_created++;
    return cart;
}

void tamu_destroy_zorva_cart(zorva_cart *cart) {
    if (!cart) return;
    if (zorva_cart_hooks.stop_sound) zorva_cart_hooks.stop_sound(cart);
    if (zorva_cart_hooks.forget) zorva_cart_hooks.forget(cart);
    if (pstate.live_cart == cart) pstate.live_cart = nullptr;
    tamu_destroy_bitmap(cart->gfx);
    tamu_destroy_bitmap(cart->map);
    tamu_destroy_bitmap(cart->label);
    tamu_free(cart->code);
    tamu_free(cart);
    tamu_items_created--;
}
