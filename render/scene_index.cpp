#include "render/scene_index.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>

#include "geometry/sphere.h"
#include "render/hit_region.h"
#include "render/nearest_hit.h"

namespace lumivex {

namespace {

// Why the index can prune and still find exactly the list walk's hit.
//
// An object is a candidate exactly when BoundingSphereTest passes, as in the list walk; the index
// only decides which objects it need not ask. It skips an object only when the ray misses a box
// that holds every point where the object can report a hit, or when that box starts beyond the
// best hit found so far. Both decisions carry margins for the rounding of the shapes' own
// arithmetic:
// - Each object's box is its exact hit region (computed in double from the shape's stored
//   floats), widened by a part of its size and of its coordinates.
// - Each ray widens every box by a part of its origin's and the scene's coordinates, which covers
//   the rounding of points along the ray (BoundingSphereTest's closest point, a shape's
//   origin + t * direction, and rays that graze a face plane).
// - A box is skipped for distance only when it starts farther than kDistanceSlack times the best
//   t: the sphere's quadratic can place a near-tangent hit a few ten-thousandths of t away from
//   the exact one.
// Shapes whose reported hits have no such bound (an ellipsoid's quadratic, solved in its own
// skewed space, can report a near-tangent hit far outside any fixed margin when the ray comes
// from afar; degenerate or ill-conditioned shapes) are not indexed: every ray tests them, as the
// list walk does.
constexpr double kRelativeMargin = 1e-4;    // of an object's own size
constexpr double kCoordinateMargin = 4e-6;  // of its largest coordinate
constexpr float kRayMargin = 4e-6f;         // of the ray origin's and the scene's coordinates
constexpr float kDistanceSlack = 1.002f;
constexpr float kLargest = std::numeric_limits<float>::max();
constexpr std::size_t kMaxLeafSize = 8;
// With this few objects a hierarchy costs more than it saves: they are simply all tested.
constexpr std::size_t kFewObjects = 8;
constexpr int kBins = 16;
// Past this depth the build splits at the median, which bounds the depth (and the traversal
// stack) whatever the objects' layout.
constexpr int kMedianDepth = 64;
constexpr int kStackSize = 128;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

float Widened(double value, double margin, bool up) {
    const double widened = up ? value + margin : value - margin;
    const float f = static_cast<float>(widened);
    return std::nextafter(
        f, up ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity());
}

}  // namespace

// What every box test of one ray shares. A box is widened by `margin` on every side: its low
// planes are tested against origin + margin and its high ones against origin - margin.
struct SceneIndex::RaySetup {
    float shifted[2][3];
    float inverse[3];
    int nearSide[3];  // which of a box's planes the ray meets first along each axis

    RaySetup(const Ray& ray, float extent) {
        const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
        const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
        const float largest = std::max({std::abs(o[0]), std::abs(o[1]), std::abs(o[2])});
        const float margin = kRayMargin * (largest + extent) + 1e-30f;
        for (int a = 0; a < 3; ++a) {
            shifted[0][a] = o[a] + margin;
            shifted[1][a] = o[a] - margin;
            // A zero component gives an infinite inverse, under which a box's slab either holds
            // the whole ray or none of it; only an origin exactly on a widened plane gives NaN,
            // which the comparisons below ignore, keeping the box.
            inverse[a] = 1.0f / d[a];
            nearSide[a] = inverse[a] < 0.0f ? 1 : 0;
        }
    }
};

bool SceneIndex::Candidate::HitDistance(const Ray& ray, float& t) const {
    return sphere ? SphereHitDistance(ray, centre, radiusSquared, t) : shape->HitDistance(ray, t);
}

SceneIndex::SceneIndex(const Scene& scene, const std::atomic<bool>* stop) : stop(stop) {
    const std::size_t count = scene.objects.size();
    candidates.reserve(count);
    std::vector<std::uint32_t> indexed;
    std::vector<float> boxes;  // six floats per indexed object: low xyz, high xyz
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 4096 == 0 && StopRequested()) {
            return;
        }
        const Geometry& shape = *scene.objects[i];
        const BoundingSphere& sphere = shape.GetBoundingSphere();
        const bool isSphere = shape.GetKind() == ShapeKind::Sphere;
        candidates.push_back(
            {sphere.centre, BoundingSphereLimit(sphere.radius),
             isSphere ? static_cast<const Sphere&>(shape).GetRadiusSquared() : 0.0f, &shape,
             isSphere});

