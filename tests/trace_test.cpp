// Known answers of hit finding, tracing and direct light, worked out by hand.
#include "render/trace.h"

#include "render/direct_light.h"
#include "render/render_session.h"
#include "scene/scene_loader.h"
#include "test_support.h"

namespace lumivex {
namespace {

using testing::MakeRay;

const Material kWhite({1, 1, 1, 1}, 0, 1, {1, 1, 1, 1}, 1, 1, 0);
// A large white matte sphere behind the eye, which mirrored rays from z > 0 come back to.
const std::string kWallBehind = "SPHERE (0,0,-100) 50 (1,1,1) 0 1 (1,1,1) 1 1\n";

// A scene in a render session, its hits found by the plain walk or through the index, and one
// thread's state to trace with.
struct Tracer {
    RenderSession session;
    ThreadState thread;

    Tracer(const std::string& sceneText, bool accelerate) {
        session.SetScene(PrepareScene(LoadSceneText(sceneText).scene, accelerate));
        session.SetAcceleration(accelerate);
    }
    Color TraceAlongZ(bool inside = false, int depth = kCameraRayDepth) {
        Ray ray = MakeRay(Point(0, 0, 0), Direction(0, 0, 1));
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

// Each scene is traced along +z from the origin.
struct TraceCase {
    const char* what;
    std::string scene;
    Color expected;
    int depth = kCameraRayDepth;
    bool inside = false;
};

const TraceCase kTraceCases[] = {
    {"ambient times diffuse, and a light straight behind the eye adds cos 0 in each of 16 passes",
     "AMBIENT (0.25,0.5,1)\nSPHERE (0,0,5) 1 (1,1,0.5) 0 1 (1,1,1) 1 1\n"
     "LIGHT (0,0,-5) (0.5,0.5,0.5) 0\n",
     Color{0.75f, 1, 0.75f, 1}},
    {"depth 0 spawns no mirrored ray",
     "AMBIENT (0.5,0.5,0.5)\nSPHERE (0,0,5) 1 (0.2,0.2,0.2) 1 1 (1,1,1) 0 0\n" + kWallBehind,
     Color{0.1f, 0.1f, 0.1f, 1}, 0},
    {"depth 1: the mirror adds the wall behind the eye at full weight",
     "AMBIENT (0.5,0.5,0.5)\nSPHERE (0,0,5) 1 (0.2,0.2,0.2) 1 1 (1,1,1) 0 0\n" + kWallBehind,
     Color{0.6f, 0.6f, 0.6f, 1}, 1},
    // Each face passes 0.96 and mirrors 0.04 of the light, which bounces to and fro inside:
    // 0.5 * 0.96^2 * (1 + 0.04^2 + 0.04^4 + ...) = 0.5 * 0.9216 / 0.9984 = 6 / 13.
    {"glass of index 1.5 head on",
     "AMBIENT (1,1,1)\nSPHERE (0,0,5) 1 (0,0,0) 1 1 (1,1,1) 2.25 1\n"
     "SPHERE (0,0,105) 50 (0.5,0.5,0.5) 0 1 (1,1,1) 1 1\n",
     Color{6.0f / 13, 6.0f / 13, 6.0f / 13, 1}},
    {"permittivity equal to permeability matches the air: nothing mirrored head on",
     "AMBIENT (1,1,1)\nSPHERE (0,0,5) 1 (0,0,0) 1 1 (1,1,1) 2 2\n" + kWallBehind,
     Color{0, 0, 0, 1}},
    {"the air absorbs over the segment's length: (0.5)^2 of red",
     "AMBIENT (1,1,1)\nAIR 1 1 (0.5,1,1)\nSPHERE (0,0,3) 1 (1,1,1) 0 1 (1,1,1) 1 1\n",
     Color{0.25f, 1, 1, 1}},
    {"inside, the material absorbs: t = 2 halves green twice",
     "AMBIENT (1,1,1)\nSPHERE (0,0,0) 2 (1,1,1) 0 1 (1,0.5,1) 1 1\n", Color{1, 0.25f, 1, 1},
     kCameraRayDepth, true},
    {"each component is clamped to [0, 1]",
     "AMBIENT (4,-1,0.5)\nSPHERE (0,0,5) 1 (1,1,1) 0 1 (1,1,1) 1 1\n", Color{1, 0, 0.5f, 1}},
    // At a grazing hit (cos 0) between media of equal index the Fresnel denominators are 0;
    // 0 times that is NaN, which must not become weight 1.
    {"NaN weights spawn no ray",
     "AMBIENT (0.5,0.5,0.5)\nSPHERE (1,0,5) 1 (1,1,1) 0 1 (1,1,1) 1 1\n" + kWallBehind,
     Color{0.5f, 0.5f, 0.5f, 1}},
};

TEST(Trace, KnownAnswersWithEitherWayOfFindingHits) {
    for (const TraceCase& c : kTraceCases) {
        for (const bool accelerate : {false, true}) {
            const Color seen = Tracer(c.scene, accelerate).TraceAlongZ(c.inside, c.depth);
            EXPECT_EQ(seen, c.expected) << c.what;
        }
    }
}

TEST(AddDirectLight, BlocksAtExactlyTheLightsDistanceButNotBeyondNorFromInside) {
    // A light at z = 10 over a square at that distance, then just beyond it.
    const struct {
        const char* square;
        float lit;
    } cases[] = {{"(-1,-1,10) (1,-1,10) (1,1,10) (-1,1,10)", 0},
                 {"(-1,-1,10.5) (1,-1,10.5) (1,1,10.5) (-1,1,10.5)", 1}};
    for (const auto& c : cases) {
        for (const bool accelerate : {false, true}) {
            Tracer tracer("LIGHT (0,0,10) (1,1,1) 0\nPOLYGON 4 " + std::string(c.square) +
                              " (1,1,1) 0 1 (1,1,1) 1 1\n",
                          accelerate);
            const Vec4 up = Direction(0, 0, 1);
            EXPECT_EQ(tracer.DirectLight(up, -up, 0, kWhite, false).r, c.lit) << c.square;
            EXPECT_EQ(tracer.DirectLight(up, -up, 0, kWhite, true).r, 1.0f) << c.square;
        }
    }
}

TEST(AddDirectLight, HighlightFollowsTheMirrorAndItsWeight) {
    Tracer tracer("LIGHT (0,0,10) (1,1,1) 0\n", true);  // an empty index blocks nothing
    const struct {
        Vec4 mirror;
        float exponent;
        float weight;
        float expected;
    } cases[] = {
        // The light is behind the surface: no diffuse, but the mirror points at it.
        {Direction(0, 0, 1), 3, 0.5f, 0.5f},
        // The mirror points away: an odd exponent gives a negative term, a non-integral one
        // NaN, both dropped; an even exponent makes the term positive.
        {Direction(0, 0, -1), 3, 0.5f, 0},
        {Direction(0, 0, -1), 2.5f, 0.5f, 0},
        {Direction(0, 0, -1), 2, 0.5f, 0.5f},
    };
    for (const auto& c : cases) {
        const Material shiny({0, 0, 0, 1}, 1, c.exponent, {1, 1, 1, 1}, 1, 1, 0);
        const Color out = tracer.DirectLight(Direction(0, 0, -1), c.mirror, c.weight, shiny, false);
        EXPECT_EQ(out, (Color{c.expected, c.expected, c.expected, 1})) << c.exponent << c.weight;
    }
}

}  // namespace
}  // namespace lumivex
