// The renderer's random source: a fixed sequence, uniform numbers, and a jittered axis.
#include "render/random.h"

#include "test_support.h"

namespace lumivex {
namespace {

constexpr int kFirstDraws[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

TEST(RandomSource, DrawsTheFixedSequenceAndRandomUnitDividesItBy32767) {
    RandomSource random;
    for (const int draw : kFirstDraws) {
        EXPECT_EQ(random.Next(), draw);
    }
    random.Restart();
    for (const int draw : kFirstDraws) {
        EXPECT_EQ(RandomUnit(random), static_cast<float>(draw / 32767.0));
    }
    bool zero = false;
    bool one = false;
    for (int i = 0; i < 1 << 17; ++i) {
        const float u = RandomUnit(random);
        ASSERT_TRUE(u >= 0.0f && u <= 1.0f) << u;
        zero = zero || u == 0.0f;
        one = one || u == 1.0f;
    }
    EXPECT_TRUE(zero && one);
}

TEST(JitterAxis, ZeroSpreadKeepsTheAxisExactlyButStillDrawsFourNumbers) {
    RandomSource random;
    const Vec4 axis{0.3f, -4, 12, 1};  // w is kept, whatever it is
    EXPECT_EQ(JitterAxis(random, 5, 0, axis), axis);
    EXPECT_EQ(random.Next(), kFirstDraws[4]);
    EXPECT_TRUE(std::isnan(JitterAxis(random, 0, 0, axis).x));  // at distance 0 there is none
}

}  // namespace
}  // namespace lumivex
