// compress_test: checks the cart code compressor on a text file.
//
//   compress_test FILE
//
// Compresses the file's text as a cart's code is compressed, expands it
// again and prints one line:
//
//   FILE: N characters, M bytes compressed (B blocks, L literals), D decompressed, ok
//
// with "stored as text" in place of the counts when the compressed form
// would not be shorter (the text is then kept as it is), and "differs"
// in place of "ok" when the expanded text is not the file's text (as for a
// text that ends in one of the old main-loop lines the expander drops).
// Exit status 0 for "ok", 1 for "differs", 2 when the file cannot be read
// or on bad usage.
#include "code_compression.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int compress_test(const char *path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("%s: cannot be read\n", path);
        return 2;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int length = int(text.size());

    compress_block_count = compress_literal_count = 0;
    std::vector<uint8_t> packed(size_t(compress_mini_bound(length)));
    const int packed_length = compress_mini(text.data(), packed.data(), length);
    const bool compressed =
        packed_length >= COMPRESSED_CODE_HEADER_SIZE && std::memcmp(packed.data(), ":c:", 4) == 0;

    std::string back;
    if (compressed) {
        std::vector<char> out(size_t(length) + 1);
        int n = decompress_mini(packed.data(), packed_length, out.data(), length);
        if (n > 0) back.assign(out.data(), size_t(n));
    } else {
        back.assign(reinterpret_cast<const char *>(packed.data()), size_t(packed_length));
    }

    std::printf("%s: %d characters, %d bytes ", path, length, packed_length);
    if (compressed)
        std::printf("compressed (%d blocks, %d literals)", compress_block_count, compress_literal_count);
    else
        std::printf("stored as text");
    const bool same = back == text;
    std::printf(", %d decompressed, %s\n", int(back.size()), same ? "ok" : "differs");
    return same ? 0 : 1;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::printf("usage: compress_test FILE\n");
        return 2;
    }
    return compress_test(argv[1]);
}
