// The two questions the renderer asks of a scene's objects, whoever answers them.
#pragma once

#include "geometry/hit_record.h"
#include "geometry/ray.h"

namespace lumivex {

// Answered by the plain walk over the object list (ObjectListWalk, the reference) and by the
// scene index (SceneIndex), which must give exactly the same answers, faster.
class HitFinder {
  public:
    virtual ~HitFinder() = default;

    // Among the objects whose bounding sphere passes BoundingSphereTest, the hit with the smallest
    // t below the largest float, ties going to the object earlier in the scene's list; no hit
    // (hit false) when there is none. The ray is non-const as Intersect's is.
    virtual HitRecord FindNearestHit(Ray& ray) const = 0;

    // Whether a shadow ray towards a point at squared distance `distanceSquared` is blocked: the
    // nearest hit exists and has 0 <= t with t * t <= distanceSquared.
    virtual bool Occluded(const Ray& ray, float distanceSquared) const = 0;

  protected:
    HitFinder() = default;
    HitFinder(const HitFinder&) = default;
    HitFinder& operator=(const HitFinder&) = default;
};

}  // namespace lumivex
