#include "render/random.h"

#include "test_support.h"

namespace lumivex {
namespace {

TEST(RandomSource, RestartsTheSameSequenceFromTheFixedSeed) {
    RandomSource random;
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (const int value : expected) {
        EXPECT_EQ(random.Next(), value);
    }
    random.Restart();
    EXPECT_EQ(random.Next(), 41);
}

TEST(RandomSource, StaysWithinItsRange) {
    RandomSource random;
    int low = RandomSource::kMax;
    int high = 0;
    for (int i = 0; i < 1 << 17; ++i) {
        const int value = random.Next();
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, RandomSource::kMax);
}

// Advances a source until its next draw is `value`.
RandomSource SourceAbout(int value) {
    RandomSource random;
    for (;;) {
        RandomSource peek = random;
        if (peek.Next() == value) {
            return random;
        }
        random.Next();
    }
}

TEST(RandomUnit, CoversZeroToOneInclusive) {
    RandomSource zero = SourceAbout(0);
    EXPECT_EQ(RandomUnit(zero), 0.0f);
    RandomSource one = SourceAbout(RandomSource::kMax);
    EXPECT_EQ(RandomUnit(one), 1.0f);
    RandomSource first;
    EXPECT_EQ(RandomUnit(first), static_cast<float>(41 / 32767.0));
}

TEST(JitterAxis, ZeroRadiusKeepsTheAxisButStillDrawsFour) {
    RandomSource random;
    const Vec4 axis = Direction(0.3f, -4, 12);
    EXPECT_EQ(JitterAxis(random, 5, 0, axis), axis);
    RandomSource reference;
    for (int i = 0; i < 4; ++i) {
        reference.Next();
    }
    EXPECT_EQ(random.Next(), reference.Next());
}

TEST(JitterAxis, OffsetIsPerpendicularAndScaledByTheRadius) {
    RandomSource random;
    const Vec4 axis = Direction(0, 0, 1);
    for (int i = 0; i < 100; ++i) {
        const Vec4 jittered = JitterAxis(random, 1, 0.1f, axis);
        EXPECT_EQ(jittered.z, 1.0f) << i;  // the offset is perpendicular to a z axis
        EXPECT_LE(std::hypot(jittered.x, jittered.y), 0.1f + 1e-6f) << i;
        EXPECT_EQ(jittered.w, 0.0f);
    }
}

TEST(JitterAxis, ZeroDistanceGivesNaN) {
    RandomSource random;
    const Vec4 v = JitterAxis(random, 0, 0, Direction(1, 0, 0));
    EXPECT_TRUE(std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z));
}

}  // namespace
}  // namespace lumivex
