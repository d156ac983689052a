// The ray/sphere quadratic shared by Sphere and Ellipsoid (which solves it against the unit
// sphere in its local space). Written in the exact order of its float arithmetic: a textbook
// "stable" formulation would round differently.
#pragma once

#include <cmath>

namespace lumivex {

// Solves a t^2 + b t + k = 0 for the first root a ray can use: the near root when it lies ahead
// of the origin, otherwise the far root (the origin is inside or on the surface). Returns false
// when there is no real root or both lie behind the origin. No tolerance: disc < 0, far < 0 and
// near >= 0 are exact comparisons.
inline bool FirstRootAhead(float a, float b, float k, float& t) {
    const float disc = b * b - (a * 4.0f) * k;
    if (disc < 0.0f) {
        return false;
    }
    const float s = std::sqrt(disc);
    const float far = (s - b) / (2.0f * a);
    const float near = (-b - s) / (2.0f * a);
    if (far < 0.0f) {
        return false;
    }
    t = near >= 0.0f ? near : far;
    return true;
}

}  // namespace lumivex
