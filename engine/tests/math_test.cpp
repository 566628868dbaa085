// Engine fixed-point math: multiply and divide, the trigonometry tables and
// functions, the random generator, the mangle hash and the float vector and
// matrix helpers.
#include "tamu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Binary {
    int32_t a, b, expected;
};

// ---- Random generator ------------------------------------------------------
// First in the file: it reads the words as the program starts (ctest runs
// every test case in a fresh process).

TEST(EngineRandom, StartsFromFixedWords) {
    uint32_t high, low;
    tamu_random_get_seeds(&high, &low);
    EXPECT_EQ(high, 0xDEADBEEFu);
    EXPECT_EQ(low, 0x01234567u);
}

TEST(EngineRandom, SeedZeroGivesFixedState) {
    tamu_srand(0);
    uint32_t high, low;
    tamu_random_get_seeds(&high, &low);
    EXPECT_EQ(high, 0x60009755u);
    EXPECT_EQ(low, 0xDEADBEEFu);
    EXPECT_EQ(tamu_rand(), 0x76031EEFu);
    tamu_random_get_seeds(&high, &low);
    EXPECT_EQ(high, 0x76031EEFu);
    EXPECT_EQ(low, 0x54B0DDDEu);
}

TEST(EngineRandom, SequencesAfterSeeding) {
    struct Case {
        uint32_t seed;
        uint32_t outputs[3];
        uint32_t low_after;
    };
    // No warm-up: the first output is the first step after seeding.
    const Case cases[] = {
        {0, {0x76031EEF, 0x73A053E1, 0x1C32A55F}, 0xE483D71E},
        {12345, {0x1983EEE6, 0x086A38A2, 0x5A90602B}, 0x7C7EB7EC},
        {0x80000000, {0xA9BA3EAD, 0x6867E867, 0x7A898F7B}, 0x0CABB68F},
        {0xFFFFFFFF, {0xD6454151, 0x17971795, 0x0571707C}, 0xF34DC961},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.seed);
        tamu_srand(c.seed);
        if (c.seed != 0) {
            uint32_t high, low;
            tamu_random_get_seeds(&high, &low);
            EXPECT_EQ(high, c.seed ^ 0xBEAD29BAu);
            EXPECT_EQ(low, c.seed);
        }
        for (uint32_t out : c.outputs) EXPECT_EQ(tamu_rand(), out);
        uint32_t low;
        tamu_random_get_seeds(nullptr, &low);
        EXPECT_EQ(low, c.low_after);
    }
}

TEST(EngineRandom, RandomIsNewHighModuloN) {
    tamu_srand(12345);
    EXPECT_EQ(tamu_random(1000), 0x1983EEE6u % 1000);
    EXPECT_EQ(tamu_random(0x80000000u), 0x086A38A2u % 0x80000000u);
    EXPECT_EQ(tamu_random(1), 0u);  // still a step
    uint32_t low;
    tamu_random_get_seeds(nullptr, &low);
    EXPECT_EQ(low, 0x7C7EB7ECu);
}

TEST(EngineRandom, RandomOfZeroDoesNotStep) {
    tamu_random_set_seeds(0x11111111, 0x22222222);
    EXPECT_EQ(tamu_random(0), 0u);
    uint32_t high, low;
    tamu_random_get_seeds(&high, &low);
    EXPECT_EQ(high, 0x11111111u);
    EXPECT_EQ(low, 0x22222222u);
}

TEST(EngineRandom, SaveAndRestoreOneLevel) {
    tamu_srand(7);
    tamu_random_save();
    uint32_t first = tamu_rand();
    uint32_t second = tamu_rand();
    tamu_srand(99);  // the synthesiser seeds a sequence of its own
    tamu_rand();
    tamu_random_restore();
    EXPECT_EQ(tamu_rand(), first);
    EXPECT_EQ(tamu_rand(), second);
    tamu_random_restore();  // the backup stays until the next save
    EXPECT_EQ(tamu_rand(), first);
}

TEST(EngineRandom, SetSeedsThenStep) {
    tamu_random_set_seeds(0x00010002, 0x00000003);
    // rotl(0x00010002, 16) = 0x00020001, + 3 = 0x00020004; low 3 + that.
    EXPECT_EQ(tamu_rand(), 0x00020004u);
    uint32_t low;
    tamu_random_get_seeds(nullptr, &low);
    EXPECT_EQ(low, 0x00020007u);
}

