// Engine fixed-point math, trigonometry and the random generator.
#include "tamu_math.h"

#include <atomic>

// Wrapping conversion of a 64-bit intermediate to its low 32 bits.
static inline int32_t low32(int64_t v) { return (int32_t)(uint32_t)(uint64_t)v; }

int32_t fmul(int32_t a, int32_t b) { return low32(((int64_t)a * b) >> 16); }

int32_t fdiv(int32_t a, int32_t b) {
    if (b == 0) return a >= 0 ? 0x7FFFFFFF : -0x7FFFFFFF;
    int64_t q = ((int64_t)a << 16) / b;
    if (q > 0x7FFFFFFF) return 0x7FFFFFFF;
    if (q < -0x7FFFFFFF) return -0x7FFFFFFF;
    return (int32_t)q;
}

// The cosine for a table index i in 0..16383 (quarter steps of the angle).
static inline int32_t cos_index(uint32_t i) {
    uint32_t j = i < 8192 ? i : 16384 - i;
    return j <= 4095 ? cos_val[j] : -cos_val[8192 - j];
}

int32_t fcos(uint32_t angle) { return cos_index(((angle + 2) & 0xFFFF) >> 2); }

int32_t fsin(uint32_t angle) { return cos_index(((angle + 16386) & 0xFFFF) >> 2); }

// atan of m / 65536 for m > 0x10000, through the reciprocal: a quarter turn
// minus the arctangent of 1/m.
static inline int32_t atan_above_one(int64_t m) {
    int64_t k = (((int64_t)1 << 32) / m) >> 5;
    return 16384 - atan_val[k < 2048 ? k : 2048];
}

static inline int32_t atan_up_to_one(int64_t m) {
    int64_t k = m >> 5;
    return atan_val[k < 2048 ? k : 2048];
}

int32_t ftan(int32_t x) {
    int32_t s = x < 0 ? -1 : 1;
    int64_t m = x < 0 ? -(int64_t)x : x;
    return s * (m <= 0x10000 ? atan_up_to_one(m) : atan_above_one(m));
}

int32_t ftan2(int32_t dx, int32_t dy) {
    int64_t ny = -(int64_t)dy;
    if (dx == 0) return ny >= 0 ? 16384 : 49152;
    int32_t h = dx < 0 ? 32768 : 0;
    int64_t r = (ny * 65536) / dx;
    int64_t m;
    int32_t s;
    if (r < -0x7FFFFFFF) {
        m = 0x7FFFFFFF;
        s = -1;
    } else if (r > 0x7FFFFFFF) {
        m = 0x7FFFFFFF;
        s = 1;
    } else {
        m = r < 0 ? -r : r;
        s = r < 0 ? -1 : 1;
    }
    int32_t angle = m <= 0x10000 ? atan_up_to_one(m) : atan_above_one(m);
    return (s * angle + h) & 0xFFFF;
}

int32_t fdist(int32_t dx, int32_t dy) {
    int64_t ax = dx < 0 ? -(int64_t)dx : dx;
    int64_t ay = dy < 0 ? -(int64_t)dy : dy;
    int64_t big = ax > ay ? ax : ay;
    int64_t small = ax > ay ? ay : ax;
    return low32(big + (small >> 1));
}

// ---- Random generator ----------------------------------------------------
// The audio callback and the main thread step the generator without a
// lock. Relaxed atomics (the backup pair too) make that race defined; a
// step that interleaves with another just mixes the two, which is harmless
// for noise. Within one thread the results are exactly those of plain
// words.

static std::atomic<uint32_t> rand_high{0xDEADBEEFu};
static std::atomic<uint32_t> rand_low{0x01234567u};
static std::atomic<uint32_t> rand_high_backup{0xDEADBEEFu};
static std::atomic<uint32_t> rand_low_backup{0x01234567u};

void tamu_srand(uint32_t seed) {
    if (seed != 0) {
        rand_high.store(seed ^ 0xBEAD29BAu, std::memory_order_relaxed);
        rand_low.store(seed, std::memory_order_relaxed);
    } else {
        rand_high.store(0x60009755u, std::memory_order_relaxed);
        rand_low.store(0xDEADBEEFu, std::memory_order_relaxed);
    }
}

uint32_t tamu_rand() {
    uint32_t high = rand_high.load(std::memory_order_relaxed);
    uint32_t low = rand_low.load(std::memory_order_relaxed);
    high = ((high << 16) | (high >> 16)) + low;
    low += high;
    rand_high.store(high, std::memory_order_relaxed);
    rand_low.store(low, std::memory_order_relaxed);
    return high;
}

uint32_t tamu_random(uint32_t n) {
    if (n == 0) return 0;
    return tamu_rand() % n;
}

void tamu_random_save() {
    rand_high_backup.store(rand_high.load(std::memory_order_relaxed), std::memory_order_relaxed);
    rand_low_backup.store(rand_low.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void tamu_random_restore() {
    rand_high.store(rand_high_backup.load(std::memory_order_relaxed), std::memory_order_relaxed);
    rand_low.store(rand_low_backup.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void tamu_random_get_seeds(uint32_t *high, uint32_t *low) {
    if (high) *high = rand_high.load(std::memory_order_relaxed);
    if (low) *low = rand_low.load(std::memory_order_relaxed);
}

void tamu_random_set_seeds(uint32_t high, uint32_t low) {
    rand_high.store(high, std::memory_order_relaxed);
    rand_low.store(low, std::memory_order_relaxed);
}

// a + (a >> 8) with the shift arithmetic on the signed value, modulo 2^32.
static inline uint32_t add_shifted(uint32_t a) {
    return a + (uint32_t)((int32_t)a >> 8);
}

uint32_t tamu_mangle_int32(uint32_t x) {
    uint32_t a = (x ^ 0x59Cu) * (x ^ 0x158u);
    a = add_shifted(a);
    uint32_t b = (a ^ 0x52Du) * (a ^ 0x59Cu);
    b = add_shifted(b);
    return add_shifted(b);
}
