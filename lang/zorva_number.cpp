// Script numbers and their text forms.
#include "zorva_fixed.h"

#include <cstdlib>
#include <cstring>

namespace {

bool is_space(char c) { return c == ' ' || (c >= 9 && c <= 13); }

bool contains_either(const char *s, size_t len, char a, char b) {
    for (size_t i = 0; i < len; i++)
        if (s[i] == a || s[i] == b) return true;
    return false;
}

int digit_value(char c, int base) {
    int d;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    else
        return -1;
    return d < base ? d : -1;
}

// "0x" / "0b" numerals: [space] [sign] 0 letter whole [. fraction]. Returns
// the position after the digits, or nullptr when the text is no numeral.
// bits is the width of one digit (4 or 1); the fraction field holds 16 / bits
// digits, shorter fractions are aligned to its top and further digits are
// read but carry no value.
const char *read_radix(const char *p, char letter, int bits, uint32_t *out) {
    const int base = 1 << bits;
    const int field = 16 / bits;
    while (is_space(*p)) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (p[0] != '0' || (p[1] | 0x20) != letter) return nullptr;
    p += 2;
    uint32_t whole = 0, fraction = 0;
    int digits = 0, d;
    for (; (d = digit_value(*p, base)) >= 0; p++, digits++) whole = whole * (uint32_t)base + (uint32_t)d;
    if (*p == '.') {
        p++;
        int count = 0;
        for (; (d = digit_value(*p, base)) >= 0; p++, digits++, count++)
            if (count < field) fraction = fraction * (uint32_t)base + (uint32_t)d;
        if (count > 0 && count < field) fraction <<= (field - count) * bits;
    }
    if (digits == 0) return nullptr;
    uint32_t value = (whole << 16) + fraction;
    *out = negative ? 0u - value : value;
    return p;
}

// Decimal numerals through strtod: the magnitude scaled with a nudge of
// 2^-17 and truncated, then the sign applied, so that a negative text gives
// exactly the negation of its positive form (every representable value
// exactly). Anything beyond the 32-bit range is -32768.0.
const char *read_decimal(const char *s, uint32_t *out) {
    char *end;
    double d = std::strtod(s, &end);
    if (end == s) return nullptr;
    bool negative = d < 0;
    double scaled = (negative ? -d : d) * 65536.0 + 7.62939453125e-6;
    // The range test comes before the cast: converting an out-of-range
    // double to an integer is undefined. A magnitude of 2^31 would only
    // be -32768.0 again.
    if (scaled < 2147483648.0) {
        uint32_t magnitude = (uint32_t)scaled;
        *out = negative ? 0u - magnitude : magnitude;
    } else {
        *out = 0x80000000u;
    }
    return end;
}

// Writes the digits of v (at most 10) backwards ending at end; returns the
// first digit's position.
char *digits_backwards(char *end, uint32_t v) {
    do {
        *--end = (char)('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

// |v| / 65536 at the given number of decimals (10^places is scale), rounded
// to nearest with exact ties to even, as the C library's "%.*f" rounds the
// exact binary value. |v| / 65536 has an exact decimal form, so the integer
// computation gives the same digits as the formatter.
uint64_t scaled_round(uint64_t magnitude, uint64_t scale) {
    uint64_t product = magnitude * scale;
    uint64_t q = product >> 16, rest = product & 0xFFFF;
    if (rest > 0x8000 || (rest == 0x8000 && (q & 1))) q++;
    return q;
}

}  // namespace

int luaO_str2d(const char *s, size_t len, zorva_fixed *result) {
    if (contains_either(s, len, 'n', 'N')) return 0;  // nan, inf
    uint32_t value;
    const char *end;
    if (contains_either(s, len, 'x', 'X'))
        end = read_radix(s, 'x', 4, &value);
    else if (contains_either(s, len, 'b', 'B'))
        end = read_radix(s, 'b', 1, &value);
    else
        end = read_decimal(s, &value);
    if (end == nullptr) return 0;
    const char *limit = s + len;
    if (end > limit) return 0;
    while (end < limit && is_space(*end)) end++;
    if (end != limit) return 0;  // trailing junk or an embedded zero byte
    *result = (zorva_fixed)value;
    return 1;
}

// The form is that of printing v / 65536 with "%0.5f"; when those decimals
// begin ".9999" or ".0000" the value prints with "%0.3f", otherwise with
// "%0.4f"; then trailing zeros go, and a trailing point. Done in integers on
// a stack buffer: this runs for every concatenation and print of a number.
int zorva_fixed_to_string(char *dst, zorva_fixed v) {
    bool negative = v < 0;
    uint64_t magnitude = negative ? 0u - (uint64_t)(int64_t)v : (uint64_t)v;

    uint64_t five = scaled_round(magnitude, 100000) % 100000;
    bool short_form = five / 10 == 9999 || five / 10 == 0;
    uint64_t scale = short_form ? 1000 : 10000;
    int places = short_form ? 3 : 4;
    uint64_t q = scaled_round(magnitude, scale);
    uint32_t whole = (uint32_t)(q / scale);
    uint32_t fraction = (uint32_t)(q % scale);

    char buf[ZORVA_FIXED_TEXT_SIZE];
    char *end = buf + sizeof buf;
    char *p = end;
    if (fraction != 0) {
        // Drop trailing zeros, then write the remaining decimals, keeping
        // the leading zeros of the fraction.
        while (fraction % 10 == 0) {
            fraction /= 10;
            places--;
        }
        for (int i = 0; i < places; i++) {
            *--p = (char)('0' + fraction % 10);
            fraction /= 10;
        }
        *--p = '.';
    }
    p = digits_backwards(p, whole);
    if (negative) *--p = '-';
    int length = (int)(end - p);
    std::memcpy(dst, p, (size_t)length);
    dst[length] = 0;
    return length;
}
