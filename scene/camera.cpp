#include "scene/camera.h"

namespace lumivex {

Camera::Camera(const Vec4& centre, const Vec4& right, const Vec4& up, const Vec4& eyeOffset)
    : centre(AsPoint(centre)), eyeOffset(eyeOffset), right(right), up(up) {}

Camera::Camera(const Camera& other)
    : centre(AsPoint(other.centre)), eyeOffset(other.eyeOffset), right(other.right), up(other.up) {}

Camera& Camera::operator=(const Camera& other) {
    centre = AsPoint(other.centre);
    eyeOffset = other.eyeOffset;
    right = other.right;
    up = other.up;
    return *this;
}

}  // namespace lumivex
