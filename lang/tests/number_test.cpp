// Script numbers and their text forms: text to number (decimal, hexadecimal
// and binary numerals) and number to text.
#include "zorva_fixed.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kNoNumber = 0x5EAF00D;  // sentinel: the output stays untouched

struct TextCase {
    std::string text;  // may hold zero bytes; its size is the length given
    bool is_number;
    int32_t value;
};

void check_texts(const TextCase *cases, size_t count) {
    for (size_t i = 0; i < count; i++) {
        const TextCase &c = cases[i];
        zorva_fixed out = kNoNumber;
        int ok = luaO_str2d(c.text.c_str(), c.text.size(), &out);
        SCOPED_TRACE("text \"" + c.text + "\"");
        EXPECT_EQ(ok, c.is_number ? 1 : 0);
        if (c.is_number)
            EXPECT_EQ((uint32_t)out, (uint32_t)c.value) << std::hex << (uint32_t)out;
        else
            EXPECT_EQ(out, kNoNumber);
    }
}

TEST(NumberTextParse, Hexadecimal) {
    const TextCase cases[] = {
        {"0x10", true, 0x100000},
        {"  0x10  ", true, 0x100000},
        {"\t\n\v\f\r0x10\r\n", true, 0x100000},
        {"-0x10", true, -0x100000},
        {"+0x10", true, 0x100000},
        {"0X1F", true, 0x1F0000},
        {"0xAbC.dEf", true, 0xABCDEF0},
        {"0x.8", true, 0x8000},
        {"0x0.8", true, 0x8000},       // one digit: top of the fraction
        {"0x0.08", true, 0x800},
        {"0x0.008", true, 0x80},
        {"0x0.0001", true, 1},         // four digits as they are
        {"0x1.", true, 0x10000},
        {"0x7fff.ffff", true, 0x7FFFFFFF},
        {"0xffff", true, (int32_t)0xFFFF0000},   // wraps to -1.0
        {"0x8000", true, INT32_MIN},
        {"-0x8000", true, INT32_MIN},
        {"-0x0.0001", true, -1},
        {"0x10000", true, 0},          // excess high digits fall off
        {"0x123456789", true, 0x67890000},
        {"0xb", true, 0xB0000},        // hexadecimal wins over binary
        {"0xb.b", true, 0xBB000},
        {"0x", false, 0},
        {"0x.", false, 0},
        {"-0x", false, 0},
        {"0x10z", false, 0},
        {"0x1p4", false, 0},           // no exponents
        {"0x1P4", false, 0},
        {"0b1x", false, 0},
        {"x10", false, 0},
        {"10x", false, 0},
        {"- 0x10", false, 0},
        {"--0x10", false, 0},
        {"0x-1", false, 0},
        {"0x1.8.0", false, 0},
        {"0x1 0", false, 0},
    };
    check_texts(cases, std::size(cases));
}

TEST(NumberTextParse, Binary) {
    const TextCase cases[] = {
        {"0b101.01", true, 0x54000},
        {"0b.1", true, 0x8000},
        {"0b0.1", true, 0x8000},
        {"0B11", true, 0x30000},
        {" -0b1 ", true, -0x10000},
        {"+0b10", true, 0x20000},
        {"0b0.000000000000001", true, 2},    // fifteen bits: aligned to the top
        {"0b0.0000000000000001", true, 1},   // sixteen bits as they are
        {"0b1111111111111111", true, (int32_t)0xFFFF0000},
        {"0b10000000000000000", true, 0},    // the seventeenth bit falls off
        {"0b", false, 0},
        {"0b.", false, 0},
        {"1b", false, 0},
        {"0b2", false, 0},
        {"0b1p1", false, 0},
        {"b1", false, 0},
    };
    check_texts(cases, std::size(cases));
}

