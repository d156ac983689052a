#include "render/trace.h"

#include "geometry/box.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"
#include "render/nearest_hit.h"
#include "render/scene_index.h"
#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;

Material Matte(Color diffuse) {
    return Material(diffuse, 0, 1, {1, 1, 1, 1}, 1, 1, 0);
}

struct Fixture {
    Scene scene;
    RenderContext context;
    WorkerState worker;
    Fixture() { context.scene = &scene; }
    Color TraceFrom(const Vec4& origin, const Vec4& direction, bool inside = false,
                    int depth = kCameraRayDepth) {
        Ray ray = MakeRay(origin, Normalized(direction));
        return Trace(context, worker, ray, inside, depth);
    }
};

TEST(BoundingSphereTest, PassesTangentAndWidenedRaysAndRejectsSpheresBehind) {
    const BoundingSphere unit{Point(0, 0, 0), 1};
    EXPECT_TRUE(BoundingSphereTest(MakeRay(Point(1, 0, -5), Direction(0, 0, 1)), unit));
    EXPECT_TRUE(BoundingSphereTest(MakeRay(Point(1.00000005f, 0, -5), Direction(0, 0, 1)), unit));
    EXPECT_FALSE(BoundingSphereTest(MakeRay(Point(1.0001f, 0, -5), Direction(0, 0, 1)), unit));
    EXPECT_TRUE(BoundingSphereTest(MakeRay(Point(0.5f, 0, 0), Direction(0, 0, -1)), unit));
    EXPECT_FALSE(BoundingSphereTest(MakeRay(Point(0, 0, 5), Direction(0, 0, 1)), unit));
}

TEST(FindNearestHit, KeepsTheSmallestTAndTheEarlierObjectOnTies) {
    Scene scene;
    Ray ray = MakeRay(Point(0, 0, -5), Direction(0, 0, 1));
    EXPECT_FALSE(FindNearestHit(scene, ray).hit);

    scene.AddObject(Sphere(Point(0, 0, 2), 1, Matte({1, 0, 0, 1})));
    scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({0, 1, 0, 1})));
    scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({0, 0, 1, 1})));  // a twin: loses the tie
    scene.AddObject(Sphere(Point(5, 0, 0), 1, Matte({1, 1, 1, 1})));  // missed
    const HitRecord hit = FindNearestHit(scene, ray);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.t, 4.0f);
    EXPECT_EQ(hit.material.diffuse.g, 1.0f);
}

TEST(FindNearestHit, NeverAsksAnObjectWhoseBoundingSphereTheRayMisses) {
    // A skewed box reaches outside its bounding sphere: a ray through that corner only hits the
    // box when asked directly.
    Scene scene;
    scene.AddObject(Box(Point(0, 0, 0), Direction(1, 0, 0), Direction(-0.9f, 1, 0),
                        Direction(0, 0, 1), Matte({1, 1, 1, 1})));
    Ray corner = MakeRay(Point(0.95f, 0.05f, -5), Direction(0, 0, 1));
    EXPECT_TRUE(scene.objects[0]->Intersect(corner).hit);
    EXPECT_FALSE(FindNearestHit(scene, corner).hit);
    Ray middle = MakeRay(Point(0.05f, 0.5f, -5), Direction(0, 0, 1));
    EXPECT_TRUE(FindNearestHit(scene, middle).hit);
}

TEST(Trace, MissIsBlackWhateverTheAir) {
    Fixture f;
    f.scene.air = Air(1, 1, {0.5f, 0.5f, 0.5f, 1});
    f.scene.ambient = {1, 1, 1, 1};
    EXPECT_EQ(f.TraceFrom(Point(0, 0, 0), Direction(0, 0, 1)), (Color{0, 0, 0, 1}));
}

TEST(ComputeBounce, FresnelAtNormalIncidenceForIndexOnePointFive) {
    const SurfaceBounce bounce =
        ComputeBounce(Direction(0, 0, 1), Direction(0, 0, -1), 1.0f / 1.5f, 1.0f);
    EXPECT_FLOAT_EQ(bounce.reflectance, 0.04f);
    EXPECT_FLOAT_EQ(bounce.transmittance, 0.96f);
    EXPECT_EQ(bounce.mirror, Direction(0, 0, -1));
    EXPECT_EQ(bounce.transmitted, Direction(0, 0, 1));
}

TEST(ComputeBounce, TotalInternalReflectionFromInside) {
    // From inside glass of index 1.5, at 45 degrees: sin 45 > 1 / 1.5.
    const Vec4 direction = Normalized(Direction(1, 0, 1));
    const SurfaceBounce bounce = ComputeBounce(direction, Direction(0, 0, -1), 1.5f, 1.0f);
    EXPECT_EQ(bounce.reflectance, 1.0f);
    EXPECT_EQ(bounce.transmittance, 0.0f);
    EXPECT_EQ(bounce.transmitted, Direction(0, 0, 0));
    EXPECT_THAT(bounce.mirror, testing::VecNear(Normalized(Direction(1, 0, -1)), 1e-7f));
}

