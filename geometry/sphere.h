#pragma once

#include "geometry/geometry.h"
#include "geometry/material.h"
#include "geometry/ray_quadratic.h"

namespace lumivex {

// The sphere's hit distance from its centre and squared radius: Sphere::HitDistance, exposed so
// that a search over many spheres can run it without a virtual call.
inline bool SphereHitDistance(const Ray& ray, const Vec4& centre, float radiusSquared, float& t) {
    const Vec4& d = ray.direction;
    const float a = Dot(d, d);
    const Vec4 oc = ray.origin - centre;
    const float b = 2.0f * Dot(d, oc);
    const float k = Dot(oc, oc) - radiusSquared;
    return FirstRootAhead(a, b, k, t);
}

class Sphere final : public Geometry {
  public:
    // The centre's w is forced to 1.
    Sphere(const Vec4& centre, float radius, const Material& material);
    // Copies centre, radius and material and derives the bounds again.
    Sphere(const Sphere& other);
    Sphere& operator=(const Sphere&) = delete;

    const BoundingSphere& GetBoundingSphere() const override { return boundingSphere; }
    const BoundingBox& GetBoundingBox() const override { return boundingBox; }
    // The near root when it lies ahead, else the far one (a ray starting inside gets its exit
    // point); the normal always points out of the sphere. A miss reports t = -1.
    HitRecord Intersect(Ray& ray) const override;
    bool HitDistance(const Ray& ray, float& t) const override;
    // Intersect's record of a hit at `t`, which HitDistance reported for the ray: for a search
    // that has found the distance already.
    HitRecord RecordAt(const Ray& ray, float t) const;
    std::unique_ptr<Geometry> Clone() const override;
    ShapeKind GetKind() const override { return ShapeKind::Sphere; }

    const Vec4& GetCentre() const { return centre; }
    float GetRadius() const { return radius; }
    float GetRadiusSquared() const { return radiusSquared; }
    const Material& GetMaterial() const { return material; }

  private:
    void DeriveBounds();

    Vec4 centre;
    float radius;
    float radiusSquared;  // radius * radius, kept so that no ray computes it again
    BoundingSphere boundingSphere;
    Material material;
    BoundingBox boundingBox;
};

}  // namespace lumivex
