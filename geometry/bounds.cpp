#include "geometry/bounds.h"

#include <limits>

namespace lumivex {

namespace {

void Grow(float value, float& low, float& high) {
    if (value <= low) {
        low = value;
    }
    if (value >= high) {
        high = value;
    }
}

}  // namespace

BoundingBox GrowBoundingBox(std::span<const Vec4> corners) {
    constexpr float kLargest = std::numeric_limits<float>::max();
    BoundingBox box{{kLargest, kLargest, kLargest, 1.0f}, {-kLargest, -kLargest, -kLargest, 1.0f}};
    for (const Vec4& corner : corners) {
        Grow(corner.x, box.min.x, box.max.x);
        Grow(corner.y, box.min.y, box.max.y);
        Grow(corner.z, box.min.z, box.max.z);
    }
    return box;
}

}  // namespace lumivex
