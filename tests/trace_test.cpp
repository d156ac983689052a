// Known answers of hit finding, tracing and direct light, worked out by hand.
#include "render/trace.h"

#include <functional>

#include "geometry/box.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"
#include "render/direct_light.h"
#include "render/render_session.h"
#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;

Material Matte(Color diffuse) {
    return Material(diffuse, 0, 1, {1, 1, 1, 1}, 1, 1, 0);
}
Material Mirror(Color diffuse) {
    return Material(diffuse, 1, 1, {1, 1, 1, 1}, 0, 0, 0);
}

// A scene in a render session, its hits found by the plain walk or through the index, and one
// thread's state to trace with.
struct Tracer {
    RenderSession session;
    ThreadState thread;

    Tracer(const std::function<void(Scene&)>& build, bool accelerate) {
        auto scene = std::make_unique<Scene>();
        build(*scene);
        session.SetScene(PrepareScene(std::move(scene), accelerate));
        session.SetAcceleration(accelerate);
    }
    Color TraceFrom(const Vec4& origin, const Vec4& direction, bool inside = false,
                    int depth = kCameraRayDepth) {
        Ray ray = MakeRay(origin, Normalized(direction));
        return Trace(session.GetContext(), thread, ray, inside, depth);
    }
    Color DirectLight(const Vec4& normal, const Vec4& mirror, float weight,
                      const Material& material, bool inside) {
        Color out{0, 0, 0, 1};
        AddDirectLight(session.GetContext(), thread, Point(0, 0, 0), normal, mirror, weight,
                       material, inside, out);
        return out;
    }
};

TEST(BoundingSphereTest, PassesTangentAndWidenedRaysAndRejectsSpheresBehind) {
    const BoundingSphere unit{Point(0, 0, 0), 1};
    const struct {
        Vec4 origin;
        Vec4 direction;
        bool passes;
    } cases[] = {
        {Point(1, 0, -5), Direction(0, 0, 1), true},            // tangent
        {Point(1.00000005f, 0, -5), Direction(0, 0, 1), true},  // within the 2^-23 widening
        {Point(1.0001f, 0, -5), Direction(0, 0, 1), false},
        {Point(0.5f, 0, 0), Direction(0, 0, -1), true},  // starting inside
        {Point(0, 0, 5), Direction(0, 0, 1), false},     // the sphere behind the origin
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BoundingSphereTest(MakeRay(c.origin, c.direction), unit), c.passes) << c.origin;
    }
}

TEST(FindNearestHit, KeepsTheSmallestTTheEarlierObjectOnTiesAndAsksOnlyWithinBoundingSpheres) {
    Scene scene;
    Ray ray = MakeRay(Point(0, 0, -5), Direction(0, 0, 1));
    EXPECT_FALSE(FindNearestHit(scene, ray).hit);
    scene.AddObject(Sphere(Point(0, 0, 2), 1, Matte({1, 0, 0, 1})));
    scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({0, 1, 0, 1})));
    scene.AddObject(Sphere(Point(0, 0, 0), 1, Matte({0, 0, 1, 1})));  // a twin: loses the tie
    const HitRecord hit = FindNearestHit(scene, ray);
    EXPECT_EQ(hit.t, 4.0f);
    EXPECT_EQ(hit.material.diffuse.g, 1.0f);

    // A skewed box reaches outside its bounding sphere: a ray through that corner hits the box
    // only when asked directly.
    Scene skewed;
    skewed.AddObject(Box(Point(0, 0, 0), Direction(1, 0, 0), Direction(-0.9f, 1, 0),
                         Direction(0, 0, 1), Matte({1, 1, 1, 1})));
    Ray corner = MakeRay(Point(0.95f, 0.05f, -5), Direction(0, 0, 1));
    EXPECT_TRUE(skewed.objects[0]->Intersect(corner).hit);
    EXPECT_FALSE(FindNearestHit(skewed, corner).hit);
}

TEST(ComputeBounce, FresnelAtNormalIncidenceAndTotalInternalReflection) {
    const SurfaceBounce glass =
        ComputeBounce(Direction(0, 0, 1), Direction(0, 0, -1), 1.0f / 1.5f, 1.0f);
    EXPECT_FLOAT_EQ(glass.reflectance, 0.04f);
    EXPECT_FLOAT_EQ(glass.transmittance, 0.96f);
    EXPECT_EQ(glass.mirror, Direction(0, 0, -1));
    EXPECT_EQ(glass.transmitted, Direction(0, 0, 1));

    // From inside glass of index 1.5, at 45 degrees: sin 45 > 1 / 1.5.
    const SurfaceBounce inside =
        ComputeBounce(Normalized(Direction(1, 0, 1)), Direction(0, 0, -1), 1.5f, 1.0f);
    EXPECT_EQ(inside.reflectance, 1.0f);
    EXPECT_EQ(inside.transmittance, 0.0f);
    EXPECT_EQ(inside.transmitted, Direction(0, 0, 0));
    EXPECT_THAT(inside.mirror, testing::VecNear(Normalized(Direction(1, 0, -1)), 1e-7f));
}

