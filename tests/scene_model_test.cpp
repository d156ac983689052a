// The value records the shapes are built from.
#include "geometry/material.h"
#include "geometry/matrix4.h"
#include "scene/air.h"
#include "test_support.h"

namespace lumivex {
namespace {

TEST(Vec4, OperationsFollowTheirOwnWRulesAndSumLeftToRight) {
    const Vec4 p = Point(1, 2, 3);
    EXPECT_EQ(-p, (Vec4{-1, -2, -3, 1}));
    EXPECT_EQ(Point(4, 5, 6) - p, (Vec4{3, 3, 3, 2}));
    EXPECT_EQ(2.0f * p, (Vec4{2, 4, 6, 1}));
    EXPECT_EQ((Vec4{2, 4, 6, 3} / 2.0f), (Vec4{1, 2, 3, 3}));
    EXPECT_EQ(Cross(Vec4{1, 0, 0, 2}, Vec4{0, 1, 0, 3}), (Vec4{0, 0, 1, 6}));
    EXPECT_EQ(Dot(Vec4{1, 2, 3, 100}, Vec4{1, 1, 1, 100}), 6.0f);  // w takes no part
    EXPECT_TRUE(std::isnan(Normalized(Direction(0, 0, 0)).x));     // no guard against zero
    // 1e8 + 1 rounds back to 1e8, so the y term is lost before z cancels x; in any other
    // order the sum would be 1.
    EXPECT_EQ(Dot(Direction(1e8f, 1, -1e8f), Direction(1, 1, 1)), 0.0f);
}

TEST(Matrix4, ProductSumsAllFourColumnsLeftToRight) {
    Matrix4 m;
    m.m[0][3] = 10;  // a translation, which only points feel
    m.m[1][0] = 5;
    EXPECT_EQ(m * Point(1, 2, 3), Point(11, 7, 3));
    EXPECT_EQ(m * Direction(1, 2, 3), Direction(1, 7, 3));
    EXPECT_EQ((Transposed(m) * Vec4{1, 2, 3, 4}), (Vec4{11, 2, 3, 14}));
    m.m[2][0] = 1e8f;
    m.m[2][1] = 1;
    m.m[2][2] = -1e8f;
    EXPECT_EQ(m * Direction(1, 1, 1), Direction(1, 6, 0));  // no 1 left in z, as for Dot
}

TEST(Material, RefractiveIndexIsTheRootOfPermittivityTimesPermeability) {
    EXPECT_EQ(Material({}, 0.5f, 20, {}, 2, 8, 0).refractiveIndex, 4.0f);
    EXPECT_EQ(Material({}, 0, 0, {}, 0, 1, 0).refractiveIndex, 0.0f);  // a pure mirror
    EXPECT_TRUE(std::isnan(Material({}, 0, 0, {}, -1, 1, 0).refractiveIndex));
    EXPECT_EQ(Air(2, 8, {1, 1, 1, 1}).refractiveIndex, 4.0f);
    EXPECT_TRUE(std::isnan(Air(-1, 2, {1, 1, 1, 1}).refractiveIndex));
}

}  // namespace
}  // namespace lumivex
