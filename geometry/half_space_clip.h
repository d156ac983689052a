// Ray intersection with a convex solid given as the intersection of half-spaces (the box's six
// faces, the icosahedron's twenty).
#pragma once

#include <span>

#include "geometry/hit_record.h"
#include "geometry/ray.h"

namespace lumivex {

// Clips the ray's parameter range [0, largest float] against each face in order, stopping as soon
// as the range is empty. The hit is the entry point, or the exit point when no entry lies ahead
// of the origin (the origin is inside or on the surface); its normal is the outward normal of the
// face that set that bound. Updates are strict, so of two faces at the same parameter the earlier
// one supplies the normal, and an empty-but-touching range (grazing an edge) counts as a hit.
HitRecord IntersectHalfSpaces(std::span<const Plane> faces, const Material& material,
                              const Ray& ray);

}  // namespace lumivex
