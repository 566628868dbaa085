// Compressed cart code: exact bytes for small texts worked out from the
// format, round trips over varied code, and the decompressor's handling of
// input that is not what the compressor writes.
#include "code_compression.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> compress(const std::string &text) {
    // Exactly the room the compressor asks for, so that the sanitizer
    // catches a write past it.
    std::vector<uint8_t> out(size_t(compress_mini_bound(int(text.size()))));
    int n = compress_mini(text.data(), out.data(), int(text.size()));
    EXPECT_GE(n, 0);
    EXPECT_LE(n, int(out.size()));
    out.resize(size_t(n));
    return out;
}

// Decompresses into a buffer of capacity bytes (and no more).
int decompress(const std::vector<uint8_t> &in, std::string *text, int capacity = 65537) {
    std::vector<char> out(size_t(capacity) + 1, 'x');
    int n = decompress_mini(in.data(), int(in.size()), out.data(), capacity);
    if (n >= 0) *text = std::string(out.data(), size_t(n));
    for (int i = n < 0 ? 0 : n; i < capacity; i++)
        if (out[size_t(i)] != 0) {
            ADD_FAILURE() << "byte " << i << " after the text is not cleared";
            break;
        }
    return n;
}

std::vector<uint8_t> header(int length) {
    return {':', 'c', ':', 0, uint8_t(length >> 8), uint8_t(length), 0, 0};
}

std::vector<uint8_t> with_header(int length, std::vector<uint8_t> tokens) {
    std::vector<uint8_t> out = header(length);
    for (uint8_t t : tokens) out.push_back(t);
    return out;
}

std::vector<uint8_t> bytes_of(const std::string &text) { return {text.begin(), text.end()}; }

// Script-like text: keywords, names, numbers and punctuation, with the
// repeats real code has.
std::string code_like(int length, unsigned seed) {
    static const char *const words[] = {"function ", "end\n", "local ", "if ", "then\n", "for i=1,#t do\n",
                                        "spr(", "x+=1 ", "y-=dy ", "_update()", "PRINT(\"Hi\")", "0x7f ",
                                        "--[[ note ]]\n", "\t", "~=", "a.b[c]", "return ", "{}"};
    std::mt19937 rng(seed);
    std::string s;
    while (int(s.size()) < length) s += words[rng() % (sizeof words / sizeof *words)];
    s.resize(size_t(length));
    return s;
}

std::string random_bytes(int length, unsigned seed, int low = 1, int high = 255) {
    std::mt19937 rng(seed);
    std::string s(size_t(length), 0);
    for (char &c : s) c = char(low + int(rng() % unsigned(high - low + 1)));
    return s;
}

// ---------------------------------------------------------------------------
// Exact bytes

