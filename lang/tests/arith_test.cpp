// Arithmetic of script numbers: multiply, divide, modulo, power, square root
// and their CPU charges.
#include "tamu_math.h"
#include "zorva_fixed.h"
#include "zorva_hooks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

int g_charged = 0;
int g_charges = 0;

void count_cpu(int units) {
    g_charged += units;
    g_charges++;
}

// Records what the operations charge through the console hook.
class FixedArith : public ::testing::Test {
  protected:
    void SetUp() override {
        g_charged = 0;
        g_charges = 0;
        zorva_hook_spend_cpu = count_cpu;
    }
    void TearDown() override { zorva_reset_hooks(); }
    void reset_charge() {
        g_charged = 0;
        g_charges = 0;
    }
};

struct Binary {
    int32_t a, b, expected;
};

struct Charged {
    int32_t a, b, expected;
    int charge;
};

constexpr int32_t F(double v) { return (int32_t)(v * 65536.0); }

TEST_F(FixedArith, MultiplyWraps) {
    const Binary cases[] = {
        {F(1.5), F(-1.5), F(-2.25)},
        {F(2), F(3), F(6)},
        {1, 1, 0},
        {-1, 1, -1},                       // toward minus infinity
        {F(-0.5), 1, -1},
        {F(200), F(200), (int32_t)0x9C400000},   // wraps, no saturation
        {INT32_MIN, F(-1), INT32_MIN},     // 32768.0 wraps back
        {INT32_MIN, INT32_MIN, 0},
        {0x7FFFFFFF, 0x7FFFFFFF, (int32_t)0xFFFF0000},
    };
    for (const Binary &c : cases) EXPECT_EQ(zv_fmul(c.a, c.b), c.expected) << c.a << " * " << c.b;
}

