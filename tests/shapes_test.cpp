// The five shapes: known hits and misses, their bounds, and the properties every shape shares.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "geometry/box.h"
#include "geometry/ellipsoid.h"
#include "geometry/icosahedron.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"
#include "test_support.h"

namespace lumivex {
namespace {

using testing::VecNear;

// Points and directions below are written {x, y, z}: every constructor takes a centre's or a
// vertex's w as 1, and edges and axes are directions.
const Material kMaterial({0.9f, 0.5f, 0.1f, 1}, 0.3f, 5, {0.8f, 1, 1, 1}, 2, 8, 0.1f);
const Sphere kUnitSphere({0, 0, 0}, 1, kMaterial);
const Sphere kSphere({1, 2, 3}, 2, kMaterial);
const Box kUnitCube({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, kMaterial);
const Box kSkewedBox({0, 0, 0}, {1, 0, 0}, {-0.9f, 1, 0}, {0, 0, 1}, kMaterial);
const Box kLeftHanded({0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, kMaterial);  // faces inward
const Ellipsoid kFlattened({0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, 1}, kMaterial);
const Ellipsoid kTilted({1, -2, 0.5f}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 0.5f}, kMaterial);
const Icosahedron kIcosahedron(1, {0, 0, 0}, kMaterial);

Polygon3D MakePolygon(std::vector<Vec4> outline) {
    return Polygon3D(outline, kMaterial);
}
const Polygon3D kSquare = MakePolygon({{1, 1, 1}, {2, 1, 1}, {2, 2, 1}, {1, 2, 1}});
// Only the plane of the first three vertices counts.
const Polygon3D kNonPlanar = MakePolygon({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}});
// The fan triangle (v0, v2, v3) is degenerate and skipped; (v0, v3, v4) still counts.
const Polygon3D kCollinearFan =
    MakePolygon({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 2, 0}, {0, 2, 0}});
// A "C" opening to the right: the fan triangle (v0, v4, v5) spans the notch.
const Polygon3D kNotched = MakePolygon(
    {{0, 0, 0}, {3, 0, 0}, {3, 1, 0}, {1, 1, 0}, {1, 2, 0}, {3, 2, 0}, {3, 3, 0}, {0, 3, 0}});
const Polygon3D kNoVertices = MakePolygon({});
// Collinear first three vertices give no plane (a NaN normal).
const Polygon3D kCollinearStart = MakePolygon({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}});

// Face normals of the unit icosahedron, to nine digits. The second ring's azimuths run 2 pi
// short by a few millionths of a radian, hence face 10's small y.
const Vec4 kFace0{0.809017897f, 0, 0.587784052f};
const Vec4 kFace10{0.965496659f, -4.8954189e-06f, 0.260415465f};

constexpr float kAnyT = NAN;  // a miss's t is unspecified

