#include "geometry/polygon3d.h"

namespace lumivex {

Polygon3D::Polygon3D(std::span<const Vec4> vertices, const Material& material)
    : material(material) {
    this->vertices.reserve(vertices.size());
    for (const Vec4& vertex : vertices) {
        this->vertices.push_back(AsPoint(vertex));
    }
    Prepare();
}

Polygon3D::Polygon3D(const Polygon3D& other)
    : Geometry(other), vertices(other.vertices), material(other.material) {
    Prepare();
}

void Polygon3D::Prepare() {
    const std::size_t n = vertices.size();
    triangles.clear();
    if (n >= 3) {
        triangles.reserve(n - 2);
    }
    for (std::size_t i = 2; i < n; ++i) {
        triangles.push_back({vertices[0], vertices[i - 1], vertices[i]});
    }
    fan.clear();
    fan.reserve(triangles.size());
    for (const Triangle& triangle : triangles) {
        const Vec4 e1 = triangle.corner1 - triangle.corner0;
        const Vec4 e2 = triangle.corner2 - triangle.corner0;
        const float d11 = Dot(e1, e1);
        const float d22 = Dot(e2, e2);
        const float d12 = Dot(e1, e2);
        const float den = d11 * d22 - d12 * d12;
        fan.push_back({triangle.corner0, e1, e2, d22 / den, d12 / den, d11 / den});
    }

    if (!triangles.empty()) {
        // The plane of the first three vertices; counter-clockwise as seen by a viewer gives a
        // normal pointing towards that viewer.
        const Triangle& first = triangles.front();
        const Vec4 e1 = first.corner1 - first.corner0;
        const Vec4 e2 = first.corner2 - first.corner0;
        plane.point = AsPoint(first.corner0);
        plane.normal = Normalized(Cross(e1, e2));
    }

    // The centroid of the vertices, with the farthest vertex on the sphere. A polygon without
    // vertices keeps a zero sphere at the origin rather than dividing by zero; it never reports
    // a hit either way.
    if (n > 0) {
        float sumX = 0.0f;
        float sumY = 0.0f;
        float sumZ = 0.0f;
        for (const Vec4& v : vertices) {
            sumX += v.x;
            sumY += v.y;
            sumZ += v.z;
        }
        const float count = static_cast<float>(n);
        const Vec4 centre = Point(sumX / count, sumY / count, sumZ / count);
        float farthestSquared = 0.0f;
        for (const Vec4& v : vertices) {
            const float dx = v.x - centre.x;
            const float dy = v.y - centre.y;
            const float dz = v.z - centre.z;
            const float squared = (dx * dx + dy * dy) + dz * dz;
            if (squared > farthestSquared) {
                farthestSquared = squared;
            }
        }
        boundingSphere = {centre, std::sqrt(farthestSquared)};
        boundingBox = GrowBoundingBox(vertices);
    }
}

bool Polygon3D::MeetPlane(const Ray& ray, float& t, Vec4& point) const {
    const float denom = Dot(ray.direction, plane.normal);
    if (denom == 0.0f) {
        return false;  // parallel, including a ray lying in the plane
    }
    t = Dot(plane.normal, plane.point - ray.origin) / denom;
    if (t < 0.0f) {
        return false;
    }
    point = AsPoint(ray.origin + t * ray.direction);
    return true;
}

// Tests the fan triangles in order by the point's coordinates (u, v) in each triangle's edge
// basis. Every comparison is inclusive, so edges, corners and shared diagonals are inside; a
// degenerate triangle (den = 0) gives NaN and contains nothing.
bool Polygon3D::FanContains(const Vec4& point) const {
    for (const FanTriangle& triangle : fan) {
        const Vec4 p = point - triangle.corner0;
        const float d1 = Dot(p, triangle.e1);
        const float d2 = Dot(p, triangle.e2);
        const float u = triangle.d22OverDen * d1 - triangle.d12OverDen * d2;
        const float v = triangle.d11OverDen * d2 - triangle.d12OverDen * d1;
        if (u >= 0.0f && v >= 0.0f && u + v <= 1.0f) {
            return true;
        }
    }
    return false;
}

bool Polygon3D::HitDistance(const Ray& ray, float& t) const {
    Vec4 point;
    return MeetPlane(ray, t, point) && FanContains(point);
}

HitRecord Polygon3D::Intersect(Ray& ray) const {
    HitRecord record;
    record.hit = false;
    float t;
    Vec4 point;
    if (!MeetPlane(ray, t, point)) {
        return record;
    }
    record.t = t;
    record.normal = plane.normal;
    record.point = point;
    if (FanContains(point)) {
        record.hit = true;
        record.material = material;
    }
    return record;
}

std::unique_ptr<Geometry> Polygon3D::Clone() const {
    return std::make_unique<Polygon3D>(*this);
}

}  // namespace lumivex
