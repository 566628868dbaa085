// Feeds arbitrary bytes to the text-cart reader, as a memory file, and
// checks what it promises: a clear result, values within their ranges,
// and a cart that writes and reads back to the same text.
#include "cart_text.h"
#include "tamu.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

static void check(bool ok) {
    if (!ok) std::abort();
}

static void check_cart(const zorva_cart *cart) {
    check(std::memchr(cart->code, 0, ZORVA_CODE_BUFFER_SIZE) != nullptr);
    check(std::strlen(cart->code) <= static_cast<size_t>(ZORVA_CODE_LIMIT));
    check(std::strchr(cart->code, '\r') == nullptr);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            check(cart->gfx->rows[y][x] <= 15);
            if (cart->label) check(cart->label->rows[y][x] <= 15);
        }
    for (int f : cart->sprite_flags) check(f >= 0 && f <= 255);
    for (const sfx_record &s : cart->sfx) {
        for (int v : {s.editor_mode, s.speed, s.loop_start, s.loop_end}) check(v >= 0 && v <= 255);
        for (const sfx_note &n : s.notes) {
            check(n.pitch >= 0 && n.pitch <= 63);
            check(n.waveform >= 0 && n.waveform <= 7);
            check(n.volume >= 0 && n.volume <= 7);
            check(n.effect >= 0 && n.effect <= 7);
            check(n.custom_instrument == 0 || n.custom_instrument == ZORVA_SFX_CUSTOM_INSTRUMENT);
        }
    }
    for (int p = 0; p < ZORVA_MUSIC_PATTERNS; p++) {
        check(cart->music_flags[p] >= 0 && cart->music_flags[p] <= 255);
        for (int v : cart->music[p]) check(v >= 0 && v <= 255);
    }
}

// The cart written to a new memory buffer (the caller destroys it).
static cbuffer *write_cart(const zorva_cart *cart) {
    cbuffer *text = tamu_create_buffer(0);
    check(tamu_save_zorva_cart_to_file(cart, text) == ZORVA_CART_OK);
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    cfile *f = tamu_fopen_memory(data, static_cast<int>(size));
    int result = -1;
    zorva_cart *cart = tamu_load_zorva_cart_from_file(f, &result);
    tamu_fclose(f);

    if (!cart) {
        check(result == ZORVA_CART_NOT_A_CART || result == ZORVA_CART_FUTURE_VERSION);
        check(zorva_cart_future_version == (result == ZORVA_CART_FUTURE_VERSION ? 1 : 0));
        return 0;
    }
    check(result == (cart->code_cut ? ZORVA_CART_CODE_TOO_LONG : ZORVA_CART_OK));
    check(cart->version <= ZORVA_CART_VERSION);
    check_cart(cart);

    if (cart->code_cut) {
        // Never written: nothing of it may reach a file.
        cbuffer *text = tamu_create_buffer(0);
        check(tamu_save_zorva_cart_to_file(cart, text) == ZORVA_CART_CODE_TOO_LONG);
        check(text->size == 0);
        tamu_destroy_buffer(text);
    } else if (size % 4 == 0) {
        // Writing back costs several times the read, so only every fourth
        // input length takes this path; the choice stays reproducible.
        cbuffer *text = write_cart(cart);
        cfile *again = tamu_fopen_memory(text->data, text->size);
        zorva_cart *back = tamu_load_zorva_cart_from_file(again, &result);
        tamu_fclose(again);
        check(back != nullptr && result == ZORVA_CART_OK);
        check(std::strcmp(back->code, cart->code) == 0);
        cbuffer *text2 = write_cart(back);
        check(text2->size == text->size && std::memcmp(text2->data, text->data, text->size) == 0);
        tamu_destroy_buffer(text2);
        tamu_destroy_zorva_cart(back);
        tamu_destroy_buffer(text);
    }
    tamu_destroy_zorva_cart(cart);
    return 0;
}
