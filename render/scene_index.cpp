#include "render/scene_index.h"

#include <immintrin.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <type_traits>

#include "geometry/sphere.h"
#include "render/hit_region.h"
#include "render/nearest_hit.h"

// The one-ray searches are compiled twice. The SSE2 copy tests a node's eight boxes as two
// halves with SSE2 intrinsics. The AVX2 copy is inlined into Avx2Searches, whose functions carry
// the AVX2 target attribute, and tests them in one step written with GCC vector extensions
// (never by compiling this file with -mavx2: an inline function from a header, emitted here with
// AVX2 instructions, could then be the copy the linker keeps for the whole program). Its helpers
// pass 32-byte vectors by value, which g++ and clang warn changes the calling convention without
// AVX; they are always inlined, so no such call is made.
#pragma GCC diagnostic ignored "-Wpsabi"

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
constexpr std::uint32_t kLeafLanes = 4;  // objects in a leaf block
// With this few objects a hierarchy costs more than it saves: they are simply all tested.
constexpr std::size_t kFewObjects = 8;
constexpr int kBins = 16;
// Past this depth the build splits at the median, which bounds the depth (and the traversal
// stack) whatever the objects' layout.
constexpr int kMedianDepth = 64;
// Below that depth median cuts halve the objects, so no leaf lies deeper than kMedianDepth + 33
// binary levels, nor (each wide node spanning at least one of them) that many wide levels. A
// search takes one wide node off its stack and puts back up to eight children.
constexpr int kStackSize = 7 * (kMedianDepth + 33) + 8;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

float Widened(double value, double margin, bool up) {
    const double widened = up ? value + margin : value - margin;
    const float f = static_cast<float>(widened);
    return std::nextafter(
        f, up ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity());
}

// The binary hierarchy the wide one is collapsed from.
struct BinaryNode {
    float bounds[2][3];  // low corner, high corner
    // Inner nodes have count 0 and their children at first and first + 1; leaves list count
    // objects from leafObjects[first].
    std::uint32_t first;
    std::uint32_t count;
};

class BinaryTree {
  public:
    // Builds the hierarchy over the objects whose boxes (six floats each: low xyz, high xyz) are
    // given, unless `stop` becomes true first.
    BinaryTree(const std::vector<float>& boxes, const std::atomic<bool>* stop)
        : boxes(boxes), order(boxes.size() / 6), stop(stop) {
        std::iota(order.begin(), order.end(), 0u);
        nodes.reserve(order.size());
        leafObjects.reserve(order.size());
        nodes.emplace_back();
        Build(0, 0, 0, order.size());
        if (stopped) {
            return;
        }
        // Children come after their parent, so one backward pass sums the subtrees; a subtree's
        // objects lie side by side in leafObjects, as the build lists them depth first.
        below.resize(nodes.size());
        for (std::size_t i = nodes.size(); i-- > 0;) {
            const BinaryNode& node = nodes[i];
            below[i] = node.count > 0
                           ? Objects{node.first, node.count}
                           : Objects{below[node.first].first,
                                     below[node.first].count + below[node.first + 1].count};
        }
    }

    bool Stopped() const { return stopped; }

    std::vector<BinaryNode> nodes;           // the root first
    std::vector<std::uint32_t> leafObjects;  // positions in the list of boxes
    // The objects below each node: leafObjects[first, first + count).
    struct Objects {
        std::uint32_t first;
        std::uint32_t count;
    };
    std::vector<Objects> below;

  private:
    void Build(std::uint32_t index, int depth, std::size_t begin, std::size_t end);
    bool StopRequested() {
        stopped = stopped || (stop != nullptr && stop->load(std::memory_order_relaxed));
        return stopped;
    }

    const std::vector<float>& boxes;
    std::vector<std::uint32_t> order;
    const std::atomic<bool>* stop;
    bool stopped = false;
};

// Eight floats, one per child of a wide node.
typedef float Floats8 __attribute__((vector_size(32)));
typedef std::int32_t Mask8 __attribute__((vector_size(32)));

float HalfArea(const float low[3], const float high[3]) {
    const float x = high[0] - low[0];
    const float y = high[1] - low[1];
    const float z = high[2] - low[2];
    return x * y + y * z + z * x;
}

}  // namespace

