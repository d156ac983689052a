#include "geometry/box.h"

#include <limits>

#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;

Box UnitCube() {
    return Box(Point(0, 0, 0), Direction(1, 0, 0), Direction(0, 1, 0), Direction(0, 0, 1),
               Material({0, 1, 0, 1}, 0, 1, {1, 1, 1, 1}, 1, 1, 0.1f));
}

TEST(Box, BuildsOutwardFacesAndBounds) {
    const Box cube = UnitCube();
    const Vec4 normals[6] = {Direction(0, -1, 0), Direction(0, 1, 0),  Direction(-1, 0, 0),
                             Direction(1, 0, 0),  Direction(0, 0, -1), Direction(0, 0, 1)};
    const Vec4 points[6] = {Point(0, 0, 0), Point(0, 1, 0), Point(0, 0, 0),
                            Point(1, 0, 0), Point(0, 0, 0), Point(0, 0, 1)};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(cube.GetFaces()[i].normal, normals[i]) << "face " << i;
        EXPECT_EQ(cube.GetFaces()[i].point, points[i]) << "face " << i;
    }
    EXPECT_EQ(cube.GetBoundingSphere().centre, Point(0.5f, 0.5f, 0.5f));
    EXPECT_FLOAT_EQ(cube.GetBoundingSphere().radius, 0.8660254f);
    EXPECT_EQ(cube.GetBoundingBox(), (BoundingBox{Point(0, 0, 0), Point(1, 1, 1)}));
}

TEST(Box, HitFromOutsideEntersThroughTheNearFace) {
    const Box cube = UnitCube();
    Ray ray = MakeRay(Point(0.5f, 0.5f, -5), Direction(0, 0, 1));
    const HitRecord hit = cube.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 5.0f);
    EXPECT_EQ(hit.point, Point(0.5f, 0.5f, 0));
    EXPECT_EQ(hit.normal, Direction(0, 0, -1));
    EXPECT_EQ(hit.material.roughness, 0.1f);
}

TEST(Box, RayFromInsideLeavesThroughTheFarFace) {
    const Box cube = UnitCube();
    Ray ray = MakeRay(Point(0.5f, 0.5f, 0.5f), Direction(0, 0, 1));
    const HitRecord hit = cube.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 0.5f);
    EXPECT_EQ(hit.point, Point(0.5f, 0.5f, 1));
    EXPECT_EQ(hit.normal, Direction(0, 0, 1));
}

TEST(Box, Misses) {
    const Box cube = UnitCube();
    // Parallel to face 3 with the origin outside it.
    Ray parallelOutside = MakeRay(Point(2, 0.5f, 0.5f), Direction(0, 0, 1));
    EXPECT_FALSE(cube.Intersect(parallelOutside).hit);
    // Pointing away: the exit lies behind the origin.
    Ray away = MakeRay(Point(0.5f, 0.5f, -5), Direction(0, 0, -1));
    EXPECT_FALSE(cube.Intersect(away).hit);
    // Passing beside the box.
    Ray beside = MakeRay(Point(1.5f, 0.5f, -5), Direction(0, 0.1f, 1));
    EXPECT_FALSE(cube.Intersect(beside).hit);
}

TEST(Box, RaysStartingOnAFace) {
    const Box cube = UnitCube();
    Ray outward = MakeRay(Point(0.5f, 0.5f, 0), Direction(0, 0, -1));
    HitRecord hit = cube.Intersect(outward);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 0.0f);
    EXPECT_EQ(hit.normal, Direction(0, 0, -1));

    Ray inward = MakeRay(Point(0.5f, 0.5f, 0), Direction(0, 0, 1));
    hit = cube.Intersect(inward);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 1.0f);
    EXPECT_EQ(hit.normal, Direction(0, 0, 1));
}

TEST(Box, GrazingAnEdgeCountsAndTheLowerFaceSuppliesTheNormal) {
    const Box cube = UnitCube();
    // Enters faces 2 (x = 0) and 0 (y = 0) at the same parameter: face 0 wins the tie.
    Ray diagonal = MakeRay(Point(-1, -1, 0.5f), Direction(1, 1, 0));
    const HitRecord hit = cube.Intersect(diagonal);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 1.0f);
    EXPECT_EQ(hit.normal, Direction(0, -1, 0));
}

TEST(Box, ContainsUsesTheFacePlanesInclusively) {
    const Box cube = UnitCube();
    EXPECT_TRUE(cube.Contains(Point(0.5f, 0.5f, 0.5f)));
    EXPECT_TRUE(cube.Contains(Point(1, 0.5f, 0.5f)));
    EXPECT_TRUE(cube.Contains(Point(1, 1, 1)));
    EXPECT_FALSE(cube.Contains(Point(1.5f, 0.5f, 0.5f)));
}

TEST(Box, LeftHandedEdgesTurnEveryNormalInward) {
    const Box box(Point(0, 0, 0), Direction(0, 1, 0), Direction(1, 0, 0), Direction(0, 0, 1), {});
    const Vec4 centre = Point(0.5f, 0.5f, 0.5f);
    for (const Plane& face : box.GetFaces()) {
        EXPECT_GT(Dot(face.normal, centre - face.point), 0.0f) << face;
    }
}

TEST(Box, SkewedBoxReachesOutsideItsBoundingSphere) {
    const Box skewed(Point(0, 0, 0), Direction(1, 0, 0), Direction(-0.9f, 1, 0), Direction(0, 0, 1),
                     {});
    const BoundingSphere& sphere = skewed.GetBoundingSphere();
    EXPECT_THAT(sphere.centre, testing::VecNear(Point(0.05f, 0.5f, 0.5f), 1e-7f));
    EXPECT_NEAR(sphere.radius, 0.7089f, 1e-4f);
    EXPECT_NEAR(Length(Point(1, 0, 0) - sphere.centre), 1.1843f, 1e-4f);

    // Intersect itself still reports hits near that vertex, outside the sphere.
    Ray nearVertex = MakeRay(Point(0.95f, 0.02f, -5), Direction(0, 0, 1));
    const HitRecord hit = skewed.Intersect(nearVertex);
    ASSERT_TRUE(hit.hit);
    EXPECT_GT(Length(hit.point - sphere.centre), sphere.radius);
}

TEST(Box, CopyKeepsFacesAndRederivesBounds) {
    const Box cube = UnitCube();
    const Box copy(cube);
    EXPECT_EQ(copy.GetFaces(), cube.GetFaces());
    EXPECT_EQ(copy.GetBoundingSphere(), cube.GetBoundingSphere());
    EXPECT_EQ(copy.GetBoundingBox(), cube.GetBoundingBox());
    EXPECT_EQ(copy.GetMaterial(), cube.GetMaterial());
}

}  // namespace
}  // namespace lumivex
