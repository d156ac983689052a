#include "geometry/sphere.h"

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
    radiusSquared = radius * radius;
    boundingSphere = {centre, radius};
    boundingBox.min = Point(centre.x - radius, centre.y - radius, centre.z - radius);
    boundingBox.max = Point(centre.x + radius, centre.y + radius, centre.z + radius);
}

bool Sphere::HitDistance(const Ray& ray, float& t) const {
    return SphereHitDistance(ray, centre, radiusSquared, t);
}

HitRecord Sphere::Intersect(Ray& ray) const {
    float t;
    if (!HitDistance(ray, t)) {
        HitRecord record;
        record.hit = false;
        record.t = -1.0f;
        return record;
    }
    return RecordAt(ray, t);
}

HitRecord Sphere::RecordAt(const Ray& ray, float t) const {
    HitRecord record;
    record.hit = true;
    record.t = t;
    record.point = AsPoint(ray.origin + t * ray.direction);
    record.normal = Normalized(record.point - centre);
    record.material = material;
    return record;
}

std::unique_ptr<Geometry> Sphere::Clone() const {
    return std::make_unique<Sphere>(*this);
}

}  // namespace lumivex
