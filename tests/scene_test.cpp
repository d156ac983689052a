#include "scene/scene.h"

#include "geometry/sphere.h"
#include "test_support.h"

namespace lumivex {
namespace {

// A shape that counts its destructions, to check ownership.
class CountedShape final : public Geometry {
  public:
    explicit CountedShape(int id, std::vector<int>* destroyed) : id(id), destroyed(destroyed) {}
    CountedShape(const CountedShape&) = default;
    ~CountedShape() override { destroyed->push_back(id); }

    const BoundingSphere& GetBoundingSphere() const override { return sphere; }
    const BoundingBox& GetBoundingBox() const override { return box; }
    HitRecord Intersect(Ray&) const override { return {}; }
    bool HitDistance(const Ray&, float&) const override { return false; }
    std::unique_ptr<Geometry> Clone() const override {
        return std::make_unique<CountedShape>(*this);
    }
    ShapeKind GetKind() const override { return ShapeKind::Sphere; }  // never looked at here

    int id;

  private:
    std::vector<int>* destroyed;
    BoundingSphere sphere;
    BoundingBox box;
};

TEST(Scene, StartsWithTheDefaults) {
    const Scene scene;
    EXPECT_TRUE(scene.objects.empty());
    EXPECT_TRUE(scene.lights.empty());
    EXPECT_EQ(scene.camera.centre, Point(0, 0, 0));
    EXPECT_EQ(scene.camera.eyeOffset, Direction(0, 0, 1));
    EXPECT_EQ(scene.camera.right, Direction(0, 0.5f, 0));
    EXPECT_EQ(scene.camera.up, Direction(0.5f, 0, 0));
    EXPECT_EQ(scene.ambient, (Color{0, 0, 0, 1}));
    EXPECT_EQ(scene.air.refractiveIndex, 1.0f);
    EXPECT_EQ(scene.air.attenuation, (Color{1, 1, 1, 1}));
}

TEST(Scene, AddsHeapCopiesInOrder) {
    std::vector<int> destroyed;
    {
        Scene scene;
        CountedShape a(1, &destroyed);
        CountedShape b(2, &destroyed);
        scene.AddObject(a);
        scene.AddObject(b);
        scene.AddLight({{1, 0, 0, 1}, Point(0, 1, 0), 0.5f});
        scene.AddLight({{0, 1, 0, 1}, Point(0, 2, 0), 0});
        ASSERT_EQ(scene.objects.size(), 2u);
        EXPECT_NE(scene.objects[0].get(), &a);
        EXPECT_EQ(static_cast<CountedShape&>(*scene.objects[0]).id, 1);
        EXPECT_EQ(static_cast<CountedShape&>(*scene.objects[1]).id, 2);
        EXPECT_EQ(scene.lights[1].position, Point(0, 2, 0));
        EXPECT_TRUE(destroyed.empty());
    }
    // The caller's own shapes go first (b, then a, as locals do), then the scene's copies in
    // list order.
    EXPECT_EQ(destroyed, (std::vector<int>{2, 1, 1, 2}));
}

TEST(Scene, TakeOverDestroysExactlyTheOldObjects) {
    std::vector<int> destroyed;
    Scene window;
    for (int id = 1; id <= 5; ++id) {
        window.AddObject(CountedShape(id, &destroyed));
    }
    destroyed.clear();  // the temporaries passed to AddObject

    Scene loaded;
    for (int id = 11; id <= 13; ++id) {
        loaded.AddObject(CountedShape(id, &destroyed));
    }
    loaded.AddLight({{1, 1, 1, 1}, Point(0, 10, -10), 0.5f});
    loaded.ambient = {0.1f, 0.1f, 0.1f, 1};
    loaded.camera =
        Camera(Point(0, 0, -8), Direction(1, 0, 0), Direction(0, 1, 0), Direction(0, 0, -2));
    loaded.air = Air(2, 2, {1, 1, 1, 1});
    destroyed.clear();

    const Scene* identity = &window;
    window.TakeOver(loaded);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(&window, identity);
    ASSERT_EQ(window.objects.size(), 3u);
    EXPECT_EQ(static_cast<CountedShape&>(*window.objects[2]).id, 13);
    EXPECT_EQ(window.lights.size(), 1u);
    EXPECT_EQ(window.ambient.r, 0.1f);
    EXPECT_EQ(window.camera.centre, Point(0, 0, -8));
    EXPECT_EQ(window.air.refractiveIndex, 2.0f);
    EXPECT_TRUE(loaded.objects.empty());
    EXPECT_TRUE(loaded.lights.empty());

    destroyed.clear();
    {
        Scene discarded;
        discarded.TakeOver(window);
    }
    EXPECT_EQ(destroyed, (std::vector<int>{11, 12, 13}));
}

TEST(Scene, DestroysPolymorphicallyThroughTheBase) {
    Scene scene;
    scene.AddObject(Sphere(Point(0, 0, 0), 1, {}));
    EXPECT_EQ(scene.objects[0]->GetBoundingSphere().radius, 1.0f);
}

TEST(Camera, CentreIsAlwaysAPoint) {
    const Camera camera(Vec4{1, 2, 3, 0}, Direction(1, 0, 0), Direction(0, 1, 0),
                        Direction(0, 0, -2));
    EXPECT_EQ(camera.centre, Point(1, 2, 3));
    EXPECT_EQ(camera.eyeOffset, Direction(0, 0, -2));

    Camera copy = camera;
    copy.centre.w = 0;
    Camera assigned;
    assigned = copy;
    EXPECT_EQ(assigned.centre.w, 1.0f);
    EXPECT_EQ(Camera(copy).centre.w, 1.0f);
}

TEST(Air, DerivesItsRefractiveIndex) {
    EXPECT_EQ(Air(2, 2, {1, 1, 1, 1}).refractiveIndex, 2.0f);
    EXPECT_EQ(Air(1, 1, {1, 1, 1, 1}).refractiveIndex, 1.0f);
    EXPECT_TRUE(std::isnan(Air(-1, 2, {1, 1, 1, 1}).refractiveIndex));
}

}  // namespace
}  // namespace lumivex
