#include "scene/scene.h"

namespace lumivex {

Scene::~Scene() {
    DestroyObjects();
}

void Scene::DestroyObjects() {
    // Explicitly in list order: the standard leaves the order of a vector's element
    // destruction open.
    for (auto& object : objects) {
        object.reset();
    }
    std::vector<std::unique_ptr<Geometry>>().swap(objects);
    std::vector<Light>().swap(lights);
}

void Scene::TakeOver(Scene& loaded) {
    if (&loaded == this) {
        return;
    }
    DestroyObjects();
    camera = loaded.camera;
    lights = std::move(loaded.lights);
    objects = std::move(loaded.objects);
    ambient = loaded.ambient;
    air = loaded.air;
    loaded.lights.clear();
    loaded.objects.clear();
}

}  // namespace lumivex
