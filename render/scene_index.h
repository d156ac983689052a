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

    std::size_t IndexedObjectCount() const { return indexedCount; }
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

    // Up to eight children of the hierarchy, their boxes stored one array per corner and axis so
    // that a ray is tested against all eight at once (in one AVX2 step, or two SSE2 ones). Each
    // box surrounds every point where the objects below it can report a hit, with a margin for
    // rounding. A child is another wide node (its position in wideNodes) or, with kLeafBit set, a
    // leaf: LeafBlockCount blocks from LeafFirstBlock in leafBlocks. An unused slot is a leaf of
    // no blocks, with a box no ray enters. The children come first, in the cache line that also
    // holds the first boxes: a box test loads every line of the node at once, so the child it
    // chooses is already at hand rather than one more wait after the test.
    static constexpr int kWidth = 8;
    struct alignas(64) WideNode {
        std::uint32_t child[kWidth];
        float bounds[2][3][kWidth];  // [low corner, high corner][axis][child]
    };
    static constexpr std::uint32_t kLeafBit = 0x80000000u;
    static constexpr int kBlockCountShift = 28;
    static std::uint32_t LeafBlockCount(std::uint32_t child) {
        return (child >> kBlockCountShift) & 7u;
    }
    static std::uint32_t LeafFirstBlock(std::uint32_t child) {
        return child & ((1u << kBlockCountShift) - 1);
    }

    // Four objects of one leaf, side by side in leaf order, with what the search tests first: the
    // bounding sphere and, for a sphere, its squared radius. Lanes past the leaf's end have a
    // limit of minus infinity, which no distance passes. The bounding spheres fill the block's
    // first cache line, so a block whose lanes all fail costs one line.
    struct alignas(64) LeafBlock {
        float centre[3][4];
        float limit[4];
        float radiusSquared[4];
        std::uint32_t object[4];    // position in the scene's list
        std::uint32_t sphereLanes;  // bit i: object[i] is a sphere
    };

    struct RaySetup;
    struct PacketSearch;
    struct Avx2Searches;

    bool StopRequested() {
        stopped = stopped || (stop != nullptr && stop->load(std::memory_order_relaxed));
        return stopped;
    }
    // Which of the node's children the ray enters before `limit` (the same in every lane; bit i
    // for child i), with the distance along the ray where it enters each of them.
    template <bool kAvx2>
    static int EnteredChildren(const RaySetup& setup, const WideNode& node,
                               const float (&limit)[kWidth], float entry[kWidth]);
    // The one-ray searches, compiled twice: for the SSE2 path and, inlined into Avx2Searches, for
    // AVX2. Which runs is the SIMD path active when the index was built.
    template <bool kAvx2>
    HitRecord SearchNearest(Ray& ray) const;
    template <bool kAvx2>
    bool SearchOccluded(const Ray& ray, float distanceSquared, BlockerHint& hint) const;
    // The hit distance of the object in one lane of a leaf block, as its shape reports it.
    bool LaneHitDistance(const Ray& ray, const LeafBlock& block, int lane, float& t) const;
    // The tree's part of OccludedMask.
    void WalkTreeForShadows(PacketSearch& search, float limit) const;

    std::vector<Candidate> candidates;
    std::vector<WideNode> wideNodes;  // the root first
    std::vector<LeafBlock> leafBlocks;
    std::size_t indexedCount = 0;
    // Objects without a finite, provable hit region: tested for every ray, as the list walk does.
    std::vector<std::uint32_t> unindexed;
    // The largest coordinate magnitude of the indexed region, for the per-ray rounding margin.
    float extent = 0.0f;
    const std::atomic<bool>* stop = nullptr;
    bool stopped = false;
    bool avx2 = false;
};

}  // namespace lumivex