        const HitRegion hit = HitRegionOf(shape);
        if (hit.kind == HitRegion::Kind::Never) {
            continue;
        }
        if (hit.kind == HitRegion::Kind::Unbounded || !hit.region.Finite()) {
            unindexed.push_back(static_cast<std::uint32_t>(i));
            continue;
        }
        const Region& r = hit.region;
        double size = 0.0;
        double largest = 0.0;
        for (int a = 0; a < 3; ++a) {
            size = std::max(size, r.high[a] - r.low[a]);
            largest = std::max({largest, std::abs(r.low[a]), std::abs(r.high[a])});
        }
        const double margin = kRelativeMargin * size + kCoordinateMargin * largest + 1e-30;
        if (!(largest + margin < 1e37)) {
            unindexed.push_back(static_cast<std::uint32_t>(i));
            continue;
        }
        indexed.push_back(static_cast<std::uint32_t>(i));
        for (int a = 0; a < 3; ++a) {
            boxes.push_back(Widened(r.low[a], margin, false));
        }
        for (int a = 0; a < 3; ++a) {
            boxes.push_back(Widened(r.high[a], margin, true));
        }
    }
    if (indexed.size() <= kFewObjects) {
        unindexed.insert(unindexed.end(), indexed.begin(), indexed.end());
        std::sort(unindexed.begin(), unindexed.end());
        return;
    }

    // Boxes are addressed by position in `indexed`; the leaves store scene indices.
    std::vector<std::uint32_t> order(indexed.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    nodes.reserve(indexed.size());
    leafObjects.reserve(indexed.size());
    nodes.emplace_back();
    Build(0, 0, order, 0, order.size(), boxes);
    for (std::uint32_t& object : leafObjects) {
        object = indexed[object];
    }
    for (int a = 0; a < 3; ++a) {
        extent =
            std::max({extent, std::abs(nodes[0].bounds[0][a]), std::abs(nodes[0].bounds[1][a])});
    }
}

namespace {

float HalfArea(const float low[3], const float high[3]) {
    const float x = high[0] - low[0];
    const float y = high[1] - low[1];
    const float z = high[2] - low[2];
    return x * y + y * z + z * x;
}

}  // namespace

