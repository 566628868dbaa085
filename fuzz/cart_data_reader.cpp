// Feeds arbitrary bytes to the cart data file reader and checks what it
// promises: only the damage bits it names, the values of the hex digits
// among the first 1024 bytes (at most 512 of them, 8 to a value), a clean
// report for a file of whole values in hex and white space, and values
// that write back as a clean 520-byte file reading the same.
#include "cart_data_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

static void check(bool ok) {
    if (!ok) std::abort();
}

static int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    uint32_t values[CART_DATA_VALUES];
    int damage = read_cart_data_text(reinterpret_cast<const char *>(data), int(size), values);
    check((damage & ~(CART_DATA_STRAY_CHARACTERS | CART_DATA_PARTIAL_VALUE | CART_DATA_TOO_LONG)) == 0);

    uint32_t expected[CART_DATA_VALUES] = {};
    int digits = 0, all_digits = 0;
    bool stray = false;
    size_t looked_at = size < size_t(CART_DATA_READ_LIMIT) ? size : size_t(CART_DATA_READ_LIMIT);
    for (size_t i = 0; i < looked_at; i++) {
        int v = hex_value(data[i]);
        if (v < 0) {
            stray |= !(data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n');
            continue;
        }
        all_digits++;
        if (digits < CART_DATA_DIGITS) {
            expected[digits / 8] = expected[digits / 8] << 4 | uint32_t(v);
            digits++;
        }
    }
    check(std::memcmp(values, expected, sizeof values) == 0);
    check(((damage & CART_DATA_STRAY_CHARACTERS) != 0) == stray);
    check(((damage & CART_DATA_TOO_LONG) != 0) == (size > size_t(CART_DATA_READ_LIMIT) || all_digits > CART_DATA_DIGITS));
    check(((damage & CART_DATA_PARTIAL_VALUE) != 0) == (digits % 8 != 0));

    char text[CART_DATA_FILE_SIZE + 1];
    write_cart_data_text(values, text);
    check(std::strlen(text) == size_t(CART_DATA_FILE_SIZE));
    uint32_t back[CART_DATA_VALUES];
    check(read_cart_data_text(text, CART_DATA_FILE_SIZE, back) == 0);
    check(std::memcmp(back, values, sizeof back) == 0);
    return 0;
}
