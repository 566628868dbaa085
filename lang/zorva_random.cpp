// The console's random generator behind rnd and srand; separate from the
// engine's generator. Stepped from the main thread only.
#include "zorva_fixed.h"

static uint32_t m_high = 0xDEADBEEFu;
static uint32_t m_low = 0x01234567u;

uint32_t zorva_rand() {
    m_high = ((m_high << 16) | (m_high >> 16)) + m_low;
    m_low += m_high;
    return m_high;
}

void zorva_srand(uint32_t seed) {
    if (seed != 0) {
        m_high = seed ^ 0xBEAD29BAu;
        m_low = seed;
    } else {
        m_high = 0x60009755u;
        m_low = 0xDEADBEEFu;
    }
    for (int i = 0; i < 32; i++) zorva_rand();
}

uint32_t zorva_random(uint32_t n) {
    if (n == 0) return 0;
    return zorva_rand() % n;
}

void zorva_random_get_seeds(uint32_t *high, uint32_t *low) {
    if (high) *high = m_high;
    if (low) *low = m_low;
}

void zorva_random_set_seeds(uint32_t high, uint32_t low) {
    m_high = high;
    m_low = low;
}
