// Shared helpers for the geometry tests.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "geometry/printing.h"
#include "geometry/ray.h"

namespace lumivex::testing {

inline Ray MakeRay(const Vec4& origin, const Vec4& direction) {
    return {AsPoint(origin), AsDirection(direction)};
}

// For figures that are quoted rounded, not produced exactly by float arithmetic.
MATCHER_P2(VecNear, expected, tolerance, "") {
    return std::abs(arg.x - expected.x) <= tolerance && std::abs(arg.y - expected.y) <= tolerance &&
           std::abs(arg.z - expected.z) <= tolerance && arg.w == expected.w;
}

}  // namespace lumivex::testing
