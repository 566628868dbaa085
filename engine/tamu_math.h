// Engine fixed-point math, trigonometry and the random generator, and the
// float vector and matrix helpers of the 3D records.
#pragma once

#include <cstdint>

// ---- 16.16 fixed point ---------------------------------------------------
// Note: with glibc, <cmath> also declares narrowing float functions named
// fmul, fdiv and fsqrt taking doubles. Pass int32_t operands (not floats or
// wider integers) so that the overloads here are chosen.

// (a * b) in 64 bits, shifted right 16 (toward minus infinity), low 32 bits.
int32_t fmul(int32_t a, int32_t b);

// (a << 16) / b in 64 bits, truncated toward zero and saturated to
// -0x7FFFFFFF..0x7FFFFFFF; b = 0 gives 0x7FFFFFFF for a >= 0, -0x7FFFFFFF
// for a < 0.
int32_t fdiv(int32_t a, int32_t b);

// ---- Trigonometry --------------------------------------------------------
// Angles: 65536 is one turn, 16384 a quarter; only the low 16 bits matter.

// entry i = round(65536 cos(2 pi i / 16384)), i = 0..4096.
extern const int32_t cos_val[4097];
// entry i = round(atan(i / 2048) * 65536 / (2 pi)), i = 0..2048.
extern const int32_t atan_val[2049];

// 16.16 cosine of the angle.
int32_t fcos(uint32_t angle);
// cos(angle + a quarter turn), that is minus the sine: positive angles turn
// toward negative y, as on a screen whose y grows downward.
int32_t fsin(uint32_t angle);
// Arctangent of a 16.16 ratio as a signed angle (-16384..16384).
int32_t ftan(int32_t x);
// Angle 0..65535 of the vector (dx, -dy); dx and dy on any common scale.
// (0, 0) gives 16384.
int32_t ftan2(int32_t dx, int32_t dy);
// Cheap distance estimate: max(|dx|, |dy|) + min(|dx|, |dy|) / 2 (wrapping).
int32_t fdist(int32_t dx, int32_t dy);

// ---- Random generator ----------------------------------------------------
// Two 32-bit words shared by the main thread and the audio thread, stepped
// from both without a lock (the words are relaxed atomics, so a race only
// mixes steps). Start: high 0xDEADBEEF, low 0x01234567.

// Seed 0 gives high 0x60009755, low 0xDEADBEEF; any other s gives high
// s ^ 0xBEAD29BA, low s. No warm-up steps.
void tamu_srand(uint32_t seed);
// One step: high = rotl(high, 16) + low, low += high. Returns the new high.
uint32_t tamu_rand();
// 0 for n = 0 (no step); else one step and the new high word modulo n.
uint32_t tamu_random(uint32_t n);
// One level of backup for the two words.
void tamu_random_save();
void tamu_random_restore();
void tamu_random_get_seeds(uint32_t *high, uint32_t *low);
void tamu_random_set_seeds(uint32_t high, uint32_t low);

// A scrambled 32-bit value of x (a cheap hash).
uint32_t tamu_mangle_int32(uint32_t x);

// ---- Float vectors and matrices ------------------------------------------
// A vector is float[3]. A matrix is float[12]: a 3 x 3 part by rows in
// elements 0-8 and a translation in 9-11, applied to v as
// (m0 x + m1 y + m2 z + m9, m3 x + m4 y + m5 z + m10, m6 x + m7 y + m8 z + m11).
// Every output may be the same array as an input.

// Scales v to length 1; a zero vector becomes (0, 1, 0).
void tamu_normalize(float *v);
void tamu_cross_product(const float *a, const float *b, float *out);
void tamu_apply_matrix(const float *m, const float *v, float *out);
// Subtracts the translation, then applies the transposed 3 x 3 part divided
// by the squared length of its first column: the inverse for a rotation
// with uniform scale.
void tamu_apply_matrix_inverse(const float *m, const float *v, float *out);
// out = the transform that applies a first and then b.
void tamu_matrix_mul(const float *a, const float *b, float *out);
void tamu_get_identity_matrix(float *m);
// Scales by scale, then rotates by rot[0] radians about x, rot[1] about y
// and rot[2] about z, then translates by pos.
void tamu_get_transformation_matrix(float *out, const float *rot, const float *scale,
                                    const float *pos);
// A rotation (zero translation) that turns the direction of from onto the
// direction of to; opposite directions turn half a turn about an axis
// perpendicular to them.
void tamu_get_vector_rotation_matrix(float *out, const float *from, const float *to);
