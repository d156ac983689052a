#pragma once

#include "geometry/material.h"
#include "geometry/vec4.h"

namespace lumivex {

// The result of intersecting one ray with one shape. Only meaningful when `hit` is true; every
// producer sets `hit` before returning.
struct HitRecord {
    bool hit = false;
    float t = 0.0f;                       // ray parameter of the hit point
    Vec4 point{0.0f, 0.0f, 0.0f, 1.0f};   // origin + t * direction
    Vec4 normal{0.0f, 0.0f, 0.0f, 0.0f};  // unit surface normal, never turned toward the ray
    Material material;                    // copy of the hit shape's material
};

}  // namespace lumivex
