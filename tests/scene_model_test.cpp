// The value records the shapes are built from, and the scene that owns the shapes.
#include "geometry/matrix4.h"
#include "scene/scene.h"
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

TEST(Camera, CentreIsAPointAfterConstructionCopyAndAssignment) {
    const Camera camera(Vec4{1, 2, 3, 0}, Direction(1, 0, 0), Direction(0, 1, 0),
                        Direction(0, 0, -2));
    Camera broken = camera;
    broken.centre.w = 0;
    Camera assigned;
    assigned = broken;
    for (const Camera& c : {camera, Camera(broken), assigned}) {
        EXPECT_EQ(c.centre, Point(1, 2, 3));
    }
}

// A shape that records its destruction, to check ownership.
struct CountedShape final : Geometry {
    CountedShape(int id, std::vector<int>* destroyed) : id(id), destroyed(destroyed) {}
    CountedShape(const CountedShape&) = default;
    ~CountedShape() override { destroyed->push_back(id); }
    const BoundingSphere& GetBoundingSphere() const override { return sphere; }
    const BoundingBox& GetBoundingBox() const override { return box; }
    HitRecord Intersect(Ray&) const override { return {}; }
    bool HitDistance(const Ray&, float&) const override { return false; }
    std::unique_ptr<Geometry> Clone() const override { return nullptr; }
    ShapeKind GetKind() const override { return ShapeKind::Sphere; }

    int id;
    std::vector<int>* destroyed;
    BoundingSphere sphere;
    BoundingBox box;
};

TEST(Scene, OwnsCopiesAndTakeOverDestroysTheOldObjectsInListOrder) {
    std::vector<int> destroyed;
    Scene window;
    const CountedShape first(1, &destroyed);
    window.AddObject(first);  // a copy, which the scene destroys
    window.AddObject(CountedShape(2, &destroyed));
    window.AddObject(CountedShape(3, &destroyed));
    Scene loaded;
    loaded.AddObject(CountedShape(11, &destroyed));
    loaded.AddObject(CountedShape(12, &destroyed));
    loaded.AddLight({{1, 1, 1, 1}, Point(0, 10, -10), 0.5f});
    destroyed.clear();  // the temporaries

    window.TakeOver(loaded);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(loaded.objects.empty() && loaded.lights.empty());
    window.TakeOver(window);  // changes nothing
    EXPECT_EQ(std::tuple(window.objects.size(), window.lights.size()), std::tuple(2u, 1u));
    Scene().TakeOver(window);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3, 11, 12}));
}

}  // namespace
}  // namespace lumivex
