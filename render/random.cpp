#include "render/random.h"

#include <cmath>
#include <vector>

namespace lumivex {

namespace {

constexpr bool ReciprocalMatchesDivision() {
    for (int draw = 0; draw <= RandomSource::kMax; ++draw) {
        if (UnitOfDraw(draw) != static_cast<float>(static_cast<double>(draw) / 32767.0)) {
            return false;
        }
    }
    return true;
}
static_assert(ReciprocalMatchesDivision(), "UnitOfDraw must round like the division it replaces");

// The cosine and sine of the angle around the axis for each possible draw. There are only
// RandomSource::kMax + 1 angles, and a table lookup costs a small part of sincosf; the entries
// are computed by the very expressions they replace, so they are the same floats.
struct Turn {
    float cosine;
    float sine;
};

const std::vector<Turn>& TurnOfDraw() {
    static const std::vector<Turn> turns = [] {
        std::vector<Turn> table(RandomSource::kMax + 1);
        for (int draw = 0; draw <= RandomSource::kMax; ++draw) {
            // Angle around the axis; 3.1415 rather than pi is part of the sampling pattern.
            const float phi = (2.0f * UnitOfDraw(draw)) * 3.1415f;
            table[static_cast<std::size_t>(draw)] = {std::cos(phi), std::sin(phi)};
        }
        return table;
    }();
    return turns;
}

}  // namespace

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
    // A random angle around the axis.
    const Turn& turn = TurnOfDraw()[static_cast<std::size_t>(random.Next())];
    const float rho = spread;
    const float a = turn.cosine * rho;
    const float b = turn.sine * rho;

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