namespace {

// `value` in all eight lanes, stored as the node test loads them: in one 32-byte store for the
// AVX2 test, whose 32-byte load a processor serves straight from that store (from two 16-byte
// stores it would wait until both reached the cache, at the first node of every ray and after
// every closer hit), and in two 16-byte stores for the SSE2 test, which loads four lanes at once.
template <bool kAvx2>
[[gnu::always_inline]] inline void FillLanes(float (&lanes)[8], float value) {
    if constexpr (kAvx2) {
        const Floats8 all = {value, value, value, value, value, value, value, value};
        std::memcpy(lanes, &all, sizeof all);
    } else {
        const __m128 four = _mm_set1_ps(value);
        _mm_store_ps(lanes, four);
        _mm_store_ps(lanes + 4, four);
    }
}

}  // namespace

// What every box test of one ray shares. A box is widened by `margin` on every side: its low
// planes are tested against origin + margin and its high ones against origin - margin.
struct SceneIndex::RaySetup {
    // Per axis, in all eight lanes: the origin shifted for the plane the ray meets first, for
    // the other plane, and the inverse direction.
    alignas(32) float nearOrigin[3][kWidth];
    alignas(32) float farOrigin[3][kWidth];
    alignas(32) float inverse[3][kWidth];
    // Per axis, where a node's bounds hold the planes met first and last (in floats from
    // bounds[0][0]): the low corner's when the direction is positive, the high one's otherwise.
    int nearPlanes[3];
    int farPlanes[3];
    // Whether every shifted origin and inverse direction is finite and no inverse is zero: then
    // a box test's products are never NaN, whatever the bounds (an unused slot's are infinite).
    // Worked out for the AVX2 test only, which alone reads it.
    bool noNaN = true;

    // The widening of every box for rays from `origin`: a part of its and the scene's coordinates.
    static float Margin(const Vec4& origin, float extent) {
        const float largest =
            std::max({std::abs(origin.x), std::abs(origin.y), std::abs(origin.z)});
        return kRayMargin * (largest + extent) + 1e-30f;
    }

    template <bool kAvx2>
    [[gnu::always_inline]] RaySetup(const Ray& ray, float extent, std::bool_constant<kAvx2>) {
        const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
        const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
        const float margin = Margin(ray.origin, extent);
        for (int a = 0; a < 3; ++a) {
            const float shifted[2] = {o[a] + margin, o[a] - margin};
            // A zero component gives an infinite inverse, under which a box's slab either holds
            // the whole ray or none of it; only an origin exactly on a widened plane gives NaN,
            // which the comparisons in EnteredChildren ignore, keeping the box.
            const float inverseA = 1.0f / d[a];
            const int nearSide = inverseA < 0.0f ? 1 : 0;  // 0: the low corner, 1: the high one
            FillLanes<kAvx2>(nearOrigin[a], shifted[nearSide]);
            FillLanes<kAvx2>(farOrigin[a], shifted[1 - nearSide]);
            FillLanes<kAvx2>(inverse[a], inverseA);
            if constexpr (kAvx2) {
                noNaN = noNaN && std::isfinite(shifted[0]) && std::isfinite(shifted[1]) &&
                        std::isfinite(inverseA) && inverseA != 0.0f;
            }
            nearPlanes[a] = (3 * nearSide + a) * kWidth;
            farPlanes[a] = (3 * (1 - nearSide) + a) * kWidth;
        }
    }
};

namespace {

// A ray's origin and direction in all four lanes, for testing four objects at once.
struct RayLanes {
    __m128 origin[3];
    __m128 direction[3];

    explicit RayLanes(const Ray& ray)
        : origin{_mm_set1_ps(ray.origin.x), _mm_set1_ps(ray.origin.y), _mm_set1_ps(ray.origin.z)},
          direction{_mm_set1_ps(ray.direction.x), _mm_set1_ps(ray.direction.y),
                    _mm_set1_ps(ray.direction.z)} {}
};

// (a.x * b.x + a.y * b.y) + a.z * b.z in each lane: Vec4's Dot, in its order.
inline __m128 Dot(const __m128 a[3], const __m128 b[3]) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a[0], b[0]), _mm_mul_ps(a[1], b[1])),
                      _mm_mul_ps(a[2], b[2]));
}

}  // namespace

