#pragma once

#include <array>

#include "geometry/geometry.h"
#include "geometry/material.h"

namespace lumivex {

// A convex twenty-faced solid defined by its face planes, which a fixed angular rule generates
// from the centre and the size. It is not a regular icosahedron: its two apexes lie on the axis
// through the centre parallel to z, at 1.2030043 * radius, outside the bounding sphere.
class Icosahedron final : public Geometry {
  public:
    // The centre's w is ignored (stored as 1). Faces lie at radius / sqrt(2) from the centre.
    Icosahedron(float radius, const Vec4& centre, const Material& material);
    // Copies the faces as they are (not generated again) and derives the bounds again.
    Icosahedron(const Icosahedron& other);
    Icosahedron& operator=(const Icosahedron&) = delete;

    const BoundingSphere& GetBoundingSphere() const override { return boundingSphere; }
    const BoundingBox& GetBoundingBox() const override { return boundingBox; }
    HitRecord Intersect(Ray& ray) const override;
    bool HitDistance(const Ray& ray, float& t) const override;
    std::unique_ptr<Geometry> Clone() const override;
    ShapeKind GetKind() const override { return ShapeKind::Icosahedron; }

    const Vec4& GetCentre() const { return centre; }
    float GetRadius() const { return radius; }
    const std::array<Plane, 20>& GetFaces() const { return faces; }
    const Material& GetMaterial() const { return material; }

  private:
    void BuildFaces();
    void UpdateBoundingBox();

    std::array<Plane, 20> faces;  // opposite pairs: faces[2j + 1] mirrors faces[2j]
    Vec4 centre;
    float radius;
    Material material;
    BoundingSphere boundingSphere;
    BoundingBox boundingBox;
};

}  // namespace lumivex
