// Where each kind of shape can report a hit: the regions the scene index boxes objects by.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "geometry/geometry.h"

namespace lumivex {

// An axis-aligned region in double precision.
struct Region {
    std::array<double, 3> low;
    std::array<double, 3> high;

    void Include(const std::array<double, 3>& p) {
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], p[a]);
            high[a] = std::max(high[a], p[a]);
        }
    }
    static Region Empty() {
        constexpr double inf = std::numeric_limits<double>::infinity();
        return {{inf, inf, inf}, {-inf, -inf, -inf}};
    }
    bool Finite() const {
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(low[a]) || !std::isfinite(high[a]) || low[a] > high[a]) {
                return false;
            }
        }
        return true;
    }
};

// What is known about where a shape can report hits.
struct HitRegion {
    enum class Kind { Never, Bounded, Unbounded } kind = Kind::Unbounded;
    Region region = Region::Empty();
};

// Every point where the shape's Intersect can report a hit, worked out in double precision from
// the shape's own stored floats, with no margin yet for their rounding. Unbounded where no region
// holds provably (an ellipsoid; a degenerate or ill-conditioned shape), Never where no ray can
// hit at all (a polygon whose every triangle is empty).
HitRegion HitRegionOf(const Geometry& shape);

}  // namespace lumivex