SceneIndex::SceneIndex(const Scene& scene, const std::atomic<bool>* stop)
    : stop(stop), avx2(ActiveSimdPath() == SimdPath::Avx2) {
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
    // A leaf's first block must fit beside its block count in a child's 32 bits; past that many
    // objects (hundreds of millions) every one is tested, as the list walk does.
    if (indexed.size() <= kFewObjects || indexed.size() > LeafFirstBlock(~0u)) {
        unindexed.insert(unindexed.end(), indexed.begin(), indexed.end());
        std::sort(unindexed.begin(), unindexed.end());
        return;
    }

    const BinaryTree tree(boxes, stop);
    if (tree.Stopped()) {
        stopped = true;
        return;
    }
    indexedCount = indexed.size();
    for (int a = 0; a < 3; ++a) {
        extent = std::max(
            {extent, std::abs(tree.nodes[0].bounds[0][a]), std::abs(tree.nodes[0].bounds[1][a])});
    }

    // Collapse the binary tree into wide nodes, breadth first so that siblings lie side by side:
    // each wide node takes a binary node's children and, while it has a free slot, replaces the
    // inner one of largest surface with that one's two children. A subtree of at most four
    // objects becomes one leaf, which costs a single four-lane test. Every child keeps its
    // binary box, so each box still contains its objects' boxes. Eight children a node rather
    // than four make the tree half as deep; a search's cost goes more with the nodes it steps
    // through than with the boxes each step tests.
    static_assert((kMaxLeafSize + kLeafLanes - 1) / kLeafLanes <= 7, "a leaf's block count fits");
    const auto isLeaf = [&](std::uint32_t binary) {
        return tree.nodes[binary].count > 0 || tree.below[binary].count <= kLeafLanes;
    };
    struct Pending {
        std::uint32_t wide;
        std::uint32_t binary;
    };
    std::vector<Pending> pending{{0, 0}};
    wideNodes.emplace_back();
    for (std::size_t p = 0; p < pending.size(); ++p) {
        const BinaryNode& parent = tree.nodes[pending[p].binary];
        std::uint32_t slots[kWidth] = {pending[p].binary};
        int used = 1;
        if (!isLeaf(pending[p].binary)) {
            slots[0] = parent.first;
            slots[1] = parent.first + 1;
            used = 2;
        }
        while (used < kWidth) {
            int widest = -1;
            float widestArea = -1.0f;
            for (int i = 0; i < used; ++i) {
                const BinaryNode& node = tree.nodes[slots[i]];
                const float area = HalfArea(node.bounds[0], node.bounds[1]);
                if (!isLeaf(slots[i]) && area > widestArea) {
                    widest = i;
                    widestArea = area;
                }
            }
            if (widest < 0) {
                break;
            }
            const std::uint32_t first = tree.nodes[slots[widest]].first;
            for (int i = used; i > widest + 1; --i) {
                slots[i] = slots[i - 1];
            }
            slots[widest] = first;
            slots[widest + 1] = first + 1;
            ++used;
        }

        // An unused slot's box runs from +infinity to -infinity: along every axis, whatever the
        // direction's sign, its near plane gives t = +infinity and its far plane -infinity, so
        // the entry test fails. (A ray of NaN enters it; the slot is then an empty leaf.)
        WideNode wide;
        for (int i = 0; i < kWidth; ++i) {
            for (int a = 0; a < 3; ++a) {
                wide.bounds[0][a][i] = kInfinity;
                wide.bounds[1][a][i] = -kInfinity;
            }
            wide.child[i] = kLeafBit;
        }
        for (int i = 0; i < used; ++i) {
            const BinaryNode& node = tree.nodes[slots[i]];
            for (int a = 0; a < 3; ++a) {
                wide.bounds[0][a][i] = node.bounds[0][a];
                wide.bounds[1][a][i] = node.bounds[1][a];
            }
            if (!isLeaf(slots[i])) {
                wide.child[i] = static_cast<std::uint32_t>(wideNodes.size());
                pending.push_back({wide.child[i], slots[i]});
                wideNodes.emplace_back();
                continue;
            }
            const BinaryTree::Objects objects = tree.below[slots[i]];
            const std::uint32_t blocks = (objects.count + kLeafLanes - 1) / kLeafLanes;
            wide.child[i] = kLeafBit | blocks << kBlockCountShift |
                            static_cast<std::uint32_t>(leafBlocks.size());
            for (std::uint32_t b = 0; b < blocks; ++b) {
                LeafBlock block{};
                for (int lane = 0; lane < 4; ++lane) {
                    const std::uint32_t k = 4 * b + static_cast<std::uint32_t>(lane);
                    if (k >= objects.count) {
                        block.limit[lane] = -kInfinity;
                        continue;
                    }
                    const std::uint32_t object = indexed[tree.leafObjects[objects.first + k]];
                    const Candidate& candidate = candidates[object];
                    block.centre[0][lane] = candidate.centre.x;
                    block.centre[1][lane] = candidate.centre.y;
                    block.centre[2][lane] = candidate.centre.z;
                    block.limit[lane] = candidate.limit;
                    block.radiusSquared[lane] = candidate.radiusSquared;
                    block.object[lane] = object;
                    block.sphereLanes |= candidate.sphere ? 1u << lane : 0u;
                }
                leafBlocks.push_back(block);
            }
        }
        wideNodes[pending[p].wide] = wide;
    }
}

