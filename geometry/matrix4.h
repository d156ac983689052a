// Row-major 4x4 single-precision matrix; a default Matrix4 is the identity.
#pragma once

#include "geometry/vec4.h"

namespace lumivex {

struct Matrix4 {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    friend bool operator==(const Matrix4&, const Matrix4&) = default;
};

// Component i is row i times (x, y, z, w), summed left to right over all four columns, so the
// w column enters even for directions (where it is multiplied by w = 0).
inline Vec4 operator*(const Matrix4& a, const Vec4& v) {
    const auto row = [&](int i) {
        const float* c = a.m[i];
        return ((c[0] * v.x + c[1] * v.y) + c[2] * v.z) + c[3] * v.w;
    };
    return {row(0), row(1), row(2), row(3)};
}

inline Matrix4 Transposed(const Matrix4& a) {
    Matrix4 t;
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) {
            t.m[r][k] = a.m[k][r];
        }
    }
    return t;
}

}  // namespace lumivex
