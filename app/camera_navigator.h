// How the keys and the mouse move the camera. Each gesture gives the camera to render next; a
// drag keeps the point it orbits about and the direction that stays upright from its first move
// to its end.
#pragma once

#include <optional>

#include <QPointF>

#include "render/hit_finder.h"
#include "render/render_context.h"
#include "scene/camera.h"

namespace lumivex {

// The arrow keys move the camera by this much, added in double precision; Shift moves ten times
// as far and Ctrl a hundred times.
inline constexpr float kCameraStep = 0.01f;

class CameraNavigator {
  public:
    // `steps` key steps along axis 0 (x), 1 (y) or 2 (z).
    static Camera Nudged(Camera camera, int axis, double steps);
    // A left drag by `delta` picture pixels: the camera turns about the point under the picture's
    // centre, found with `hits` when the drag starts.
    Camera Orbited(const Camera& camera, QPointF delta, const HitFinder& hits);
    // A right drag by `delta` picture pixels: the scene follows the mouse across the image plane.
    Camera Panned(const Camera& camera, QPointF delta, PictureSize picture);
    // Wheel steps along the view direction, each a tenth of the eye's distance (away from the
    // person positive).
    static Camera Dollied(const Camera& camera, int steps);
    // Ends a drag; whether it moved the camera.
    bool FinishDrag();

  private:
    std::optional<Vec4> pivot;
    Vec4 upright;
    bool moved = false;
};

}  // namespace lumivex