// Fills nodes[index] with the objects order[begin, end): a leaf when they are few enough that
// testing them all is cheaper than splitting, else two children, side by side, split where the
// surface area heuristic puts the cheapest cut among binned object centres.
void SceneIndex::Build(std::uint32_t index, int depth, std::vector<std::uint32_t>& order,
                       std::size_t begin, std::size_t end, const std::vector<float>& boxes) {
    if (StopRequested()) {
        return;
    }
    float low[3] = {kLargest, kLargest, kLargest};
    float high[3] = {-kLargest, -kLargest, -kLargest};
    float centreLow[3] = {kLargest, kLargest, kLargest};
    float centreHigh[3] = {-kLargest, -kLargest, -kLargest};
    for (std::size_t i = begin; i < end; ++i) {
        const float* box = &boxes[6 * order[i]];
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], box[a]);
            high[a] = std::max(high[a], box[3 + a]);
            const float centre = 0.5f * box[a] + 0.5f * box[3 + a];
            centreLow[a] = std::min(centreLow[a], centre);
            centreHigh[a] = std::max(centreHigh[a], centre);
        }
    }
    for (int a = 0; a < 3; ++a) {
        nodes[index].bounds[0][a] = low[a];
        nodes[index].bounds[1][a] = high[a];
    }
    const std::size_t count = end - begin;
    const auto makeLeaf = [&] {
        nodes[index].first = static_cast<std::uint32_t>(leafObjects.size());
        nodes[index].count = static_cast<std::uint32_t>(count);
        leafObjects.insert(leafObjects.end(), order.begin() + static_cast<std::ptrdiff_t>(begin),
                           order.begin() + static_cast<std::ptrdiff_t>(end));
    };
    if (count <= 2) {
        makeLeaf();
        return;
    }
    const auto centreOf = [&](std::uint32_t object, int axis) {
        return 0.5f * boxes[6 * object + axis] + 0.5f * boxes[6 * object + 3 + axis];
    };

    // The cheapest cut over all axes, by binned centres.
    int bestAxis = -1;
    int bestCut = 0;
    float bestCost = kLargest;
    for (int axis = 0; axis < 3 && depth < kMedianDepth; ++axis) {
        const float extent = centreHigh[axis] - centreLow[axis];
        const float scale = static_cast<float>(kBins) / extent;
        // Centres a few floats apart (closer than kBins / largest float) cannot be binned: the
        // scale is infinite, and the lowest centre's bin would be 0 * infinity, NaN, converted
        // to an int. Such an axis is not cut, like one where the centres coincide.
        if (!(extent > 0.0f) || !(scale < std::numeric_limits<float>::infinity())) {
            continue;
        }
        struct Bin {
            float low[3] = {kLargest, kLargest, kLargest};
            float high[3] = {-kLargest, -kLargest, -kLargest};
            std::size_t count = 0;
        };
        Bin bins[kBins];
        for (std::size_t i = begin; i < end; ++i) {
            const std::uint32_t object = order[i];
            const int bin = std::min(
                kBins - 1, static_cast<int>((centreOf(object, axis) - centreLow[axis]) * scale));
            Bin& b = bins[bin];
            ++b.count;
            for (int a = 0; a < 3; ++a) {
                b.low[a] = std::min(b.low[a], boxes[6 * object + a]);
                b.high[a] = std::max(b.high[a], boxes[6 * object + 3 + a]);
            }
        }
        // Costs of the cuts after bins 0 .. kBins - 2, sweeping from both ends.
        float rightArea[kBins];
        std::size_t rightCount[kBins];
        Bin sweep;
        for (int bin = kBins - 1; bin > 0; --bin) {
            sweep.count += bins[bin].count;
            for (int a = 0; a < 3; ++a) {
                sweep.low[a] = std::min(sweep.low[a], bins[bin].low[a]);
                sweep.high[a] = std::max(sweep.high[a], bins[bin].high[a]);
            }
            rightArea[bin] = sweep.count > 0 ? HalfArea(sweep.low, sweep.high) : 0.0f;
            rightCount[bin] = sweep.count;
        }
        Bin left;
        for (int cut = 0; cut < kBins - 1; ++cut) {
            left.count += bins[cut].count;
            for (int a = 0; a < 3; ++a) {
                left.low[a] = std::min(left.low[a], bins[cut].low[a]);
                left.high[a] = std::max(left.high[a], bins[cut].high[a]);
            }
            if (left.count == 0 || rightCount[cut + 1] == 0) {
                continue;
            }
            const float cost = HalfArea(left.low, left.high) * static_cast<float>(left.count) +
                               rightArea[cut + 1] * static_cast<float>(rightCount[cut + 1]);
            if (cost < bestCost) {
                bestCost = cost;
                bestAxis = axis;
                bestCut = cut;
            }
        }
    }

    std::size_t middle;
    if (bestAxis >= 0) {
        // Splitting costs a box test for each child; keep a small leaf when that saves nothing.
        const float leafCost = HalfArea(low, high) * static_cast<float>(count);
        if (count <= kMaxLeafSize && bestCost + HalfArea(low, high) >= leafCost) {
            makeLeaf();
            return;
        }
        const float extent = centreHigh[bestAxis] - centreLow[bestAxis];
        const float scale = static_cast<float>(kBins) / extent;
        const auto firstRight = std::partition(
            order.begin() + static_cast<std::ptrdiff_t>(begin),
            order.begin() + static_cast<std::ptrdiff_t>(end), [&](std::uint32_t object) {
                const int bin = std::min(
                    kBins - 1,
                    static_cast<int>((centreOf(object, bestAxis) - centreLow[bestAxis]) * scale));
                return bin <= bestCut;
            });
        middle = static_cast<std::size_t>(firstRight - order.begin());
    } else {
        // All centres coincide (or the tree is deep): split at the median of the widest axis.
        if (count <= kMaxLeafSize) {
            makeLeaf();
            return;
        }
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (centreHigh[a] - centreLow[a] > centreHigh[axis] - centreLow[axis]) {
                axis = a;
            }
        }
        middle = begin + count / 2;
        std::nth_element(order.begin() + static_cast<std::ptrdiff_t>(begin),
                         order.begin() + static_cast<std::ptrdiff_t>(middle),
                         order.begin() + static_cast<std::ptrdiff_t>(end),
                         [&](std::uint32_t a, std::uint32_t b) {
                             const float ca = centreOf(a, axis);
                             const float cb = centreOf(b, axis);
                             return ca < cb || (ca == cb && a < b);
                         });
    }
    if (middle == begin || middle == end) {
        middle = begin + count / 2;  // a degenerate cut: halve the list as it stands
    }

    const std::uint32_t left = static_cast<std::uint32_t>(nodes.size());
    nodes[index].first = left;
    nodes[index].count = 0;
    nodes.resize(nodes.size() + 2);
    Build(left, depth + 1, order, begin, middle, boxes);
    Build(left + 1, depth + 1, order, middle, end, boxes);
}

