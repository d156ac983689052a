// Moving the camera the way a viewer drags it about: orbiting a point, panning, moving along the
// view, and the scene-file line that records where it ended up. All of it works on Camera values;
// the caller decides when the session's camera changes.
#pragma once

#include <string>

#include "geometry/vec4.h"
#include "render/hit_finder.h"
#include "scene/camera.h"

namespace lumivex {

// How close OrbitCamera lets the view direction come to straight up or down: one degree, in
// radians. Closer, the picture would spin about the view direction as the pole is crossed.
inline constexpr float kOrbitPoleMargin = 0.0174532925f;

// The camera turned about `pivot`: first by `yawRadians` about the axis through the pivot along
// `worldUp` (which need not be normalised), then by `pitchRadians` about the axis through the pivot
// along the turned camera's right vector, both by the right-hand rule (for the usual camera, whose
// right x up points along the view, a positive pitch turns the view down). The centre moves about
// the pivot; right, up and eyeOffset turn with it and keep their lengths. The pitch is cut short
// so that the view direction (-eyeOffset) keeps kOrbitPoleMargin away from +/-worldUp (a view
// already closer may only move away), which keeps the picture upright. The cut assumes right is
// perpendicular to worldUp, as it is for WorldUpOf the camera before the drag: yaw and pitch both
// keep it so.
Camera OrbitCamera(const Camera& camera, const Vec4& pivot, float yawRadians, float pitchRadians,
                   const Vec4& worldUp);

// The camera's up vector, normalised: the world's up for orbiting, taken when a drag starts.
Vec4 WorldUpOf(const Camera& camera);

// The camera moved by dx * right + dy * up: across the picture, in half-widths and half-heights.
Camera PanCamera(const Camera& camera, float dx, float dy);

// The camera moved `distance` along its normalised view direction (-eyeOffset); negative backs
// away.
Camera DollyCamera(const Camera& camera, float distance);

// Where ViewPivot puts the pivot when the picture's centre shows nothing: this many eye distances
// (|eyeOffset|) in front of the image plane, as far ahead of it as the eye is behind it.
inline constexpr float kMissPivotDistance = 1.0f;

// The point the picture's centre shows: the nearest hit of the ray from the eye through the centre
// of the image plane, as the renderer finds it; when there is none, the point kMissPivotDistance
// eye distances along the view direction from the centre.
Vec4 ViewPivot(const Camera& camera, const HitFinder& hits);

// The scene-file entry for the camera, "CAMERA (x,y,z) (x,y,z) (x,y,z) (x,y,z)" with centre,
// right, up and eyeOffset in the order the loader reads them, each number in the shortest form the
// loader reads back as the same float. Infinities and NaNs have no such form.
std::string CameraLine(const Camera& camera);

}  // namespace lumivex
