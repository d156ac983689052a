// Bounding volumes that every shape computes once, at construction.
#pragma once

#include <span>

#include "geometry/vec4.h"

namespace lumivex {

struct BoundingSphere {
    Vec4 centre{0.0f, 0.0f, 0.0f, 1.0f};
    float radius = 0.0f;

    friend bool operator==(const BoundingSphere&, const BoundingSphere&) = default;
};

// Axis-aligned box; both corners are points (w = 1).
struct BoundingBox {
    Vec4 min{0.0f, 0.0f, 0.0f, 1.0f};
    Vec4 max{0.0f, 0.0f, 0.0f, 1.0f};

    friend bool operator==(const BoundingBox&, const BoundingBox&) = default;
};

// Grows a box from (+largest float, -largest float) over the corners in order, axis by axis:
// a coordinate that is not larger than `min` replaces it, one that is not smaller than `max`
// replaces it. An empty set leaves the two extremes in place.
BoundingBox GrowBoundingBox(std::span<const Vec4> corners);

}  // namespace lumivex