bool SceneIndex::EntersNode(const RaySetup& setup, const Node& node, float limit,
                            float& entry) const {
    float tNear = 0.0f;
    float tFar = limit;
    for (int a = 0; a < 3; ++a) {
        const int near = setup.nearSide[a];
        const float t0 = (node.bounds[near][a] - setup.shifted[near][a]) * setup.inverse[a];
        const float t1 = (node.bounds[1 - near][a] - setup.shifted[1 - near][a]) * setup.inverse[a];
        tNear = t0 > tNear ? t0 : tNear;
        tFar = t1 < tFar ? t1 : tFar;
    }
    entry = tNear;
    return tNear <= tFar;
}

HitRecord SceneIndex::FindNearestHit(Ray& ray) const {
    float bestT = kLargest;
    std::uint32_t best = kNone;
    const auto consider = [&](std::uint32_t index) {
        const Candidate& candidate = candidates[index];
        if (!PassesBoundingSphere(ray, candidate.centre, candidate.limit)) {
            return;
        }
        float t;
        if (!candidate.HitDistance(ray, t) || !(t < kLargest)) {
            return;
        }
        if (t < bestT || (t == bestT && index < best)) {
            bestT = t;
            best = index;
        }
    };

    for (const std::uint32_t index : unindexed) {
        consider(index);
    }
    if (!nodes.empty()) {
        const RaySetup setup(ray, extent);
        std::uint32_t stack[kStackSize];
        float entries[kStackSize];
        int size = 0;
        float entry;
        if (EntersNode(setup, nodes[0], bestT * kDistanceSlack, entry)) {
            stack[size] = 0;
            entries[size++] = entry;
        }
        while (size > 0) {
            --size;
            if (entries[size] > bestT * kDistanceSlack) {
                continue;  // a closer hit was found since this node was queued
            }
            const Node& node = nodes[stack[size]];
            if (node.count > 0) {
                for (std::uint32_t i = 0; i < node.count; ++i) {
                    consider(leafObjects[node.first + i]);
                }
                continue;
            }
            // Visit the nearer child first, so that its hits prune the other.
            const float limit = bestT * kDistanceSlack;
            float nearEntry;
            float farEntry;
            std::uint32_t nearChild = node.first;
            std::uint32_t farChild = node.first + 1;
            bool nearHit = EntersNode(setup, nodes[nearChild], limit, nearEntry);
            bool farHit = EntersNode(setup, nodes[farChild], limit, farEntry);
            if (nearHit && farHit && farEntry < nearEntry) {
                std::swap(nearChild, farChild);
                std::swap(nearEntry, farEntry);
            } else if (!nearHit && farHit) {
                std::swap(nearChild, farChild);
                std::swap(nearEntry, farEntry);
                std::swap(nearHit, farHit);
            }
            if (farHit) {
                stack[size] = farChild;
                entries[size++] = farEntry;
            }
            if (nearHit) {
                stack[size] = nearChild;
                entries[size++] = nearEntry;
            }
        }
    }

    if (best == kNone) {
        HitRecord none;
        none.hit = false;
        return none;
    }
    return candidates[best].shape->Intersect(ray);
}

