// Arithmetic of script numbers: multiply, divide, modulo, power, square
// root and the two-argument arctangent.
#include "tamu_math.h"
#include "zorva_fixed.h"
#include "zorva_hooks.h"

namespace {

inline zorva_fixed low32(int64_t v) { return (zorva_fixed)(uint32_t)(uint64_t)v; }

// Largest k with k * k <= n, bit by bit (n below 2^17 here: at most 9
// rounds). The same whole root as counting k up from 0, without the up to
// 256 steps.
uint32_t whole_root(uint32_t n) {
    uint32_t root = 0;
    for (uint32_t bit = 1u << 8; bit != 0; bit >>= 1) {
        uint32_t trial = root | bit;
        if (trial * trial <= n) root = trial;
    }
    return root;
}

constexpr zorva_fixed kSqrtLimit = 0x7FF8FFFF;  // above: the root is 181.0
constexpr zorva_fixed kSqrtOfLimit = 0xB50000;

// The square root of x > 0 and x <= kSqrtLimit, without a charge: a whole
// root, one refinement step and a correction. Values below 1.0 go through
// their reciprocal. Worked in 64 bits, so the reciprocals of 1 and 2 raw
// steps (2^32, 2^31) need no special case.
zorva_fixed sqrt_method(zorva_fixed x) {
    bool invert = x < 0x10000;
    int64_t y = invert ? ((int64_t)1 << 32) / x : x;
    // i = the largest multiple of 1.0 with (i * i) >> 16 <= y, that is the
    // whole root of y's whole part. y >= 1.0, so i >= 1.0 and 2i is never 0.
    int64_t i = (int64_t)whole_root((uint32_t)(y >> 16)) << 16;
    int64_t r = y - ((i * i) >> 16);
    int64_t d = (r << 16) / (2 * i);
    int64_t a = i + d;
    int64_t dd = (int64_t)low32((d * d) >> 16) * 65536;
    int64_t c;
    if (a == 0)
        c = dd >= 0 ? 0x7FFFFFFF : (int64_t)(int32_t)0x80000001;
    else
        c = dd / (2 * a);
    zorva_fixed s = low32(a - c);
    if (invert) s = s == 0 ? 0x7FFFFFFF : low32(((int64_t)1 << 32) / s);
    return s;
}

}  // namespace

zorva_fixed zv_fmul(zorva_fixed a, zorva_fixed b) { return low32(((int64_t)a * b) >> 16); }

zorva_fixed zv_fdiv(zorva_fixed a, zorva_fixed b) {
    if (b == 0) return a >= 0 ? (zorva_fixed)0x7FFFFFFF : (zorva_fixed)0x80000001;
    return low32(((int64_t)a * 65536) / b);
}

// In 64 bits: negating -32768.0 does not fit 32 bits, and |b| of -32768.0
// is 2^31.
zorva_fixed zv_fmod(zorva_fixed a, zorva_fixed b) {
    if (b == 0) return a;
    int64_t m = b < 0 ? -(int64_t)b : b;
    int64_t x = a;
    if (x < 0) x = m - (-x) % m;
    return low32(x % m);
}

zorva_fixed fsqrt(zorva_fixed x) {
    // A negative x has no root; it gives 0 like 0 does.
    if (x <= 0) return 0;
    if (x > kSqrtLimit) return kSqrtOfLimit;
    zorva_fixed s = sqrt_method(x);
    zorva_hook_spend_cpu(8);
    return s;
}

zorva_fixed zv_fpow(zorva_fixed a, zorva_fixed b) {
    if (b == 0) return 0x10000;
    if (b < 0) {
        b = (zorva_fixed)(0u - (uint32_t)b);  // -32768.0 stays itself
        a = fdiv(0x10000, a);
    }
    zorva_fixed result = 0x10000;
    int32_t w = (int32_t)((uint32_t)b & 0xFFFF0000u);
    int32_t f = b & 0xFFFF;
    zorva_fixed base = a;
    while (w > 0xFFFF) {
        if (w & 0x10000) result = fmul(result, base);
        w >>= 1;
        base = fmul(base, base);
    }
    // The fraction, most significant bit first: each bit takes one more
    // square root of the base.
    zorva_fixed root = a;
    while (f > 0) {
        if (f > 0xFFFF) {
            result = fmul(result, root);
            f -= 0x10000;
        } else {
            if (root <= 0) {
                root = 0;  // a negative base has no real root: like 0
            } else if (root > kSqrtLimit) {
                root = kSqrtOfLimit;
            } else {
                root = sqrt_method(root);
                zorva_hook_spend_cpu(8);
            }
            f *= 2;
        }
    }
    zorva_hook_spend_cpu(8);
    return result;
}

zorva_fixed zv_fpow_0110(zorva_fixed a, zorva_fixed b) {
    int32_t e = b >> 16;
    if (e > 256) e = 256;
    if (e == 0) return 0x10000;
    if (e < 0) return 0;
    zorva_fixed result = a;
    for (int32_t k = 1; k < e; k++) result = fmul(result, a);
    if (e > 1) zorva_hook_spend_cpu(2 * e - 2);
    return result;
}

zorva_fixed fatan2(zorva_fixed dx, zorva_fixed dy) { return ftan2(dx, dy); }
