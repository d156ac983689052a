#include <limits>

#include "geometry/bounds.h"
#include "geometry/hit_record.h"
#include "geometry/matrix4.h"
#include "geometry/sphere.h"
#include "test_support.h"

namespace lumivex {
namespace {

TEST(Vec4, OperationsFollowTheirOwnWRules) {
    const Vec4 p = Point(1, 2, 3);
    EXPECT_EQ(-p, (Vec4{-1, -2, -3, 1}));
    EXPECT_EQ(Point(4, 5, 6) - p, (Vec4{3, 3, 3, 2}));
    EXPECT_EQ(p + Point(1, 1, 1), (Vec4{2, 3, 4, 2}));
    EXPECT_EQ(2.0f * p, (Vec4{2, 4, 6, 1}));
    EXPECT_EQ((Vec4{2, 4, 6, 3} / 2.0f), (Vec4{1, 2, 3, 3}));
    EXPECT_EQ(AsPoint(Vec4{1, 2, 3, 7}), Point(1, 2, 3));
    EXPECT_EQ(Normalized(Vec4{0, 3, 4, 1}), Direction(0, 0.6f, 0.8f));
    EXPECT_EQ(Cross(Vec4{1, 0, 0, 2}, Vec4{0, 1, 0, 3}), (Vec4{0, 0, 1, 6}));
}

TEST(Vec4, DotAndLengthSumLeftToRight) {
    // (1e8 + 1) rounds back to 1e8 in single precision, so the x and y terms absorb the 1
    // before z cancels x; any other order would give 1.
    EXPECT_EQ(Dot(Direction(1e8f, 1, -1e8f), Direction(1, 1, 1)), 0.0f);
    EXPECT_EQ(Length(Direction(3, 4, 12)), 13.0f);
    EXPECT_EQ(Dot(Vec4{1, 2, 3, 100}, Vec4{1, 1, 1, 100}), 6.0f);  // w ignored
}

TEST(Vec4, NormalizingZeroGivesNaN) {
    const Vec4 n = Normalized(Direction(0, 0, 0));
    EXPECT_TRUE(std::isnan(n.x) && std::isnan(n.y) && std::isnan(n.z));
    EXPECT_EQ(n.w, 0.0f);
}

TEST(Matrix4, ProductIncludesTheWColumn) {
    const Vec4 v{1, 2, 3, 4};
    EXPECT_EQ(Matrix4{} * v, v);

    Matrix4 translate;
    translate.m[0][3] = 10;
    EXPECT_EQ(translate * Point(1, 2, 3), Point(11, 2, 3));
    EXPECT_EQ(translate * Direction(1, 2, 3), Direction(1, 2, 3));

    Matrix4 m;
    m.m[1][0] = 5;
    EXPECT_EQ(Transposed(m).m[0][1], 5.0f);
    EXPECT_EQ(Transposed(m).m[1][0], 0.0f);
}

TEST(Material, DerivesTheRefractiveIndexOnceFromTheProduct) {
    const Material glass({1, 1, 1, 1}, 0.5f, 20, {1, 1, 1, 1}, 2.25f, 1, 0);
    EXPECT_EQ(glass.refractiveIndex, 1.5f);

    Material copy = glass;
    copy.permittivity = 4;  // a copy keeps the index, it is never recomputed
    EXPECT_EQ(copy.refractiveIndex, 1.5f);

    // Negative product: not a number, stored as it is.
    EXPECT_TRUE(std::isnan(Material({}, 0, 0, {}, -1, 1, 0).refractiveIndex));
}

TEST(HitRecord, DefaultsMatchAnEmptyMaterial) {
    const HitRecord record;
    EXPECT_EQ(record.point, Point(0, 0, 0));
    EXPECT_EQ(record.normal, Direction(0, 0, 0));
    EXPECT_EQ(record.material.diffuse, (Color{0, 0, 0, 1}));
    EXPECT_EQ(record.material.attenuation, (Color{1, 1, 1, 1}));
    EXPECT_EQ(record.material.refractiveIndex, 0.0f);
}

TEST(BoundingBox, GrowsInclusivelyFromTheFloatExtremes) {
    const Vec4 single[] = {Point(1, -2, 3)};
    const BoundingBox box = GrowBoundingBox(single);
    EXPECT_EQ(box.min, Point(1, -2, 3));
    EXPECT_EQ(box.max, Point(1, -2, 3));

    const Vec4 corners[] = {Point(1, 5, -1), Vec4{-2, 6, 0, 0}, Point(0, 4, 2)};
    const BoundingBox grown = GrowBoundingBox(corners);
    EXPECT_EQ(grown.min, Point(-2, 4, -1));
    EXPECT_EQ(grown.max, Point(1, 6, 2));

    const BoundingBox empty = GrowBoundingBox({});
    EXPECT_EQ(empty.min.x, std::numeric_limits<float>::max());
    EXPECT_EQ(empty.max.x, -std::numeric_limits<float>::max());
}

TEST(Geometry, DefaultContainsTestsTheBoundingSphereInclusively) {
    const Sphere unit(Point(0, 0, 0), 1, {});
    EXPECT_TRUE(unit.Contains(Point(1, 0, 0)));
    EXPECT_TRUE(unit.Contains(Point(0, 0.5f, 0)));
    EXPECT_FALSE(unit.Contains(Point(1.5f, 0, 0)));
    EXPECT_FALSE(unit.Contains(Point(NAN, 0, 0)));
}

}  // namespace
}  // namespace lumivex
