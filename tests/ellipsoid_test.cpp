#include "geometry/ellipsoid.h"

#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;
using testing::VecNear;

Ellipsoid Flattened(const Vec4& centre = Point(0, 0, 0)) {
    return Ellipsoid(centre, Direction(2, 0, 0), Direction(0, 1, 0), Direction(0, 0, 1),
                     Material({0, 0, 1, 1}, 0.2f, 10, {1, 1, 1, 1}, 2.25f, 1, 0));
}

TEST(Ellipsoid, DerivesItsMapAndBounds) {
    const Ellipsoid e = Flattened();
    Matrix4 diagonal;
    diagonal.m[0][0] = 0.5f;
    EXPECT_EQ(e.GetToLocal(), diagonal);
    EXPECT_EQ(e.GetNormalToWorld(), diagonal);
    EXPECT_EQ(e.GetBoundingSphere(), (BoundingSphere{Point(0, 0, 0), 2}));
    EXPECT_EQ(e.GetBoundingBox(), (BoundingBox{Point(-2, -1, -1), Point(2, 1, 1)}));
    EXPECT_EQ(e.GetMaterial().refractiveIndex, 1.5f);
}

TEST(Ellipsoid, HitsAlongTheAxes) {
    const Ellipsoid e = Flattened();
    Ray alongX = MakeRay(Point(-5, 0, 0), Direction(1, 0, 0));
    HitRecord hit = e.Intersect(alongX);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 3.0f);
    EXPECT_EQ(hit.point, Point(-2, 0, 0));
    EXPECT_EQ(hit.normal, Direction(-1, 0, 0));

    Ray alongY = MakeRay(Point(0, -5, 0), Direction(0, 1, 0));
    hit = e.Intersect(alongY);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 4.0f);
    EXPECT_EQ(hit.point, Point(0, -1, 0));
    EXPECT_EQ(hit.normal, Direction(0, -1, 0));
}

TEST(Ellipsoid, RayFromTheCentreGetsTheSurfaceNormalAtItsExit) {
    const Ellipsoid e = Flattened();
    Ray ray = MakeRay(Point(0, 0, 0), Direction(1, 1, 0));
    const HitRecord hit = e.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_FLOAT_EQ(hit.t, 0.8944272f);
    EXPECT_THAT(hit.point, VecNear(Point(0.8944272f, 0.8944272f, 0), 1e-7f));
    EXPECT_THAT(hit.normal, VecNear(Direction(0.2425356f, 0.9701425f, 0), 1e-7f));
}

TEST(Ellipsoid, MissesWhenBothRootsLieBehind) {
    const Ellipsoid e = Flattened();
    Ray away = MakeRay(Point(-5, 0, 0), Direction(-1, 0, 0));
    EXPECT_FALSE(e.Intersect(away).hit);
    Ray beside = MakeRay(Point(-5, 1.5f, 0), Direction(1, 0, 0));
    EXPECT_FALSE(e.Intersect(beside).hit);
}

TEST(Ellipsoid, ClearsTheCallersDirectionW) {
    const Ellipsoid e = Flattened();
    Ray withW2 = {Point(-5, 0, 0), Vec4{1, 0, 0, 2}};
    Ray withW0 = MakeRay(Point(-5, 0, 0), Direction(1, 0, 0));
    const HitRecord a = e.Intersect(withW2);
    const HitRecord b = e.Intersect(withW0);
    EXPECT_EQ(withW2.direction.w, 0.0f);
    ASSERT_TRUE(a.hit);
    EXPECT_EQ(a.t, b.t);
    EXPECT_EQ(a.point, b.point);
    EXPECT_EQ(a.normal, b.normal);
}

TEST(Ellipsoid, ContainsUsesTheBoundingSphere) {
    // Outside the ellipsoid but inside the sphere of radius 2.
    EXPECT_TRUE(Flattened().Contains(Point(0, 0.9f, 0.9f)));
    EXPECT_FALSE(Flattened().Contains(Point(0, 2.5f, 0)));
}

TEST(Ellipsoid, MovingTheCentreShiftsTheHits) {
    const Ellipsoid moved = Flattened(Point(1, 2, 3));
    Ray ray = MakeRay(Point(-4, 2, 3), Direction(1, 0, 0));
    const HitRecord hit = moved.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 3.0f);
    EXPECT_EQ(hit.point, Point(-1, 2, 3));
    EXPECT_EQ(hit.normal, Direction(-1, 0, 0));
}

TEST(Ellipsoid, CopyDerivesTheSameMatrices) {
    const Ellipsoid tilted(Point(1, -2, 0.5f), Direction(1, 1, 0), Direction(-1, 1, 0),
                           Direction(0, 0, 0.5f), {});
    const Ellipsoid copy(tilted);
    EXPECT_EQ(copy.GetToLocal(), tilted.GetToLocal());
    EXPECT_EQ(copy.GetNormalToWorld(), Transposed(tilted.GetToLocal()));
    EXPECT_EQ(copy.GetBoundingBox(), tilted.GetBoundingBox());
    // A world point on the surface maps to local length 1.
    const Vec4 local = tilted.GetToLocal() * AsPoint(Point(1, -2, 0.5f) + Direction(1, 1, 0));
    EXPECT_FLOAT_EQ(Length(local), 1.0f);
}

}  // namespace
}  // namespace lumivex