namespace {

// Fills nodes[index] with the objects order[begin, end): a leaf when they are few enough that
// testing them all is cheaper than splitting, else two children, side by side, split where the
// surface area heuristic puts the cheapest cut among binned object centres.
void BinaryTree::Build(std::uint32_t index, int depth, std::size_t begin, std::size_t end) {
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
    Build(left, depth + 1, begin, middle);
    Build(left + 1, depth + 1, middle, end);
}

}  // namespace

// Inlined into the searches, which call it for every node: the call's overhead is saved.
template <bool kAvx2>
[[gnu::always_inline]] inline int SceneIndex::EnteredChildren(const RaySetup& setup,
                                                              const WideNode& node,
                                                              const float (&limit)[kWidth],
                                                              float entry[kWidth]) {
    // Lane by lane the same arithmetic as a single box's slab test: t0 and t1 are the same
    // products of the same differences, and the bounds are kept as maxps and minps keep them:
    // t0 > tNear ? t0 : tNear, so tNear stays when either is NaN, as in the one-box test, and
    // likewise t1 < tFar ? t1 : tFar. So each child is entered exactly when its own test says so
    // (on the AVX2 path, with integer bounds, also in one case it would not: see below).
    const float* bounds = &node.bounds[0][0][0];
    if constexpr (kAvx2) {
        // Written with vector extensions, which the AVX2 target compiles to single operations
        // on all eight lanes (the conditionals to maxps and minps).
        const auto load = [](const float* from) {
            Floats8 lanes;
            std::memcpy(&lanes, from, sizeof lanes);
            return lanes;
        };
        Floats8 t0[3];
        Floats8 t1[3];
#pragma GCC unroll 3
        for (int a = 0; a < 3; ++a) {
            const Floats8 inverse = load(setup.inverse[a]);
            t0[a] = (load(bounds + setup.nearPlanes[a]) - load(setup.nearOrigin[a])) * inverse;
            t1[a] = (load(bounds + setup.farPlanes[a]) - load(setup.farOrigin[a])) * inverse;
        }
        Floats8 tNear = Floats8{};
        Floats8 tFar = load(limit);
        if (setup.noNaN) {
            // No lane holds NaN, so the bounds can be kept with integer maxima and minima of
            // the floats' bits, which take a quarter of the time. tNear is the same: it starts
            // at +0, against which a t0 with the sign bit clear orders as a float does and one
            // with it set (below zero, or -0) loses both ways. tFar is the float minimum while
            // no t1 has its sign bit set; otherwise its sign bit is set too, and the child is
            // entered only where tNear is 0 and the least bits are -0's. A child the float
            // bounds enter has every t1 at least tNear, so a -0 is its only signed t1 and it is
            // entered here too; one entered here and not there only costs a few needless tests.
            const auto bits = [](const Floats8& lanes) {
                Mask8 b;
                std::memcpy(&b, &lanes, sizeof b);
                return b;
            };
            const auto larger = [](const Mask8& a, const Mask8& b) { return a > b ? a : b; };
            const auto smaller = [](const Mask8& a, const Mask8& b) { return a < b ? a : b; };
            const Mask8 nearBits =
                larger(larger(bits(t0[0]), bits(t0[1])), larger(bits(t0[2]), bits(tNear)));
            const Mask8 farBits =
                smaller(smaller(bits(t1[0]), bits(t1[1])), smaller(bits(t1[2]), bits(tFar)));
            std::memcpy(&tNear, &nearBits, sizeof tNear);
            std::memcpy(&tFar, &farBits, sizeof tFar);
        } else {
#pragma GCC unroll 3
            for (int a = 0; a < 3; ++a) {
                tNear = t0[a] > tNear ? t0[a] : tNear;
                tFar = t1[a] < tFar ? t1[a] : tFar;
            }
        }
        std::memcpy(entry, &tNear, sizeof tNear);
        const Mask8 entered = tNear <= tFar;
#if !defined(__clang__)
        // The comparison's eight sign bits in one step. (g++ checks that a builtin's instruction
        // set is enabled where the builtin ends up, after inlining; clang checks it in this
        // template and so reads the bits four lanes at a time.)
        Floats8 enteredLanes;
        std::memcpy(&enteredLanes, &entered, sizeof enteredLanes);
        return __builtin_ia32_movmskps256(enteredLanes);
#else
        __m128 low;
        __m128 high;
        std::memcpy(&low, &entered, sizeof low);
        std::memcpy(&high, reinterpret_cast<const char*>(&entered) + sizeof low, sizeof high);
        return _mm_movemask_ps(low) | _mm_movemask_ps(high) << 4;
#endif
    } else {
        int entered = 0;
        for (int half = 0; half < kWidth; half += 4) {
            __m128 tNear = _mm_setzero_ps();
            __m128 tFar = _mm_load_ps(limit);
            for (int a = 0; a < 3; ++a) {
                const __m128 inverse = _mm_load_ps(setup.inverse[a]);
                const __m128 t0 =
                    _mm_mul_ps(_mm_sub_ps(_mm_load_ps(bounds + setup.nearPlanes[a] + half),
                                          _mm_load_ps(setup.nearOrigin[a])),
                               inverse);
                const __m128 t1 =
                    _mm_mul_ps(_mm_sub_ps(_mm_load_ps(bounds + setup.farPlanes[a] + half),
                                          _mm_load_ps(setup.farOrigin[a])),
                               inverse);
                tNear = _mm_max_ps(t0, tNear);
                tFar = _mm_min_ps(t1, tFar);
            }
            _mm_storeu_ps(entry + half, tNear);
            entered |= _mm_movemask_ps(_mm_cmple_ps(tNear, tFar)) << half;
        }
        return entered;
    }
}