TEST(Trace, GlassAtNormalIncidenceSpawnsWeightedRays) {
    // A glass sphere in front of a white wall, seen head on with only ambient light: the
    // surface shows its own ambient colour plus 0.96 of what lies behind (through two faces)
    // and 0.04 of what lies in front (nothing, black).
    Fixture f;
    f.scene.ambient = {1, 1, 1, 1};
    f.scene.AddObject(
        Sphere(Point(0, 0, 0), 1, Material({0, 0, 0, 1}, 1, 1, {1, 1, 1, 1}, 2.25f, 1, 0)));
    f.scene.AddObject(Sphere(Point(0, 0, 100), 50, Matte({0.5f, 0.5f, 0.5f, 1})));
    const Color seen = f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1));
    EXPECT_NEAR(seen.r, 0.96f * 0.96f * 0.5f, 1e-3f);
}

TEST(Trace, SpecularCoefficientZeroGivesAmbientAndDiffuseOnly) {
    Fixture f;
    f.scene.ambient = {0.25f, 0.5f, 1, 1};
    f.scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({1, 1, 0.5f, 1})));
    EXPECT_EQ(f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1)), (Color{0.25f, 0.5f, 0.5f, 1}));

    // A light straight behind the camera adds cos 0 = 1 in each of the 16 passes.
    f.scene.AddLight({{0.5f, 0.5f, 0.5f, 1}, Point(0, 0, -10), 0});
    EXPECT_EQ(f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1)), (Color{0.75f, 1, 0.75f, 1}));
}

TEST(Trace, DepthZeroShadesWithoutSecondaryRays) {
    Fixture f;
    f.scene.ambient = {0.5f, 0.5f, 0.5f, 1};
    // A mirror in front of a bright wall behind the camera.
    f.scene.AddObject(
        Sphere(Point(0, 0, 0), 1, Material({0.2f, 0.2f, 0.2f, 1}, 1, 1, {1, 1, 1, 1}, 0, 0, 0)));
    f.scene.AddObject(Sphere(Point(0, 0, -100), 50, Matte({1, 1, 1, 1})));
    EXPECT_EQ(f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1), false, 0),
              (Color{0.1f, 0.1f, 0.1f, 1}));
    // One level deeper the mirror adds the wall's ambient colour at full weight.
    EXPECT_EQ(f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1), false, 1),
              (Color{0.6f, 0.6f, 0.6f, 1}));
}

TEST(Trace, AbsorptionScalesByTheTransmittanceOverTheSegment) {
    Fixture f;
    f.scene.ambient = {1, 1, 1, 1};
    f.scene.air = Air(1, 1, {0.5f, 1, 1, 1});
    f.scene.AddObject(Sphere(Point(0, 0, 3), 1, Matte({1, 1, 1, 1})));
    EXPECT_EQ(f.TraceFrom(Point(0, 0, 0), Direction(0, 0, 1)), (Color{0.25f, 1, 1, 1}));

    f.scene.air = Air(1, 1, {1, 1, 1, 1});
    EXPECT_EQ(f.TraceFrom(Point(0, 0, 0), Direction(0, 0, 1)), (Color{1, 1, 1, 1}));
}

TEST(Trace, InsideUsesTheMaterialsAttenuation) {
    Fixture f;
    f.scene.ambient = {1, 1, 1, 1};
    f.scene.AddObject(
        Sphere(Point(0, 0, 0), 2, Material({1, 1, 1, 1}, 0, 1, {1, 0.5f, 1, 1}, 1, 1, 0)));
    // From the centre to the surface: t = 2, green halved twice.
    EXPECT_EQ(f.TraceFrom(Point(0, 0, 0), Direction(0, 0, 1), true), (Color{1, 0.25f, 1, 1}));
}

TEST(Trace, ClampsEachComponentToTheUnitRange) {
    Fixture f;
    f.scene.ambient = {4, -1, 0.5f, 1};
    f.scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({1, 1, 1, 1})));
    EXPECT_EQ(f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1)), (Color{1, 0, 0.5f, 1}));
}

TEST(Trace, StochasticDrawsAtEveryHitWithDepthLeft) {
    // No lights and no roughness: with Stochastic off nothing is drawn at all; with it on, one
    // number per hit even though both weights are 0.
    Fixture f;
    f.scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({1, 1, 1, 1})));
    f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1));
    EXPECT_EQ(f.worker.random.Next(), 41);

    f.worker.random.Restart();
    f.context.stochastic = true;
    f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1));
    EXPECT_EQ(f.worker.random.Next(), 18467);

    f.worker.random.Restart();
    f.TraceFrom(Point(0, 0, -5), Direction(0, 0, 1), false, 0);
    EXPECT_EQ(f.worker.random.Next(), 41);
}

