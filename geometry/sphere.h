#pragma once

#include "geometry/geometry.h"
#include "geometry/material.h"

namespace lumivex {

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
    std::unique_ptr<Geometry> Clone() const override;

    const Vec4& Centre() const { return centre; }
    float Radius() const { return radius; }
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