TEST(NumberTextParse, Decimal) {
    const TextCase cases[] = {
        {"1", true, 0x10000},
        {"0", true, 0},
        {"-0", true, 0},
        {"0.1", true, 0x1999},
        {"0.3", true, 0x4CCC},
        {"1.5", true, 0x18000},
        {".5", true, 0x8000},
        {"5.", true, 0x50000},
        {"+3", true, 0x30000},
        {"  12\t", true, 0xC0000},
        {"1e2", true, 0x640000},
        {"2E-1", true, 0x3333},
        {"32767.99999", true, 0x7FFFFFFF},
        {"0.00001", true, 0},
        // The nudge is 2^-17 of a step, not half a step.
        {"0.0000152587890625", true, 1},        // exactly one step
        {"0.0000152587309", true, 1},           // a hair below: the nudge lifts it
        {"0.0000091552734375", true, 0},        // 0.6 of a step
        // A negative text is its magnitude converted, negated: what names a
        // representable value gives exactly it.
        {"-1.5", true, -0x18000},
        {"-5", true, -0x50000},
        {"-0.1", true, -0x1999},
        {"-1", true, -0x10000},
        {"-0.0000152587890625", true, -1},
        {"-0.0000091552734375", true, 0},
        {"-32767.99999", true, -0x7FFFFFFF},
        {"-32768", true, INT32_MIN},
        {"-32768.00001", true, INT32_MIN},
        // Out of range: -32768.0.
        {"32768", true, INT32_MIN},
        {"1e5", true, INT32_MIN},
        {"-1e5", true, INT32_MIN},
        {"-32769", true, INT32_MIN},
        {"1e999", true, INT32_MIN},
        {"1e-999", true, 0},
        {"", false, 0},
        {"   ", false, 0},
        {".", false, 0},
        {"-", false, 0},
        {"e5", false, 0},
        {"1e", false, 0},
        {"1 2", false, 0},
        {"1.2.3", false, 0},
        {"12abc", false, 0},
    };
    check_texts(cases, std::size(cases));
}

// The exact decimal form of every value (v / 65536 has at most 16
// decimals) reads back as that value, with either sign, as Lua 5.2's
// tonumber reads back the doubles it holds.
TEST(NumberTextParse, ExactTextsReadBackExactly) {
    char text[64];
    for (int64_t v = 0; v <= 0x7FFFFFFF; v += 0x2F3F5) {
        for (int32_t value : {(int32_t)v, (int32_t)-v, (int32_t)(v & 0xFFFF), (int32_t)-(v & 0xFFFF)}) {
            std::snprintf(text, sizeof text, "%.16f", value / 65536.0);
            zorva_fixed out = kNoNumber;
            ASSERT_EQ(luaO_str2d(text, std::strlen(text), &out), 1) << text;
            ASSERT_EQ(out, value) << text;
        }
    }
    zorva_fixed out = kNoNumber;
    ASSERT_EQ(luaO_str2d("-32768.0000000000000000", 23, &out), 1);
    EXPECT_EQ(out, INT32_MIN);
}

TEST(NumberTextParse, LetterNMeansNoNumber) {
    const TextCase cases[] = {
        {"nan", false, 0},  {"NaN", false, 0},  {"inf", false, 0},   {"-inf", false, 0},
        {"INF", false, 0},  {"infinity", false, 0}, {"1n", false, 0}, {"0xan", false, 0},
        {"0b1N", false, 0}, {"  5 n", false, 0},
    };
    check_texts(cases, std::size(cases));
}

TEST(NumberTextParse, ExactlyTheGivenLength) {
    using namespace std::string_literals;
    const TextCase cases[] = {
        {"0.5\0"s, false, 0},       // a zero byte inside the length
        {"1\0 "s, false, 0},
        {"0x10\0"s, false, 0},
        {"0b1\0"s, false, 0},
        {" 7 \0"s, false, 0},
        {"7 \0 8"s, false, 0},
        {"7 \0n"s, false, 0},
    };
    check_texts(cases, std::size(cases));

    // The length, not the terminator, ends the text: a numeral followed by
    // white space inside the length is still a number.
    zorva_fixed out = 0;
    EXPECT_EQ(luaO_str2d("9   ", 4, &out), 1);
    EXPECT_EQ(out, 0x90000);
}

// ---- Number to text ----------------------------------------------------------

struct FormCase {
    int32_t value;
    const char *text;
};

