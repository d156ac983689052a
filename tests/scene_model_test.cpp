// The value records the shapes are built from, and the scene that owns the shapes.
#include <limits>

#include "geometry/bounds.h"
#include "geometry/matrix4.h"
#include "scene/scene.h"
#include "test_support.h"

namespace lumivex {
namespace {

TEST(Vec4, OperationsFollowTheirOwnWRulesAndSumLeftToRight) {
    const Vec4 p = Point(1, 2, 3);
    EXPECT_EQ(-p, (Vec4{-1, -2, -3, 1}));
    EXPECT_EQ(Point(4, 5, 6) - p, (Vec4{3, 3, 3, 2}));
    EXPECT_EQ(p + Point(1, 1, 1), (Vec4{2, 3, 4, 2}));
    EXPECT_EQ(2.0f * p, (Vec4{2, 4, 6, 1}));
    EXPECT_EQ((Vec4{2, 4, 6, 3} / 2.0f), (Vec4{1, 2, 3, 3}));
    EXPECT_EQ(AsPoint(Vec4{1, 2, 3, 7}), Point(1, 2, 3));
    EXPECT_EQ(AsDirection(Vec4{1, 2, 3, 7}), Direction(1, 2, 3));
    EXPECT_EQ(Normalized(Vec4{0, 3, 4, 1}), Direction(0, 0.6f, 0.8f));
    EXPECT_TRUE(std::isnan(Normalized(Direction(0, 0, 0)).x));  // no guard against zero
    EXPECT_EQ(Cross(Vec4{1, 0, 0, 2}, Vec4{0, 1, 0, 3}), (Vec4{0, 0, 1, 6}));
    EXPECT_EQ(Cross(Direction(0, 0, 1), Direction(1, 0, 0)), Direction(0, 1, 0));
    EXPECT_EQ(Length(Direction(3, 4, 12)), 13.0f);
    EXPECT_EQ(Dot(Vec4{1, 2, 3, 100}, Vec4{1, 1, 1, 100}), 6.0f);  // w takes no part
    // 1e8 + 1 rounds back to 1e8, so the y term is lost before z cancels x; in any other
    // order the sum would be 1.
    EXPECT_EQ(Dot(Direction(1e8f, 1, -1e8f), Direction(1, 1, 1)), 0.0f);
}

TEST(Matrix4, ProductSumsAllFourColumnsLeftToRight) {
    const Vec4 v{1, 2, 3, 4};
    Matrix4 m;
    EXPECT_EQ(m * v, v);
    m.m[0][3] = 10;  // a translation, which only points feel
    m.m[1][0] = 5;
    EXPECT_EQ(m * Point(1, 2, 3), Point(11, 7, 3));
    EXPECT_EQ(m * Direction(1, 2, 3), Direction(1, 7, 3));
    EXPECT_EQ(Transposed(m) * v, (Vec4{11, 2, 3, 14}));
    m.m[2][0] = 1e8f;
    m.m[2][1] = 1;
    m.m[2][2] = -1e8f;
    EXPECT_EQ(m * Direction(1, 1, 1), Direction(1, 6, 0));  // no 1 left in z, as for Dot
}

TEST(Material, RefractiveIndexIsTheRootOfPermittivityTimesPermeabilityTakenOnce) {
    Material glass({1, 1, 1, 1}, 0.5f, 20, {1, 1, 1, 1}, 2, 8, 0);
    EXPECT_EQ(glass.refractiveIndex, 4.0f);
    glass.permittivity = 1;
    EXPECT_EQ(Material(glass).refractiveIndex, 4.0f);                  // a copy keeps it
    EXPECT_EQ(Material({}, 0, 0, {}, 0, 1, 0).refractiveIndex, 0.0f);  // a pure mirror
    EXPECT_TRUE(std::isnan(Material({}, 0, 0, {}, -1, 1, 0).refractiveIndex));
    EXPECT_EQ(Air(2, 8, {1, 1, 1, 1}).refractiveIndex, 4.0f);
    EXPECT_TRUE(std::isnan(Air(-1, 2, {1, 1, 1, 1}).refractiveIndex));
}

TEST(BoundingBox, GrowsFromTheFloatExtremesOverCornersTakenAsPoints) {
    const Vec4 single[] = {Point(1, -2, 3)};
    EXPECT_EQ(GrowBoundingBox(single), (BoundingBox{Point(1, -2, 3), Point(1, -2, 3)}));
    const Vec4 corners[] = {Point(1, 5, -1), Vec4{-2, 6, 0, 0}, Point(0, 4, 2)};
    EXPECT_EQ(GrowBoundingBox(corners), (BoundingBox{Point(-2, 4, -1), Point(1, 6, 2)}));
    constexpr float kMax = std::numeric_limits<float>::max();
    EXPECT_EQ(GrowBoundingBox({}),
              (BoundingBox{Point(kMax, kMax, kMax), Point(-kMax, -kMax, -kMax)}));
}

TEST(Camera, CentreIsAPointAfterConstructionCopyAndAssignment) {
    const Camera camera(Vec4{1, 2, 3, 0}, Direction(1, 0, 0), Direction(0, 1, 0),
                        Direction(0, 0, -2));
    Camera broken = camera;
    broken.centre.w = 0;
    Camera assigned;
    assigned = broken;
    for (const Camera& c : {camera, Camera(broken), assigned}) {
        EXPECT_EQ(std::tuple(c.centre, c.right, c.up, c.eyeOffset),
                  std::tuple(Point(1, 2, 3), Direction(1, 0, 0), Direction(0, 1, 0),
                             Direction(0, 0, -2)));
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

std::vector<int> Ids(const Scene& scene) {
    std::vector<int> ids;
    for (const auto& object : scene.objects) {
        ids.push_back(static_cast<const CountedShape&>(*object).id);
    }
    return ids;
}

TEST(Scene, OwnsCopiesInOrderAndTakeOverDestroysExactlyTheOldOnesInOrder) {
    std::vector<int> destroyed;
    Scene window;
    const CountedShape first(1, &destroyed);
    window.AddObject(first);
    for (int id = 2; id <= 5; ++id) {
        window.AddObject(CountedShape(id, &destroyed));
    }
    window.AddLight({{1, 1, 1, 1}, Point(0, 0, 0), 0});
    EXPECT_NE(window.objects[0].get(), &first);
    Scene loaded;
    for (int id = 11; id <= 13; ++id) {
        loaded.AddObject(CountedShape(id, &destroyed));
    }
    loaded.AddLight({{1, 1, 1, 1}, Point(0, 10, -10), 0.5f});
    loaded.ambient = {0.1f, 0.1f, 0.1f, 1};
    loaded.camera =
        Camera(Point(0, 0, -8), Direction(1, 0, 0), Direction(0, 1, 0), Direction(0, 0, -2));
    loaded.air = Air(2, 2, {1, 1, 1, 1});
    EXPECT_EQ(destroyed, (std::vector<int>{2, 3, 4, 5, 11, 12, 13}));  // the temporaries
    destroyed.clear();

    window.TakeOver(loaded);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Ids(window), (std::vector<int>{11, 12, 13}));
    ASSERT_EQ(window.lights.size(), 1u);
    EXPECT_EQ(window.lights[0].position, Point(0, 10, -10));
    EXPECT_EQ(window.ambient.r, 0.1f);
    EXPECT_EQ(window.camera.centre, Point(0, 0, -8));
    EXPECT_EQ(window.air.refractiveIndex, 2.0f);
    EXPECT_TRUE(loaded.objects.empty() && loaded.lights.empty());
    window.TakeOver(window);
    EXPECT_EQ(Ids(window), (std::vector<int>{11, 12, 13}));

    destroyed.clear();
    Scene().TakeOver(window);
    EXPECT_EQ(destroyed, (std::vector<int>{11, 12, 13}));
}

}  // namespace
}  // namespace lumivex
