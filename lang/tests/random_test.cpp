// The console's random generator: its start state, seeding with the 32
// discarded steps, rnd's modulo and its independence from the engine's
// generator.
#include "tamu_math.h"
#include "zorva_fixed.h"

#include <gtest/gtest.h>

namespace {

// First in the file: it reads the words as the program starts (ctest runs
// every test case in a fresh process).
TEST(ConsoleRandom, StartsFromFixedWords) {
    uint32_t high, low;
    zorva_random_get_seeds(&high, &low);
    EXPECT_EQ(high, 0xDEADBEEFu);
    EXPECT_EQ(low, 0x01234567u);
}

TEST(ConsoleRandom, SeedingDiscardsThirtyTwoSteps) {
    struct Case {
        uint32_t seed, high, low;
        uint32_t rnd100[4];
        uint32_t next;
    };
    const Case cases[] = {
        {0, 0xD67CE1E8, 0x42CFADF8, {8, 40, 96, 97}, 0x1BAE1C9B},
        {1, 0xFE02DB4E, 0x4DFD1D0F, {21, 16, 26, 22}, 0x45D0968E},
        {12345, 0xC18D2F97, 0xAD5943EF, {0, 72, 70, 2}, 0x644F7924},
        {0x7FFFFFFF, 0xF88E75E3, 0x84615AFF, {73, 49, 53, 79}, 0x393E6FA3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.seed);
        zorva_srand(c.seed);
        uint32_t high, low;
        zorva_random_get_seeds(&high, &low);
        EXPECT_EQ(high, c.high);
        EXPECT_EQ(low, c.low);
        for (uint32_t r : c.rnd100) EXPECT_EQ(zorva_random(100), r);
        EXPECT_EQ(zorva_rand(), c.next);
    }
}

TEST(ConsoleRandom, SameStepRuleAsTheEngineAfterWarmUp) {
    const uint32_t seeds[] = {0, 1, 0xBEAD29BA, 0x80000000, 0xFFFFFFFF, 987654321};
    for (uint32_t seed : seeds) {
        tamu_srand(seed);
        for (int i = 0; i < 32; i++) tamu_rand();
        zorva_srand(seed);
        for (int i = 0; i < 100; i++) ASSERT_EQ(zorva_rand(), tamu_rand()) << seed << " step " << i;
    }
}

TEST(ConsoleRandom, RandomIsNewHighModuloN) {
    const uint32_t ns[] = {1, 2, 3, 100, 0x10000, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
    zorva_random_set_seeds(0x12345678, 0x9ABCDEF0);
    for (uint32_t n : ns) {
        uint32_t high, low;
        zorva_random_get_seeds(&high, &low);
        uint32_t r = zorva_random(n);
        uint32_t new_high;
        zorva_random_get_seeds(&new_high, nullptr);
        EXPECT_EQ(new_high, ((high << 16) | (high >> 16)) + low);
        EXPECT_EQ(r, new_high % n) << n;
    }
}

TEST(ConsoleRandom, RandomOfZeroDoesNotStep) {
    zorva_srand(42);
    uint32_t high, low;
    zorva_random_get_seeds(&high, &low);
    EXPECT_EQ(zorva_random(0), 0u);
    uint32_t high2, low2;
    zorva_random_get_seeds(&high2, &low2);
    EXPECT_EQ(high2, high);
    EXPECT_EQ(low2, low);
}

TEST(ConsoleRandom, SeparateFromTheEngineGenerator) {
    tamu_random_set_seeds(0x1111, 0x2222);
    zorva_srand(5);
    zorva_rand();
    zorva_random(10);
    uint32_t high, low;
    tamu_random_get_seeds(&high, &low);
    EXPECT_EQ(high, 0x1111u);
    EXPECT_EQ(low, 0x2222u);

    zorva_random_set_seeds(0x3333, 0x4444);
    tamu_srand(5);
    tamu_rand();
    zorva_random_get_seeds(&high, &low);
    EXPECT_EQ(high, 0x3333u);
    EXPECT_EQ(low, 0x4444u);
}

TEST(ConsoleRandom, RndIsUniformOverRawSteps) {
    // rnd(1.0) spreads over the 65536 raw steps below 1.0: every bucket of
    // 1/16 gets about a sixteenth.
    zorva_srand(2024);
    int buckets[16] = {};
    const int draws = 160000;
    for (int i = 0; i < draws; i++) {
        uint32_t r = zorva_random(0x10000);
        ASSERT_LT(r, 0x10000u);
        buckets[r >> 12]++;
    }
    for (int b : buckets) EXPECT_NEAR(b, draws / 16, draws / 16 / 10);
}

}  // namespace
