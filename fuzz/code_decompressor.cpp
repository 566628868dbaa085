// Feeds arbitrary bytes to the code decompressor, into buffers exactly as
// large as it is told they are, and to the compressor as text, and checks
// what they promise: an error with the output cleared or a text within the
// capacity; and that compressed text comes back as it was (less an old
// main-loop shim at its end).
#include "code_compression.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static void check(bool ok) {
    if (!ok) std::abort();
}

static void decompress_into(const uint8_t *data, int size, int capacity) {
    std::vector<char> out(static_cast<size_t>(capacity));
    int n = decompress_mini(data, size, out.data(), capacity);
    check(n == DECOMPRESS_MINI_ERROR || (n >= 0 && n <= capacity));
    for (int i = n < 0 ? 0 : n; i < capacity; i++) check(out[size_t(i)] == 0);
}

// The text as the decompressor gives it back: the two shims cut from its
// end, in that order.
static std::string without_shims(std::string text) {
    for (const char *shim : {"if(_update60)_update=function()_update60()_update60()end",
                             "if(_update60)_update=function()_update60()_update_buttons()_update60()end"}) {
        size_t n = std::strlen(shim);
        if (text.size() >= n && text.compare(text.size() - n, n, shim) == 0) text.resize(text.size() - n);
    }
    return text;
}

static void round_trip(const char *text, int length) {
    std::vector<uint8_t> packed(size_t(compress_mini_bound(length)));
    int n = compress_mini(text, packed.data(), length);
    check(n >= 0 && n <= int(packed.size()));
    bool stored = length > COMPRESSED_CODE_MAX_LENGTH || (n == length && (length == 0 || text[0] != ':'));
    if (stored) {
        check(n == length && std::memcmp(packed.data(), text, size_t(length)) == 0);
        return;
    }
    check(n >= COMPRESSED_CODE_HEADER_SIZE && (n < length || text[0] == ':'));
    std::vector<char> out(size_t(length) + 1);
    int m = decompress_mini(packed.data(), n, out.data(), length);
    std::string expected = without_shims(std::string(text, size_t(length)));
    check(m == int(expected.size()) && std::memcmp(out.data(), expected.data(), expected.size()) == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    int n = int(size);
    decompress_into(data, n, 65537);
    if (n > 0) decompress_into(data, n, data[n - 1] * 4);
    if (n <= COMPRESSED_CODE_MAX_LENGTH) round_trip(reinterpret_cast<const char *>(data), n);
    return 0;
}