TEST(EngineRandom, MangleTable) {
    const uint32_t cases[][2] = {
        {0x00000000, 0x73F07DCA}, {0x00000001, 0xFBFE6B93}, {0x0000059C, 0x001D4299},
        {0x00000158, 0x001D4299}, {0x00003039, 0x0A68F314}, {0x80000000, 0x73F07DCA},
        {0xFFFFFFFF, 0xFBFE6B93}, {0xDEADBEEF, 0x4F94B0DB},
    };
    for (const auto &c : cases) EXPECT_EQ(tamu_mangle_int32(c[0]), c[1]) << std::hex << c[0];
}

// ---- Multiply and divide ---------------------------------------------------

TEST(EngineMath, FmulTable) {
    const Binary cases[] = {
        {0x18000, -0x18000, -0x24000},        // 1.5 * -1.5 = -2.25
        {0x10000, 0x10000, 0x10000},
        {1, 1, 0},                            // below one step: toward zero...
        {-1, 1, -1},                          // ...and toward minus infinity
        {0x7FFFFFFF, 0x10000, 0x7FFFFFFF},
        {INT32_MIN, 0x10000, INT32_MIN},
        {0xC80000, 0xC80000, (int32_t)0x9C400000},  // 200 * 200 wraps
        {INT32_MIN, INT32_MIN, 0},            // 2^46 keeps no low bits
    };
    for (const Binary &c : cases) EXPECT_EQ(fmul(c.a, c.b), c.expected) << c.a << " * " << c.b;
}

