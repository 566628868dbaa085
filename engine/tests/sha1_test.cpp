// SHA-1 digests: the published test vectors and the system's sha1sum.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string digest(const std::string &data) {
    char out[41];
    std::memset(out, 'x', sizeof out);
    tamu_sha1(data.data(), int(data.size()), out);
    return std::string(out, strnlen(out, sizeof out));
}

TEST(Sha1, PublishedTestVectors) {
    const std::pair<std::string, const char *> vectors[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"The quick brown fox jumps over the lazy dog", "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12"},
    };
    for (auto &[message, expected] : vectors) {
        SCOPED_TRACE(message.substr(0, 64));
        EXPECT_EQ(digest(message), expected);
    }
}

// Lengths around the padding boundaries (55/56 bytes: the length still
// fits the last block or not; 64: a whole block) and a few larger ones.
TEST(Sha1, MatchesSha1sumOnTheSameBytes) {
    std::mt19937 rng(2024);
    std::string path = test_home() + "/sha1-input.bin";
    for (int length : {0, 1, 3, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 4095, 32773, 100001}) {
        SCOPED_TRACE(length);
        std::string data(size_t(length), '\0');
        for (char &c : data) c = char(rng());
        write_file(path, data);
        std::string command = "sha1sum '" + path + "'";
        FILE *pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char line[256] = {};
        ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
        ASSERT_EQ(pclose(pipe), 0);
        EXPECT_EQ(digest(data), std::string(line, 40));
    }
}

TEST(Sha1, BlockFunctionsTakeInputInAnyPieces) {
    std::string data;
    for (int i = 0; i < 300; i++) data += char(i * 7);
    std::string whole = digest(data);
    for (int piece : {1, 3, 63, 64, 65, 299}) {
        SCOPED_TRACE(piece);
        SHA1Context context;
        SHA1Reset(&context);
        for (size_t at = 0; at < data.size(); at += size_t(piece)) {
            size_t n = std::min(size_t(piece), data.size() - at);
            SHA1Input(&context, reinterpret_cast<const uint8_t *>(data.data()) + at, unsigned(n));
        }
        ASSERT_EQ(SHA1Result(&context), 1);
        char hex[41];
        std::snprintf(hex, sizeof hex, "%08x%08x%08x%08x%08x", context.Message_Digest[0], context.Message_Digest[1],
                      context.Message_Digest[2], context.Message_Digest[3], context.Message_Digest[4]);
        EXPECT_EQ(hex, whole);
        // A second result keeps the digest.
        uint32_t first_word = context.Message_Digest[0];
        EXPECT_EQ(SHA1Result(&context), 1);
        EXPECT_EQ(context.Message_Digest[0], first_word);
        EXPECT_EQ(context.Length_Low, uint32_t(data.size() * 8));
        EXPECT_EQ(context.Length_High, 0u);
    }
}

TEST(Sha1, MisusedContextsAreCorrupted) {
    const uint8_t byte = 'a';
    SHA1Context context;

    // Input after the result.
    SHA1Reset(&context);
    SHA1Input(&context, &byte, 1);
    ASSERT_EQ(SHA1Result(&context), 1);
    SHA1Input(&context, &byte, 1);
    EXPECT_EQ(context.Corrupted, 1);
    EXPECT_EQ(SHA1Result(&context), 0);

    // A message of 2^64 bits: the bit count overflows.
    SHA1Reset(&context);
    context.Length_High = 0xFFFFFFFF;
    context.Length_Low = 0xFFFFFFF0;
    SHA1Input(&context, &byte, 1);
    EXPECT_EQ(context.Corrupted, 0);
    SHA1Input(&context, &byte, 1);
    EXPECT_EQ(context.Corrupted, 1);
    EXPECT_EQ(SHA1Result(&context), 0);

    // Null input.
    SHA1Reset(&context);
    SHA1Input(&context, nullptr, 4);
    EXPECT_EQ(SHA1Result(&context), 0);
    EXPECT_EQ(SHA1Result(nullptr), 0);

    char out[41] = "unchanged";
    tamu_sha1(nullptr, 5, out);
    EXPECT_STREQ(out, "");
    tamu_sha1("abc", -1, out);
    EXPECT_STREQ(out, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

}  // namespace
