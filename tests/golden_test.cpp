// Every example scene rendered small in each antialiasing mode, with one and three bands, through
// the scene index, compared byte for byte with references made by the plain walk and checked by
// eye. After a deliberate change, scripts/update-golden remakes them; look at every one.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "render_support.h"

namespace lumivex {
namespace {

using testing::ExampleText;
using testing::RenderWords;
using testing::Request;

constexpr std::uint32_t kSize = 64;

struct GoldenCase {
    std::string scene;
    AntialiasMode mode;
    unsigned bands;
    bool stochastic;

    std::string Name() const {
        static const char* const kModes[] = {"off", "jittered", "monte-carlo"};
        const std::string name = scene + "-" + kModes[static_cast<int>(mode)] + "-" +
                                 std::to_string(bands) + (bands == 1 ? "-band" : "-bands");
        return stochastic ? name + "-stochastic" : name;
    }
};

std::vector<GoldenCase> AllCases() {
    std::vector<GoldenCase> cases;
    for (const char* scene :
         {"worked-example", "showcase", "glass", "soft-shadows", "absorbing-glass"}) {
        for (const auto mode :
             {AntialiasMode::Off, AntialiasMode::Jittered, AntialiasMode::MonteCarlo}) {
            for (const unsigned bands : {1u, 3u}) {
                cases.push_back({scene, mode, bands, false});
            }
        }
        cases.push_back({scene, AntialiasMode::Off, 3, true});
    }
    return cases;
}

// A binary PPM (P6) with the picture's top row first, as lumivex-render writes it.
std::string EncodePpm(const std::vector<std::uint32_t>& words) {
    std::string ppm = "P6\n" + std::to_string(kSize) + " " + std::to_string(kSize) + "\n255\n";
    for (std::uint32_t y = kSize; y-- > 0;) {
        for (std::uint32_t x = 0; x < kSize; ++x) {
            const std::uint32_t word = words[y * kSize + x];
            ppm += {static_cast<char>(word >> 16), static_cast<char>(word >> 8),
                    static_cast<char>(word)};
        }
    }
    return ppm;
}

class GoldenPicture : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenPicture, MatchesTheReferenceExactly) {
    const GoldenCase& c = GetParam();
    const std::string text = ExampleText(c.scene);
    ASSERT_FALSE(text.empty()) << "missing example " << c.scene;
    const std::string reference =
        std::string(LUMIVEX_SOURCE_DIR) + "/tests/golden/" + c.Name() + ".ppm";
    const bool update = std::getenv("LUMIVEX_UPDATE_GOLDEN") != nullptr;
    const std::string picture = EncodePpm(
        RenderWords(text, Request(kSize, kSize, c.mode, c.bands, c.stochastic, 0, !update)));
    if (update) {
        std::ofstream(reference, std::ios::binary) << picture;
        GTEST_SKIP() << "wrote " << reference;
    }
    std::ifstream in(reference, std::ios::binary);
    const std::string expected{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(expected.empty()) << "missing reference " << reference;
    EXPECT_TRUE(picture == expected) << c.Name() << " differs from " << reference;
}

INSTANTIATE_TEST_SUITE_P(Examples, GoldenPicture, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) {
                             std::string name = info.param.Name();
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace lumivex
