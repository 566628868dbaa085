// Float vector and matrix helpers of the 3D records. Every function reads
// its inputs completely before it writes its output, so an output may be
// the same array as an input.
#include "tamu_math.h"

#include <cmath>
#include <cstring>

void tamu_normalize(float *v) {
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len == 0.0f) {
        v[0] = 0.0f;
        v[1] = 1.0f;
        v[2] = 0.0f;
        return;
    }
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
}

void tamu_cross_product(const float *a, const float *b, float *out) {
    float x = a[1] * b[2] - a[2] * b[1];
    float y = a[2] * b[0] - a[0] * b[2];
    float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

void tamu_apply_matrix(const float *m, const float *v, float *out) {
    float x = v[0], y = v[1], z = v[2];
    out[0] = m[0] * x + m[1] * y + m[2] * z + m[9];
    out[1] = m[3] * x + m[4] * y + m[5] * z + m[10];
    out[2] = m[6] * x + m[7] * y + m[8] * z + m[11];
}

void tamu_apply_matrix_inverse(const float *m, const float *v, float *out) {
    float x = v[0] - m[9], y = v[1] - m[10], z = v[2] - m[11];
    float scale2 = m[0] * m[0] + m[3] * m[3] + m[6] * m[6];
    out[0] = (m[0] * x + m[3] * y + m[6] * z) / scale2;
    out[1] = (m[1] * x + m[4] * y + m[7] * z) / scale2;
    out[2] = (m[2] * x + m[5] * y + m[8] * z) / scale2;
}

void tamu_matrix_mul(const float *a, const float *b, float *out) {
    float r[12];
    for (int row = 0; row < 3; row++) {
        for (int col = 0; col < 3; col++) {
            r[row * 3 + col] = b[row * 3 + 0] * a[0 * 3 + col] + b[row * 3 + 1] * a[1 * 3 + col] +
                               b[row * 3 + 2] * a[2 * 3 + col];
        }
        r[9 + row] = b[row * 3 + 0] * a[9] + b[row * 3 + 1] * a[10] + b[row * 3 + 2] * a[11] +
                     b[9 + row];
    }
    std::memcpy(out, r, sizeof r);
}

void tamu_get_identity_matrix(float *m) {
    static const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    std::memcpy(m, identity, sizeof identity);
}

void tamu_get_transformation_matrix(float *out, const float *rot, const float *scale,
                                    const float *pos) {
    float sx = std::sin(rot[0]), cx = std::cos(rot[0]);
    float sy = std::sin(rot[1]), cy = std::cos(rot[1]);
    float sz = std::sin(rot[2]), cz = std::cos(rot[2]);
    float k[3] = {scale[0], scale[1], scale[2]};
    float t[3] = {pos[0], pos[1], pos[2]};
    // Rz * Ry * Rx, then each column multiplied by its scale factor.
    float r[9] = {
        cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx,
        sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx,
        -sy,     cy * sx,                cy * cx,
    };
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++) out[row * 3 + col] = r[row * 3 + col] * k[col];
    out[9] = t[0];
    out[10] = t[1];
    out[11] = t[2];
}

void tamu_get_vector_rotation_matrix(float *out, const float *from, const float *to) {
    float f[3] = {from[0], from[1], from[2]};
    float t[3] = {to[0], to[1], to[2]};
    tamu_normalize(f);
    tamu_normalize(t);
    float axis[3];
    tamu_cross_product(f, t, axis);
    float c = f[0] * t[0] + f[1] * t[1] + f[2] * t[2];
    float s = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (s < 1e-6f) {
        if (c > 0.0f) {
            tamu_get_identity_matrix(out);
            return;
        }
        // Opposite directions: any axis perpendicular to from will do; cross
        // with the coordinate axis along which from is smallest.
        float ax = std::fabs(f[0]), ay = std::fabs(f[1]), az = std::fabs(f[2]);
        float e[3] = {0, 0, 0};
        e[(ax <= ay && ax <= az) ? 0 : (ay <= az ? 1 : 2)] = 1.0f;
        tamu_cross_product(f, e, axis);
        tamu_normalize(axis);
        c = -1.0f;
        s = 0.0f;
    } else {
        axis[0] /= s;
        axis[1] /= s;
        axis[2] /= s;
    }
    // Rodrigues: R = c I + s [axis]x + (1 - c) axis axis^T.
    float x = axis[0], y = axis[1], z = axis[2], u = 1.0f - c;
    float r[12] = {
        c + u * x * x,     u * x * y - s * z, u * x * z + s * y,
        u * y * x + s * z, c + u * y * y,     u * y * z - s * x,
        u * z * x - s * y, u * z * y + s * x, c + u * z * z,
        0, 0, 0,
    };
    std::memcpy(out, r, sizeof r);
}
