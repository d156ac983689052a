#include "cli/scene_json.h"

#include <charconv>
#include <cmath>

#include <QJsonArray>
#include <QString>

#include "geometry/box.h"
#include "geometry/ellipsoid.h"
#include "geometry/icosahedron.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"

namespace lumivex {

namespace {

// Past the largest float (about 3.4e38) by enough that every reader rounds it to infinity.
constexpr double kInfinityStandIn = 1e39;

QJsonArray JsonVector(const Vec4& v) {
    return {JsonNumber(v.x), JsonNumber(v.y), JsonNumber(v.z), JsonNumber(v.w)};
}

QJsonArray JsonColor(const Color& c) {
    return {JsonNumber(c.r), JsonNumber(c.g), JsonNumber(c.b), JsonNumber(c.a)};
}

QJsonObject MaterialToJson(const Material& m) {
    return {
        {"diffuse", JsonColor(m.diffuse)},
        {"specularCoefficient", JsonNumber(m.specularCoefficient)},
        {"specularExponent", JsonNumber(m.specularExponent)},
        {"attenuation", JsonColor(m.attenuation)},
        {"permittivity", JsonNumber(m.permittivity)},
        {"permeability", JsonNumber(m.permeability)},
        {"refractiveIndex", JsonNumber(m.refractiveIndex)},
        {"roughness", JsonNumber(m.roughness)},
    };
}

QJsonObject DiagnosticToJson(const SceneDiagnostic& d) {
    return {
        {"line", d.line},
        {"column", d.column},
        {"message", QString::fromStdString(d.message)},
    };
}

}  // namespace

QJsonValue JsonNumber(float value) {
    if (std::isnan(value)) {
        return QJsonValue(QJsonValue::Null);
    }
    if (std::isinf(value)) {
        return value > 0 ? kInfinityStandIn : -kInfinityStandIn;
    }
    // Shortest float text, then the double it names. from_chars rather than strtod: strtod
    // follows LC_NUMERIC, which QCoreApplication sets from the environment, and would stop at
    // the '.' under a locale that writes decimal commas.
    char text[32];
    const char* end = std::to_chars(text, text + sizeof text, value).ptr;
    double parsed = 0.0;
    std::from_chars(text, end, parsed);
    return parsed;
}

QJsonObject GeometryToJson(const Geometry& shape) {
    switch (shape.GetKind()) {
        case ShapeKind::Sphere: {
            const auto& sphere = static_cast<const Sphere&>(shape);
            return {
                {"type", "sphere"},
                {"centre", JsonVector(sphere.GetCentre())},
                {"radius", JsonNumber(sphere.GetRadius())},
                {"material", MaterialToJson(sphere.GetMaterial())},
            };
        }
        case ShapeKind::Box: {
            const auto& box = static_cast<const Box&>(shape);
            return {
                {"type", "box"},
                {"corner", JsonVector(box.GetCorner())},
                {"edge1", JsonVector(box.GetEdge1())},
                {"edge2", JsonVector(box.GetEdge2())},
                {"edge3", JsonVector(box.GetEdge3())},
                {"material", MaterialToJson(box.GetMaterial())},
            };
        }
        case ShapeKind::Polygon: {
            const auto& polygon = static_cast<const Polygon3D&>(shape);
            QJsonArray vertices;
            for (const Vec4& vertex : polygon.GetVertices()) {
                vertices.append(JsonVector(vertex));
            }
            return {
                {"type", "polygon"},
                {"vertices", vertices},
                {"material", MaterialToJson(polygon.GetMaterial())},
            };
        }
        case ShapeKind::Ellipsoid: {
            const auto& ellipsoid = static_cast<const Ellipsoid&>(shape);
            return {
                {"type", "ellipsoid"},
                {"centre", JsonVector(ellipsoid.GetCentre())},
                {"axis1", JsonVector(ellipsoid.GetAxis1())},
                {"axis2", JsonVector(ellipsoid.GetAxis2())},
                {"axis3", JsonVector(ellipsoid.GetAxis3())},
                {"material", MaterialToJson(ellipsoid.GetMaterial())},
            };
        }
        case ShapeKind::Icosahedron: {
            const auto& icosahedron = static_cast<const Icosahedron&>(shape);
            return {
                {"type", "icosahedron"},
                {"centre", JsonVector(icosahedron.GetCentre())},
                {"radius", JsonNumber(icosahedron.GetRadius())},
                {"material", MaterialToJson(icosahedron.GetMaterial())},
            };
        }
    }
    return {{"type", "unknown"}};  // not reached: every kind is handled above
}

QJsonObject LoadResultToJson(const SceneLoadResult& result) {
    const Scene& scene = *result.scene;

    QJsonArray lights;
    for (const Light& light : scene.lights) {
        lights.append(QJsonObject{
            {"color", JsonColor(light.color)},
            {"position", JsonVector(light.position)},
            {"radius", JsonNumber(light.radius)},
        });
    }

    QJsonArray objects;
    for (const auto& object : scene.objects) {
        objects.append(GeometryToJson(*object));
    }

    QJsonArray warnings;
    for (const SceneDiagnostic& warning : result.warnings) {
        warnings.append(DiagnosticToJson(warning));
    }

    return {
        {"camera",
         QJsonObject{
             {"centre", JsonVector(scene.camera.centre)},
             {"right", JsonVector(scene.camera.right)},
             {"up", JsonVector(scene.camera.up)},
             {"eyeOffset", JsonVector(scene.camera.eyeOffset)},
         }},
        {"ambient", JsonColor(scene.ambient)},
        {"air",
         QJsonObject{
             {"permittivity", JsonNumber(scene.air.permittivity)},
             {"permeability", JsonNumber(scene.air.permeability)},
             {"refractiveIndex", JsonNumber(scene.air.refractiveIndex)},
             {"attenuation", JsonColor(scene.air.attenuation)},
         }},
        {"lights", lights},
        {"objects", objects},
        {"diagnostic", result.diagnostic ? QJsonValue(DiagnosticToJson(*result.diagnostic))
                                         : QJsonValue(QJsonValue::Null)},
        {"warnings", warnings},
    };
}

}  // namespace lumivex
