// Feeds arbitrary bytes to the cart-source preprocessor and tokenizer and
// checks what they promise: no read or write outside the buffers, a clear
// result (the text, or -1 with nothing left in the output), every newline
// kept, preprocessed text that preprocesses to itself, the same result in
// a smaller buffer whenever it fits, and a token walk that always ends.
#include "zorva_preprocess.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cstdio>

static void check_at(bool ok, int line) {
    if (ok) return;
    std::fprintf(stderr, "check failed at line %d\n", line);
    std::abort();
}
#define check(ok) check_at(ok, __LINE__)

static size_t count_byte(const char *s, char c) {
    size_t n = 0;
    for (; *s; s++) n += *s == c;
    return n;
}

static bool has_glyph(const char *s) {
    for (; *s; s++)
        if (std::strchr("\x8b\x91\x94\x83\x8e\x97\x8f", *s)) return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Rewriting is quadratic in the worst case (each compound assignment
    // moves the rest of its line; 64K of "a+=(" takes about half a second
    // in a release build), which the instrumented build turns into
    // timeouts; 16K inputs reach every path.
    if (size > 1 << 14) return 0;
    // The source is a C string: a NUL byte ends it.
    std::string source(reinterpret_cast<const char *>(data), size);
    const char *text = source.c_str();

    // Exactly sized, so that the sanitizer sees any write past the end.
    const int full = ZORVA_PREPROCESS_BUFFER_SIZE;
    static char out[full], again[full];
    int n = zorva_preprocess(text, out, full);
    check(n >= -1);
    if (n < 0) {
        check(out[0] == 0);
    } else {
        check(n < full && std::strlen(out) == static_cast<size_t>(n));
        check(count_byte(out, '\n') == count_byte(text, '\n'));
        check(count_byte(out, '\r') == count_byte(text, '\r'));

        // Preprocessed text preprocesses to itself, unless a glyph byte
        // became a digit: that can join the text around it into other
        // tokens ("b\x915e--" reads as a name and a comment afterwards).
        if (!has_glyph(text)) {
            check(zorva_preprocess(out, again, full) == n);
            check(std::memcmp(again, out, static_cast<size_t>(n) + 1) == 0);
        }

        // A buffer sized from the input: the same text when both the
        // source and the result fit, no other text ever, a clean failure
        // when the result does not fit.
        int longest = std::max(n, static_cast<int>(std::strlen(text)));
        int small = 1 + static_cast<int>(size > 0 ? data[0] : 0) % (longest + 2);
        std::vector<char> tight(static_cast<size_t>(small));
        int m = zorva_preprocess(text, tight.data(), small);
        if (m >= 0) check(m == n && std::memcmp(tight.data(), out, static_cast<size_t>(n) + 1) == 0);
        else check(tight[0] == 0);
        if (longest < small) check(m == n);
        if (n >= small) check(m == -1);
    }

    // The token walk moves forward and ends at the NUL; the count agrees.
    int tokens = 0;
    const char *end = text + std::strlen(text);
    const char *p = get_first_token(text);
    for (;;) {
        check(p >= text && p <= end && token_begin <= p);
        int colour = get_token_color();
        check(colour >= 6 && colour <= 14);
        if (get_token() == TOKEN_EOF) break;
        check(p > token_begin);
        if (!is_free_token(get_token())) tokens++;
        p = get_next_token(p);
    }
    check(p == end);
    check(count_tokens(text) == tokens);
    return 0;
}
