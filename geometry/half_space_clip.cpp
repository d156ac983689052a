#include "geometry/half_space_clip.h"

#include <limits>

namespace lumivex {

HalfSpaceClip ClipToHalfSpaces(std::span<const Plane> faces, const Ray& ray) {
    float tNear = 0.0f;
    float tFar = std::numeric_limits<float>::max();
    Vec4 nearNormal{0.0f, 0.0f, 0.0f, 0.0f};
    Vec4 farNormal{0.0f, 0.0f, 0.0f, 0.0f};

    for (const Plane& face : faces) {
        if (!(tNear <= tFar)) {
            break;
        }
        const float dn = Dot(face.normal, ray.direction);
        if (dn < 0.0f) {
            // Entering through this plane.
            const float t = Dot(face.normal, face.point - ray.origin) / dn;
            if (t > tNear) {
                tNear = t;
                nearNormal = face.normal;
            }
        } else if (dn > 0.0f) {
            // Leaving through this plane.
            const float t = Dot(face.normal, face.point - ray.origin) / dn;
            if (t < tFar) {
                tFar = t;
                farNormal = face.normal;
            }
        } else if (Dot(face.normal, ray.origin - face.point) > 0.0f) {
            // Parallel to the plane with the origin outside it: the ray misses. In floats this
            // leaves tNear equal to the largest float; the next exit brings tFar below it.
            tNear = tFar + 1.0f;
        }
    }

    HalfSpaceClip clip;
    if (tFar < tNear) {
        return clip;
    }
    clip.hit = true;
    if (tNear == 0.0f) {
        clip.t = tFar;
        clip.normal = farNormal;
    } else {
        clip.t = tNear;
        clip.normal = nearNormal;
    }
    return clip;
}

HitRecord IntersectHalfSpaces(std::span<const Plane> faces, const Material& material,
                              const Ray& ray) {
    const HalfSpaceClip clip = ClipToHalfSpaces(faces, ray);
    HitRecord record;
    record.hit = clip.hit;
    if (!clip.hit) {
        return record;
    }
    record.t = clip.t;
    record.normal = clip.normal;
    record.point = AsPoint(ray.origin + record.t * ray.direction);
    record.material = material;
    return record;
}

}  // namespace lumivex
