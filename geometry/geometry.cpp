#include "geometry/geometry.h"

namespace lumivex {

bool Geometry::Contains(const Vec4& point) const {
    const BoundingSphere& sphere = GetBoundingSphere();
    const float distance = Length(point - sphere.centre);
    return distance <= sphere.radius;
}

}  // namespace lumivex
