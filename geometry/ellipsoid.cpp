#include "geometry/ellipsoid.h"

#include "geometry/ray_quadratic.h"

namespace lumivex {

Ellipsoid::Ellipsoid(const Vec4& centre, const Vec4& axis1, const Vec4& axis2, const Vec4& axis3,
                     const Material& material)
    : centre(AsPoint(centre)), axis1(axis1), axis2(axis2), axis3(axis3), material(material) {
    Derive();
}

Ellipsoid::Ellipsoid(const Ellipsoid& other)
    : Geometry(other),
      centre(AsPoint(other.centre)),
      axis1(other.axis1),
      axis2(other.axis2),
      axis3(other.axis3),
      material(other.material) {
    Derive();
}

void Ellipsoid::Derive() {
    // Row i of toLocal is axis_i / len_i^2, written as s_i * u_i with u_i the unit axis, plus the
    // translation that takes the centre to the origin.
    const Vec4* axes[3] = {&axis1, &axis2, &axis3};
    const Vec4& c = centre;
    for (int i = 0; i < 3; ++i) {
        const float len = Length(*axes[i]);
        const Vec4 u = *axes[i] / len;
        const float s = 1.0f / len;
        float* row = toLocal.m[i];
        row[0] = s * u.x;
        row[1] = s * u.y;
        row[2] = s * u.z;
        row[3] = s * ((-c.x * u.x - c.y * u.y) - c.z * u.z);
    }
    normalToWorld = Transposed(toLocal);

    // The longest semi-axis.
    float largest = Dot(axis1, axis1);
    for (const float squared : {Dot(axis2, axis2), Dot(axis3, axis3)}) {
        if (squared > largest) {
            largest = squared;
        }
    }
    boundingSphere = {centre, std::sqrt(largest)};

    // The eight corners of the parallelepiped around the ellipsoid.
    Vec4 corners[8];
    int n = 0;
    for (const float s1 : {1.0f, -1.0f}) {
        for (const float s2 : {1.0f, -1.0f}) {
            for (const float s3 : {1.0f, -1.0f}) {
                corners[n++] = ((centre + s1 * axis1) + s2 * axis2) + s3 * axis3;
            }
        }
    }
    boundingBox = GrowBoundingBox(corners);
}

bool Ellipsoid::Solve(const Ray& ray, Vec4& localOrigin, Vec4& localDirection, float& t) const {
    localDirection = toLocal * AsDirection(ray.direction);
    localOrigin = toLocal * ray.origin;
    const float a = Dot(localDirection, localDirection);
    const float b = 2.0f * Dot(localDirection, localOrigin);
    const float k = Dot(localOrigin, localOrigin) - 1.0f;
    return FirstRootAhead(a, b, k, t);
}

bool Ellipsoid::HitDistance(const Ray& ray, float& t) const {
    Vec4 localOrigin;
    Vec4 localDirection;
    return Solve(ray, localOrigin, localDirection, t);
}

HitRecord Ellipsoid::Intersect(Ray& ray) const {
    HitRecord record;
    record.hit = false;
    ray.direction.w = 0.0f;
    Vec4 localOrigin;
    Vec4 localDirection;
    float t;
    if (!Solve(ray, localOrigin, localDirection, t)) {
        return record;
    }
    // The map is affine, so t is the same parameter in both spaces.
    record.hit = true;
    record.t = t;
    record.material = material;
    record.point = AsPoint(ray.origin + t * ray.direction);
    const Vec4 local = localOrigin + t * localDirection;
    record.normal = Normalized(normalToWorld * AsDirection(local));
    return record;
}

std::unique_ptr<Geometry> Ellipsoid::Clone() const {
    return std::make_unique<Ellipsoid>(*this);
}

}  // namespace lumivex
