#include "render/nearest_hit.h"

#include <limits>

namespace lumivex {

bool BoundingSphereTest(const Ray& ray, const BoundingSphere& sphere) {
    return PassesBoundingSphere(ray, sphere.centre, BoundingSphereLimit(sphere.radius));
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

HitRecord ObjectListWalk::FindNearestHit(Ray& ray) const {
    return lumivex::FindNearestHit(scene, ray);
}

bool ObjectListWalk::Occluded(const Ray& ray, float distanceSquared, BlockerHint&) const {
    Ray shadowRay = ray;
    const HitRecord blocker = lumivex::FindNearestHit(scene, shadowRay);
    return blocker.hit && distanceSquared >= blocker.t * blocker.t && blocker.t >= 0.0f;
}

}  // namespace lumivex
