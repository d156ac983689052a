// Resolving a ray against the scene: the nearest hit over the object list.
#pragma once

#include "geometry/bounds.h"
#include "geometry/hit_record.h"
#include "geometry/ray.h"
#include "scene/scene.h"

namespace lumivex {

// True when the ray may touch the sphere: the squared distance from the centre to the ray's
// closest point (or to the origin, when the centre lies behind it) is at most the squared radius
// widened by one part in 2^23, so a grazing ray is not lost to rounding. Assumes a unit-length
// direction. A ray starting inside the sphere always passes.
bool BoundingSphereTest(const Ray& ray, const BoundingSphere& sphere);

// Walks the objects in list order, skipping those whose bounding sphere the ray misses, and
// keeps the hit with the smallest t (strictly smaller, so ties go to the earlier object). No
// lower bound on t is applied here: callers offset secondary and shadow rays from the surface.
HitRecord FindNearestHit(const Scene& scene, Ray& ray);

}  // namespace lumivex
