#include "geometry/sphere.h"

#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;

const Material kRed({1, 0, 0, 1}, 0.5f, 20, {1, 1, 1, 1}, 1, 1, 0);

TEST(Sphere, HitFromOutsideIsTheNearRoot) {
    const Sphere unit(Point(0, 0, 0), 1, kRed);
    Ray ray = MakeRay(Point(0, 0, -5), Direction(0, 0, 1));
    const HitRecord hit = unit.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 4.0f);
    EXPECT_EQ(hit.point, Point(0, 0, -1));
    EXPECT_EQ(hit.normal, Direction(0, 0, -1));
    EXPECT_EQ(hit.material, kRed);
}

TEST(Sphere, ParameterCountsLengthsOfTheDirection) {
    const Sphere unit(Point(0, 0, 0), 1, kRed);
    Ray ray = MakeRay(Point(0, 0, -5), Direction(0, 0, 2));
    const HitRecord hit = unit.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 2.0f);
    EXPECT_EQ(hit.point, Point(0, 0, -1));
}

TEST(Sphere, RayFromInsideGetsTheExitWithTheOutwardNormal) {
    const Sphere unit(Point(0, 0, 0), 1, kRed);
    Ray ray = MakeRay(Point(0, 0, 0), Direction(1, 0, 0));
    const HitRecord hit = unit.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 1.0f);
    EXPECT_EQ(hit.point, Point(1, 0, 0));
    EXPECT_EQ(hit.normal, Direction(1, 0, 0));
}

TEST(Sphere, MissesReportMinusOne) {
    const Sphere behind(Point(0, 0, -5), 1, kRed);
    Ray ray = MakeRay(Point(0, 0, 0), Direction(0, 0, 1));
    HitRecord hit = behind.Intersect(ray);
    EXPECT_FALSE(hit.hit);
    EXPECT_EQ(hit.t, -1.0f);

    const Sphere aside(Point(5, 0, 0), 1, kRed);
    hit = aside.Intersect(ray);
    EXPECT_FALSE(hit.hit);
    EXPECT_EQ(hit.t, -1.0f);
}

TEST(Sphere, TangentRayTouchesAtTheDoubleRoot) {
    const Sphere unit(Point(0, 0, 0), 1, kRed);
    Ray ray = MakeRay(Point(1, 0, -3), Direction(0, 0, 1));
    const HitRecord hit = unit.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 3.0f);
    EXPECT_EQ(hit.normal, Direction(1, 0, 0));
}

TEST(Sphere, RayStartingOnTheSurfaceHitsAtZeroEitherWay) {
    const Sphere unit(Point(0, 0, 0), 1, kRed);
    for (const float dx : {1.0f, -1.0f}) {
        Ray ray = MakeRay(Point(1, 0, 0), Direction(dx, 0, 0));
        const HitRecord hit = unit.Intersect(ray);
        ASSERT_TRUE(hit.hit) << dx;
        EXPECT_EQ(hit.t, 0.0f) << dx;
        EXPECT_EQ(hit.point, Point(1, 0, 0)) << dx;
    }
}

TEST(Sphere, StoresAPointCentreAndDerivesItsBounds) {
    const Sphere sphere(Vec4{1, 2, 3, 0}, 2, kRed);
    EXPECT_EQ(sphere.GetCentre(), Point(1, 2, 3));
    EXPECT_EQ(sphere.GetBoundingSphere(), (BoundingSphere{Point(1, 2, 3), 2}));
    EXPECT_EQ(sphere.GetBoundingBox(), (BoundingBox{Point(-1, 0, 1), Point(3, 4, 5)}));

    const Sphere copy(sphere);
    EXPECT_EQ(copy.GetBoundingSphere(), sphere.GetBoundingSphere());
    EXPECT_EQ(copy.GetBoundingBox(), sphere.GetBoundingBox());
    const auto clone = sphere.Clone();
    EXPECT_EQ(clone->GetBoundingBox(), sphere.GetBoundingBox());
}

}  // namespace
}  // namespace lumivex
