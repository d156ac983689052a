#include "render/camera_moves.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace lumivex {

namespace {

// A rotation by an angle about a unit axis through the origin (Rodrigues' formula).
struct Rotation {
    Vec4 axis;
    float cosine;
    float sine;

    Rotation(const Vec4& unitAxis, float radians)
        : axis(AsDirection(unitAxis)), cosine(std::cos(radians)), sine(std::sin(radians)) {}

    Vec4 operator()(const Vec4& v) const {
        const Vec4 d = AsDirection(v);
        const Vec4 along = Dot(axis, d) * axis;
        return AsDirection((cosine * d + sine * Cross(axis, d)) + (1.0f - cosine) * along);
    }

    // The camera turned about the axis through `pivot`.
    Camera operator()(const Camera& camera, const Vec4& pivot) const {
        return Camera(AsPoint(pivot + (*this)(camera.centre - pivot)), (*this)(camera.right),
                      (*this)(camera.up), (*this)(camera.eyeOffset));
    }
};

Vec4 ViewDirection(const Camera& camera) {
    return Normalized(-camera.eyeOffset);
}

// The pitch cut short so that the view's elevation above the horizon stays within the pole margin,
// or at least comes no closer to a pole than it already is.
float LimitPitch(const Camera& camera, float pitchRadians, const Vec4& up) {
    const Vec4 view = ViewDirection(camera);
    const float elevation = std::asin(std::clamp(Dot(view, up), -1.0f, 1.0f));
    // Which way a positive pitch moves the view: towards up or away from it.
    const float sense = Dot(Cross(Normalized(camera.right), view), up) >= 0.0f ? 1.0f : -1.0f;
    const float limit = std::numbers::pi_v<float> / 2.0f - kOrbitPoleMargin;
    const float wanted = elevation + sense * pitchRadians;
    const float reached =
        std::clamp(wanted, std::min(elevation, -limit), std::max(elevation, limit));
    return sense * (reached - elevation);
}

void AppendNumber(std::string& line, float value) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    line.append(digits, result.ptr);
}

void AppendVector(std::string& line, const Vec4& v) {
    line += " (";
    AppendNumber(line, v.x);
    line += ',';
    AppendNumber(line, v.y);
    line += ',';
    AppendNumber(line, v.z);
    line += ')';
}

}  // namespace

Camera OrbitCamera(const Camera& camera, const Vec4& pivot, float yawRadians, float pitchRadians,
                   const Vec4& worldUp) {
    const Vec4 up = Normalized(worldUp);
    const Camera turned = Rotation(up, yawRadians)(camera, pivot);
    const float pitch = LimitPitch(turned, pitchRadians, up);
    return Rotation(Normalized(turned.right), pitch)(turned, pivot);
}

Vec4 WorldUpOf(const Camera& camera) {
    return Normalized(camera.up);
}

Camera PanCamera(const Camera& camera, float dx, float dy) {
    Camera moved = camera;
    moved.centre = AsPoint((camera.centre + dx * camera.right) + dy * camera.up);
    return moved;
}

Camera DollyCamera(const Camera& camera, float distance) {
    Camera moved = camera;
    moved.centre = AsPoint(camera.centre + distance * ViewDirection(camera));
    return moved;
}

Vec4 ViewPivot(const Camera& camera, const HitFinder& hits) {
    const Vec4 view = ViewDirection(camera);
    Ray ray{AsPoint(camera.centre + camera.eyeOffset), view};
    const HitRecord hit = hits.FindNearestHit(ray);
    if (hit.hit) {
        return AsPoint(hit.point);
    }
    return AsPoint(camera.centre + (kMissPivotDistance * Length(camera.eyeOffset)) * view);
}

std::string CameraLine(const Camera& camera) {
    std::string line = "CAMERA";
    AppendVector(line, camera.centre);
    AppendVector(line, camera.right);
    AppendVector(line, camera.up);
    AppendVector(line, camera.eyeOffset);
    return line;
}

}  // namespace lumivex