namespace {

// PassesBoundingSphere for the four objects of a block at once (bit i for lane i), each lane in
// the scalar test's operation order. Vec4's a - b is a + (-b), which rounds exactly as a - b,
// and origin - centre is exactly -(centre - origin) (rounding to nearest is symmetric), so its
// square is that of centre - origin. (A template only because the block's type is private.)
template <typename Block>
[[gnu::always_inline]] inline int PassingLanes(const RayLanes& ray, const Block& block) {
    const __m128 centre[3] = {_mm_load_ps(block.centre[0]), _mm_load_ps(block.centre[1]),
                              _mm_load_ps(block.centre[2])};
    const __m128 toCentre[3] = {_mm_sub_ps(centre[0], ray.origin[0]),
                                _mm_sub_ps(centre[1], ray.origin[1]),
                                _mm_sub_ps(centre[2], ray.origin[2])};
    const __m128 s = Dot(ray.direction, toCentre);
    // s > 0: the distance from the centre to the ray's closest point, origin + s * direction.
    __m128 offset[3];
#pragma GCC unroll 3
    for (int a = 0; a < 3; ++a) {
        offset[a] =
            _mm_sub_ps(centre[a], _mm_add_ps(ray.origin[a], _mm_mul_ps(s, ray.direction[a])));
    }
    const __m128 toClosest = Dot(offset, offset);
    // Otherwise (NaN included, as in the scalar test) the distance to the origin.
    const __m128 toOrigin = Dot(toCentre, toCentre);
    const __m128 ahead = _mm_cmpgt_ps(s, _mm_setzero_ps());
    const __m128 distanceSquared =
        _mm_or_ps(_mm_and_ps(ahead, toClosest), _mm_andnot_ps(ahead, toOrigin));
    return _mm_movemask_ps(_mm_cmple_ps(distanceSquared, _mm_load_ps(block.limit)));
}

// Writes the children that `mask` marks, with their entries, to children[0, count) and
// entries[0, count), farthest first, so that the nearest ends on top of a stack; returns count.
// An insertion sort puts a child after those that start farther or as far, that is: at the
// number of marked children that start farther, or as far and earlier in the node. The AVX2
// copy counts that place for all eight children at once, with no branch to mispredict, and
// writes every one, those not marked kSpareSlots - 1 places on: the arrays need that many places
// past count. (It is built by g++ only, whose vector shuffle clang spells otherwise.)
constexpr int kSpareSlots = 16;
template <bool kAvx2>
[[gnu::always_inline]] inline int SortedFarthestFirst(int mask, const float entry[],
                                                      std::uint32_t children[], float entries[],
                                                      const std::uint32_t child[]) {
#if !defined(__clang__)
    if constexpr (kAvx2) {
        Floats8 start;
        std::memcpy(&start, entry, sizeof start);
        const Mask8 lane = {0, 1, 2, 3, 4, 5, 6, 7};
        const Mask8 marked = ((Mask8{} + mask) >> lane & 1) != 0;
        Mask8 place = {};
#pragma GCC unroll 7
        for (int step = 1; step < 8; ++step) {
            // Each lane against the child `step` lanes on, round the node.
            const Mask8 other = (lane + step) & 7;
            const Floats8 otherStart = __builtin_shuffle(start, other);
            const Mask8 otherEarlier = lane >= 8 - step;
            const Mask8 before = (otherStart > start) | ((otherStart == start) & otherEarlier);
            place -= before & __builtin_shuffle(marked, other);  // true is -1
        }
        place = marked != 0 ? place : Mask8{} + (kSpareSlots - 1);
        alignas(32) std::int32_t places[8];
        std::memcpy(places, &place, sizeof places);
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            children[places[i]] = child[i];
            entries[places[i]] = entry[i];
        }
        return __builtin_popcount(static_cast<unsigned>(mask));
    }
#endif
    int count = 0;
    for (; mask != 0; mask &= mask - 1) {
        const int i = __builtin_ctz(static_cast<unsigned>(mask));
        int k = count++;
        for (; k > 0 && entries[k - 1] < entry[i]; --k) {
            children[k] = children[k - 1];
            entries[k] = entries[k - 1];
        }
        children[k] = child[i];
        entries[k] = entry[i];
    }
    return count;
}

}  // namespace

