// The interface through which the renderer talks to every shape.
#pragma once

#include <memory>

#include "geometry/bounds.h"
#include "geometry/hit_record.h"
#include "geometry/ray.h"

namespace lumivex {

// The kinds of shape there are. Code that treats each kind in its own way (the scene index, the
// scene checker's JSON) switches over this without a default, so that the compiler names every
// place a new kind of shape must reach.
enum class ShapeKind { Sphere, Box, Ellipsoid, Polygon, Icosahedron };

// A shape computes all its derived data in its constructor and is read-only afterwards, so every
// operation may be called from many threads at once.
class Geometry {
  public:
    virtual ~Geometry() = default;

    virtual const BoundingSphere& GetBoundingSphere() const = 0;
    virtual const BoundingBox& GetBoundingBox() const = 0;

    // On a hit: t >= 0, the point at t, the unit normal (outward for closed shapes, the plane's
    // for a polygon) and a copy of the material. The ray is non-const because the ellipsoid
    // normalises the caller's direction.w to 0; no other shape writes to it.
    virtual HitRecord Intersect(Ray& ray) const = 0;

    // Whether Intersect would report a hit, and its t, without building the record: the
    // nearest-hit search compares distances and builds the record only for the winner. Always
    // agrees with Intersect to the bit.
    virtual bool HitDistance(const Ray& ray, float& t) const = 0;

    virtual std::unique_ptr<Geometry> Clone() const = 0;

    virtual ShapeKind GetKind() const = 0;

    // True when the point lies within the bounding sphere (inclusive); the box overrides this
    // with its face planes.
    virtual bool Contains(const Vec4& point) const;

  protected:
    Geometry() = default;
    Geometry(const Geometry&) = default;
    Geometry& operator=(const Geometry&) = default;
};

}  // namespace lumivex