TEST(Trace, NaNWeightsSpawnNoRay) {
    // A back-facing hit between media of equal index and permeability makes the Fresnel
    // denominators 0; specularCoefficient 0 times that is NaN, which must not become weight 1.
    Fixture f;
    f.scene.ambient = {0.5f, 0.5f, 0.5f, 1};
    f.scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({1, 1, 1, 1})));
    f.scene.AddObject(Sphere(Point(0, 0, -100), 50, Matte({1, 1, 1, 1})));
    // Graze the sphere at 90 degrees: cosi = 0.
    const Color c = f.TraceFrom(Point(1, 0, -5), Direction(0, 0, 1));
    EXPECT_EQ(c, (Color{0.5f, 0.5f, 0.5f, 1}));
}

TEST(AddDirectLight, BlocksAtExactlyTheLightsDistanceButNotBeyond) {
    for (const float wall : {10.0f, 10.5f}) {
        Scene scene;
        scene.AddLight({{1, 1, 1, 1}, Point(0, 0, 10), 0});
        const std::vector<Vec4> square = {Point(-1, -1, wall), Point(1, -1, wall),
                                          Point(1, 1, wall), Point(-1, 1, wall)};
        scene.AddObject(Polygon3D(square, Matte({1, 1, 1, 1})));
        const SceneIndex index(scene);
        for (const SceneIndex* useIndex : {static_cast<const SceneIndex*>(nullptr), &index}) {
            RenderContext context;
            context.scene = &scene;
            context.index = useIndex;
            WorkerState worker;
            Color out{0, 0, 0, 1};
            AddDirectLight(context, worker, Point(0, 0, 0), Direction(0, 0, 1), Direction(0, 0, -1),
                           0, Matte({1, 1, 1, 1}), false, out);
            EXPECT_EQ(out.r, wall == 10.0f ? 0.0f : 1.0f) << wall;

            // From inside an object no shadow counts.
            Color inside{0, 0, 0, 1};
            AddDirectLight(context, worker, Point(0, 0, 0), Direction(0, 0, 1), Direction(0, 0, -1),
                           0, Matte({1, 1, 1, 1}), true, inside);
            EXPECT_EQ(inside.r, 1.0f) << wall;
        }
    }
}

TEST(AddDirectLight, HighlightFollowsTheMirrorAndItsWeight) {
    Scene scene;
    RenderContext context;
    context.scene = &scene;
    scene.AddLight({{1, 1, 1, 1}, Point(0, 0, 10), 0});
    WorkerState worker;
    const Material shiny({0, 0, 0, 1}, 1, 3, {1, 1, 1, 1}, 1, 1, 0);
    // Light behind the surface: no diffuse, but a mirror pointing at it still gets the highlight.
    Color out{0, 0, 0, 1};
    AddDirectLight(context, worker, Point(0, 0, 0), Direction(0, 0, -1), Direction(0, 0, 1), 0.5f,
                   shiny, false, out);
    EXPECT_EQ(out, (Color{0.5f, 0.5f, 0.5f, 1}));

    // A mirror pointing away with an odd exponent gives a negative term, which is dropped; a
    // non-integral exponent gives NaN, likewise; weight 0 adds nothing.
    for (const auto& [exponent, weight] : {std::pair{3.0f, 0.5f}, {2.5f, 0.5f}, {2.0f, 0.0f}}) {
        Color none{0, 0, 0, 1};
        AddDirectLight(context, worker, Point(0, 0, 0), Direction(0, 0, -1), Direction(0, 0, -1),
                       weight, Material({0, 0, 0, 1}, 1, exponent, {1, 1, 1, 1}, 1, 1, 0), false,
                       none);
        EXPECT_EQ(none, (Color{0, 0, 0, 1})) << exponent;
    }
    // An even exponent turns the negative base positive.
    Color even{0, 0, 0, 1};
    AddDirectLight(context, worker, Point(0, 0, 0), Direction(0, 0, -1), Direction(0, 0, -1), 0.5f,
                   Material({0, 0, 0, 1}, 1, 2, {1, 1, 1, 1}, 1, 1, 0), false, even);
    EXPECT_EQ(even.r, 0.5f);
}

TEST(AddDirectLight, SoftShadowCountsTheUnblockedPasses) {
    // A wide light half hidden behind a small occluder: some passes are blocked, some not, and
    // each unblocked pass adds one sixteenth.
    Scene scene;
    RenderContext context;
    context.scene = &scene;
    scene.AddLight({{1, 1, 1, 1}, Point(0, 0, 10), 0.05f});
    scene.AddObject(Sphere(Point(0, 0, 5), 0.2f, Matte({1, 1, 1, 1})));
    WorkerState worker;
    Color out{0, 0, 0, 1};
    AddDirectLight(context, worker, Point(0, 0, 0), Direction(0, 0, 1), Direction(0, 0, -1), 0,
                   Matte({1, 1, 1, 1}), false, out);
    EXPECT_GT(out.r, 0.0f);
    EXPECT_LT(out.r, 1.0f);
    EXPECT_EQ(worker.rays.shadow, 16u);
}

}  // namespace
}  // namespace lumivex
