// A bounding volume hierarchy over a scene's objects that answers the renderer's two questions,
// "what does this ray hit first?" and "does anything block this shadow ray?", with exactly the
// answers of the plain walk over the object list, in far fewer steps.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "geometry/geometry.h"
#include "render/hit_finder.h"
#include "render/shadow_packet.h"
#include "scene/scene.h"

namespace lumivex {

class SceneIndex final : public HitFinder {
  public:
    // Builds the index over the scene's objects as they are now. The scene must outlive the
    // index, and its objects must not change while the index is in use (the camera may).
    // Building gives up soon after `stop`, when given, becomes true; the index is then Stopped()
    // and must not be used.
    explicit SceneIndex(const Scene& scene, const std::atomic<bool>* stop = nullptr);

    bool Stopped() const { return stopped; }

    // Exactly the plain walk's record.
    HitRecord FindNearestHit(Ray& ray) const override;

    // Whether an object that passes BoundingSphereTest reports a hit with 0 <= t < largest float
    // and t * t <= distanceSquared: the same answer as testing the nearest hit, found by stopping
    // at the first blocker. The hinted object is asked first, as any order gives the same answer;
    // a blocker found is kept in the hint.
    bool Occluded(const Ray& ray, float distanceSquared, BlockerHint& hint) const override;
    using HitFinder::Occluded;

    // Occluded for up to 32 rays from one origin at once: each object and each node is tested
    // against every ray still open with SIMD (render/shadow_packet.h), a ray dropping out once
    // blocked. The hinted object is asked first for all of them.
    std::uint32_t OccludedMask(const Vec4& origin, const Vec4* directions, int count,
                               float distanceSquared, BlockerHint& hint) const override;

    std::size_t IndexedObjectCount() const { return leafObjects.size(); }
    std::size_t UnindexedObjectCount() const { return unindexed.size(); }

  private:
    // What the search keeps per object, in scene order: the bounding-sphere test's data, so that
    // the test costs no virtual call, and the shape.
    struct Candidate {
        Vec4 centre;
        float limit;
        float radiusSquared;  // for a sphere, whose distance is computed without a virtual call
        const Geometry* shape;
        bool sphere;

        bool HitDistance(const Ray& ray, float& t) const;
    };

    // An axis-aligned box around every point where the objects below it can report a hit, with a
    // margin for rounding. Inner nodes have count 0 and their children at first and first + 1;
    // leaves list count objects from leafObjects[first].
    struct Node {
        float bounds[2][3];  // low corner, high corner
        std::uint32_t first;
        std::uint32_t count;
    };

    struct RaySetup;
    struct PacketSearch;

    void Build(std::uint32_t index, int depth, std::vector<std::uint32_t>& order, std::size_t begin,
               std::size_t end, const std::vector<float>& boxes);
    bool StopRequested() {
        stopped = stopped || (stop != nullptr && stop->load(std::memory_order_relaxed));
        return stopped;
    }
    bool EntersNode(const RaySetup& setup, const Node& node, float limit, float& entry) const;
    void WalkTreeForShadows(PacketSearch& search, float limit) const;

    std::vector<Candidate> candidates;
    std::vector<Node> nodes;
    std::vector<std::uint32_t> leafObjects;
    // Objects without a finite, provable hit region: tested for every ray, as the list walk does.
    std::vector<std::uint32_t> unindexed;
    // The largest coordinate magnitude of the indexed region, for the per-ray rounding margin.
    float extent = 0.0f;
    const std::atomic<bool>* stop = nullptr;
    bool stopped = false;
};

}  // namespace lumivex