TEST(CompressMini, ExactBytesOfSmallTexts) {
    struct Case {
        const char *name;
        std::string text;
        std::vector<uint8_t> expected;
    };
    const std::vector<Case> cases = {
        {"empty", "", {}},
        {"one character is kept as text", "a", bytes_of("a")},
        {"two characters are kept as text", "A\n", bytes_of("A\n")},
        // Header, 13 14 15, then 60 19 (distance 3, length 3) and 60 22
        // (distance 6: the earlier of two equal matches): 15 bytes, not
        // fewer than 9, so the text is stored.
        {"abcabcabc is stored as text", "abcabcabc", bytes_of("abcabcabc")},
        // The matches grow: 3 at distance 3, 6 at distance 6, 9 at distance
        // 12 (position 0 wins over the equally long match at 3).
        {"abc seven times",
         "abcabcabcabcabcabcabc",
         with_header(21, {13, 14, 15, 60, 3 + 1 * 16, 60, 6 + 4 * 16, 60, 12 + 7 * 16})},
        // A text beginning with ':' keeps the compressed form even when it
        // is longer; upper case goes as 0 and the byte.
        {"colon and upper case", ":A", with_header(2, {54, 0, 0x41})},
        // Distance 19: (19 / 16) + 60 = 61, then 19 % 16 + (4 - 2) * 16.
        {"back-reference past 16",
         ":abcdefghijklmnopqrsabcd",
         with_header(24, {54, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 61,
                          3 + 2 * 16})},
        {"the literal table",
         ":\n 09az!#%(){}[]<>+=/*:;.,~_^",
         with_header(29, {54, 1, 2, 3, 12, 13, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53,
                          54, 55, 56, 57, 58, 59, 0, '^'})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(compress(c.text), c.expected);
        if (!c.expected.empty() && c.expected[0] == ':') {
            std::string back;
            EXPECT_EQ(decompress(c.expected, &back), int(c.text.size()));
            EXPECT_EQ(back, c.text);
        }
    }
}

TEST(CompressMini, MatchFinderLimits) {
    // A match never runs into the position it is found for (the first one
    // here is 3 long though the run goes on), is at most 17 characters,
    // and takes the earliest of equally long candidates.
    std::vector<uint8_t> packed = compress(":" + std::string(45, 'z'));
    EXPECT_EQ(packed, with_header(46, {54, 38, 38, 38, 60, 3 + 1 * 16, 60, 6 + 4 * 16, 60, 12 + 10 * 16, 61,
                                       8 + 15 * 16, 62, 9 + 2 * 16}));

    // The window: a copy 3120 characters back is found, one 3121 back is
    // not (then its 32 characters cost a byte each instead of 4 in all).
    auto copy_at = [](int distance) {
        std::string block = random_bytes(32, 7, 'a', 'z');
        return ":" + block + std::string(size_t(distance - 32), '.') + block;
    };
    int within = int(compress(copy_at(3120)).size());
    int beyond = int(compress(copy_at(3121)).size());
    EXPECT_LT(within + 16, beyond);
}

TEST(CompressMini, LengthOverTheHeaderIsKeptAsText) {
    // 65535 characters: the largest length the header states.
    std::string at_limit = code_like(65535, 3);
    std::vector<uint8_t> packed = compress(at_limit);
    ASSERT_GT(packed.size(), 8u);
    EXPECT_EQ(packed[4], 0xFF);
    EXPECT_EQ(packed[5], 0xFF);
    std::string back;
    ASSERT_EQ(decompress(packed, &back), 65535);
    EXPECT_EQ(back, at_limit);

    // One more cannot be stated (its low 16 bits would say 0): the text
    // itself comes back, whatever its first character.
    for (const std::string &text : {code_like(65536, 4), ":" + code_like(65535, 5)}) {
        std::vector<uint8_t> out = compress(text);
        EXPECT_EQ(out, bytes_of(text));
    }
}

// ---------------------------------------------------------------------------
// Round trips

TEST(CompressMini, RoundTrips) {
    std::string all_bytes;
    for (int round = 0; round < 3; round++)
        for (int b = 0; b < 256; b++) all_bytes += char(b);
    std::string window_edge = random_bytes(200, 9, 'a', 'p');
    window_edge += std::string(3120 - 200, ' ') + window_edge + std::string(1, '\n') + window_edge;

    struct Case {
        const char *name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"every byte value", all_bytes},
        {"long run of one character", std::string(20000, 'a')},
        {"long run of a byte outside the table", std::string(5000, '\xff')},
        {"run of two characters", [] {
             std::string s;
             for (int i = 0; i < 3000; i++) s += "ab";
             return s;
         }()},
        {"script-like code", code_like(30000, 1)},
        {"repeats at the edge of the window", window_edge},
        {"random bytes", random_bytes(10000, 2)},
        {"random upper case", random_bytes(8000, 3, 'A', 'Z')},
        {"text beginning with a colon", "::top:: goto top"},
        {"short text", "x=1"},
        {"code at the header's limit", code_like(65535, 11)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> packed = compress(c.text);
        if (packed.size() < c.text.size() || c.text[0] == ':') {
            ASSERT_EQ(packed[0], ':');
            std::string back;
            ASSERT_EQ(decompress(packed, &back), int(c.text.size()));
            EXPECT_TRUE(back == c.text);
        } else {
            EXPECT_TRUE(packed == bytes_of(c.text));
        }
    }
}

TEST(CompressMini, CompressesCodeWell) {
    std::string code = code_like(60000, 21);
    EXPECT_LT(compress(code).size(), code.size() / 3);
}

TEST(CompressMini, SameOutputOnEveryCall) {
    // The tables are reused from call to call; nothing of one text may leak
    // into the next.
    std::string a = code_like(5000, 31), b = code_like(7000, 32);
    std::vector<uint8_t> first = compress(a);
    compress(b);
    EXPECT_EQ(compress(a), first);
}

// ---------------------------------------------------------------------------
// Decompressor

TEST(DecompressMini, OldMainLoopShimsAreCut) {
    const std::string shim = "if(_update60)_update=function()_update60()_update60()end";
    const std::string shim2 = "if(_update60)_update=function()_update60()_update_buttons()_update60()end";
    ASSERT_EQ(shim.size(), 56u);
    ASSERT_EQ(shim2.size(), 73u);
    struct Case {
        std::string text, expected;
    };
    const std::vector<Case> cases = {
        {"print(1)\n" + shim, "print(1)\n"},
        {"print(1)\n" + shim2, "print(1)\n"},
        {"print(1)\n" + shim2 + shim, "print(1)\n"},   // the second check sees the first's result
        {"print(1)\n" + shim + shim2, "print(1)\n" + shim},
        {shim + "\nprint(1)", shim + "\nprint(1)"},   // in the middle it stays
        {shim, ""},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> packed = compress(":" + c.text);
        std::string back;
        ASSERT_EQ(decompress(packed, &back), int(c.expected.size()) + 1) << c.text;
        EXPECT_EQ(back, ":" + c.expected);
    }
}

TEST(DecompressMini, InputThatIsNotCompressedCode) {
    struct Case {
        const char *name;
        std::vector<uint8_t> input;
        int capacity;
    };
    const std::vector<Case> cases = {
        {"empty", {}, 100},
        {"header cut short", {':', 'c', ':', 0, 0, 3}, 100},
        {"another header", {':', 'x', ':', 0, 0, 1, 0, 0, 13}, 100},
        {"length over the capacity", with_header(101, std::vector<uint8_t>(101, 13)), 100},
        {"length that lies: the tokens end first", with_header(50, {13, 14, 15}), 100},
        {"literal 0 with no byte after it", with_header(2, {13, 0}), 100},
        {"back-reference with no second byte", with_header(4, {13, 14, 15, 60}), 100},
        {"back-reference of distance 0", with_header(6, {13, 14, 15, 60, 0x10}), 100},
        {"back-reference before the text", with_header(6, {13, 14, 15, 60, 0x14}), 100},
        {"far back-reference", with_header(6, {13, 14, 15, 255, 0xFF}), 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string back;
        EXPECT_EQ(decompress(c.input, &back, c.capacity), DECOMPRESS_MINI_ERROR);
    }
    // The stated length fits the capacity exactly: fine.
    std::string back;
    EXPECT_EQ(decompress(with_header(3, {13, 14, 15}), &back, 3), 3);
    EXPECT_EQ(back, "abc");
    // A back-reference longer than what is left stops at the stated length.
    EXPECT_EQ(decompress(with_header(5, {13, 14, 15, 60, 3 + 15 * 16}), &back, 100), 5);
    EXPECT_EQ(back, "abcab");
    // An empty text.
    EXPECT_EQ(decompress(header(0), &back, 0), 0);
    EXPECT_EQ(back, "");
}

TEST(DecompressMini, GarbageNeverRunsPastItsBuffers) {
    std::mt19937 rng(77);
    for (int round = 0; round < 2000; round++) {
        int size = 8 + int(rng() % 300);
        std::vector<uint8_t> input = header(int(rng() % 700));
        for (int i = 8; i < size; i++) input.push_back(uint8_t(rng()));
        std::string back;
        int capacity = int(rng() % 800);
        int n = decompress(input, &back, capacity);
        EXPECT_TRUE(n == DECOMPRESS_MINI_ERROR || (n >= 0 && n <= capacity));
    }
}

}  // namespace
