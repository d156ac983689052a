#include "geometry/printing.h"

#include <iomanip>

namespace lumivex {

namespace {

// Nine significant digits read back as the same float.
class FloatPrecision {
  public:
    explicit FloatPrecision(std::ostream& os) : os(os), saved(os.precision(9)) {}
    ~FloatPrecision() { os.precision(saved); }
    FloatPrecision(const FloatPrecision&) = delete;
    FloatPrecision& operator=(const FloatPrecision&) = delete;

  private:
    std::ostream& os;
    std::streamsize saved;
};

}  // namespace

std::ostream& operator<<(std::ostream& os, const Vec4& v) {
    FloatPrecision precision(os);
    return os << '(' << v.x << ", " << v.y << ", " << v.z << ", " << v.w << ')';
}

std::ostream& operator<<(std::ostream& os, const Color& c) {
    FloatPrecision precision(os);
    return os << "rgba(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ')';
}

std::ostream& operator<<(std::ostream& os, const Matrix4& m) {
    FloatPrecision precision(os);
    os << '[';
    for (int r = 0; r < 4; ++r) {
        os << (r ? "; " : "") << m.m[r][0] << ' ' << m.m[r][1] << ' ' << m.m[r][2] << ' '
           << m.m[r][3];
    }
    return os << ']';
}

std::ostream& operator<<(std::ostream& os, const Ray& ray) {
    return os << "{origin " << ray.origin << ", direction " << ray.direction << '}';
}

std::ostream& operator<<(std::ostream& os, const Plane& plane) {
    return os << "{point " << plane.point << ", normal " << plane.normal << '}';
}

std::ostream& operator<<(std::ostream& os, const BoundingSphere& sphere) {
    FloatPrecision precision(os);
    return os << "{centre " << sphere.centre << ", radius " << sphere.radius << '}';
}

std::ostream& operator<<(std::ostream& os, const BoundingBox& box) {
    return os << "{min " << box.min << ", max " << box.max << '}';
}

std::ostream& operator<<(std::ostream& os, const Material& m) {
    FloatPrecision precision(os);
    return os << "{diffuse " << m.diffuse << ", specular " << m.specularCoefficient << " ^"
              << m.specularExponent << ", attenuation " << m.attenuation << ", permittivity "
              << m.permittivity << ", permeability " << m.permeability << ", index "
              << m.refractiveIndex << ", roughness " << m.roughness << '}';
}

std::ostream& operator<<(std::ostream& os, const HitRecord& record) {
    if (!record.hit) {
        return os << "{miss}";
    }
    FloatPrecision precision(os);
    return os << "{hit at t " << record.t << ", point " << record.point << ", normal "
              << record.normal << '}';
}

}  // namespace lumivex
