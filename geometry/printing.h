// Readable output of the value records, so failed test assertions show the numbers.
#pragma once

#include <ostream>

#include "geometry/bounds.h"
#include "geometry/color.h"
#include "geometry/hit_record.h"
#include "geometry/material.h"
#include "geometry/matrix4.h"
#include "geometry/ray.h"
#include "geometry/vec4.h"

namespace lumivex {

std::ostream& operator<<(std::ostream& os, const Vec4& v);
std::ostream& operator<<(std::ostream& os, const Color& c);
std::ostream& operator<<(std::ostream& os, const Matrix4& m);
std::ostream& operator<<(std::ostream& os, const Ray& ray);
std::ostream& operator<<(std::ostream& os, const Plane& plane);
std::ostream& operator<<(std::ostream& os, const BoundingSphere& sphere);
std::ostream& operator<<(std::ostream& os, const BoundingBox& box);
std::ostream& operator<<(std::ostream& os, const Material& material);
std::ostream& operator<<(std::ostream& os, const HitRecord& record);

}  // namespace lumivex