bool SceneIndex::Candidate::HitDistance(const Ray& ray, float& t) const {
    return sphere ? SphereHitDistance(ray, centre, radiusSquared, t) : shape->HitDistance(ray, t);
}

inline bool SceneIndex::LaneHitDistance(const Ray& ray, const LeafBlock& block, int lane,
                                        float& t) const {
    if ((block.sphereLanes >> lane & 1u) != 0) {
        const Vec4 centre =
            Point(block.centre[0][lane], block.centre[1][lane], block.centre[2][lane]);
        return SphereHitDistance(ray, centre, block.radiusSquared[lane], t);
    }
    return candidates[block.object[lane]].shape->HitDistance(ray, t);
}

template <bool kAvx2>
[[gnu::always_inline]] inline HitRecord SceneIndex::SearchNearest(Ray& ray) const {
    float bestT = kLargest;
    std::uint32_t best = kNone;
    // How far a box may start and still be searched, in all eight lanes for the node test.
    alignas(32) float limit[kWidth];
    FillLanes<kAvx2>(limit, kLargest * kDistanceSlack);
    const auto keep = [&](std::uint32_t index, float t) {
        if (t < bestT || (t == bestT && index < best)) {
            bestT = t;
            best = index;
            FillLanes<kAvx2>(limit, t * kDistanceSlack);
        }
    };

    for (const std::uint32_t index : unindexed) {
        const Candidate& candidate = candidates[index];
        float t;
        if (PassesBoundingSphere(ray, candidate.centre, candidate.limit) &&
            candidate.HitDistance(ray, t) && t < kLargest) {
            keep(index, t);
        }
    }
    if (!wideNodes.empty()) {
        const RaySetup setup(ray, extent, std::bool_constant<kAvx2>{});
        const RayLanes lanes(ray);
        std::uint32_t stack[kStackSize + kSpareSlots];
        float entries[kStackSize + kSpareSlots];
        int size = 0;
        std::uint32_t child = 0;  // the root
        for (;;) {
            if ((child & kLeafBit) != 0) {
                const LeafBlock* block = &leafBlocks[LeafFirstBlock(child)];
                for (const LeafBlock* end = block + LeafBlockCount(child); block != end; ++block) {
                    for (int passing = PassingLanes(lanes, *block); passing != 0;
                         passing &= passing - 1) {
                        const int lane = __builtin_ctz(static_cast<unsigned>(passing));
                        float t;
                        if (LaneHitDistance(ray, *block, lane, t) && t < kLargest) {
                            keep(block->object[lane], t);
                        }
                    }
                }
            } else {
                // Queue the children entered, the nearest on top, and go straight into it: its
                // hits may prune the others.
                float entry[kWidth];
                const WideNode& node = wideNodes[child];
                const int entered = EnteredChildren<kAvx2>(setup, node, limit, entry);
                if (entered != 0 && (entered & (entered - 1)) == 0) {
                    // One child entered: nothing to order or queue.
                    child = node.child[__builtin_ctz(static_cast<unsigned>(entered))];
                    continue;
                }
                // Past the lowest child entered (bit masks, not a population count: SSE2 code
                // has no popcnt instruction and would call a library function for it).
                const int others = entered & (entered - 1);
                if (others != 0 && (others & (others - 1)) == 0) {
                    // Two: queue the farther, without a loop whose end is hard to predict.
                    const int first = __builtin_ctz(static_cast<unsigned>(entered));
                    const int second = __builtin_ctz(static_cast<unsigned>(others));
                    const bool secondNearer = entry[second] < entry[first];
                    const int nearer = secondNearer ? second : first;
                    const int farther = secondNearer ? first : second;
                    stack[size] = node.child[farther];
                    entries[size] = entry[farther];
                    ++size;
                    child = node.child[nearer];
                    continue;
                }
                if (others != 0) {  // three or more
                    const int count = SortedFarthestFirst<kAvx2>(entered, entry, stack + size,
                                                                 entries + size, node.child);
                    size += count - 1;
                    child = stack[size];
                    continue;
                }
            }
            // Skip the queued nodes that start beyond a closer hit found since.
            while (size > 0 && entries[size - 1] > limit[0]) {
                --size;
            }
            if (size == 0) {
                break;
            }
            child = stack[--size];
        }
    }

    if (best == kNone) {
        HitRecord none;
        none.hit = false;
        return none;
    }
    // A sphere's record follows from the distance found, which is the one Intersect would find
    // again: the same arithmetic on the same ray, centre and squared radius.
    const Candidate& nearest = candidates[best];
    return nearest.sphere ? static_cast<const Sphere*>(nearest.shape)->RecordAt(ray, bestT)
                          : nearest.shape->Intersect(ray);
}

