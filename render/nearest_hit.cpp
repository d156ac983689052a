#include "render/nearest_hit.h"

#include <limits>

namespace lumivex {

bool BoundingSphereTest(const Ray& ray, const BoundingSphere& sphere) {
    float limit = sphere.radius * sphere.radius;
    limit = limit + limit * 1.1920928955078125e-07f;  // 2^-23

    const Vec4 toCentre = sphere.centre - ray.origin;
    const float s = Dot(ray.direction, toCentre);
    float distanceSquared;
    if (s > 0.0f) {
        const Vec4 closest = ray.origin + s * ray.direction;
        const Vec4 offset = sphere.centre - closest;
        distanceSquared = Dot(offset, offset);
    } else {
        const Vec4 offset = ray.origin - sphere.centre;
        distanceSquared = Dot(offset, offset);
    }
    return distanceSquared <= limit;
}

HitRecord FindNearestHit(const Scene& scene, Ray& ray) {
    HitRecord result;
    result.hit = false;
    float best = std::numeric_limits<float>::max();
    for (const auto& object : scene.objects) {
        if (!BoundingSphereTest(ray, object->GetBoundingSphere())) {
            continue;
        }
        const HitRecord hit = object->Intersect(ray);
        if (hit.hit && hit.t < best) {
            best = hit.t;
            result = hit;
        }
    }
    return result;
}

}  // namespace lumivex
