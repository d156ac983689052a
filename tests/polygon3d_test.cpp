#include "geometry/polygon3d.h"

#include <vector>

#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;

const Material kGrey({0.8f, 0.8f, 0.8f, 1}, 0, 1, {1, 1, 1, 1}, 1, 1, 0);

Polygon3D UnitSquare() {
    const std::vector<Vec4> square = {Point(0, 0, 0), Point(1, 0, 0), Point(1, 1, 0),
                                      Point(0, 1, 0)};
    return Polygon3D(square, kGrey);
}

TEST(Polygon3D, PreparesFanPlaneAndBounds) {
    const Polygon3D square = UnitSquare();
    const std::vector<Triangle> fan = {{Point(0, 0, 0), Point(1, 0, 0), Point(1, 1, 0)},
                                       {Point(0, 0, 0), Point(1, 1, 0), Point(0, 1, 0)}};
    EXPECT_EQ(square.GetTriangles(), fan);
    EXPECT_EQ(square.GetPlane(), (Plane{Point(0, 0, 0), Direction(0, 0, 1)}));
    EXPECT_EQ(square.GetBoundingSphere().centre, Point(0.5f, 0.5f, 0));
    EXPECT_EQ(square.GetBoundingSphere().radius, std::sqrt(0.5f));
    EXPECT_EQ(square.GetBoundingBox(), (BoundingBox{Point(0, 0, 0), Point(1, 1, 0)}));
}

TEST(Polygon3D, StoresVerticesAsPoints) {
    const std::vector<Vec4> given = {Vec4{0, 0, 0, 0}, Vec4{1, 0, 0, 5}, Vec4{0, 1, 0, 2}};
    const Polygon3D triangle(given, kGrey);
    for (const Vec4& v : triangle.GetVertices()) {
        EXPECT_EQ(v.w, 1.0f);
    }
}

TEST(Polygon3D, HitsFromEitherSideWithThePlaneNormal) {
    const Polygon3D square = UnitSquare();
    for (const float side : {1.0f, -1.0f}) {
        Ray ray = MakeRay(Point(0.5f, 0.5f, 5 * side), Direction(0, 0, -side));
        const HitRecord hit = square.Intersect(ray);
        ASSERT_TRUE(hit.hit) << side;
        EXPECT_EQ(hit.t, 5.0f);
        EXPECT_EQ(hit.point, Point(0.5f, 0.5f, 0));
        EXPECT_EQ(hit.normal, Direction(0, 0, 1));
        EXPECT_EQ(hit.material, kGrey);
    }
    Ray longer = MakeRay(Point(0.5f, 0.5f, 5), Direction(0, 0, -2));
    const HitRecord hit = square.Intersect(longer);
    EXPECT_EQ(hit.t, 2.5f);
    EXPECT_EQ(hit.point, Point(0.5f, 0.5f, 0));
}

TEST(Polygon3D, EdgesCornersAndTheSharedDiagonalAreInside) {
    const Polygon3D square = UnitSquare();
    for (const Vec4& target : {Point(0.25f, 0.25f, 0), Point(0.5f, 0, 0), Point(1, 1, 0),
                               Point(0, 0, 0), Point(0, 0.5f, 0), Point(1, 0.5f, 0)}) {
        Ray ray = MakeRay(AsPoint(target + Direction(0, 0, 1)), Direction(0, 0, -1));
        EXPECT_TRUE(square.Intersect(ray).hit) << target;
    }
}

TEST(Polygon3D, Misses) {
    const Polygon3D square = UnitSquare();
    Ray outside = MakeRay(Point(1.5f, 0.5f, 1), Direction(0, 0, -1));
    EXPECT_FALSE(square.Intersect(outside).hit);
    Ray behind = MakeRay(Point(0.5f, 0.5f, 1), Direction(0, 0, 1));
    EXPECT_FALSE(square.Intersect(behind).hit);
    Ray parallel = MakeRay(Point(0.5f, 0.5f, 1), Direction(1, 0, 0));
    EXPECT_FALSE(square.Intersect(parallel).hit);
    Ray inPlane = MakeRay(Point(-1, 0.5f, 0), Direction(1, 0, 0));
    EXPECT_FALSE(square.Intersect(inPlane).hit);
}

