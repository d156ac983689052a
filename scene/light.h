#pragma once

#include "geometry/color.h"
#include "geometry/vec4.h"

namespace lumivex {

// A light of a given radius: shadow rays aim at random points of a disc of that radius around
// the position, so a radius of 0 gives hard shadows.
struct Light {
    Color color;
    Vec4 position;  // w = 1
    float radius = 0.0f;
};

}  // namespace lumivex
