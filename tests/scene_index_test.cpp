// The scene index must give the plain walk's record and shadow answer for every ray, alone or in
// a packet on each SIMD path: compared on random scenes of every shape, awkward ones included
// (skewed and left-handed boxes, non-planar and degenerate polygons, skewed ellipsoids), with rays
// aimed to graze them.
#include "render/scene_index.h"

#include <cmath>
#include <cstring>
#include <random>

#include "geometry/box.h"
#include "geometry/ellipsoid.h"
#include "geometry/icosahedron.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"
#include "render/hit_region.h"
#include "render/nearest_hit.h"
#include "render/shadow_packet.h"
#include "test_support.h"

namespace lumivex {
namespace {

class RandomScene {
  public:
    explicit RandomScene(unsigned seed) : random(seed) {}

    float Uniform(float low, float high) {
        return std::uniform_real_distribution<float>(low, high)(random);
    }
    Vec4 PointIn(float size) {
        return Point(Uniform(-size, size), Uniform(-size, size), Uniform(-size, size));
    }
    Vec4 DirectionAny() {
        for (;;) {
            const Vec4 d = Direction(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
            if (Length(d) > 0.1f) {
                return Normalized(d);
            }
        }
    }
    // A colour of its own tells which object a record came from.
    Material AnyMaterial() {
        return Material({Uniform(0, 1), Uniform(0, 1), Uniform(0, 1), 1}, 0, 1, {1, 1, 1, 1}, 1, 1,
                        0);
    }

    // Every kind of shape, at sizes from tiny to large, some of them degenerate.
    void AddShapes(Scene& scene, int count, float size) {
        for (int i = 0; i < count; ++i) {
            const Vec4 at = PointIn(size);
            const float scale = std::pow(10.0f, Uniform(-2, 0.5f));
            switch (random() % 8) {
                case 0:
                case 1:
                    scene.AddObject(Sphere(at, scale, AnyMaterial()));
                    break;
                case 2:  // right-handed, often skewed
                    scene.AddObject(Box(at, scale * Direction(1, Uniform(-1, 1), 0),
                                        scale * Direction(Uniform(-1, 1), 1, Uniform(-0.5f, 0.5f)),
                                        scale * Direction(0, Uniform(-0.3f, 0.3f), 1),
                                        AnyMaterial()));
                    break;
                case 3:  // arbitrary edges, left-handed ones included
                    scene.AddObject(Box(at, scale * DirectionAny(), scale * DirectionAny(),
                                        scale * DirectionAny(), AnyMaterial()));
                    break;
                case 4:
                    scene.AddObject(
                        Icosahedron(random() % 4 == 0 ? -scale : scale, at, AnyMaterial()));
                    break;
                case 5:  // any axes: ellipsoids are never indexed, only walked
                    scene.AddObject(Ellipsoid(at, scale * DirectionAny(), scale * DirectionAny(),
                                              scale * DirectionAny(), AnyMaterial()));
                    break;
                case 6: {  // a flat polygon: a regular n-gon, sometimes not star-shaped
                    const Vec4 u = DirectionAny();
                    const Vec4 v = Normalized(Cross(u, DirectionAny()));
                    const Vec4 w = Cross(u, v);
                    std::vector<Vec4> outline;
                    const int n = 3 + static_cast<int>(random() % 6);
                    for (int k = 0; k < n; ++k) {
                        const float angle =
                            6.2831853f * static_cast<float>(k) / static_cast<float>(n);
                        const float reach = scale * (k % 2 == 0 ? 1.0f : Uniform(0.2f, 1));
                        outline.push_back(AsPoint(at + (reach * std::cos(angle)) * v +
                                                  (reach * std::sin(angle)) * w));
                    }
                    scene.AddObject(Polygon3D(outline, AnyMaterial()));
                    break;
                }
                default: {  // any points: non-planar, collinear and tiny polygons
                    std::vector<Vec4> outline;
                    const int n = static_cast<int>(random() % 7);
                    for (int k = 0; k < n; ++k) {
                        outline.push_back(
                            AsPoint(at + scale * Direction(Uniform(-1, 1), Uniform(-1, 1),
                                                           Uniform(-1, 1))));
                    }
                    if (n >= 3 && random() % 4 == 0) {
                        outline[2] = AsPoint(outline[0] + 2.0f * (outline[1] - outline[0]));
                    }
                    scene.AddObject(Polygon3D(outline, AnyMaterial()));
                    break;
                }
            }
        }
    }

    // Groups of 5 to 8 spheres around one centre: no cut separates them, so each fills a leaf.
    void AddConcentricSpheres(Scene& scene, int groups, float size) {
        for (int g = 0; g < groups; ++g) {
            const Vec4 at = PointIn(size);
            for (int k = 0, n = 5 + static_cast<int>(random() % 4); k < n; ++k) {
                scene.AddObject(Sphere(at, Uniform(0.05f, 0.5f), AnyMaterial()));
            }
        }
    }

    // Rays of every kind the renderer casts, and worse: from afar, from on a surface, aimed at a
    // shape's bounding sphere and grazing it, along the axes.
    Ray AnyRayAt(const Geometry& target, float size) {
        const Vec4 origin = AnyOriginFor(target, size);
        return {origin, AnyDirectionAt(target, origin)};
    }
    Vec4 AnyOriginFor(const Geometry& target, float size) {
        const BoundingSphere& sphere = target.GetBoundingSphere();
        Vec4 origin;
        switch (random() % 4) {
            case 0:
                origin = PointIn(size);
                break;
            case 1:
                origin = PointIn(100 * size);
                break;
            case 2: {  // just off a surface, as secondary and shadow rays start
                Ray probe{PointIn(2 * size), {}};
                probe.direction = Normalized(AsDirection(sphere.centre - probe.origin));
                const HitRecord hit = target.Intersect(probe);
                origin = hit.hit && std::isfinite(hit.point.x)
                             ? AsPoint(hit.point + 0.001f * Normalized(hit.normal))
                             : PointIn(size);
                break;
            }
            default:
                origin = AsPoint(sphere.centre + (sphere.radius * 3) * DirectionAny());
                break;
        }
        return origin;
    }
    Vec4 AnyDirectionAt(const Geometry& target, const Vec4& origin) {
        const BoundingSphere& sphere = target.GetBoundingSphere();
        Vec4 direction;
        switch (random() % 4) {
            case 0:
                direction = DirectionAny();
                break;
            case 1: {  // graze the bounding sphere: aim at a point on its rim
                const Vec4 toCentre = AsDirection(sphere.centre - origin);
                const Vec4 side = Normalized(Cross(toCentre, DirectionAny()));
                const float r = sphere.radius * Uniform(0.98f, 1.02f);
                direction = Normalized(AsDirection(toCentre + r * side));
                break;
            }
            case 2: {  // along an axis
                const float sign = random() % 2 ? 1.0f : -1.0f;
                const int axis = static_cast<int>(random() % 3);
                direction =
                    Direction(axis == 0 ? sign : 0, axis == 1 ? sign : 0, axis == 2 ? sign : 0);
                break;
            }
            default:
                direction = Normalized(AsDirection(
                    sphere.centre - origin + (sphere.radius * Uniform(0, 1.3f)) * DirectionAny()));
                break;
        }
        return direction;
    }

    std::mt19937 random;
};

// The same record to the bit, where there is a hit.
bool SameRecord(const HitRecord& a, const HitRecord& b) {
    return a.hit == b.hit && (!a.hit || (std::memcmp(&a.t, &b.t, sizeof a.t) == 0 &&
                                         std::memcmp(&a.point, &b.point, sizeof a.point) == 0 &&
                                         std::memcmp(&a.normal, &b.normal, sizeof a.normal) == 0 &&
                                         a.material == b.material));
}

void ExpectSameHit(const Scene& scene, const SceneIndex& index, Ray ray) {
    Ray copy = ray;
    const HitRecord plain = FindNearestHit(scene, ray);
    const HitRecord indexed = index.FindNearestHit(copy);
    EXPECT_TRUE(SameRecord(plain, indexed)) << ray << ": " << plain << " vs " << indexed;
}

// Whether the ray, in exact arithmetic, passes through the region widened by `slack`.
bool PassesThrough(const Ray& ray, const Region& region, double slack) {
    const double origin[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const double direction[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    double tNear = 0;
    double tFar = std::numeric_limits<double>::infinity();
    for (int a = 0; a < 3; ++a) {
        const double low = region.low[a] - slack;
        const double high = region.high[a] + slack;
        if (direction[a] == 0) {
            if (origin[a] < low || origin[a] > high) {
                return false;
            }
            continue;
        }
        const double t0 = (low - origin[a]) / direction[a];
        const double t1 = (high - origin[a]) / direction[a];
        tNear = std::max(tNear, std::min(t0, t1));
        tFar = std::min(tFar, std::max(t0, t1));
    }
    return tNear <= tFar;
}

// The index skips a shape for a ray that misses its hit region (widened for rounding): every ray
// the plain walk asks the shape (it passes the bounding-sphere test) and the shape reports a hit
// for must pass through that region. (From afar, a sphere's rounding can report a hit well off
// its surface, but only for rays that miss its bounding sphere.)
TEST(HitRegion, HoldsEveryRayAShapeReportsAHitFor) {
    RandomScene random(1);
    Scene scene;
    random.AddShapes(scene, 400, 5);
    int checked = 0;
    for (int i = 0; i < 40000; ++i) {
        const Geometry& shape = *scene.objects[i % scene.objects.size()];
        Ray ray = random.AnyRayAt(shape, 5);
        const HitRegion region = HitRegionOf(shape);
        if (region.kind == HitRegion::Kind::Unbounded ||
            !BoundingSphereTest(ray, shape.GetBoundingSphere()) || !shape.Intersect(ray).hit) {
            continue;
        }
        ASSERT_EQ(region.kind, HitRegion::Kind::Bounded) << i;
        double largest = 1;
        for (int a = 0; a < 3; ++a) {
            largest = std::max(
                {largest, std::abs(region.region.low[a]), std::abs(region.region.high[a])});
        }
        const double slack = 1e-5 * (largest + Length(AsDirection(ray.origin)));
        ASSERT_TRUE(PassesThrough(ray, region.region, slack))
            << i << ": kind " << static_cast<int>(shape.GetKind()) << ", ray " << ray;
        ++checked;
    }
    EXPECT_GT(checked, 2000);
}

// Seeds 2 to 5: 40 or 600 objects at two scales. Seed 6: 2,400 objects, several levels of wide
// nodes deep, among groups of concentric spheres that make leaves of 5 to 8 objects.
TEST(SceneIndex, FindsExactlyThePlainWalksHits) {
    for (unsigned seed = 2; seed < 7; ++seed) {
        RandomScene random(seed);
        Scene scene;
        const float size = seed % 4 == 1 ? 200.0f : 6.0f;
        random.AddShapes(scene, seed == 6 ? 2400 : seed % 4 == 2 ? 40 : 600, size);
        random.AddConcentricSpheres(scene, seed == 6 ? 40 : 0, size);
        const SceneIndex index(scene);
        EXPECT_GT(index.IndexedObjectCount(), 0u);
        int hits = 0;
        BlockerHint carried;  // from earlier rays: mostly an object that does not block this one
        for (int i = 0; i < 15000; ++i) {
            Ray ray = random.AnyRayAt(*scene.objects[random.random() % scene.objects.size()], size);
            Ray copy = ray;
            const HitRecord plain = FindNearestHit(scene, ray);
            const HitRecord indexed = index.FindNearestHit(copy);
            ASSERT_TRUE(SameRecord(plain, indexed))
                << "seed " << seed << ", " << ray << ": " << plain << " vs " << indexed;
            hits += plain.hit ? 1 : 0;

            // The shadow question, at distances around the nearest hit and beyond.
            const float t = plain.hit ? plain.t : random.Uniform(0, 50);
            for (const float d :
                 {t, std::nextafter(t, 0.0f), std::nextafter(t, 1e9f), 2 * t, 0.5f * t}) {
                const float d2 = d * d;
                const bool plainBlocked = plain.hit && d2 >= plain.t * plain.t && plain.t >= 0.0f;
                ASSERT_EQ(index.Occluded(copy, d2), plainBlocked)
                    << "seed " << seed << " ray " << i << " distance " << d;
                // Neither a stale hint nor any other, out of range included, changes the answer.
                BlockerHint any{static_cast<std::uint32_t>(i % (scene.objects.size() + 2))};
                ASSERT_EQ(index.Occluded(copy, d2, carried), plainBlocked) << seed << " " << i;
                ASSERT_EQ(index.Occluded(copy, d2, any), plainBlocked) << seed << " " << i;
            }
        }
        EXPECT_GT(hits, 300) << seed;
        EXPECT_NE(carried.object, BlockerHint::kNone) << "a blocker found is kept in the hint";
    }
}

// A packet's rays share an origin and a distance, as a point's shadow rays towards one light do,
// and aim anywhere: at objects, grazing them, along the axes, now and then nowhere (a NaN
// direction, as Normalized gives for a zero vector). On each SIMD path the index must block
// exactly the rays the plain walk blocks, whatever the hint.
class PacketShadows : public ::testing::TestWithParam<SimdPath> {
  protected:
    void SetUp() override {
        if (!SimdPathSupported(GetParam())) {
            GTEST_SKIP() << "this processor has no such path";
        }
        UseSimdPath(GetParam());
    }
    void TearDown() override { UseSimdPath(before); }

    const SimdPath before = ActiveSimdPath();
};

TEST_P(PacketShadows, BlockExactlyTheRaysThePlainWalkBlocks) {
    for (unsigned seed = 6; seed < 9; ++seed) {
        RandomScene random(seed);
        Scene scene;
        const float size = seed == 7 ? 200.0f : 6.0f;
        random.AddShapes(scene, seed == 8 ? 6 : 400, size);  // 6: too few to index
        const SceneIndex index(scene);
        const ObjectListWalk walk(scene);
        const auto anyObject = [&]() -> const Geometry& {
            return *scene.objects[random.random() % scene.objects.size()];
        };
        BlockerHint carried;
        int mixed = 0;
        for (int i = 0; i < 3000; ++i) {
            const Vec4 origin = random.AnyOriginFor(anyObject(), size);
            const int count = 1 + static_cast<int>(random.random() % ShadowPacket::kMaxRays);
            std::vector<Vec4> directions;
            for (int k = 0; k < count; ++k) {
                directions.push_back(random.random() % 50 == 0
                                         ? Direction(NAN, NAN, NAN)
                                         : random.AnyDirectionAt(anyObject(), origin));
            }
            // Around the first ray's nearest hit, so that some rays are blocked and others not.
            Ray first{origin, directions[0]};
            const HitRecord hit = FindNearestHit(scene, first);
            const float t = hit.hit ? hit.t : random.Uniform(0, 50);
            const float d = random.random() % 4 == 0 ? t : t * random.Uniform(0.5f, 2);
            BlockerHint none;
            const std::uint32_t expected =
                walk.OccludedMask(origin, directions.data(), count, d * d, none);
            BlockerHint any{
                static_cast<std::uint32_t>(random.random() % (scene.objects.size() + 2))};
            ASSERT_EQ(index.OccludedMask(origin, directions.data(), count, d * d, carried),
                      expected)
                << "seed " << seed << " packet " << i;
            ASSERT_EQ(index.OccludedMask(origin, directions.data(), count, d * d, any), expected)
                << "seed " << seed << " packet " << i;
            mixed += expected != 0 && expected != (std::uint64_t{1} << count) - 1 ? 1 : 0;
        }
        EXPECT_GT(mixed, 200) << seed;
    }
}

// The bounding-sphere kernel where random rays seldom go: at the widened limit exactly and one
// step past it, the centre behind the origin, the origin inside, a NaN direction; each case in
// every lane, and only the lanes asked for.
TEST_P(PacketShadows, BoundingSphereKernelMatchesTheOneRayTestAtTheEdges) {
    const float limit = BoundingSphereLimit(1);
    const Vec4 along = Direction(0, 0, 1);
    // From the origin along z, the squared distance to each centre rounds to the limit or to the
    // float after it.
    ASSERT_TRUE(PassesBoundingSphere({Point(0, 0, 0), along}, Point(1, 0.00035f, 5), limit));
    ASSERT_FALSE(PassesBoundingSphere({Point(0, 0, 0), along}, Point(1, 0.0005f, 5), limit));
    const Vec4 directions[] = {along, Direction(0, 0, -1), Direction(NAN, NAN, NAN),
                               Normalized(Direction(0.2f, 0, 1)), Direction(1, 0, 0)};
    ShadowPacket packet;
    packet.origin = Point(0, 0, 0);
    packet.count = ShadowPacket::kMaxRays;
    for (int lane = 0; lane < packet.count; ++lane) {
        const Vec4& d = directions[lane % std::size(directions)];
        packet.direction[0][lane] = d.x;
        packet.direction[1][lane] = d.y;
        packet.direction[2][lane] = d.z;
    }
    for (const Vec4& centre : {Point(1, 0.00035f, 5), Point(1, 0.0005f, 5), Point(0, 0.5f, -0.5f),
                               Point(0.5f, 0, 0), Point(-1, 0, 0)}) {
        for (const LaneMask lanes : {packet.AllLanes(), LaneMask{0x8421'0C03}}) {
            LaneMask expected = 0;
            for (int lane = 0; lane < packet.count; ++lane) {
                const Ray ray{packet.origin, directions[lane % std::size(directions)]};
                if ((lanes >> lane & 1) != 0 && PassesBoundingSphere(ray, centre, limit)) {
                    expected |= LaneMask{1} << lane;
                }
            }
            EXPECT_EQ(ActiveShadowKernels().passesBoundingSphere(packet, lanes, centre, limit),
                      expected)
                << centre;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SimdPaths, PacketShadows,
                         ::testing::Values(SimdPath::Sse2, SimdPath::Avx2), [](const auto& info) {
                             return info.param == SimdPath::Avx2 ? "Avx2" : "Sse2";
                         });

TEST(SceneIndex, KeepsTheEarlierObjectOnTies) {
    Scene scene;
    for (int i = 0; i < 30; ++i) {
        scene.AddObject(Sphere(Point(static_cast<float>(i % 3), 0, 5), 1,
                               Material({i / 30.0f, 0, 0, 1}, 0, 1, {1, 1, 1, 1}, 1, 1, 0)));
    }
    const SceneIndex index(scene);
    for (const float x : {0.0f, 1.0f, 2.0f, 0.5f}) {
        ExpectSameHit(scene, index, {Point(x, 0, -5), Direction(0, 0, 1)});
    }
}

// Objects whose centres lie a few floats apart on an axis, so close that spreading them over the
// build's bins would take an infinite scale (and the lowest centre to bin 0 * infinity): the index
// must still build and find the plain walk's hits.
TEST(SceneIndex, ObjectsWhoseCentresAlmostCoincide) {
    const std::pair<float, float> offsetsAndRadii[] = {
        {5e-38f, 0}, {2e-38f, 1e-35f}, {7e-38f, 1e-31f}};
    for (const auto& [offset, radius] : offsetsAndRadii) {
        Scene scene;
        for (int i = 0; i < 12; ++i) {
            scene.AddObject(Sphere(Point(i % 2 == 0 ? 0.0f : offset, 0, 0), radius, {}));
        }
        const SceneIndex index(scene);
        EXPECT_EQ(index.IndexedObjectCount(), 12u) << offset;
        for (const Vec4 origin : {Point(0, 0, -5), Point(offset, 0, 5), Point(1, 1, 1)}) {
            ExpectSameHit(scene, index, {origin, Normalized(AsDirection(-origin))});
        }
    }
}

TEST(SceneIndex, GivesUpBuildingWhenAskedToStop) {
    Scene scene;
    for (int i = 0; i < 100; ++i) {
        scene.AddObject(Sphere(Point(static_cast<float>(i), 0, 0), 0.4f, Material()));
    }
    const std::atomic<bool> go{false}, stop{true};
    EXPECT_FALSE(SceneIndex(scene, &go).Stopped());
    EXPECT_TRUE(SceneIndex(scene, &stop).Stopped());
}

}  // namespace
}  // namespace lumivex
