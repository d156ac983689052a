// The renderer's only random operations: uniform numbers and sideways-jittered axes.
#pragma once

#include <cstdint>

#include "geometry/vec4.h"

namespace lumivex {

// A linear congruential generator with the range 0 to 32767. Each thread owns one and restarts
// it from the same seed at the start of every band, so every band draws the same sequence and a
// picture is a pure function of its inputs, whichever thread renders which band.
class RandomSource {
  public:
    static constexpr int kMax = 32767;

    void Restart() { state = 1; }
    int Next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }

  private:
    std::uint32_t state = 1;
};

// A draw divided by 32767 in double precision and stored as a float: 0 and 1 both included.
// Multiplying by the double reciprocal rounds to the same float for every draw (random.cpp
// proves it at compile time) and costs less than dividing.
constexpr float UnitOfDraw(int draw) {
    return static_cast<float>(static_cast<double>(draw) * (1.0 / 32767.0));
}
inline float RandomUnit(RandomSource& random) {
    return UnitOfDraw(random.Next());
}

// Moves the axis `l` sideways, perpendicular to itself, by a random amount set by the spread
// radius `r` and the distance `d` to what the axis points at. Draws exactly four numbers, even
// for r = 0 (which returns `l` exactly when d > 0). The result is not normalised; its w is l.w.
Vec4 JitterAxis(RandomSource& random, float d, float r, const Vec4& l);

// The two halves of JitterAxis, for callers that jitter one axis many times: the sideways
// distance, which depends on d and r only, and the jitter by that distance, which draws the four
// numbers. JitterAxisBy(random, JitterSpread(d, r), l) is JitterAxis(random, d, r, l).
float JitterSpread(float d, float r);
Vec4 JitterAxisBy(RandomSource& random, float spread, const Vec4& l);

}  // namespace lumivex
