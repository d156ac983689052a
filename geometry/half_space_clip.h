// Ray intersection with a convex solid given as the intersection of half-spaces (the box's six
// faces, the icosahedron's twenty).
#pragma once

#include <span>

#include "geometry/hit_record.h"
#include "geometry/ray.h"

namespace lumivex {

// The outcome of clipping a ray against half-spaces: the parameter of the hit and the face whose
// plane supplies it.
struct HalfSpaceClip {
    bool hit = false;
    float t = 0.0f;
    Vec4 normal{0.0f, 0.0f, 0.0f, 0.0f};
};

// Clips the ray's parameter range [0, largest float] against each face in order, stopping as soon
// as the range is empty. The hit is the entry point, or the exit point when no entry lies ahead
// of the origin (the origin is inside or on the surface); its normal is the outward normal of the
// face that set that bound. Updates are strict, so of two faces at the same parameter the earlier
// one supplies the normal, and an empty-but-touching range (grazing an edge) counts as a hit.
HalfSpaceClip ClipToHalfSpaces(std::span<const Plane> faces, const Ray& ray);

// The hit record of ClipToHalfSpaces' result.
HitRecord IntersectHalfSpaces(std::span<const Plane> faces, const Material& material,
                              const Ray& ray);

}  // namespace lumivex
