#include "geometry/icosahedron.h"

#include <cmath>

#include "geometry/half_space_clip.h"

namespace lumivex {

namespace {

// The angles that define the solid. They are deliberately not pi/5 and 2pi/5: these exact
// single-precision values, accumulated step by step, are what shape it.
constexpr float kFirstElevation = 0.62831706f;
constexpr float kElevationStep = 0.36486456f;
constexpr float kAzimuthStep = 1.256636f;

}  // namespace

Icosahedron::Icosahedron(float radius, const Vec4& centre, const Material& material)
    : centre(AsPoint(centre)), radius(radius), material(material) {
    BuildFaces();
    boundingSphere = {this->centre, radius};
    UpdateBoundingBox();
}

Icosahedron::Icosahedron(const Icosahedron& other)
    : Geometry(other),
      faces(other.faces),
      centre(AsPoint(other.centre)),
      radius(other.radius),
      material(other.material) {
    boundingSphere = {centre, radius};
    UpdateBoundingBox();
}

void Icosahedron::BuildFaces() {
    const float f = radius / std::sqrt(2.0f);
    float phi = kFirstElevation;
    float theta = 0.0f;  // not reset between the rings
    std::size_t k = 0;
    for (int ring = 0; ring < 2; ++ring) {
        const float m = std::cos(phi) * f;
        const float h = std::sin(phi) * f;
        for (int step = 0; step < 5; ++step) {
            const float x = std::cos(theta) * m;
            const float y = std::sin(theta) * m;
            const float len = std::sqrt((x * x + y * y) + h * h);
            faces[k++] = {Point(centre.x + x, centre.y + y, centre.z + h),
                          Direction(x / len, y / len, h / len)};
            faces[k++] = {Point(centre.x - x, centre.y - y, centre.z - h),
                          Direction(-x / len, -y / len, -h / len)};
            theta = theta + kAzimuthStep;
        }
        phi = phi - kElevationStep;
    }
}

void Icosahedron::UpdateBoundingBox() {
    boundingBox.min = Point(centre.x - radius, centre.y - radius, centre.z - radius);
    boundingBox.max = Point(centre.x + radius, centre.y + radius, centre.z + radius);
}

HitRecord Icosahedron::Intersect(Ray& ray) const {
    return IntersectHalfSpaces(faces, material, ray);
}

bool Icosahedron::HitDistance(const Ray& ray, float& t) const {
    const HalfSpaceClip clip = ClipToHalfSpaces(faces, ray);
    t = clip.t;
    return clip.hit;
}

std::unique_ptr<Geometry> Icosahedron::Clone() const {
    return std::make_unique<Icosahedron>(*this);
}

}  // namespace lumivex