bool SceneIndex::Occluded(const Ray& ray, float distanceSquared, BlockerHint& hint) const {
    const auto blocks = [&](std::uint32_t index) {
        const Candidate& candidate = candidates[index];
        if (!PassesBoundingSphere(ray, candidate.centre, candidate.limit)) {
            return false;
        }
        float t;
        return candidate.HitDistance(ray, t) && t < kLargest && t >= 0.0f &&
               t * t <= distanceSquared;
    };
    // Whether some candidate blocks does not depend on the order they are asked in: the hinted
    // one goes first, and is not asked again when it does not block.
    const std::uint32_t hinted = hint.object < candidates.size() ? hint.object : kNone;
    if (hinted != kNone && blocks(hinted)) {
        return true;
    }
    const auto blocksOther = [&](std::uint32_t index) {
        if (index == hinted || !blocks(index)) {
            return false;
        }
        hint.object = index;
        return true;
    };

    for (const std::uint32_t index : unindexed) {
        if (blocksOther(index)) {
            return true;
        }
    }
    if (nodes.empty()) {
        return false;
    }
    const RaySetup setup(ray, extent);
    const float limit = std::sqrt(distanceSquared) * kDistanceSlack;
    std::uint32_t stack[kStackSize];
    int size = 0;
    float entry;
    if (EntersNode(setup, nodes[0], limit, entry)) {
        stack[size++] = 0;
    }
    while (size > 0) {
        const Node& node = nodes[stack[--size]];
        if (node.count > 0) {
            for (std::uint32_t i = 0; i < node.count; ++i) {
                if (blocksOther(leafObjects[node.first + i])) {
                    return true;
                }
            }
            continue;
        }
        for (std::uint32_t child = node.first; child < node.first + 2; ++child) {
            if (EntersNode(setup, nodes[child], limit, entry)) {
                stack[size++] = child;
            }
        }
    }
    return false;
}

// Why a packet gets exactly the one-ray answers. Occluded asks whether any object blocks the ray
// among those it tests: the hinted one, the unindexed ones and those in every leaf whose node and
// ancestors all pass the ray's box test. Whether one of a set blocks does not depend on the order
// the set is asked in, nor on stopping at the first blocker. A packet asks each ray about the
// same set: the hinted object and the unindexed ones for every ray, and a node for the rays that
// entered its parent, each ray with its own box test. The lane kernels do each ray's bounding
// sphere and box tests with the one-ray arithmetic to the bit, and the shape's distance test is
// the one-ray call. So a ray is blocked in the packet exactly when Occluded says so; the hint may
// end up naming another blocker than a ray-by-ray search would, which any hint allows.
struct SceneIndex::PacketSearch {
    const std::vector<Candidate>& candidates;
    const ShadowKernels& kernels;
    const ShadowPacket& packet;
    const Vec4* directions;
    float distanceSquared;
    std::uint32_t hinted;
    BlockerHint& hint;
    LaneMask open;  // the rays not yet blocked