struct TraceCase {
    const char* what;
    std::function<void(Scene&)> build;
    Vec4 origin;
    bool inside;
    int depth;
    Color expected;
    float tolerance;  // 0: exact
};

const TraceCase kTraceCases[] = {
    {"a miss is black whatever the air and the ambient light",
     [](Scene& s) {
         s.air = Air(1, 1, {0.5f, 0.5f, 0.5f, 1});
         s.ambient = {1, 1, 1, 1};
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {0, 0, 0, 1},
     0},
    {"without specular weight: ambient times diffuse",
     [](Scene& s) {
         s.ambient = {0.25f, 0.5f, 1, 1};
         s.AddObject(Sphere(Point(0, 0, 5), 1, Matte({1, 1, 0.5f, 1})));
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {0.25f, 0.5f, 0.5f, 1},
     0},
    {"a light straight behind the eye adds cos 0 in each of the 16 passes",
     [](Scene& s) {
         s.ambient = {0.25f, 0.5f, 1, 1};
         s.AddObject(Sphere(Point(0, 0, 5), 1, Matte({1, 1, 0.5f, 1})));
         s.AddLight({{0.5f, 0.5f, 0.5f, 1}, Point(0, 0, -5), 0});
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {0.75f, 1, 0.75f, 1},
     0},
    {"depth 0 spawns no mirrored ray",
     [](Scene& s) {
         s.ambient = {0.5f, 0.5f, 0.5f, 1};
         s.AddObject(Sphere(Point(0, 0, 5), 1, Mirror({0.2f, 0.2f, 0.2f, 1})));
         s.AddObject(Sphere(Point(0, 0, -100), 50, Matte({1, 1, 1, 1})));
     },
     Point(0, 0, 0),
     false,
     0,
     {0.1f, 0.1f, 0.1f, 1},
     0},
    {"depth 1: the mirror adds the wall behind the eye at full weight",
     [](Scene& s) {
         s.ambient = {0.5f, 0.5f, 0.5f, 1};
         s.AddObject(Sphere(Point(0, 0, 5), 1, Mirror({0.2f, 0.2f, 0.2f, 1})));
         s.AddObject(Sphere(Point(0, 0, -100), 50, Matte({1, 1, 1, 1})));
     },
     Point(0, 0, 0),
     false,
     1,
     {0.6f, 0.6f, 0.6f, 1},
     0},
    {"glass of index 1.5 head on: 0.96 of the wall through each of two faces",
     [](Scene& s) {
         s.ambient = {1, 1, 1, 1};
         s.AddObject(
             Sphere(Point(0, 0, 5), 1, Material({0, 0, 0, 1}, 1, 1, {1, 1, 1, 1}, 2.25f, 1, 0)));
         s.AddObject(Sphere(Point(0, 0, 105), 50, Matte({0.5f, 0.5f, 0.5f, 1})));
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {0.4608f, 0.4608f, 0.4608f, 1},
     1e-3f},
    {"permittivity equal to permeability matches the air: nothing mirrored head on",
     [](Scene& s) {
         s.ambient = {1, 1, 1, 1};
         s.AddObject(
             Sphere(Point(0, 0, 5), 1, Material({0, 0, 0, 1}, 1, 1, {1, 1, 1, 1}, 2, 2, 0)));
         s.AddObject(Sphere(Point(0, 0, -100), 50, Matte({1, 1, 1, 1})));
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {0, 0, 0, 1},
     0},
    {"the air absorbs over the segment's length: (0.5)^2 of red",
     [](Scene& s) {
         s.ambient = {1, 1, 1, 1};
         s.air = Air(1, 1, {0.5f, 1, 1, 1});
         s.AddObject(Sphere(Point(0, 0, 3), 1, Matte({1, 1, 1, 1})));
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {0.25f, 1, 1, 1},
     0},
    {"inside, the material absorbs: t = 2 halves green twice",
     [](Scene& s) {
         s.ambient = {1, 1, 1, 1};
         s.AddObject(
             Sphere(Point(0, 0, 0), 2, Material({1, 1, 1, 1}, 0, 1, {1, 0.5f, 1, 1}, 1, 1, 0)));
     },
     Point(0, 0, 0),
     true,
     kCameraRayDepth,
     {1, 0.25f, 1, 1},
     0},
    {"each component is clamped to [0, 1]",
     [](Scene& s) {
         s.ambient = {4, -1, 0.5f, 1};
         s.AddObject(Sphere(Point(0, 0, 5), 1, Matte({1, 1, 1, 1})));
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {1, 0, 0.5f, 1},
     0},
    // At a grazing hit (cos 0) between media of equal index the Fresnel denominators are 0;
    // 0 times that is NaN, which must not become weight 1.
    {"NaN weights spawn no ray",
     [](Scene& s) {
         s.ambient = {0.5f, 0.5f, 0.5f, 1};
         s.AddObject(Sphere(Point(1, 0, 5), 1, Matte({1, 1, 1, 1})));
         s.AddObject(Sphere(Point(0, 0, -100), 50, Matte({1, 1, 1, 1})));
     },
     Point(0, 0, 0),
     false,
     kCameraRayDepth,
     {0.5f, 0.5f, 0.5f, 1},
     0},
};

TEST(Trace, KnownAnswersWithEitherWayOfFindingHits) {
    for (const TraceCase& c : kTraceCases) {
        for (const bool accelerate : {false, true}) {
            Tracer tracer(c.build, accelerate);
            const Color seen = tracer.TraceFrom(c.origin, Direction(0, 0, 1), c.inside, c.depth);
            if (c.tolerance == 0) {
                EXPECT_EQ(seen, c.expected) << c.what;
            } else {
                EXPECT_NEAR(seen.r, c.expected.r, c.tolerance) << c.what;
                EXPECT_NEAR(seen.b, c.expected.b, c.tolerance) << c.what;
            }
        }
    }
}

TEST(Trace, StochasticDrawsOneNumberAtEveryHitWithDepthLeft) {
    // No lights and no roughness: with Stochastic off nothing is drawn at all; with it on, one
    // number per hit even though both weights are 0, and none at depth 0.
    Tracer tracer(
        [](Scene& s) {
            s.AddObject(Sphere(Point(0, 0, 5), 1, Matte({1, 1, 1, 1})));
        },
        false);
    const struct {
        bool stochastic;
        int depth;
        int next;
    } cases[] = {{false, kCameraRayDepth, 41}, {true, kCameraRayDepth, 18467}, {true, 0, 41}};
    for (const auto& c : cases) {
        tracer.thread.random.Restart();
        tracer.session.SetStochastic(c.stochastic);
        tracer.TraceFrom(Point(0, 0, 0), Direction(0, 0, 1), false, c.depth);
        EXPECT_EQ(tracer.thread.random.Next(), c.next) << c.stochastic << c.depth;
    }
}

TEST(AddDirectLight, BlocksAtExactlyTheLightsDistanceButNotBeyondNorFromInside) {
    for (const float wall : {10.0f, 10.5f}) {
        for (const bool accelerate : {false, true}) {
            Tracer tracer(
                [wall](Scene& s) {
                    s.AddLight({{1, 1, 1, 1}, Point(0, 0, 10), 0});
                    const std::vector<Vec4> square = {Point(-1, -1, wall), Point(1, -1, wall),
                                                      Point(1, 1, wall), Point(-1, 1, wall)};
                    s.AddObject(Polygon3D(square, Matte({1, 1, 1, 1})));
                },
                accelerate);
            const Material white = Matte({1, 1, 1, 1});
            EXPECT_EQ(
                tracer.DirectLight(Direction(0, 0, 1), Direction(0, 0, -1), 0, white, false).r,
                wall == 10.0f ? 0.0f : 1.0f)
                << wall << accelerate;
            EXPECT_EQ(tracer.DirectLight(Direction(0, 0, 1), Direction(0, 0, -1), 0, white, true).r,
                      1.0f);
        }
    }
}

TEST(AddDirectLight, HighlightFollowsTheMirrorAndItsWeight) {
    Tracer tracer([](Scene& s) { s.AddLight({{1, 1, 1, 1}, Point(0, 0, 10), 0}); }, false);
    const struct {
        Vec4 mirror;
        float exponent;
        float weight;
        float expected;
    } cases[] = {
        // The light is behind the surface: no diffuse, but the mirror points at it.
        {Direction(0, 0, 1), 3, 0.5f, 0.5f},
        // The mirror points away: an odd exponent gives a negative term, a non-integral one
        // NaN, both dropped; weight 0 adds nothing; an even exponent makes the term positive.
        {Direction(0, 0, -1), 3, 0.5f, 0},
        {Direction(0, 0, -1), 2.5f, 0.5f, 0},
        {Direction(0, 0, -1), 2, 0, 0},
        {Direction(0, 0, -1), 2, 0.5f, 0.5f},
    };
    for (const auto& c : cases) {
        const Material shiny({0, 0, 0, 1}, 1, c.exponent, {1, 1, 1, 1}, 1, 1, 0);
        const Color out = tracer.DirectLight(Direction(0, 0, -1), c.mirror, c.weight, shiny, false);
        EXPECT_EQ(out, (Color{c.expected, c.expected, c.expected, 1})) << c.exponent << c.weight;
    }
}

TEST(AddDirectLight, SoftShadowCountsTheUnblockedPasses) {
    // A wide light half hidden behind a small occluder: some passes are blocked, some not.
    Tracer tracer(
        [](Scene& s) {
            s.AddLight({{1, 1, 1, 1}, Point(0, 0, 10), 0.05f});
            s.AddObject(Sphere(Point(0, 0, 5), 0.2f, Matte({1, 1, 1, 1})));
        },
        true);
    const float r =
        tracer.DirectLight(Direction(0, 0, 1), Direction(0, 0, -1), 0, Matte({1, 1, 1, 1}), false)
            .r;
    EXPECT_GT(r, 0.0f);
    EXPECT_LT(r, 1.0f);
    EXPECT_EQ(tracer.thread.rays.shadow, 16u);
}

}  // namespace
}  // namespace lumivex
