#pragma once

#include <array>

#include "geometry/geometry.h"
#include "geometry/material.h"

namespace lumivex {

// The parallelepiped corner + f1 edge1 + f2 edge2 + f3 edge3 with every f in [0, 1]. The edges
// need not be orthogonal but must be right-handed (dot(cross(edge1, edge2), edge3) > 0) for the
// face normals to point outward; nothing checks this.
class Box final : public Geometry {
  public:
    Box(const Vec4& corner, const Vec4& edge1, const Vec4& edge2, const Vec4& edge3,
        const Material& material);
    // Copies the faces as they are and derives the bounds again.
    Box(const Box& other);
    Box& operator=(const Box&) = delete;

    const BoundingSphere& GetBoundingSphere() const override { return boundingSphere; }
    const BoundingBox& GetBoundingBox() const override { return boundingBox; }
    HitRecord Intersect(Ray& ray) const override;
    bool HitDistance(const Ray& ray, float& t) const override;
    std::unique_ptr<Geometry> Clone() const override;
    ShapeKind GetKind() const override { return ShapeKind::Box; }
    // Inside or on all six face planes.
    bool Contains(const Vec4& point) const override;

    const Vec4& GetCorner() const { return corner; }
    const Vec4& GetEdge1() const { return edge1; }
    const Vec4& GetEdge2() const { return edge2; }
    const Vec4& GetEdge3() const { return edge3; }
    const std::array<Plane, 6>& GetFaces() const { return faces; }
    const Material& GetMaterial() const { return material; }

  private:
    void BuildFaces();
    void DeriveBounds();

    BoundingSphere boundingSphere;
    BoundingBox boundingBox;
    Vec4 corner;
    Vec4 edge1;
    Vec4 edge2;
    Vec4 edge3;
    std::array<Plane, 6> faces;
    Material material;
};

}  // namespace lumivex
