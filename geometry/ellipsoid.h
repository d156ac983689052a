#pragma once

#include "geometry/geometry.h"
#include "geometry/material.h"
#include "geometry/matrix4.h"

namespace lumivex {

// The points centre + q1 axis1 + q2 axis2 + q3 axis3 with q1^2 + q2^2 + q3^2 <= 1. The axes must
// be mutually orthogonal and non-zero: the map to the unit sphere is built axis by axis and is
// exact only then. Nothing checks this.
class Ellipsoid final : public Geometry {
  public:
    // The centre's w is forced to 1; the axes are stored whole.
    Ellipsoid(const Vec4& centre, const Vec4& axis1, const Vec4& axis2, const Vec4& axis3,
              const Material& material);
    // Copies the parameters and derives everything else again.
    Ellipsoid(const Ellipsoid& other);
    Ellipsoid& operator=(const Ellipsoid&) = delete;

    const BoundingSphere& GetBoundingSphere() const override { return boundingSphere; }
    const BoundingBox& GetBoundingBox() const override { return boundingBox; }
    // Solves the unit-sphere quadratic in local space; sets ray.direction.w to 0 first.
    HitRecord Intersect(Ray& ray) const override;
    bool HitDistance(const Ray& ray, float& t) const override;
    std::unique_ptr<Geometry> Clone() const override;
    ShapeKind GetKind() const override { return ShapeKind::Ellipsoid; }

    const Vec4& GetCentre() const { return centre; }
    const Vec4& GetAxis1() const { return axis1; }
    const Vec4& GetAxis2() const { return axis2; }
    const Vec4& GetAxis3() const { return axis3; }
    const Matrix4& GetToLocal() const { return toLocal; }
    const Matrix4& GetNormalToWorld() const { return normalToWorld; }
    const Material& GetMaterial() const { return material; }

  private:
    void Derive();
    // The ray in unit-sphere coordinates (its direction taken with w = 0) and its first root.
    bool Solve(const Ray& ray, Vec4& localOrigin, Vec4& localDirection, float& t) const;

    Vec4 centre;
    Vec4 axis1;
    Vec4 axis2;
    Vec4 axis3;
    Matrix4 toLocal;        // world point to unit-sphere coordinates
    Matrix4 normalToWorld;  // transpose of toLocal
    Material material;
    BoundingSphere boundingSphere;
    BoundingBox boundingBox;
};

}  // namespace lumivex
