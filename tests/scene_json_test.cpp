#include "cli/scene_json.h"

#include <bit>
#include <cstdint>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>

#include "test_support.h"

namespace lumivex {
namespace {

using Limits = std::numeric_limits<float>;

QByteArray Text(float value) {
    return QJsonDocument(QJsonArray{JsonNumber(value)}).toJson(QJsonDocument::Compact);
}

// What a reader gets: the JSON text parsed as a double, then narrowed to float.
float ReadBack(float value) {
    return static_cast<float>(QJsonDocument::fromJson(Text(value)).array().at(0).toDouble());
}

TEST(JsonNumber, ReadsBackAsTheSameFloat) {
    EXPECT_EQ(Text(0.1f), "[0.1]");
    EXPECT_EQ(Text(Limits::quiet_NaN()), "[null]");
    EXPECT_EQ(Text(Limits::infinity()), "[1e+39]");
    EXPECT_EQ(ReadBack(-Limits::infinity()), -Limits::infinity());

    // The extremes, then about 100000 finite non-zero floats (equal means the same bits) of every
    // exponent and sign.
    std::vector<float> values = {Limits::denorm_min(), 1.17e-39f, Limits::min(), Limits::max(),
                                 Limits::lowest()};
    for (std::uint32_t bits = 1; bits < 0x7f800000u; bits += 21391u) {
        values.push_back(std::bit_cast<float>(bits));
        values.push_back(std::bit_cast<float>(bits | 0x80000000u));
    }
    for (const float value : values) {
        ASSERT_EQ(ReadBack(value), value);
    }
}

}  // namespace
}  // namespace lumivex
