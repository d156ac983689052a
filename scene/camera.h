#pragma once

#include "geometry/vec4.h"

namespace lumivex {

// The viewpoint: primary rays start at centre + eyeOffset and pass through the image plane,
// the rectangle centre +/- right +/- up.
struct Camera {
    Vec4 centre{0.0f, 0.0f, 0.0f, 1.0f};     // centre of the image plane; w is always 1
    Vec4 eyeOffset{0.0f, 0.0f, 1.0f, 0.0f};  // from the image-plane centre to the eye
    Vec4 right{0.0f, 0.5f, 0.0f, 0.0f};      // half-width vector: the column axis
    Vec4 up{0.5f, 0.0f, 0.0f, 0.0f};         // half-height vector: the row axis, rows upward

    Camera() = default;
    // In the order a scene file lists them; centre's w is forced to 1.
    Camera(const Vec4& centre, const Vec4& right, const Vec4& up, const Vec4& eyeOffset);
    // Copies also force centre's w to 1.
    Camera(const Camera& other);
    Camera& operator=(const Camera& other);
};

}  // namespace lumivex
