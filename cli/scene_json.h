// The JSON form of a loaded scene that `lumivex-render --check` prints.
#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include "geometry/geometry.h"
#include "scene/scene_loader.h"

namespace lumivex {

// A float as a JSON number that reads back as the same float: the shortest decimal text that
// round-trips as a float, stored as the double that text denotes, so 0.1f is written 0.1 rather
// than 0.10000000149011612. NaN becomes null; +/-infinity, which JSON cannot hold, becomes
// +/-1e39, which is past the float range and so reads back (as a float) as +/-infinity.
// Negative zero is written as 0: Qt stores whole numbers as integers, which have no sign of zero.
QJsonValue JsonNumber(float value);

// {"type": ..., the shape's defining parameters, "material": {...}}.
QJsonObject GeometryToJson(const Geometry& shape);

// The whole result: camera, ambient, air, lights, objects, diagnostic (null when reading ended
// cleanly) and warnings.
QJsonObject LoadResultToJson(const SceneLoadResult& result);

}  // namespace lumivex
