#pragma once

#include <span>
#include <vector>

#include "geometry/geometry.h"
#include "geometry/material.h"

namespace lumivex {

struct Triangle {
    Vec4 corner0;  // always the polygon's first vertex
    Vec4 corner1;
    Vec4 corner2;

    friend bool operator==(const Triangle&, const Triangle&) = default;
};

// A flat polygon: a fan of triangles around the first vertex, lying in the plane of the first
// three vertices. Only the points inside the fan triangles count as inside, which differs from
// the outline's own area when the polygon is not star-shaped about its first vertex.
class Polygon3D final : public Geometry {
  public:
    // Copies the vertices in order, each as a point (w = 1), then runs Prepare.
    Polygon3D(std::span<const Vec4> vertices, const Material& material);
    // Copies the vertices and material and runs Prepare again.
    Polygon3D(const Polygon3D& other);
    Polygon3D& operator=(const Polygon3D&) = delete;

    const BoundingSphere& GetBoundingSphere() const override { return boundingSphere; }
    const BoundingBox& GetBoundingBox() const override { return boundingBox; }
    // Hits the supporting plane (t >= 0, not parallel), then tests the fan triangles in order.
    // The normal is always the plane's, from whichever side the ray arrives.
    HitRecord Intersect(Ray& ray) const override;
    bool HitDistance(const Ray& ray, float& t) const override;
    std::unique_ptr<Geometry> Clone() const override;
    ShapeKind GetKind() const override { return ShapeKind::Polygon; }

    const std::vector<Vec4>& GetVertices() const { return vertices; }
    const std::vector<Triangle>& GetTriangles() const { return triangles; }
    const Plane& GetPlane() const { return plane; }
    const Material& GetMaterial() const { return material; }

  private:
    // Derives the fan, the plane and both bounds from the vertices.
    void Prepare();
    // The plane step: false when the ray is parallel to the plane or meets it behind its
    // origin; otherwise the parameter and the point where it meets the plane.
    bool MeetPlane(const Ray& ray, float& t, Vec4& point) const;
    // Whether one of the fan triangles contains a point of the plane.
    bool FanContains(const Vec4& point) const;

    // What FanContains needs of each triangle that does not depend on the point: its edges and
    // the three quotients of its edge basis, worked out once with the arithmetic the test used to
    // repeat for every point, so they are the same floats.
    struct FanTriangle {
        Vec4 corner0;
        Vec4 e1;
        Vec4 e2;
        float d22OverDen;
        float d12OverDen;
        float d11OverDen;
    };

    std::vector<Vec4> vertices;
    std::vector<Triangle> triangles;
    std::vector<FanTriangle> fan;
    Plane plane;
    Material material;
    BoundingSphere boundingSphere;
    BoundingBox boundingBox;
};

}  // namespace lumivex
