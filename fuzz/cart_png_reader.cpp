// Feeds arbitrary bytes to the PNG cartridge reader, as a PNG file (once as
// given and once with every chunk's CRC made right, so that mutations reach
// the decoder) and as the data block hidden in a cart picture, and checks
// what it promises: a clear error word and no cart, or a cart with a
// terminated code text, a version it knows, and the block's ROM, which
// writes back to the same image.
#include "png_crc.h"
#include "cart_forms.h"
#include "code_compression.h"
#include "tamu.h"
#include "zorva_cart.h"
#include "zorva_memory.h"

#include <lodepng.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

static void check(bool ok) {
    if (!ok) std::abort();
}

static void check_cart(zorva_cart *cart) {
    if (!cart) {
        check(last_png_load_error >= PNG_CART_NOT_PNG && last_png_load_error <= PNG_CART_FUTURE_VERSION);
        return;
    }
    check(last_png_load_error == PNG_CART_OK);
    check(cart->version >= 0 && cart->version <= ZORVA_CART_VERSION);
    check(std::memchr(cart->code, 0, ZORVA_CODE_BUFFER_SIZE) != nullptr);
    check(cart->label == nullptr);
}

static void read_file(const uint8_t *data, size_t size) {
    cfile *f = tamu_fopen_memory(data, int(size));
    zorva_cart *cart = load_zorva_cart_png_from_file(f);
    tamu_fclose(f);
    check_cart(cart);
    tamu_destroy_zorva_cart(cart);
}

static void read_block(const uint8_t *data, size_t size) {
    std::vector<uint8_t> block(CART_PNG_DATA_SIZE);
    std::memcpy(block.data(), data, size < block.size() ? size : block.size());
    zorva_cart *cart = load_zorva_cart_png_data(block.data());
    check_cart(cart);
    if (!cart) {
        check(last_png_load_error != PNG_CART_NOT_PNG);
        return;
    }
    check(cart->version == block[CART_IMAGE_SIZE]);
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    if (save_zorva_cart_32k(cart, image.data()) == 0) {
        check(std::memcmp(image.data(), block.data(), CART_ROM_SIZE) == 0);
        zorva_cart *back = tamu_create_zorva_cart();
        check(load_zorva_cart_32k(back, image.data()) == 0);
        // The decompressor cuts an old shim from the end, so a text that
        // ends in one again after that comes back shorter; any other comes
        // back as it was.
        size_t length = std::strlen(cart->code);
        check(std::strncmp(back->code, cart->code, std::strlen(back->code)) == 0);
        check(std::strlen(back->code) == length || (length >= 56 && std::strcmp(cart->code + length - 3, "end") == 0));
        tamu_destroy_zorva_cart(back);
    }
    tamu_destroy_zorva_cart(cart);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    read_file(data, size);
    std::vector<uint8_t> fixed = png_with_fixed_crcs(data, size);
    if (!fixed.empty()) read_file(fixed.data(), fixed.size());
    read_block(data, size);
    return 0;
}
