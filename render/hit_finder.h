// The two questions the renderer asks of a scene's objects, whoever answers them.
#pragma once

#include <cstdint>
#include <limits>

#include "geometry/hit_record.h"
#include "geometry/ray.h"

namespace lumivex {

// The object that blocked a thread's last blocked shadow ray towards one light. Shadow rays
// towards a light from neighbouring points are mostly blocked by the same object, so a finder may
// test it before searching. It only changes which object is asked first, never the answer: any
// value, stale or from another scene, is safe.
struct BlockerHint {
    static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t object = kNone;  // the object's position in the scene's list
};

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
    // `hint` is read and, when a finder uses hints, updated to the blocker found.
    virtual bool Occluded(const Ray& ray, float distanceSquared, BlockerHint& hint) const = 0;
    bool Occluded(const Ray& ray, float distanceSquared) const {
        BlockerHint none;
        return Occluded(ray, distanceSquared, none);
    }

    // The shadow question for `count` rays (at most 32) from one origin towards points at the
    // same squared distance, the rays' directions given: bit i is set when Occluded({origin,
    // directions[i]}, distanceSquared) is true. Asked once for a point's 16 rays towards a light,
    // so that a finder can test them side by side. This asks Occluded for each ray in turn.
    virtual std::uint32_t OccludedMask(const Vec4& origin, const Vec4* directions, int count,
                                       float distanceSquared, BlockerHint& hint) const {
        std::uint32_t blocked = 0;
        for (int i = 0; i < count; ++i) {
            if (Occluded(Ray{origin, directions[i]}, distanceSquared, hint)) {
                blocked |= std::uint32_t{1} << i;
            }
        }
        return blocked;
    }

  protected:
    HitFinder() = default;
    HitFinder(const HitFinder&) = default;
    HitFinder& operator=(const HitFinder&) = default;
};

}  // namespace lumivex
