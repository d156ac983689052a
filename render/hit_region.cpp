#include "render/hit_region.h"

#include <algorithm>
#include <optional>

#include "geometry/box.h"
#include "geometry/icosahedron.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"

namespace lumivex {

namespace {

using Vector = std::array<double, 3>;

Vector ToDouble(const Vec4& v) {
    return {v.x, v.y, v.z};
}
double DotD(const Vector& a, const Vector& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vector CrossD(const Vector& a, const Vector& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vector Sub(const Vector& a, const Vector& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vector AddScaled(const Vector& a, double s, const Vector& b) {
    return {a[0] + s * b[0], a[1] + s * b[1], a[2] + s * b[2]};
}
bool FiniteVector(const Vec4& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The point where three planes (unit normals, offsets n . x = d) meet, if they do so well enough
// that rounding cannot move it far.
std::optional<Vector> MeetingPoint(const std::array<Vector, 3>& n, const std::array<double, 3>& d,
                                   double minDeterminant) {
    const Vector c12 = CrossD(n[1], n[2]);
    const double det = DotD(n[0], c12);
    if (!(std::abs(det) >= minDeterminant)) {
        return std::nullopt;
    }
    const Vector c20 = CrossD(n[2], n[0]);
    const Vector c01 = CrossD(n[0], n[1]);
    Vector x;
    for (int a = 0; a < 3; ++a) {
        x[a] = (d[0] * c12[a] + d[1] * c20[a] + d[2] * c01[a]) / det;
    }
    return x;
}

HitRegion SphereRegion(const Sphere& sphere) {
    const Vec4& c = sphere.GetCentre();
    const double r = std::abs(static_cast<double>(sphere.GetRadius()));
    HitRegion hit;
    if (!FiniteVector(c) || !std::isfinite(r)) {
        return hit;
    }
    hit.kind = HitRegion::Kind::Bounded;
    hit.region = {{c.x - r, c.y - r, c.z - r}, {c.x + r, c.y + r, c.z + r}};
    return hit;
}

// The box clips against its six stored face planes, so its region is the parallelepiped those
// planes enclose: the eight points where one plane of each opposite pair meet.
HitRegion BoxRegion(const Box& box) {
    HitRegion hit;
    const auto& faces = box.GetFaces();
    for (const Plane& face : faces) {
        if (!FiniteVector(face.normal) || !FiniteVector(face.point)) {
            return hit;
        }
    }
    const Vector e1 = ToDouble(box.GetEdge1());
    const Vector e2 = ToDouble(box.GetEdge2());
    const Vector e3 = ToDouble(box.GetEdge3());
    if (!(DotD(CrossD(e1, e2), e3) > 0.0)) {
        return hit;  // left-handed or flat: leave it to the plain test
    }
    hit.region = Region::Empty();
    for (int i = 0; i < 8; ++i) {
        std::array<Vector, 3> normals;
        std::array<double, 3> offsets;
        for (int pair = 0; pair < 3; ++pair) {
            const Plane& face = faces[2 * pair + ((i >> pair) & 1)];
            normals[pair] = ToDouble(face.normal);
            offsets[pair] = DotD(normals[pair], ToDouble(face.point));
        }
        const std::optional<Vector> vertex = MeetingPoint(normals, offsets, 1e-3);
        if (!vertex) {
            return hit;
        }
        hit.region.Include(*vertex);
    }
    hit.kind = HitRegion::Kind::Bounded;
    return hit;
}

// The solid of unit size at the origin: its face normals and the extent of its vertices. Every
// icosahedron is this solid scaled and moved, up to the rounding of its own construction.
struct UnitIcosahedron {
    std::array<Vector, 20> normals;
    Vector extent{};

    UnitIcosahedron() {
        const Icosahedron unit(1.0f, Point(0, 0, 0), Material());
        std::array<double, 20> offsets;
        for (std::size_t k = 0; k < 20; ++k) {
            normals[k] = ToDouble(unit.GetFaces()[k].normal);
            offsets[k] = DotD(normals[k], ToDouble(unit.GetFaces()[k].point));
        }
        for (std::size_t i = 0; i < 20; ++i) {
            for (std::size_t j = i + 1; j < 20; ++j) {
                for (std::size_t k = j + 1; k < 20; ++k) {
                    const auto vertex = MeetingPoint({normals[i], normals[j], normals[k]},
                                                     {offsets[i], offsets[j], offsets[k]}, 1e-6);
                    if (!vertex) {
                        continue;
                    }
                    bool inside = true;
                    for (std::size_t m = 0; m < 20 && inside; ++m) {
                        inside = DotD(normals[m], *vertex) <= offsets[m] + 1e-9;
                    }
                    if (inside) {
                        for (int a = 0; a < 3; ++a) {
                            extent[a] = std::max(extent[a], std::abs((*vertex)[a]));
                        }
                    }
                }
            }
        }
    }
};

HitRegion IcosahedronRegion(const Icosahedron& solid) {
    static const UnitIcosahedron unit;
    HitRegion hit;
    const double r = std::abs(static_cast<double>(solid.GetRadius()));
    const Vector c = ToDouble(solid.GetCentre());
    if (!(r >= 1e-20 && r <= 1e30) || !FiniteVector(solid.GetCentre())) {
        return hit;
    }
    // Check that the stored planes are the unit solid's, scaled: each normal matches the unit
    // normal (or its opposite, as a negative size swaps the pairs) and lies at r / sqrt(2).
    const double distance = r / std::sqrt(2.0);
    for (std::size_t k = 0; k < 20; ++k) {
        const Plane& face = solid.GetFaces()[k];
        const Vector n = ToDouble(face.normal);
        const Vector& reference = unit.normals[k];
        double same = 0.0;
        double opposite = 0.0;
        for (int a = 0; a < 3; ++a) {
            same = std::max(same, std::abs(n[a] - reference[a]));
            opposite = std::max(opposite, std::abs(n[a] + reference[a]));
        }
        const double offset = DotD(n, Sub(ToDouble(face.point), c));
        if (!(std::min(same, opposite) <= 1e-4) ||
            !(std::abs(offset - distance) <= 1e-4 * distance)) {
            return hit;
        }
    }
    const double scale = r * 1.005;
    hit.kind = HitRegion::Kind::Bounded;
    hit.region = {{c[0] - scale * unit.extent[0], c[1] - scale * unit.extent[1],
                   c[2] - scale * unit.extent[2]},
                  {c[0] + scale * unit.extent[0], c[1] + scale * unit.extent[1],
                   c[2] + scale * unit.extent[2]}};
    return hit;
}

// A polygon reports a hit where the ray meets the plane of its first three vertices at a point
// whose orthogonal projection onto a fan triangle's own plane lies in that triangle. Those points
// make up each triangle projected onto the polygon's plane along the triangle's normal (the
// triangle itself when the polygon is flat).
HitRegion PolygonRegion(const Polygon3D& polygon) {
    HitRegion hit;
    const Plane& plane = polygon.GetPlane();
    if (polygon.GetTriangles().empty() || !FiniteVector(plane.normal)) {
        hit.kind = HitRegion::Kind::Never;  // no triangle can contain a point
        return hit;
    }
    const Vector n1 = ToDouble(plane.normal);
    const Vector p1 = ToDouble(plane.point);
    hit.region = Region::Empty();
    bool anyTriangle = false;
    for (const Triangle& triangle : polygon.GetTriangles()) {
        // A triangle whose float determinant is exactly 0 contains nothing.
        const Vec4 fe1 = triangle.corner1 - triangle.corner0;
        const Vec4 fe2 = triangle.corner2 - triangle.corner0;
        const float d11 = Dot(fe1, fe1);
        const float d22 = Dot(fe2, fe2);
        const float d12 = Dot(fe1, fe2);
        const float den = d11 * d22 - d12 * d12;
        if (den == 0.0f) {
            continue;
        }
        if (!(den > 1e-4f * (d11 * d22)) || !std::isfinite(den)) {
            return HitRegion{};  // a sliver: its rounding has no useful bound
        }
        const Vector corners[3] = {ToDouble(triangle.corner0), ToDouble(triangle.corner1),
                                   ToDouble(triangle.corner2)};
        Vector nk = CrossD(Sub(corners[1], corners[0]), Sub(corners[2], corners[0]));
        const double length = std::sqrt(DotD(nk, nk));
        for (double& component : nk) {
            component /= length;
        }
        const double cosine = DotD(n1, nk);
        if (!(std::abs(cosine) >= 0.1)) {
            return HitRegion{};
        }
        for (const Vector& corner : corners) {
            hit.region.Include(AddScaled(corner, DotD(n1, Sub(p1, corner)) / cosine, nk));
        }
        anyTriangle = true;
    }
    if (!anyTriangle) {
        hit.kind = HitRegion::Kind::Never;
    } else if (hit.region.Finite()) {
        hit.kind = HitRegion::Kind::Bounded;
    }
    return hit;
}

}  // namespace

HitRegion HitRegionOf(const Geometry& shape) {
    switch (shape.GetKind()) {
        case ShapeKind::Sphere:
            return SphereRegion(static_cast<const Sphere&>(shape));
        case ShapeKind::Box:
            return BoxRegion(static_cast<const Box&>(shape));
        case ShapeKind::Icosahedron:
            return IcosahedronRegion(static_cast<const Icosahedron&>(shape));
        case ShapeKind::Polygon:
            return PolygonRegion(static_cast<const Polygon3D&>(shape));
        case ShapeKind::Ellipsoid:
            // The quadratic, solved in the ellipsoid's own skewed space, can report a
            // near-tangent hit from afar far outside any fixed margin.
            return {};
    }
    return {};
}

}  // namespace lumivex
