#include "geometry/box.h"

#include "geometry/half_space_clip.h"

namespace lumivex {

Box::Box(const Vec4& corner, const Vec4& edge1, const Vec4& edge2, const Vec4& edge3,
         const Material& material)
    : corner(corner), edge1(edge1), edge2(edge2), edge3(edge3), material(material) {
    BuildFaces();
    DeriveBounds();
}

Box::Box(const Box& other)
    : Geometry(other),
      corner(other.corner),
      edge1(other.edge1),
      edge2(other.edge2),
      edge3(other.edge3),
      faces(other.faces),
      material(other.material) {
    DeriveBounds();
}

void Box::BuildFaces() {
    const Vec4 a = Normalized(Cross(edge1, edge3));
    const Vec4 b = Normalized(Cross(edge3, edge2));
    const Vec4 c = Normalized(Cross(edge2, edge1));
    faces[0] = {AsPoint(corner), a};
    faces[1] = {AsPoint(corner + edge2), -a};
    faces[2] = {AsPoint(corner), b};
    faces[3] = {AsPoint(corner + edge1), -b};
    faces[4] = {AsPoint(corner), c};
    faces[5] = {AsPoint(corner + edge3), -c};
}

void Box::DeriveBounds() {
    const Vec4 diagonal = (edge1 + edge2) + edge3;
    boundingSphere.centre = AsPoint(corner + 0.5f * diagonal);
    boundingSphere.radius = 0.5f * Length(diagonal);

    const Vec4 vertices[8] = {
        corner,
        corner + edge1,
        corner + edge2,
        corner + edge3,
        (corner + edge1) + edge2,
        (corner + edge1) + edge3,
        (corner + edge2) + edge3,
        ((corner + edge1) + edge2) + edge3,
    };
    boundingBox = GrowBoundingBox(vertices);
}

bool Box::Contains(const Vec4& point) const {
    for (const Plane& face : faces) {
        if (Dot(face.normal, point - face.point) > 0.0f) {
            return false;
        }
    }
    return true;
}

HitRecord Box::Intersect(Ray& ray) const {
    return IntersectHalfSpaces(faces, material, ray);
}

bool Box::HitDistance(const Ray& ray, float& t) const {
    const HalfSpaceClip clip = ClipToHalfSpaces(faces, ray);
    t = clip.t;
    return clip.hit;
}

std::unique_ptr<Geometry> Box::Clone() const {
    return std::make_unique<Box>(*this);
}

}  // namespace lumivex
