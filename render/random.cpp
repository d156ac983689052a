#include "render/random.h"

#include <cmath>

namespace lumivex {

float JitterSpread(float d, float r) {
    // r for d > 0, up to rounding, through a Gaussian-shaped detour.
    const float x = -(r * r) / (d * (d * 2.0f));
    const float e = std::pow(2.7182817f, x);
    return std::sqrt(std::log(e) * -2.0f) * d;
}

Vec4 JitterAxis(RandomSource& random, float d, float r, const Vec4& l) {
    return JitterAxisBy(random, JitterSpread(d, r), l);
}

Vec4 JitterAxisBy(RandomSource& random, float spread, const Vec4& l) {
    // Angle around the axis; 3.1415 rather than pi is part of the sampling pattern.
    const float phi = (2.0f * RandomUnit(random)) * 3.1415f;
    const float rho = spread;
    const float a = std::cos(phi) * rho;
    const float b = std::sin(phi) * rho;

    // A random direction in the positive octant, drawn x, then y, then z.
    const float qx = RandomUnit(random);
    const float qy = RandomUnit(random);
    const float qz = RandomUnit(random);
    const Vec4 q = Normalized(Direction(qx, qy, qz));

    // Two vectors perpendicular to the axis and to each other, not normalised.
    const Vec4 across = Cross(l, q);
    const Vec4 around = Cross(across, l);
    return {(l.x + a * across.x) + b * around.x, (l.y + a * across.y) + b * around.y,
            (l.z + a * across.z) + b * around.z, l.w};
}

}  // namespace lumivex