TEST(EngineMath, FdivSaturates) {
    const Binary cases[] = {
        {1, 0, 0x7FFFFFFF},
        {0, 0, 0x7FFFFFFF},
        {-1, 0, -0x7FFFFFFF},
        {0x7FFF0000, 0x8000, 0x7FFFFFFF},
        {-0x7FFF0000, 0x8000, -0x7FFFFFFF},
        {INT32_MIN, 0x10000, -0x7FFFFFFF},    // -32768.0 itself saturates
        {INT32_MIN, -0x10000, 0x7FFFFFFF},
        {0x10000, 0x30000, 0x5555},
        {-0x10000, 0x30000, -0x5555},         // toward zero
        {0x30000, 0x20000, 0x18000},
        {0x10000, 0x7FFFFFFF, 2},
    };
    for (const Binary &c : cases) EXPECT_EQ(fdiv(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

// ---- Trigonometry ----------------------------------------------------------

TEST(EngineMath, CosineTableMatchesDefinition) {
    for (int i = 0; i <= 4096; i++)
        ASSERT_EQ(cos_val[i], (int32_t)std::lround(65536.0 * std::cos(2 * kPi * i / 16384))) << i;
    EXPECT_EQ(cos_val[0], 65536);
    EXPECT_EQ(cos_val[4096], 0);
}

TEST(EngineMath, ArctangentTableMatchesDefinition) {
    for (int i = 0; i <= 2048; i++)
        ASSERT_EQ(atan_val[i], (int32_t)std::lround(std::atan(i / 2048.0) * 65536 / (2 * kPi)))
            << i;
    EXPECT_EQ(atan_val[2048], 8192);
}

TEST(EngineMath, CosineAndSineAtKnownAngles) {
    struct Case {
        uint32_t angle;
        int32_t cos, sin;
    };
    const Case cases[] = {
        {0, 65536, 0},
        {16384, 0, -65536},   // minus the sine: a quarter turn points up
        {32768, -65536, 0},
        {49152, 0, 65536},
        {65535, 65536, 0},    // 65535 + 2 wraps to index 0
        {65536 + 16384, 0, -65536},  // only the low 16 bits count
        {8192, 46341, -46341},
        {1, 65536, 0},        // rounds to the nearest quarter step
        {2, 65536, -cos_val[4095]},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(fcos(c.angle), c.cos) << c.angle;
        EXPECT_EQ(fsin(c.angle), c.sin) << c.angle;
    }
}

TEST(EngineMath, CosineAndSineOverTheWholeTurn) {
    for (uint32_t a = 0; a < 65536; a++) {
        double turn = 2 * kPi * a / 65536;
        // Two angle units of index rounding are worth at most 13 raw steps.
        ASSERT_NEAR(fcos(a), 65536 * std::cos(turn), 14) << a;
        ASSERT_NEAR(fsin(a), -65536 * std::sin(turn), 14) << a;
        ASSERT_EQ(fsin(a), fcos(a + 16384)) << a;
    }
}

TEST(EngineMath, ArctangentOfRatio) {
    const Binary cases[] = {
        {0, 0, 0},
        {0x10000, 0, 8192},
        {-0x10000, 0, -8192},
        {0x20000, 0, 16384 - atan_val[1024]},
        {0x8000, 0, atan_val[1024]},
        {0x7FFFFFFF, 0, 16384},
        {INT32_MIN, 0, -16384},
        {31, 0, 0},
        {32, 0, atan_val[1]},
    };
    for (const Binary &c : cases) EXPECT_EQ(ftan(c.a), c.expected) << c.a;
    for (int32_t x = -0x200000; x <= 0x200000; x += 97)
        ASSERT_NEAR(ftan(x), std::atan(x / 65536.0) * 65536 / (2 * kPi), 6) << x;
}

TEST(EngineMath, TwoArgumentArctangent) {
    const Binary cases[] = {
        {1, 0, 0},
        {0, -1, 16384},
        {-1, 0, 32768},
        {0, 1, 49152},
        {0, 0, 16384},
        {1, -1, 8192},
        {-1, -1, 24576},
        {-1, 1, 40960},
        {1, 1, 57344},
        {0x10000, -0x20000, 16384 - atan_val[1024]},
        {1, INT32_MIN, 16384},          // the ratio saturates
        {1, 0x7FFFFFFF, 49152},
        {-1, INT32_MIN, 16384},
        {INT32_MIN, 0, 32768},
    };
    for (const Binary &c : cases)
        EXPECT_EQ(ftan2(c.a, c.b), c.expected) << "(" << c.a << ", " << c.b << ")";
    for (int k = 0; k < 4096; k++) {
        double t = 2 * kPi * k / 4096;
        int32_t dx = (int32_t)std::lround(std::cos(t) * 0x100000);
        int32_t dy = (int32_t)std::lround(-std::sin(t) * 0x100000);
        double expected = 65536.0 * k / 4096;
        double diff = std::fabs(ftan2(dx, dy) - expected);
        ASSERT_LE(std::min(diff, 65536 - diff), 6) << k;
    }
}

TEST(EngineMath, DistanceEstimate) {
    const Binary cases[] = {
        {-3, 4, 5},
        {4, -3, 5},
        {0, 0, 0},
        {10, 10, 15},
        {-7, 0, 7},
        {0x10000, 0x10000, 0x18000},
        {INT32_MIN, 0, INT32_MIN},   // 2^31 wraps
        {0x7FFFFFFF, 2, (int32_t)0x80000000},
    };
    for (const Binary &c : cases) EXPECT_EQ(fdist(c.a, c.b), c.expected) << c.a << ", " << c.b;
}

// ---- Vectors and matrices --------------------------------------------------

void expect_vec(const float *v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

TEST(EngineVector, NormalizeAndCross) {
    float v[3] = {3, 4, 0};
    tamu_normalize(v);
    expect_vec(v, 0.6f, 0.8f, 0);
    float zero[3] = {0, 0, 0};
    tamu_normalize(zero);
    expect_vec(zero, 0, 1, 0, 0);

    float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, out[3];
    tamu_cross_product(x, y, out);
    expect_vec(out, 0, 0, 1, 0);
    tamu_cross_product(y, x, out);
    expect_vec(out, 0, 0, -1, 0);
    float a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
    tamu_cross_product(a, b, a);  // output over an input
    expect_vec(a, -3, 6, -3, 0);
}

TEST(EngineVector, ApplyMatrixLayout) {
    const float m[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30};
    float v[3] = {1, 10, 100}, out[3];
    tamu_apply_matrix(m, v, out);
    expect_vec(out, 1 + 20 + 300 + 10, 4 + 50 + 600 + 20, 7 + 80 + 900 + 30, 0);
    tamu_apply_matrix(m, v, v);
    expect_vec(v, 331, 674, 1017, 0);

    float id[12];
    tamu_get_identity_matrix(id);
    float w[3] = {5, -6, 7};
    tamu_apply_matrix(id, w, out);
    expect_vec(out, 5, -6, 7, 0);
}

TEST(EngineVector, InverseUndoesRotationWithUniformScale) {
    const float rot[3] = {0.3f, -1.1f, 2.0f}, scale[3] = {2.5f, 2.5f, 2.5f},
                pos[3] = {1, -2, 3};
    float m[12];
    tamu_get_transformation_matrix(m, rot, scale, pos);
    const float v[3] = {0.7f, 4.0f, -9.0f};
    float t[3], back[3];
    tamu_apply_matrix(m, v, t);
    tamu_apply_matrix_inverse(m, t, back);
    expect_vec(back, v[0], v[1], v[2], 1e-4f);
    tamu_apply_matrix_inverse(m, t, t);
    expect_vec(t, v[0], v[1], v[2], 1e-4f);
}

TEST(EngineVector, TransformationMatrixScalesRotatesThenTranslates) {
    const float quarter = (float)(kPi / 2);
    struct Case {
        float rot[3], scale[3], pos[3], v[3], expected[3];
    };
    const Case cases[] = {
        {{0, 0, quarter}, {1, 1, 1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
        {{quarter, 0, 0}, {1, 1, 1}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0, quarter, 0}, {1, 1, 1}, {0, 0, 0}, {0, 0, 1}, {1, 0, 0}},
        {{0, 0, 0}, {2, 3, 4}, {10, 20, 30}, {1, 1, 1}, {12, 23, 34}},
        // scale x by 2, then a quarter turn about z, then move
        {{0, 0, quarter}, {2, 1, 1}, {0, 0, 5}, {1, 0, 0}, {0, 2, 5}},
        // x first, then z: (0, 1, 0) -> (0, 0, 1) -> (0, 0, 1)
        {{quarter, 0, quarter}, {1, 1, 1}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{quarter, 0, quarter}, {1, 1, 1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
    };
    for (const Case &c : cases) {
        float m[12], out[3];
        tamu_get_transformation_matrix(m, c.rot, c.scale, c.pos);
        tamu_apply_matrix(m, c.v, out);
        expect_vec(out, c.expected[0], c.expected[1], c.expected[2]);
    }
}

TEST(EngineVector, MatrixProductAppliesFirstThenSecondAndMayAlias) {
    const float ra[3] = {0.4f, 0.2f, -0.7f}, sa[3] = {1, 2, 3}, pa[3] = {1, 2, 3};
    const float rb[3] = {-1.3f, 0.9f, 0.1f}, sb[3] = {0.5f, 0.5f, 2}, pb[3] = {-4, 0, 8};
    float a[12], b[12], ab[12];
    tamu_get_transformation_matrix(a, ra, sa, pa);
    tamu_get_transformation_matrix(b, rb, sb, pb);
    tamu_matrix_mul(a, b, ab);

    const float v[3] = {3, -1, 2};
    float step[3], twice[3], once[3];
    tamu_apply_matrix(a, v, step);
    tamu_apply_matrix(b, step, twice);
    tamu_apply_matrix(ab, v, once);
    expect_vec(once, twice[0], twice[1], twice[2], 1e-4f);

    float alias_a[12], alias_b[12];
    std::copy(a, a + 12, alias_a);
    std::copy(b, b + 12, alias_b);
    tamu_matrix_mul(alias_a, b, alias_a);
    tamu_matrix_mul(a, alias_b, alias_b);
    for (int i = 0; i < 12; i++) {
        EXPECT_EQ(alias_a[i], ab[i]) << i;
        EXPECT_EQ(alias_b[i], ab[i]) << i;
    }
    float square[12], self[12];
    tamu_matrix_mul(a, a, square);
    std::copy(a, a + 12, self);
    tamu_matrix_mul(self, self, self);
    for (int i = 0; i < 12; i++) EXPECT_EQ(self[i], square[i]) << i;
}

TEST(EngineVector, RotationTurnsOneDirectionOntoAnother) {
    struct Case {
        float from[3], to[3];
    };
    const Case cases[] = {
        {{1, 0, 0}, {0, 1, 0}},    {{0, 0, 2}, {0, 3, 3}},  {{1, 2, 3}, {-3, 0.5f, 2}},
        {{1, 1, 0}, {1, 1, 0}},    // the same direction
        {{0, 1, 0}, {0, -5, 0}},   // opposite directions
        {{1, 2, 3}, {-2, -4, -6}},
    };
    for (const Case &c : cases) {
        float m[12], out[3], to[3] = {c.to[0], c.to[1], c.to[2]}, from[3] = {c.from[0], c.from[1], c.from[2]};
        tamu_get_vector_rotation_matrix(m, c.from, c.to);
        tamu_normalize(to);
        tamu_normalize(from);
        tamu_apply_matrix(m, from, out);
        expect_vec(out, to[0], to[1], to[2], 1e-5f);
        expect_vec(m + 9, 0, 0, 0, 0);
        // A rotation keeps lengths: its rows are orthonormal.
        for (int r = 0; r < 3; r++)
            for (int s = 0; s < 3; s++) {
                float dot = m[r * 3] * m[s * 3] + m[r * 3 + 1] * m[s * 3 + 1] + m[r * 3 + 2] * m[s * 3 + 2];
                EXPECT_NEAR(dot, r == s ? 1.0f : 0.0f, 1e-5f);
            }
    }
}

}  // namespace
