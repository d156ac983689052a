#include "geometry/sphere.h"

#include "geometry/ray_quadratic.h"

namespace lumivex {

Sphere::Sphere(const Vec4& centre, float radius, const Material& material)
    : centre(AsPoint(centre)), radius(radius), material(material) {
    DeriveBounds();
}

Sphere::Sphere(const Sphere& other)
    : Geometry(other),
      centre(AsPoint(other.centre)),
      radius(other.radius),
      material(other.material) {
    DeriveBounds();
}

void Sphere::DeriveBounds() {
    boundingSphere = {centre, radius};
    boundingBox.min = Point(centre.x - radius, centre.y - radius, centre.z - radius);
    boundingBox.max = Point(centre.x + radius, centre.y + radius, centre.z + radius);
}

HitRecord Sphere::Intersect(Ray& ray) const {
    const Vec4& o = ray.origin;
    const Vec4& d = ray.direction;
    HitRecord record;
    record.hit = false;

    const float a = Dot(d, d);
    const Vec4 oc = o - centre;
    const float b = 2.0f * Dot(d, oc);
    const float k = Dot(oc, oc) - radius * radius;
    float t;
    if (!FirstRootAhead(a, b, k, t)) {
        record.t = -1.0f;
        return record;
    }
    record.hit = true;
    record.t = t;
    record.point = AsPoint(o + t * d);
    record.normal = Normalized(record.point - centre);
    record.material = material;
    return record;
}

std::unique_ptr<Geometry> Sphere::Clone() const {
    return std::make_unique<Sphere>(*this);
}

}  // namespace lumivex
