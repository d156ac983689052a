// Resolving a ray against the scene by the plain walk over the object list: the reference that
// every faster way of finding hits must agree with.
#pragma once

#include "geometry/bounds.h"
#include "geometry/hit_record.h"
#include "geometry/ray.h"
#include "render/hit_finder.h"
#include "scene/scene.h"

namespace lumivex {

// True when the ray may touch the sphere: the squared distance from the centre to the ray's
// closest point (or to the origin, when the centre lies behind it) is at most the squared radius
// widened by one part in 2^23, so a grazing ray is not lost to rounding. Assumes a unit-length
// direction. A ray starting inside the sphere always passes.
bool BoundingSphereTest(const Ray& ray, const BoundingSphere& sphere);

// The two halves of BoundingSphereTest, for callers that keep the widened limit per object.
inline float BoundingSphereLimit(float radius) {
    const float limit = radius * radius;
    return limit + limit * 1.1920928955078125e-07f;  // widened by 2^-23
}
inline bool PassesBoundingSphere(const Ray& ray, const Vec4& centre, float limit) {
    const Vec4 toCentre = centre - ray.origin;
    const float s = Dot(ray.direction, toCentre);
    float distanceSquared;
    if (s > 0.0f) {
        const Vec4 closest = ray.origin + s * ray.direction;
        const Vec4 offset = centre - closest;
        distanceSquared = Dot(offset, offset);
    } else {
        const Vec4 offset = ray.origin - centre;
        distanceSquared = Dot(offset, offset);
    }
    return distanceSquared <= limit;
}

// Walks the objects in list order, skipping those whose bounding sphere the ray misses, and
// keeps the hit with the smallest t (strictly smaller, so ties go to the earlier object). No
// lower bound on t is applied here: callers offset secondary and shadow rays from the surface.
HitRecord FindNearestHit(const Scene& scene, Ray& ray);

// FindNearestHit over a scene's objects as a HitFinder; a shadow ray is blocked when that nearest
// hit is closer than the light. The scene must outlive it.
class ObjectListWalk final : public HitFinder {
  public:
    explicit ObjectListWalk(const Scene& scene) : scene(scene) {}

    HitRecord FindNearestHit(Ray& ray) const override;
    // The reference: ignores the hint and leaves it as it is.
    bool Occluded(const Ray& ray, float distanceSquared, BlockerHint& hint) const override;
    using HitFinder::Occluded;

  private:
    const Scene& scene;
};

}  // namespace lumivex
