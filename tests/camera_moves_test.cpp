// Camera navigation: orbits keep the camera rigid, upright and clear of the poles; pans, dollies
// and the pivot land where expected; the CAMERA line reads back bit for bit.
#include "render/camera_moves.h"

#include <bit>
#include <limits>
#include <numbers>

#include "render/nearest_hit.h"
#include "scene/scene_loader.h"
#include "test_support.h"

namespace lumivex {
namespace {

using testing::VecNear;

// Looking along +z from the eye (1,2,-10); right x up points along the view.
const Camera kCamera(Point(1, 2, -8), Direction(1, 0, 0), Direction(0, 0.75f, 0),
                     Direction(0, 0, -2));
constexpr float kPi = std::numbers::pi_v<float>;
constexpr Vec4 Camera::*kMembers[] = {&Camera::centre, &Camera::right, &Camera::up,
                                      &Camera::eyeOffset};

float Elevation(const Camera& camera, const Vec4& up) {
    return std::asin(Dot(Normalized(-camera.eyeOffset), up));
}

TEST(CameraMoves, OrbitTurnsAboutThePivotRigidlyAndStopsShortOfThePoles) {
    const Vec4 pivot = Point(0, 1, 0);
    const Vec4 up = WorldUpOf(kCamera);
    EXPECT_THAT(up, VecNear(Direction(0, 1, 0), 0.0f));
    const float limit = kPi / 2 - kOrbitPoleMargin;
    for (const float yaw : {0.0f, 0.7f, -2.0f}) {
        for (const float pitch : {0.3f, -0.5f, 1.5f, 2.0f, -3.0f}) {
            const Camera moved = OrbitCamera(kCamera, pivot, yaw, pitch, 5.0f * up);
            EXPECT_NEAR(Length(moved.centre - pivot), Length(kCamera.centre - pivot), 1e-4f);
            for (const auto member : {&Camera::right, &Camera::up, &Camera::eyeOffset}) {
                EXPECT_NEAR(Length(moved.*member), Length(kCamera.*member), 1e-6f);
            }
            EXPECT_NEAR(Dot(moved.right, up), 0.0f, 1e-6f);  // the picture stays upright
            EXPECT_GT(Dot(moved.up, up), 0.0f);
            // A positive pitch turns this camera's view down, by the pitch up to the limit.
            EXPECT_NEAR(Elevation(moved, up), std::clamp(-pitch, -limit, limit), 1e-4f);
        }
    }
    // A quarter turn about the vertical through the pivot; a whole turn comes back.
    EXPECT_THAT(OrbitCamera(kCamera, pivot, kPi / 2, 0, up).centre,
                VecNear(Point(-8, 2, -1), 1e-5f));
    for (const auto member : kMembers) {
        EXPECT_THAT(OrbitCamera(kCamera, pivot, 2 * kPi, 0, up).*member,
                    VecNear(kCamera.*member, 1e-5f));
    }
    // A view closer to the pole than the margin may move away from it, but no closer.
    const float a = 0.005f;
    const Camera steep(kCamera.centre, kCamera.right,
                       Direction(0, -0.75f * std::sin(a), 0.75f * std::cos(a)),
                       Direction(0, -2 * std::cos(a), -2 * std::sin(a)));
    EXPECT_EQ(OrbitCamera(steep, pivot, 0.5f, -0.1f, up).eyeOffset.y, steep.eyeOffset.y);
    EXPECT_NEAR(Elevation(OrbitCamera(steep, pivot, 0, 0.1f, up), up), kPi / 2 - a - 0.1f, 1e-4f);
}

TEST(CameraMoves, PanDollyAndPivotLandWhereExpected) {
    EXPECT_THAT(PanCamera(kCamera, 2, -1).centre, VecNear(Point(3, 1.25f, -8), 0.0f));
    EXPECT_THAT(DollyCamera(kCamera, 3).centre, VecNear(Point(1, 2, -5), 0.0f));
    EXPECT_EQ(DollyCamera(kCamera, 3).eyeOffset, kCamera.eyeOffset);
    const auto scene = LoadSceneText("SPHERE (1,2,0) 1 (1,0,0) 0 1 (1,1,1) 1 1").scene;
    EXPECT_THAT(ViewPivot(kCamera, ObjectListWalk(*scene)), VecNear(Point(1, 2, -1), 1e-5f));
    const Scene empty;
    EXPECT_THAT(ViewPivot(kCamera, ObjectListWalk(empty)), VecNear(Point(1, 2, -6), 0.0f));
}

std::vector<std::uint32_t> Bits(const Camera& camera) {
    std::vector<std::uint32_t> bits;
    for (const auto member : kMembers) {
        for (const float value : {(camera.*member).x, (camera.*member).y, (camera.*member).z}) {
            bits.push_back(std::bit_cast<std::uint32_t>(value));
        }
    }
    return bits;
}

TEST(CameraMoves, CameraLineReadsBackAsTheSameFloats) {
    EXPECT_EQ(CameraLine(kCamera), "CAMERA (1,2,-8) (1,0,0) (0,0.75,0) (0,0,-2)");
    using Limits = std::numeric_limits<float>;
    const float awkward[12] = {0.1f,         1e-7f,         -0.0f,         3.4e38f,
                               1.0f / 3.0f,  Limits::max(), Limits::min(), Limits::denorm_min(),
                               1.17549e-38f, 2.5e-42f,      16777216.0f,   123456.79f};
    for (const float sign : {1.0f, -1.0f}) {
        Vec4 v[4];
        for (int k = 0; k < 12; ++k) {
            (k % 3 == 0 ? v[k / 3].x : k % 3 == 1 ? v[k / 3].y : v[k / 3].z) = sign * awkward[k];
        }
        const Camera camera(v[0], v[1], v[2], v[3]);
        EXPECT_EQ(Bits(LoadSceneText(CameraLine(camera)).scene->camera), Bits(camera))
            << CameraLine(camera);
    }
}

}  // namespace
}  // namespace lumivex
