// The script number type: a 16.16 fixed-point value in 32 bits, its text
// forms, its arithmetic and the console's random generator.
#pragma once

#include <cstddef>
#include <cstdint>

// Signed two's complement; the upper 16 bits are the whole part, the lower
// 16 the fraction. 1.0 is 0x10000; the range is -32768.0 to 32767.99998.
typedef int32_t zorva_fixed;

#define ZORVA_FIXED_ONE ((zorva_fixed)0x10000)

// ---- Text forms ----------------------------------------------------------

// Converts the whole text s (len characters, zero-terminated) to a number.
// Returns 1 and stores the value in *result when the text is a numeral
// (decimal, "0x" hexadecimal or "0b" binary, each with an optional sign,
// a fraction and surrounding white space), else returns 0 and leaves
// *result alone.
int luaO_str2d(const char *s, size_t len, zorva_fixed *result);

// Room that zorva_fixed_to_string needs in its destination.
#define ZORVA_FIXED_TEXT_SIZE 32

// Writes the text form of v ("1", "0.5", "-0.3333"; at most 11 characters
// and a terminating zero) into dst, which has at least
// ZORVA_FIXED_TEXT_SIZE characters of room, and returns its length.
// Allocates nothing.
int zorva_fixed_to_string(char *dst, zorva_fixed v);

// ---- Arithmetic ----------------------------------------------------------
// Addition, subtraction and negation wrap modulo 2^32 (do them through
// uint32_t). Products and quotients below are computed in 64 bits and keep
// the low 32 bits.

// a * b, shifted right 16 (toward minus infinity), wrapping.
zorva_fixed zv_fmul(zorva_fixed a, zorva_fixed b);

// a / b truncated toward zero, wrapping; x / 0 is 0x7FFFFFFF for x >= 0
// and 0x80000001 for x < 0.
zorva_fixed zv_fdiv(zorva_fixed a, zorva_fixed b);

// a modulo b, in 0 <= r < |b| for every b but -32768.0; a % 0 is a.
zorva_fixed zv_fmod(zorva_fixed a, zorva_fixed b);

// a to the power b; charges CPU through zorva_hook_spend_cpu (8 units, and
// 8 more for every square root that a fractional exponent takes).
zorva_fixed zv_fpow(zorva_fixed a, zorva_fixed b);

// The older power: a to the whole part of b (capped at 256; 0 for a
// negative exponent), charging 2e - 2 units.
zorva_fixed zv_fpow_0110(zorva_fixed a, zorva_fixed b);

// Square root (one refinement step, not correctly rounded); charges 8 CPU
// units unless x is 0, negative or above 32760.99998. A negative x gives 0.
zorva_fixed fsqrt(zorva_fixed x);

// Angle (0..65535, one turn = 65536) of the vector (dx, -dy), as the
// engine's ftan2.
zorva_fixed fatan2(zorva_fixed dx, zorva_fixed dy);

// ---- Console random generator -------------------------------------------
// Separate from the engine's generator (tamu_rand).

// Seeds the generator and discards its first 32 outputs.
void zorva_srand(uint32_t seed);

// The next output modulo n (unsigned); n = 0 gives 0 without a step.
uint32_t zorva_random(uint32_t n);

// One step; returns the new high word.
uint32_t zorva_rand();

// The two state words, for tests and save states.
void zorva_random_get_seeds(uint32_t *high, uint32_t *low);
void zorva_random_set_seeds(uint32_t high, uint32_t low);