const struct KnownHit {
    const Geometry& shape;
    Vec4 origin;
    Vec4 direction;
    bool hit;
    float t;
    Vec4 point{};  // point and normal: hits only
    Vec4 normal{};
    float tolerance = 0;  // 0: exact; otherwise the figures are quoted rounded
} kKnownHits[] = {
    // clang-format off
    // t counts lengths of the direction; from inside, the exit; normals point out; misses -1.
    {kSphere, {1, 2, -5}, {0, 0, 2}, true, 3, {1, 2, 1}, {0, 0, -1}},
    {kUnitSphere, {0, 0, 0}, {1, 0, 0}, true, 1, {1, 0, 0}, {1, 0, 0}},
    {kUnitSphere, {1, 0, -3}, {0, 0, 1}, true, 3, {1, 0, 0}, {1, 0, 0}},  // tangent
    {kUnitSphere, {1, 0, 0}, {1, 0, 0}, true, 0, {1, 0, 0}, {1, 0, 0}},   // on the surface
    {kUnitSphere, {1, 0, 0}, {-1, 0, 0}, true, 0, {1, 0, 0}, {1, 0, 0}},
    {kUnitSphere, {0, 0, 5}, {0, 0, 1}, false, -1},
    {kUnitSphere, {5, 0, 0}, {0, 0, 1}, false, -1},
    // Each face of the cube from outside, and from a face outward and inward (the exit).
    {kUnitCube, {-1, 0.5f, 0.5f}, {2, 0, 0}, true, 0.5f, {0, 0.5f, 0.5f}, {-1, 0, 0}},
    {kUnitCube, {2, 0.5f, 0.5f}, {-1, 0, 0}, true, 1, {1, 0.5f, 0.5f}, {1, 0, 0}},
    {kUnitCube, {0.5f, -1, 0.5f}, {0, 1, 0}, true, 1, {0.5f, 0, 0.5f}, {0, -1, 0}},
    {kUnitCube, {0.5f, 2, 0.5f}, {0, -1, 0}, true, 1, {0.5f, 1, 0.5f}, {0, 1, 0}},
    {kUnitCube, {0.5f, 0.5f, -5}, {0, 0, 1}, true, 5, {0.5f, 0.5f, 0}, {0, 0, -1}},
    {kUnitCube, {0.5f, 0.5f, 3}, {0, 0, -1}, true, 2, {0.5f, 0.5f, 1}, {0, 0, 1}},
    {kUnitCube, {0.5f, 0.5f, 0}, {0, 0, -1}, true, 0, {0.5f, 0.5f, 0}, {0, 0, -1}},
    {kUnitCube, {0.5f, 0.5f, 0}, {0, 0, 1}, true, 1, {0.5f, 0.5f, 1}, {0, 0, 1}},
    // Grazing an edge or sliding along a face hits; at an edge the earlier face (y) wins.
    {kUnitCube, {-1, -1, 0.5f}, {1, 1, 0}, true, 1, {0, 0, 0.5f}, {0, -1, 0}},
    {kUnitCube, {0.5f, 0.5f, 0.5f}, {1, 1, 0}, true, 0.5f, {1, 1, 0.5f}, {0, 1, 0}},
    {kUnitCube, {-1, 0.5f, 0}, {1, 0, 0}, true, 1, {0, 0.5f, 0}, {-1, 0, 0}},
    {kUnitCube, {2, 0.5f, 0.5f}, {0, 0, 1}, false, kAnyT},  // parallel to a face, outside
    {kUnitCube, {0.5f, 0.5f, -5}, {0, 0, -1}, false, kAnyT},
    {kUnitCube, {1.5f, 0.5f, -5}, {0, 0.1f, 1}, false, kAnyT},
    // Near the vertex (1, 0, 0), outside the bounding sphere (see the bounds below).
    {kSkewedBox, {0.95f, 0.02f, -5}, {0, 0, 1}, true, 5, {0.95f, 0.02f, 0}, {0, 0, -1}},
    {kLeftHanded, {0.5f, 0.5f, -5}, {0, 0, 1}, false, kAnyT},
    {kFlattened, {-5, 0, 0}, {1, 0, 0}, true, 3, {-2, 0, 0}, {-1, 0, 0}},
    {kFlattened, {0, -5, 0}, {0, 1, 0}, true, 4, {0, -1, 0}, {0, -1, 0}},
    {kFlattened, {0, 0, 0}, {1, 1, 0}, true, 0.8944272f,
                 {0.8944272f, 0.8944272f, 0}, {0.2425356f, 0.9701425f, 0}, 1e-7f},
    {kFlattened, {-5, 0, 0}, {-1, 0, 0}, false, kAnyT},
    {kFlattened, {-5, 1.5f, 0}, {1, 0, 0}, false, kAnyT},
    {kTilted, {4, -5, 0.5f}, {-1, 1, 0}, true, 2,
              {2, -3, 0.5f}, {0.7071068f, -0.7071068f, 0}, 1e-6f},
    {kTilted, {1, -2, 5}, {0, 0, -1, 2}, true, 4, {1, -2, 1}, {0, 0, 1}, 1e-6f},  // w ignored
    // A polygon is hit from either side, with its plane's normal; edges and corners count.
    {kSquare, {1.5f, 1.5f, 6}, {0, 0, -1}, true, 5, {1.5f, 1.5f, 1}, {0, 0, 1}},
    {kSquare, {1.5f, 1.5f, -4}, {0, 0, 1}, true, 5, {1.5f, 1.5f, 1}, {0, 0, 1}},
    {kSquare, {1.5f, 1.5f, 6}, {0, 0, -2}, true, 2.5f, {1.5f, 1.5f, 1}, {0, 0, 1}},
    {kSquare, {1.5f, 1.5f, 1}, {0, 0.6f, 0.8f}, true, 0, {1.5f, 1.5f, 1}, {0, 0, 1}},
    {kSquare, {1.25f, 1.25f, 2}, {0, 0, -1}, true, 1, {1.25f, 1.25f, 1}, {0, 0, 1}},  // diagonal
    {kSquare, {1.5f, 1, 2}, {0, 0, -1}, true, 1, {1.5f, 1, 1}, {0, 0, 1}},
    {kSquare, {1, 1.5f, 2}, {0, 0, -1}, true, 1, {1, 1.5f, 1}, {0, 0, 1}},
    {kSquare, {2, 1.5f, 2}, {0, 0, -1}, true, 1, {2, 1.5f, 1}, {0, 0, 1}},
    {kSquare, {2.5f, 1.5f, 2}, {0, 0, -1}, false, kAnyT},
    {kSquare, {1.5f, 1.5f, 2}, {0, 0, 1}, false, kAnyT},
    {kSquare, {1.5f, 1.5f, 2}, {1, 0, 0}, false, kAnyT},
    {kNonPlanar, {0.25f, 0.75f, 1}, {0, 0, -1}, true, 1, {0.25f, 0.75f, 0}, {0, 0, 1}},
    {kCollinearFan, {0.2f, 1.5f, 1}, {0, 0, -1}, true, 1, {0.2f, 1.5f, 0}, {0, 0, 1}},
    {kNotched, {2, 1.5f, 1}, {0, 0, -1}, true, 1, {2, 1.5f, 0}, {0, 0, 1}},
    {kNotched, {2.9f, 1.1f, 1}, {0, 0, -1}, false, kAnyT},  // inside the outline, not the fan
    {kNoVertices, {-1, 0, 0}, {1, 0, 0}, false, kAnyT},
    {kCollinearStart, {0.2f, 0.2f, 1}, {0, 0, -1}, false, kAnyT},
    // Faces 0, 1 (its mirror) and 10 head-on, and the apex, outside the bounding sphere.
    {kIcosahedron, 5.0f * kFace0, -kFace0, true, 4.2928932f,
                   {0.572062f, 0, 0.415626f}, kFace0, 1e-6f},
    {kIcosahedron, -5.0f * kFace0, kFace0, true, 4.2928932f,
                   {-0.572062f, 0, -0.415626f}, -kFace0, 1e-6f},
    {kIcosahedron, 5.0f * kFace10, -kFace10, true, 4.2928932f,
                   {0.682709f, -3.46e-06f, 0.184142f}, kFace10, 1e-6f},
    {kIcosahedron, {0, 0, 0}, kFace0, true, 0.70710677f, {0.572062f, 0, 0.415626f}, kFace0, 1e-6f},
    {kIcosahedron, {0, 0, 5}, {0, 0, -1}, true, 3.7969957f,
                   {0, 0, 1.2030043f}, {0.250001f, 0.769421f, 0.587784f}, 1e-6f},
    {kIcosahedron, {0, 0, 5}, {0, 0, 1}, false, kAnyT},
    {kIcosahedron, {3, 0, 5}, {0, 0, -1}, false, kAnyT},
    // clang-format on
};

