// Four-component single-precision vector: points carry w = 1, directions w = 0.
//
// Every operation here is written in the exact order of its arithmetic (left to right, each
// intermediate a float), because pictures depend on the bits. Each operation states what it
// does with w; the rules are deliberately not the textbook ones (a difference of two points has
// w = 2, for example) and the shapes rely on them only through Dot, Length, Normalized, Cross or
// AsPoint, which ignore or overwrite w.
#pragma once

#include <cmath>

namespace lumivex {

struct Vec4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    friend bool operator==(const Vec4&, const Vec4&) = default;
};

inline Vec4 Point(float x, float y, float z) {
    return {x, y, z, 1.0f};
}
inline Vec4 Direction(float x, float y, float z) {
    return {x, y, z, 0.0f};
}

// The same x, y and z with w forced to 1 (a point) or 0 (a direction).
inline Vec4 AsPoint(const Vec4& v) {
    return {v.x, v.y, v.z, 1.0f};
}
inline Vec4 AsDirection(const Vec4& v) {
    return {v.x, v.y, v.z, 0.0f};
}

// Negation keeps w.
inline Vec4 operator-(const Vec4& v) {
    return {-v.x, -v.y, -v.z, v.w};
}

// All four components added.
inline Vec4 operator+(const Vec4& a, const Vec4& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}

// a + (-b): the w components add, so point minus point has w = 2.
inline Vec4 operator-(const Vec4& a, const Vec4& b) {
    return a + (-b);
}

// Scaling keeps w.
inline Vec4 operator*(float s, const Vec4& v) {
    return {s * v.x, s * v.y, s * v.z, v.w};
}

// Each component divided (never multiplied by a reciprocal, which rounds differently); w kept.
inline Vec4 operator/(const Vec4& v, float s) {
    return {v.x / s, v.y / s, v.z / s, v.w};
}

inline float Dot(const Vec4& a, const Vec4& b) {
    return (a.x * b.x + a.y * b.y) + a.z * b.z;
}

inline Vec4 Cross(const Vec4& a, const Vec4& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, a.w * b.w};
}

inline float Length(const Vec4& v) {
    return std::sqrt((v.x * v.x + v.y * v.y) + v.z * v.z);
}

// No guard against a zero length: the result is then NaN, which callers rely on falling
// through every comparison.
inline Vec4 Normalized(const Vec4& v) {
    const float len = Length(v);
    return {v.x / len, v.y / len, v.z / len, 0.0f};
}

}  // namespace lumivex