template <bool kAvx2>
[[gnu::always_inline]] inline bool SceneIndex::SearchOccluded(const Ray& ray, float distanceSquared,
                                                              BlockerHint& hint) const {
    const auto blocksAt = [&](float t) {
        return t < kLargest && t >= 0.0f && t * t <= distanceSquared;
    };
    const auto blocks = [&](std::uint32_t index) {
        const Candidate& candidate = candidates[index];
        if (!PassesBoundingSphere(ray, candidate.centre, candidate.limit)) {
            return false;
        }
        float t;
        return candidate.HitDistance(ray, t) && blocksAt(t);
    };
    // Whether some candidate blocks does not depend on the order they are asked in: the hinted
    // one goes first, and is not asked again when it does not block.
    const std::uint32_t hinted = hint.object < candidates.size() ? hint.object : kNone;
    if (hinted != kNone && blocks(hinted)) {
        return true;
    }

    for (const std::uint32_t index : unindexed) {
        if (index != hinted && blocks(index)) {
            hint.object = index;
            return true;
        }
    }
    if (wideNodes.empty()) {
        return false;
    }
    const RaySetup setup(ray, extent, std::bool_constant<kAvx2>{});
    const RayLanes lanes(ray);
    alignas(32) float limit[kWidth];
    FillLanes<kAvx2>(limit, std::sqrt(distanceSquared) * kDistanceSlack);
    std::uint32_t stack[kStackSize];
    int size = 0;
    std::uint32_t child = 0;  // the root
    for (;;) {
        if ((child & kLeafBit) != 0) {
            const LeafBlock* block = &leafBlocks[LeafFirstBlock(child)];
            for (const LeafBlock* end = block + LeafBlockCount(child); block != end; ++block) {
                for (int passing = PassingLanes(lanes, *block); passing != 0;
                     passing &= passing - 1) {
                    const int lane = __builtin_ctz(static_cast<unsigned>(passing));
                    const std::uint32_t index = block->object[lane];
                    float t;
                    if (index != hinted && LaneHitDistance(ray, *block, lane, t) && blocksAt(t)) {
                        hint.object = index;
                        return true;
                    }
                }
            }
        } else {
            // Any order finds a blocker if there is one. Fully sorting the children costs more
            // than it saves, but going into the nearest first finds blockers sooner.
            float entry[kWidth];
            const WideNode& node = wideNodes[child];
            int entered = EnteredChildren<kAvx2>(setup, node, limit, entry);
            if (entered != 0) {
                // The others are queued in slot order.
                int nearest = __builtin_ctz(static_cast<unsigned>(entered));
                for (int rest = entered & (entered - 1); rest != 0; rest &= rest - 1) {
                    const int i = __builtin_ctz(static_cast<unsigned>(rest));
                    nearest = entry[i] < entry[nearest] ? i : nearest;
                }
                for (entered &= ~(1 << nearest); entered != 0; entered &= entered - 1) {
                    stack[size++] = node.child[__builtin_ctz(static_cast<unsigned>(entered))];
                }
                child = node.child[nearest];
                continue;
            }
        }
        if (size == 0) {
            return false;
        }
        child = stack[--size];
    }
}

