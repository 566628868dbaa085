// Reading and writing the text of a cart data file.
#include "cart_data_file.h"

#include <cstdio>
#include <cstring>

static int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int read_cart_data_text(const char *bytes, int length, uint32_t values[CART_DATA_VALUES]) {
    std::memset(values, 0, sizeof(uint32_t) * CART_DATA_VALUES);
    int found = 0;
    if (!bytes || length < 0) length = 0;
    if (length > CART_DATA_READ_LIMIT) {
        found |= CART_DATA_TOO_LONG;
        length = CART_DATA_READ_LIMIT;
    }
    int digits = 0;
    for (int i = 0; i < length; i++) {
        int v = hex_value(bytes[i]);
        if (v < 0) {
            if (!is_space(bytes[i])) found |= CART_DATA_STRAY_CHARACTERS;
            continue;
        }
        if (digits >= CART_DATA_DIGITS) {
            found |= CART_DATA_TOO_LONG;
            continue;
        }
        values[digits / 8] = values[digits / 8] << 4 | uint32_t(v);
        digits++;
    }
    if (digits % 8) found |= CART_DATA_PARTIAL_VALUE;
    return found;
}

void write_cart_data_text(const uint32_t values[CART_DATA_VALUES], char out[CART_DATA_FILE_SIZE + 1]) {
    char *p = out;
    for (int i = 0; i < CART_DATA_VALUES; i++) {
        std::snprintf(p, 9, "%08x", unsigned(values[i]));
        p += 8;
        if (i % 8 == 7) *p++ = '\n';
    }
    *p = 0;
}