    // The rays among `lanes` that the object blocks.
    LaneMask Blocked(std::uint32_t index, LaneMask lanes) const {
        const Candidate& candidate = candidates[index];
        LaneMask passing =
            kernels.passesBoundingSphere(packet, lanes, candidate.centre, candidate.limit);
        LaneMask blocked = 0;
        for (; passing != 0; passing &= passing - 1) {
            const int lane = std::countr_zero(passing);
            float t;
            if (candidate.HitDistance(Ray{packet.origin, directions[lane]}, t) && t < kLargest &&
                t >= 0.0f && t * t <= distanceSquared) {
                blocked |= LaneMask{1} << lane;
            }
        }
        return blocked;
    }

    // Asks an object other than the hinted one (already asked for every ray) about the open rays
    // among `lanes`, and closes those it blocks.
    void Ask(std::uint32_t index, LaneMask lanes) {
        lanes &= open;
        if (index == hinted || lanes == 0) {
            return;
        }
        const LaneMask blocked = Blocked(index, lanes);
        if (blocked != 0) {
            open &= ~blocked;
            hint.object = index;
        }
    }
};

// The binary tree's part of the packet search, kept apart from the lane kernels: a node is
// entered by the open rays among those that entered its parent and pass its own box test.
void SceneIndex::WalkTreeForShadows(PacketSearch& search, float limit) const {
    struct Entry {
        std::uint32_t node;
        LaneMask lanes;
    };
    Entry stack[kStackSize];
    int size = 0;
    const LaneMask atRoot =
        search.kernels.entersBox(search.packet, search.open, nodes[0].bounds, limit);
    if (atRoot != 0) {
        stack[size++] = {0, atRoot};
    }
    while (size > 0 && search.open != 0) {
        const Entry entry = stack[--size];
        const LaneMask lanes = entry.lanes & search.open;
        if (lanes == 0) {
            continue;
        }
        const Node& node = nodes[entry.node];
        if (node.count > 0) {
            for (std::uint32_t i = 0; i < node.count; ++i) {
                search.Ask(leafObjects[node.first + i], lanes);
            }
            continue;
        }
        for (std::uint32_t child = node.first; child < node.first + 2; ++child) {
            const LaneMask entering =
                search.kernels.entersBox(search.packet, lanes, nodes[child].bounds, limit);
            if (entering != 0) {
                stack[size++] = {child, entering};
            }
        }
    }
}

std::uint32_t SceneIndex::OccludedMask(const Vec4& origin, const Vec4* directions, int count,
                                       float distanceSquared, BlockerHint& hint) const {
    ShadowPacket packet;
    packet.origin = origin;
    packet.count = std::min(count, ShadowPacket::kMaxRays);
    for (int lane = 0; lane < packet.count; ++lane) {
        const Vec4& d = directions[lane];
        packet.direction[0][lane] = d.x;
        packet.direction[1][lane] = d.y;
        packet.direction[2][lane] = d.z;
    }
    if (!nodes.empty()) {
        // The box tests' data from the one-ray setup itself; its planes depend on the origin
        // only, so every ray's are the same.
        for (int lane = 0; lane < packet.count; ++lane) {
            const RaySetup setup(Ray{origin, directions[lane]}, extent);
            for (int a = 0; a < 3; ++a) {
                packet.inverse[a][lane] = setup.inverse[a];
                packet.shiftedPlanes[0][a] = setup.shifted[0][a];
                packet.shiftedPlanes[1][a] = setup.shifted[1][a];
            }
        }
    }
    const std::uint32_t hinted = hint.object < candidates.size() ? hint.object : kNone;
    PacketSearch search{candidates, ActiveShadowKernels(), packet,
                        directions, distanceSquared,       hinted,
                        hint,       packet.AllLanes()};
    if (hinted != kNone) {
        search.open &= ~search.Blocked(hinted, search.open);
    }
    for (const std::uint32_t index : unindexed) {
        search.Ask(index, search.open);
    }
    if (search.open != 0 && !nodes.empty()) {
        WalkTreeForShadows(search, std::sqrt(distanceSquared) * kDistanceSlack);
    }
    return packet.AllLanes() & ~search.open;
}

}  // namespace lumivex