// The AVX2 searches: the one-ray searches inlined into functions compiled for AVX2, where the
// node test takes one step for eight children.
struct SceneIndex::Avx2Searches {
    [[gnu::target("avx2")]] static HitRecord Nearest(const SceneIndex& index, Ray& ray) {
        return index.SearchNearest<true>(ray);
    }
    [[gnu::target("avx2")]] static bool Occluded(const SceneIndex& index, const Ray& ray,
                                                 float distanceSquared, BlockerHint& hint) {
        return index.SearchOccluded<true>(ray, distanceSquared, hint);
    }
};

HitRecord SceneIndex::FindNearestHit(Ray& ray) const {
    return avx2 ? Avx2Searches::Nearest(*this, ray) : SearchNearest<false>(ray);
}

bool SceneIndex::Occluded(const Ray& ray, float distanceSquared, BlockerHint& hint) const {
    return avx2 ? Avx2Searches::Occluded(*this, ray, distanceSquared, hint)
                : SearchOccluded<false>(ray, distanceSquared, hint);
}

// Why a packet gets exactly the one-ray answers. Occluded asks whether any object blocks the ray
// among those it tests: the hinted one, the unindexed ones and those in every leaf whose node and
// ancestors all pass the ray's box test. Whether one of a set blocks does not depend on the order
// the set is asked in, nor on stopping at the first blocker. A packet asks each ray about the
// same set: the hinted object and the unindexed ones for every ray, and a node for the rays that
// entered its parent, each ray with its own box test. The lane kernels do each ray's bounding
// sphere and box tests with the one-ray arithmetic to the bit, and the shape's distance test is
// the one-ray call. (The AVX2 one-ray test may also enter a box whose bounds end at -0, see
// EnteredChildren; but no object in a box the float test rejects can block, as a box is rejected
// only when it holds no hit within reach.) So a ray is blocked in the packet exactly when Occluded
// says so; the hint may end up naming another blocker than a ray-by-ray search would, which any
// hint allows.
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

// The tree's part of the packet search, kept apart from the lane kernels: a child is entered by
// the open rays among those that entered its node and pass its own box test. The root's box is
// not tested, as in Occluded: its children's boxes lie inside it.
void SceneIndex::WalkTreeForShadows(PacketSearch& search, float limit) const {
    struct Entry {
        std::uint32_t child;
        LaneMask lanes;
    };
    // A node is taken off the stack before its eight children go on, so the stack grows by at
    // most seven entries a level.
    Entry stack[kStackSize];
    int size = 0;
    Entry entry{0, search.open};
    for (;;) {
        const LaneMask lanes = entry.lanes & search.open;
        if (lanes != 0 && (entry.child & kLeafBit) != 0) {
            const LeafBlock* block = &leafBlocks[LeafFirstBlock(entry.child)];
            for (const LeafBlock* end = block + LeafBlockCount(entry.child); block != end;
                 ++block) {
                for (int lane = 0; lane < 4; ++lane) {
                    // Lanes past the leaf's end hold no object.
                    if (block->limit[lane] != -std::numeric_limits<float>::infinity()) {
                        search.Ask(block->object[lane], lanes);
                    }
                }
            }
        } else if (lanes != 0) {
            const WideNode& node = wideNodes[entry.child];
            for (int i = 0; i < kWidth; ++i) {
                const float box[2][3] = {
                    {node.bounds[0][0][i], node.bounds[0][1][i], node.bounds[0][2][i]},
                    {node.bounds[1][0][i], node.bounds[1][1][i], node.bounds[1][2][i]}};
                const LaneMask entering =
                    search.kernels.entersBox(search.packet, lanes, box, limit);
                if (entering != 0) {
                    stack[size++] = {node.child[i], entering};
                }
            }
        }
        if (size == 0 || search.open == 0) {
            return;
        }
        entry = stack[--size];
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
    if (!wideNodes.empty()) {
        // The box tests' data, computed as RaySetup computes it; the widened planes depend on
        // the origin only, so every ray's are the same.
        const float margin = RaySetup::Margin(origin, extent);
        const float o[3] = {origin.x, origin.y, origin.z};
        for (int a = 0; a < 3; ++a) {
            packet.shiftedPlanes[0][a] = o[a] + margin;
            packet.shiftedPlanes[1][a] = o[a] - margin;
            for (int lane = 0; lane < packet.count; ++lane) {
                packet.inverse[a][lane] = 1.0f / packet.direction[a][lane];
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
    if (search.open != 0 && !wideNodes.empty()) {
        WalkTreeForShadows(search, std::sqrt(distanceSquared) * kDistanceSlack);
    }
    return packet.AllLanes() & ~search.open;
}

}  // namespace lumivex
