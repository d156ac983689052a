// Everything one render needs: camera, lights, objects, ambient colour and air.
#pragma once

#include <concepts>
#include <memory>
#include <vector>

#include "geometry/color.h"
#include "geometry/geometry.h"
#include "scene/air.h"
#include "scene/camera.h"
#include "scene/light.h"

namespace lumivex {

// Objects and lights keep the order in which they were added (the scene file's order), which
// decides ties in the nearest-hit search. The scene owns its objects; none is null or shared.
// While a render runs the scene is only read, apart from the camera nudges of the desktop app.
class Scene {
  public:
    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    // Destroys every object in list order.
    ~Scene();

    // Appends a heap copy made with the shape's own copy constructor; the caller keeps `shape`.
    template <std::derived_from<Geometry> Shape>
    void AddObject(const Shape& shape) {
        objects.push_back(std::make_unique<Shape>(shape));
    }
    void AddLight(const Light& light) { lights.push_back(light); }

    // Destroys this scene's objects (in list order) and takes over the loaded scene's contents,
    // leaving it with empty lists. This scene keeps its identity, so whatever refers to it sees
    // the new contents.
    void TakeOver(Scene& loaded);

    Camera camera;
    std::vector<Light> lights;
    std::vector<std::unique_ptr<Geometry>> objects;
    Color ambient{0.0f, 0.0f, 0.0f, 1.0f};
    Air air;

  private:
    void DestroyObjects();
};

}  // namespace lumivex