TEST_F(FixedArith, DivideWrapsAndHandlesZero) {
    const Binary cases[] = {
        {F(1), 0, 0x7FFFFFFF},
        {0, 0, 0x7FFFFFFF},
        {F(-1), 0, (int32_t)0x80000001},   // not -32768.0
        {INT32_MIN, 0, (int32_t)0x80000001},
        {F(1), F(3), 0x5555},
        {F(-1), F(3), -0x5555},            // toward zero
        {F(32767), F(0.5), (int32_t)0xFFFE0000},  // wraps to -2.0
        {INT32_MIN, F(-1), INT32_MIN},     // 32768.0 wraps
        {INT32_MIN, -1, 0},                // 2^47 keeps no low bits
        {F(7), F(2), F(3.5)},
        {F(-7), F(-2), F(3.5)},
    };
    for (const Binary &c : cases) EXPECT_EQ(zv_fdiv(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

TEST_F(FixedArith, ModuloTakesTheSignOfNeither) {
    const Binary cases[] = {
        {F(-1), F(3), F(2)},
        {F(5.5), F(-2), F(1.5)},
        {-1, F(1), 0xFFFF},
        {F(-3), F(3), 0},
        {F(7), 0, F(7)},
        {F(-7), 0, F(-7)},
        {F(-7), F(2), F(1)},
        {F(7), F(-2), F(1)},
        {F(7.25), F(2), F(1.25)},
        {INT32_MIN, F(3), F(1)},           // -32768 % 3 is 1 (not 2)
        {INT32_MIN, F(1), 0},
        {INT32_MIN, -1, 0},
        {INT32_MIN, INT32_MIN, 0},
        {-1, INT32_MIN, 0x7FFFFFFF},       // |b| = 32768.0
        {F(5), INT32_MIN, F(5)},
        {0x7FFFFFFF, F(1), 0xFFFF},
        {0x7FFFFFFF, INT32_MIN, 0x7FFFFFFF},
    };
    for (const Binary &c : cases) EXPECT_EQ(zv_fmod(c.a, c.b), c.expected) << c.a << " % " << c.b;
}

TEST_F(FixedArith, ModuloLiesBelowTheDivisor) {
    // For every b but 0 and -32768.0: 0 <= r < |b| and a - r is a multiple
    // of b.
    uint32_t x = 12345;
    for (int k = 0; k < 200000; k++) {
        x = x * 1664525u + 1013904223u;
        int32_t a = (int32_t)x;
        x = x * 1664525u + 1013904223u;
        int32_t b = (int32_t)x >> (x % 31);
        if (b == 0 || b == INT32_MIN) continue;
        int32_t r = zv_fmod(a, b);
        int64_t m = b < 0 ? -(int64_t)b : b;
        ASSERT_GE(r, 0) << a << " % " << b;
        ASSERT_LT(r, m) << a << " % " << b;
        ASSERT_EQ(((int64_t)a - r) % m, 0) << a << " % " << b;
    }
}

TEST_F(FixedArith, PowerValuesAndCharges) {
    const Charged cases[] = {
        {F(2), F(0.5), 0x16AAB, 16},
        {F(3), F(2.5), F(15.75), 16},
        {F(2), F(3), F(8), 8},
        {F(2), F(-1), F(0.5), 8},
        {F(2), F(1.5), 0x2D556, 16},
        {F(16), F(0.75), F(8), 24},
        {F(4), F(-2.5), F(0.03125), 16},
        {F(3), F(-0.5), 0x9248, 16},
        {F(-2), F(3), F(-8), 8},
        {F(2), F(15), INT32_MIN, 8},       // 32768.0 wraps
        {F(2), 1, F(1), 136},              // sixteen roots
        {F(2), 0x7FFFFFFF, 0, 136},
        {F(1), INT32_MIN, F(1), 8},        // -(-32768.0) stays itself
        {F(5), 0, F(1), 0},
        {0, 0, F(1), 0},                   // 0 ^ 0, no charge
        {0, F(2), 0, 8},
        {0, F(-1), 0x7FFFFFFF, 8},         // the saturated reciprocal
        {0, F(0.5), 0, 8},                 // the root of 0 costs nothing
        {F(32767), F(0.5), 0xB50000, 8},   // above the root's range: 181.0, free
        {F(1), F(0.25), F(1), 24},
        // A negative base has no real root: each root is 0, like that of 0.
        {F(-2), F(0.5), 0, 8},
        {F(-2), F(2.5), 0, 8},
        {F(-4), F(-0.5), 0, 8},
    };
    for (const Charged &c : cases) {
        reset_charge();
        EXPECT_EQ(zv_fpow(c.a, c.b), c.expected) << c.a << " ^ " << c.b;
        EXPECT_EQ(g_charged, c.charge) << c.a << " ^ " << c.b;
    }
}

TEST_F(FixedArith, PowerChargesByLowestFractionBit) {
    // 8 per square root, one root per fraction bit down to the lowest set
    // one, and 8 for the power itself.
    for (int k = 0; k < 16; k++) {
        reset_charge();
        zv_fpow(F(3), F(1) | (1 << k));
        EXPECT_EQ(g_charged, 8 * (16 - k) + 8) << k;
        reset_charge();
        zv_fpow(F(3), F(1) | (1 << k) | 0x8000);
        EXPECT_EQ(g_charged, 8 * (16 - k) + 8) << k;
    }
}

TEST_F(FixedArith, OlderPowerTakesTheWholeExponent) {
    const Charged cases[] = {
        {F(2), F(3), F(8), 4},
        {F(2), F(3.75), F(8), 4},
        {F(2), F(1), F(2), 0},
        {F(2), 0, F(1), 0},
        {F(2), F(0.5), F(1), 0},
        {F(2), F(-1), 0, 0},
        {F(2), F(-0.5), 0, 0},             // the floor: -1
        {F(1), F(1000), F(1), 510},        // capped at 256
        {F(-1), F(3), F(-1), 4},
    };
    for (const Charged &c : cases) {
        reset_charge();
        EXPECT_EQ(zv_fpow_0110(c.a, c.b), c.expected) << c.a << " ^ " << c.b;
        EXPECT_EQ(g_charged, c.charge) << c.a << " ^ " << c.b;
    }
}

TEST_F(FixedArith, SquareRootValuesAndCharges) {
    struct Case {
        int32_t x, root;
        int charge;
    };
    const Case cases[] = {
        {F(4), F(2), 8},
        {F(2), 0x16AAB, 8},                // one refinement step: 1.41667
        {F(0.5), 0xB4B4, 8},
        {F(0.25), F(0.5), 8},              // through the reciprocal
        {F(1), F(1), 8},
        {F(9), F(3), 8},
        {F(100), F(10), 8},
        {F(3), 0x1C000, 8},
        {0xFFFF, F(1), 8},
        {1, 0x100, 8},                     // reciprocal 2^32
        {2, 0x16A, 8},                     // reciprocal 2^31
        {3, 0x1BB, 8},
        {0x7FF8FFFF, 0xB50000, 8},         // the largest computed root
        {0x7FF90000, 0xB50000, 0},
        {F(32767), 0xB50000, 0},
        {0x7FFFFFFF, 0xB50000, 0},
        {0, 0, 0},
        // No root of a negative value: 0, free, and nothing divides by 0.
        {F(-1), 0, 0},
        {-1, 0, 0},
        {INT32_MIN, 0, 0},
    };
    for (const Case &c : cases) {
        reset_charge();
        EXPECT_EQ(fsqrt(c.x), c.root) << std::hex << c.x;
        EXPECT_EQ(g_charged, c.charge) << std::hex << c.x;
    }
}

// The square-root method as first written: the whole root found by counting
// up in steps of 1.0.
int32_t reference_sqrt(int32_t x) {
    if (x <= 0) return 0;
    if (x > 0x7FF8FFFF) return 0xB50000;
    bool invert = x < 0x10000;
    int64_t y = invert ? ((int64_t)1 << 32) / x : x;
    int64_t i = 0;
    while (((i + 0x10000) * (i + 0x10000) >> 16) <= y) i += 0x10000;
    int64_t r = y - ((i * i) >> 16);
    int64_t d = (r << 16) / (2 * i);
    int64_t a = i + d;
    int64_t c = ((int64_t)(int32_t)(uint32_t)((d * d) >> 16) << 16) / (2 * a);
    int32_t s = (int32_t)(uint32_t)(a - c);
    if (invert) s = s == 0 ? 0x7FFFFFFF : (int32_t)(uint32_t)(((int64_t)1 << 32) / s);
    return s;
}

TEST_F(FixedArith, SquareRootMatchesCountingSearch) {
    // Every value below 1.0 (the reciprocal path), then every whole part
    // with fractions at its edges and middle.
    for (int32_t x = 1; x < 0x10000; x++) ASSERT_EQ(fsqrt(x), reference_sqrt(x)) << x;
    for (int32_t w = 1; w <= 0x7FF8; w++) {
        const int32_t fractions[] = {0, 1, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};
        for (int32_t f : fractions) {
            int32_t x = (w << 16) | f;
            ASSERT_EQ(fsqrt(x), reference_sqrt(x)) << x;
        }
    }
    uint32_t s = 99;
    for (int k = 0; k < 200000; k++) {
        s = s * 1664525u + 1013904223u;
        int32_t x = (int32_t)(s >> 1);
        ASSERT_EQ(fsqrt(x), reference_sqrt(x)) << x;
    }
}

TEST_F(FixedArith, SquareRootIsCloseToTheTrueRoot) {
    for (int32_t x = 0x100; x <= 0x7FF8FFFF; x += 0x10001) {
        double truth = std::sqrt(x / 65536.0) * 65536.0;
        // One refinement step from the whole root: within 2.5% (worst just
        // below 4.0), closer as the whole root grows.
        ASSERT_NEAR(fsqrt(x), truth, truth * (x < 0x40000 ? 0.026 : 0.0033) + 2) << x;
    }
}

TEST_F(FixedArith, Atan2IsTheEngineArctangent) {
    const int32_t points[][2] = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}, {0, 0}, {F(3), F(-4)}, {F(-2.5), F(7)}};
    for (const auto &p : points) EXPECT_EQ(fatan2(p[0], p[1]), ftan2(p[0], p[1]));
    EXPECT_EQ(fatan2(F(1), F(-1)), 8192);
    EXPECT_EQ(g_charges, 0);
}

}  // namespace