TEST(Polygon3D, RayFromAPointOnThePolygonHitsAtZero) {
    const Polygon3D square = UnitSquare();
    Ray ray = MakeRay(Point(0.5f, 0.5f, 0), Direction(0, 0.6f, 0.8f));
    const HitRecord hit = square.Intersect(ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 0.0f);
    EXPECT_EQ(hit.point, Point(0.5f, 0.5f, 0));
}

TEST(Polygon3D, DegenerateOutlinesNeverHit) {
    const std::vector<std::vector<Vec4>> outlines = {
        {},
        {Point(0, 0, 0), Point(1, 0, 0)},
        {Point(0, 0, 0), Point(1, 0, 0), Point(2, 0, 0), Point(0, 1, 0)},  // collinear start
    };
    for (const auto& outline : outlines) {
        const Polygon3D polygon(outline, kGrey);
        for (const Vec4& origin : {Point(0.2f, 0.2f, 1), Point(0, 0, 1), Point(1, 0, 1)}) {
            Ray ray = MakeRay(origin, Direction(0, 0, -1));
            EXPECT_FALSE(polygon.Intersect(ray).hit) << outline.size() << " vertices";
        }
    }
    EXPECT_TRUE(Polygon3D(outlines[0], kGrey).GetTriangles().empty());
    EXPECT_EQ(Polygon3D(outlines[1], kGrey).GetTriangles().size(), 0u);
}

TEST(Polygon3D, CollinearFanTriangleIsSkipped) {
    // The second fan triangle (v0, v2, v3) is degenerate; the third still counts.
    const std::vector<Vec4> outline = {Point(0, 0, 0), Point(1, 0, 0), Point(1, 1, 0),
                                       Point(2, 2, 0), Point(0, 2, 0)};
    const Polygon3D polygon(outline, kGrey);
    Ray ray = MakeRay(Point(0.2f, 1.5f, 1), Direction(0, 0, -1));
    EXPECT_TRUE(polygon.Intersect(ray).hit);
}

TEST(Polygon3D, OnlyTheFanCountsForANonStarShapedOutline) {
    // A "C" opening to the right. Seen from the first vertex, the fan triangle (v0, v4, v5)
    // reaches across the notch, which lies outside the outline itself.
    const std::vector<Vec4> outline = {Point(0, 0, 0), Point(3, 0, 0), Point(3, 1, 0),
                                       Point(1, 1, 0), Point(1, 2, 0), Point(3, 2, 0),
                                       Point(3, 3, 0), Point(0, 3, 0)};
    const Polygon3D polygon(outline, kGrey);
    Ray inNotch = MakeRay(Point(2, 1.5f, 1), Direction(0, 0, -1));
    EXPECT_TRUE(polygon.Intersect(inNotch).hit);
    Ray pastTheFan = MakeRay(Point(2.9f, 1.1f, 1), Direction(0, 0, -1));
    EXPECT_FALSE(polygon.Intersect(pastTheFan).hit);
}

TEST(Polygon3D, CopyRecomputesTheSameDerivedData) {
    const Polygon3D square = UnitSquare();
    const Polygon3D copy(square);
    EXPECT_EQ(copy.GetVertices(), square.GetVertices());
    EXPECT_EQ(copy.GetTriangles(), square.GetTriangles());
    EXPECT_EQ(copy.GetPlane(), square.GetPlane());
    EXPECT_EQ(copy.GetBoundingSphere(), square.GetBoundingSphere());
    EXPECT_EQ(copy.GetBoundingBox(), square.GetBoundingBox());
}

}  // namespace
}  // namespace lumivex