TEST(Shapes, KnownHitsAndMisses) {
    for (const KnownHit& c : kKnownHits) {
        Ray ray{AsPoint(c.origin), c.direction};
        SCOPED_TRACE(::testing::Message() << "row " << &c - kKnownHits << ", ray " << ray);
        const HitRecord hit = c.shape.Intersect(ray);
        EXPECT_EQ(ray.origin, AsPoint(c.origin));
        EXPECT_EQ(ray.direction, AsDirection(c.direction));
        ASSERT_EQ(hit.hit, c.hit) << hit;
        if (!c.hit) {
            EXPECT_TRUE(std::isnan(c.t) || hit.t == c.t) << hit.t;
            continue;
        }
        EXPECT_NEAR(hit.t, c.t, c.tolerance);
        EXPECT_THAT(hit.point, VecNear(AsPoint(c.point), c.tolerance));
        EXPECT_THAT(hit.normal, VecNear(c.normal, c.tolerance));
        EXPECT_EQ(hit.material, kMaterial);
    }
}

// The walk and the index ask a shape only for rays that pass its bounding sphere.
TEST(Shapes, BoundingSpheres) {
    const Icosahedron icosahedron(2, {1, 2, 3}, kMaterial);
    const Polygon3D oneVertex = MakePolygon({{1, 2, 3}});
    const struct {
        const Geometry& shape;
        Vec4 centre;
        float radius;
        float tolerance = 0;  // 0: exact
    } cases[] = {
        {kSphere, {1, 2, 3}, 2},
        {icosahedron, {1, 2, 3}, 2},
        {kUnitCube, {0.5f, 0.5f, 0.5f}, 0.8660254f, 1e-7f},
        // Half the diagonal: the vertex (1, 0, 0) lies 1.1843 from the centre, outside it.
        {kSkewedBox, {0.05f, 0.5f, 0.5f}, 0.7089f, 1e-4f},
        {kFlattened, {0, 0, 0}, 2},
        {kTilted, {1, -2, 0.5f}, std::sqrt(2.0f)},
        {kSquare, {1.5f, 1.5f, 1}, std::sqrt(0.5f)},
        {kNonPlanar, {0.5f, 0.5f, 0.125f}, 0.8003905f, 1e-6f},
        {oneVertex, {1, 2, 3}, 0},
        {kNoVertices, {0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        const BoundingSphere& bounds = c.shape.GetBoundingSphere();
        EXPECT_THAT(bounds.centre, VecNear(AsPoint(c.centre), c.tolerance));
        EXPECT_NEAR(bounds.radius, c.radius, c.tolerance) << c.centre;
    }
}

TEST(Shapes, IcosahedronFacesComeInMirroredPairs) {
    const auto& faces = kIcosahedron.GetFaces();  // at radius / sqrt(2) from the centre
    for (std::size_t j = 0; j < 10; ++j) {
        EXPECT_EQ(faces[2 * j + 1].normal, -faces[2 * j].normal) << j;
        EXPECT_EQ(faces[2 * j + 1].point, -faces[2 * j].point) << j;
        EXPECT_FLOAT_EQ(Length(faces[2 * j].normal), 1.0f) << j;
        EXPECT_FLOAT_EQ(Dot(faces[2 * j].normal, faces[2 * j].point), 0.70710677f) << j;
    }
}

// Awkward instances of each shape, and the kind each must report.
const auto kAwkward = std::tuple{
    std::pair{ShapeKind::Sphere, std::vector{kUnitSphere, Sphere({0.3f, -1, 2}, 0.7f, kMaterial),
                                             Sphere({1, 1, 1}, -1.5f, kMaterial)}},
    std::pair{ShapeKind::Box, std::vector{kUnitCube, kSkewedBox, kLeftHanded,
                                          Box({-1, 0.5f, 2}, {1, 1, 0}, {-0.5f, 0.5f, 0.2f},
                                              {0.1f, -0.1f, 2}, kMaterial)}},
    std::pair{ShapeKind::Ellipsoid, std::vector{kFlattened, kTilted,
                                                Ellipsoid({0.5f, 0, -1}, {1, 0, 0}, {0.8f, 1, 0},
                                                          {0, 0.3f, 1}, kMaterial)}},
    std::pair{ShapeKind::Polygon,
              std::vector{kSquare, kNonPlanar, kCollinearFan, kNotched, kCollinearStart}},
    std::pair{ShapeKind::Icosahedron,
              std::vector{kIcosahedron, Icosahedron(-1.5f, {1, 0, -2}, kMaterial),
                          Icosahedron(2, {1, 2, 3}, kMaterial)}},
};

// The same record to the bit, NaNs and signed zeros included.
bool SameBits(const HitRecord& a, const HitRecord& b) {
    return a.hit == b.hit && std::memcmp(&a.t, &b.t, sizeof a.t) == 0 &&
           std::memcmp(&a.point, &b.point, sizeof a.point) == 0 &&
           std::memcmp(&a.normal, &b.normal, sizeof a.normal) == 0 && a.material == b.material;
}

template <typename Shape>
class EveryShape : public ::testing::Test {};
using ShapeTypes = ::testing::Types<Sphere, Box, Ellipsoid, Polygon3D, Icosahedron>;
TYPED_TEST_SUITE(EveryShape, ShapeTypes);

// Over seeded rays from outside, from inside, and grazing or leaving earlier hit points.
TYPED_TEST(EveryShape, CopiesAndHitDistanceAgreeWithIntersectToTheBit) {
    std::mt19937 random(2024);  // its raw output is the same on every standard library
    const auto offset = [&random](float scale) {
        const auto unit = [&random] { return static_cast<float>(random() % 2001) / 1000 - 1; };
        return Direction(scale * unit(), scale * unit(), scale * unit());
    };
    const auto& [kind, shapes] = std::get<std::pair<ShapeKind, std::vector<TypeParam>>>(kAwkward);
    std::size_t allHits = 0;
    for (const TypeParam& shape : shapes) {
        const TypeParam copy(shape);
        const std::unique_ptr<Geometry> clone = shape.Clone();
        EXPECT_EQ(shape.GetKind(), kind);
        EXPECT_EQ(copy.GetBoundingSphere(), shape.GetBoundingSphere());
        EXPECT_EQ(clone->GetBoundingBox(), shape.GetBoundingBox());

        const Vec4 centre = shape.GetBoundingSphere().centre;
        const float size = std::abs(shape.GetBoundingSphere().radius) + 0.5f;
        std::vector<HitRecord> hits;
        for (int i = 0; i < 600; ++i) {
            Ray ray;
            if (i % 3 == 0) {
                ray.origin = AsPoint(centre + offset(4 * size));
                ray.direction = (centre + offset(size)) - ray.origin;
            } else if (i % 3 == 1 || hits.empty()) {
                ray.origin = AsPoint(centre + offset(0.3f * size));
                ray.direction = offset(1);
            } else {
                const HitRecord& earlier = hits[random() % hits.size()];
                ray.direction = Cross(earlier.normal, offset(1));
                ray.origin = AsPoint(earlier.point - static_cast<float>(i % 2) * ray.direction);
            }
            ray.direction.w = static_cast<float>(random() % 3);  // which the ellipsoid clears
            SCOPED_TRACE(::testing::Message() << "ray " << i << " " << ray);
            float t = -7;
            const bool hit = shape.HitDistance(ray, t);
            Ray r1 = ray, r2 = ray, r3 = ray;
            const HitRecord record = shape.Intersect(r1);
            ASSERT_EQ(hit, record.hit);
            if (hit) {
                EXPECT_EQ(std::bit_cast<std::uint32_t>(t), std::bit_cast<std::uint32_t>(record.t))
                    << t << " vs " << record.t;
                hits.push_back(record);
            }
            EXPECT_TRUE(SameBits(copy.Intersect(r2), record)) << record;
            EXPECT_TRUE(SameBits(clone->Intersect(r3), record)) << record;
        }
        allHits += hits.size();
    }
    EXPECT_GT(allHits, 300u);  // the rays do reach the shapes
}

}  // namespace
}  // namespace lumivex