TEST(NumberTextFormat, Forms) {
    const FormCase cases[] = {
        {0x10000, "1"},
        {0, "0"},
        {0x8000, "0.5"},
        {0x1000, "0.0625"},
        {0x800, "0.0312"},          // 1/32: an exact tie, to even
        {0x1800, "0.0938"},         // 3/32: an exact tie, to even
        {0x2800, "0.1562"},         // 5/32
        {0x400, "0.0156"},          // 0.015625 prints "0.01562" at five places
        {0x5555, "0.3333"},
        {0x1999, "0.1"},
        {0x4CCC, "0.3"},
        {8, "0.0001"},
        {1, "0"},
        {-1, "-0"},                 // the sign survives the rounding
        {0xFFFF, "1"},
        {0x7FFFFFFF, "32768"},
        {INT32_MIN, "-32768"},
        {0x30002, "3"},
        {-0x10000, "-1"},
        {-0x8000, "-0.5"},
        {-0x5555, "-0.3333"},
        {0x18000, "1.5"},
        {0x10001, "1"},             // "1.00002": three places
        {0x10006, "1"},
        {0x10007, "1.0001"},        // "1.00011": four places
        {0x1FFFA, "2"},             // "1.99991": three places
        {0x1FFF9, "1.9999"},        // "1.99989"
        {0x7FFF8000, "32767.5"},
        {(int32_t)0x80000001, "-32768"},
        {(int32_t)0x80001A36, "-32767.8976"},
        {0x640000, "100"},
        {0xA0000, "10"},
        {0x7FFFFFF9, "32767.9999"},
        {(int32_t)0x80000007, "-32767.9999"},   // the longest form: 11 characters
    };
    for (const FormCase &c : cases) {
        char buf[ZORVA_FIXED_TEXT_SIZE];
        std::memset(buf, 'Z', sizeof buf);
        int len = zorva_fixed_to_string(buf, c.value);
        EXPECT_STREQ(buf, c.text) << std::hex << c.value;
        EXPECT_EQ(len, (int)std::strlen(c.text)) << std::hex << c.value;
    }
}

// The form defined through the C library's formatter, the way it reads.
std::string reference_form(int32_t v) {
    double d = v / 65536.0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0.5f", d);
    if (std::strstr(buf, ".9999") || std::strstr(buf, ".0000"))
        std::snprintf(buf, sizeof buf, "%0.3f", d);
    else
        std::snprintf(buf, sizeof buf, "%0.4f", d);
    size_t n = std::strlen(buf);
    while (n > 0 && buf[n - 1] == '0') n--;
    if (n > 0 && buf[n - 1] == '.') n--;
    return std::string(buf, n);
}

void expect_reference_form(int32_t v) {
    char buf[ZORVA_FIXED_TEXT_SIZE];
    int len = zorva_fixed_to_string(buf, v);
    std::string expected = reference_form(v);
    ASSERT_EQ(std::string(buf), expected) << std::hex << v;
    ASSERT_EQ(len, (int)expected.size());
    ASSERT_LE(len, 11);
}

TEST(NumberTextFormat, MatchesTheFormatterForEveryFraction) {
    const int32_t wholes[] = {0, 1, -1, 2, -2, 7, 100, -100, 12345, 32767, -32768, -32767};
    for (int32_t w : wholes)
        for (uint32_t f = 0; f < 0x10000; f++)
            expect_reference_form((int32_t)(((uint32_t)w << 16) | f));
}

TEST(NumberTextFormat, MatchesTheFormatterAcrossTheRange) {
    for (uint64_t u = 0; u <= 0xFFFFFFFFu; u += 4099) expect_reference_form((int32_t)(uint32_t)u);
    expect_reference_form(INT32_MAX);
    expect_reference_form(INT32_MIN);
}

TEST(NumberTextFormat, TextReadsBackClose) {
    // The text form has at most four decimals, so reading it back lands
    // within a few steps of the value.
    for (uint64_t u = 0; u <= 0xFFFFFFFFu; u += 65521) {
        int32_t v = (int32_t)(uint32_t)u;
        char buf[ZORVA_FIXED_TEXT_SIZE];
        int len = zorva_fixed_to_string(buf, v);
        zorva_fixed back = 0;
        ASSERT_EQ(luaO_str2d(buf, (size_t)len, &back), 1) << buf;
        if (v > 0x7FFFFFE0) continue;  // "32768" is out of range
        ASSERT_NEAR((double)back, (double)v, 8.0) << buf;
    }
}

}  // namespace
