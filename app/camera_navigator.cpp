#include "app/camera_navigator.h"

#include <algorithm>

#include "render/camera_moves.h"

namespace lumivex {

namespace {

// Orbiting turns the camera by this many radians per picture pixel dragged.
constexpr float kOrbitRadiansPerPixel = 0.005f;
// One wheel step moves the camera by this share of its eye distance.
constexpr float kDollyShare = 0.1f;

}  // namespace

Camera CameraNavigator::Nudged(Camera camera, int axis, double steps) {
    float& coordinate = axis == 0 ? camera.centre.x : axis == 1 ? camera.centre.y : camera.centre.z;
    coordinate = static_cast<float>(static_cast<double>(coordinate) +
                                    steps * static_cast<double>(kCameraStep));
    return camera;
}

Camera CameraNavigator::Orbited(const Camera& camera, QPointF delta, const HitFinder& hits) {
    if (!pivot) {
        pivot = ViewPivot(camera, hits);
        upright = WorldUpOf(camera);
    }
    moved = true;
    return OrbitCamera(camera, *pivot, -static_cast<float>(delta.x()) * kOrbitRadiansPerPixel,
                       -static_cast<float>(delta.y()) * kOrbitRadiansPerPixel, upright);
}

Camera CameraNavigator::Panned(const Camera& camera, QPointF delta, PictureSize picture) {
    // right and up are half the image plane: a drag across the whole picture moves by two.
    moved = true;
    return PanCamera(camera, static_cast<float>(-2.0 * delta.x() / picture.width),
                     static_cast<float>(2.0 * delta.y() / picture.height));
}

Camera CameraNavigator::Dollied(const Camera& camera, int steps) {
    return DollyCamera(camera, static_cast<float>(steps) * kDollyShare *
                                   std::max(Length(camera.eyeOffset), 0.01f));
}

bool CameraNavigator::FinishDrag() {
    pivot.reset();
    return std::exchange(moved, false);
}

}  // namespace lumivex
