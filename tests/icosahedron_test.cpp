#include "geometry/icosahedron.h"

#include <cstring>

#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;
using testing::VecNear;

const Material kWhite({0.9f, 0.9f, 0.9f, 1}, 0.3f, 5, {1, 1, 1, 1}, 1, 1, 0);

Icosahedron UnitSolid() {
    return Icosahedron(1, Point(0, 0, 0), kWhite);
}

TEST(Icosahedron, BuildsItsFacesFromTheFixedAngles) {
    const Icosahedron solid = UnitSolid();
    const auto& faces = solid.GetFaces();
    EXPECT_THAT(faces[0].normal, VecNear(Direction(0.809018f, 0, 0.587784f), 1e-6f));
    EXPECT_THAT(faces[0].point, VecNear(Point(0.572062f, 0, 0.415626f), 1e-6f));
    EXPECT_THAT(faces[1].normal, VecNear(Direction(-0.809018f, 0, -0.587784f), 1e-6f));
    EXPECT_THAT(faces[1].point, VecNear(Point(-0.572062f, 0, -0.415626f), 1e-6f));
    // The second ring's azimuths run 2pi short by a few millionths of a radian.
    EXPECT_THAT(faces[10].normal, VecNear(Direction(0.965497f, -0.000005f, 0.260415f), 1e-6f));
    EXPECT_NE(faces[10].normal.y, 0.0f);

    for (std::size_t j = 0; j < 10; ++j) {
        EXPECT_EQ(faces[2 * j + 1].normal, -faces[2 * j].normal) << j;
        EXPECT_EQ(faces[2 * j + 1].point.x, -faces[2 * j].point.x) << j;
        EXPECT_FLOAT_EQ(Length(faces[2 * j].normal), 1.0f) << j;
        // Each face point is the foot of the perpendicular from the centre.
        EXPECT_FLOAT_EQ(Dot(faces[2 * j].normal, faces[2 * j].point), 0.70710677f) << j;
    }
    EXPECT_EQ(solid.GetBoundingSphere(), (BoundingSphere{Point(0, 0, 0), 1}));
    EXPECT_EQ(solid.GetBoundingBox(), (BoundingBox{Point(-1, -1, -1), Point(1, 1, 1)}));
}

TEST(Icosahedron, HitsAFaceHeadOn) {
    const Icosahedron solid = UnitSolid();
    const Vec4 n0 = solid.GetFaces()[0].normal;
    Ray towards = MakeRay(AsPoint(5.0f * n0), -n0);
    HitRecord hit = solid.Intersect(towards);
    ASSERT_TRUE(hit.hit);
    EXPECT_FLOAT_EQ(hit.t, 4.2928932f);
    EXPECT_THAT(hit.point, VecNear(Point(0.572062f, 0, 0.415626f), 1e-6f));
    EXPECT_EQ(hit.normal, n0);
    EXPECT_EQ(hit.material, kWhite);

    Ray mirrored = MakeRay(AsPoint(-5.0f * n0), AsDirection(n0));
    hit = solid.Intersect(mirrored);
    ASSERT_TRUE(hit.hit);
    EXPECT_FLOAT_EQ(hit.t, 4.2928932f);
    EXPECT_EQ(hit.normal, solid.GetFaces()[1].normal);
}

TEST(Icosahedron, RayFromTheCentreReportsTheExitFace) {
    const Icosahedron solid = UnitSolid();
    const Vec4 n0 = solid.GetFaces()[0].normal;
    Ray ray = MakeRay(Point(0, 0, 0), n0);
    const HitRecord hit = solid.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_FLOAT_EQ(hit.t, 0.70710677f);
    EXPECT_EQ(hit.normal, n0);
}

TEST(Icosahedron, ApexLiesOutsideTheBoundingSphere) {
    const Icosahedron solid = UnitSolid();
    Ray down = MakeRay(Point(0, 0, 5), Direction(0, 0, -1));
    const HitRecord hit = solid.Intersect(down);
    ASSERT_TRUE(hit.hit);
    EXPECT_FLOAT_EQ(hit.t, 3.7969957f);
    EXPECT_THAT(hit.point, VecNear(Point(0, 0, 1.2030043f), 1e-6f));
}

TEST(Icosahedron, Misses) {
    const Icosahedron solid = UnitSolid();
    Ray away = MakeRay(Point(0, 0, 5), Direction(0, 0, 1));
    EXPECT_FALSE(solid.Intersect(away).hit);
    Ray beside = MakeRay(Point(3, 0, 5), Direction(0, 0, -1));
    EXPECT_FALSE(solid.Intersect(beside).hit);
}

TEST(Icosahedron, ParallelToAFaceWithTheOriginOutsideMisses) {
    const Icosahedron solid = UnitSolid();
    const Plane& face = solid.GetFaces()[0];
    // Along the face's plane, just outside it, aimed through the middle of the solid's span.
    const Vec4 along = Normalized(Cross(face.normal, Direction(0, 1, 0)));
    Ray ray = MakeRay(AsPoint(face.point + 0.01f * face.normal), along);
    EXPECT_EQ(Dot(ray.direction, face.normal), 0.0f);
    EXPECT_FALSE(solid.Intersect(ray).hit);
}

TEST(Icosahedron, CopyKeepsTheFacesBitForBit) {
    const Icosahedron solid(1.5f, Point(-3, 0, 0), kWhite);
    const Icosahedron copy(solid);
    EXPECT_EQ(std::memcmp(copy.GetFaces().data(), solid.GetFaces().data(), sizeof(solid.GetFaces())), 0);
    EXPECT_EQ(copy.GetBoundingSphere(), solid.GetBoundingSphere());
    EXPECT_EQ(copy.GetBoundingBox(), solid.GetBoundingBox());
    EXPECT_EQ(copy.GetCentre().w, 1.0f);
}

TEST(Icosahedron, CentreWIsIgnored) {
    const Icosahedron solid(2, Vec4{1, 2, 3, 0}, kWhite);
    EXPECT_EQ(solid.GetCentre(), Point(1, 2, 3));
    EXPECT_EQ(solid.GetBoundingBox(), (BoundingBox{Point(-1, 0, 1), Point(3, 4, 5)}));
}

}  // namespace
}  // namespace lumivex
