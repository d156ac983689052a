#pragma once

#include "geometry/vec4.h"

namespace lumivex {

// A ray parameter t is measured in lengths of `direction`: the point at t is origin + t *
// direction.
struct Ray {
    Vec4 origin;     // w = 1
    Vec4 direction;  // w = 0; need not have unit length
};

// A face or supporting plane; for a face of a closed shape the normal points outward.
struct Plane {
    Vec4 point{0.0f, 0.0f, 0.0f, 1.0f};
    Vec4 normal{1.0f, 0.0f, 0.0f, 0.0f};  // unit length

    friend bool operator==(const Plane&, const Plane&) = default;
};

}  // namespace lumivex
