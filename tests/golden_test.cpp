// Every example scene rendered small in each antialiasing mode, with one and with three bands,
// compared byte for byte with reference pictures checked by eye. After a deliberate change to
// the pictures, regenerate the references with scripts/update-golden and look at them.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "render/band_dispatch.h"
#include "scene/scene_loader.h"

namespace lumivex {
namespace {

constexpr std::uint32_t kSize = 64;

struct GoldenCase {
    std::string scene;
    AntialiasMode mode;
    unsigned bands;
    bool stochastic;

    std::string Name() const {
        static const char* const kModes[] = {"off", "jittered", "monte-carlo"};
        std::string name = scene + "-" + kModes[static_cast<int>(mode)] + "-" +
                           std::to_string(bands) + (bands == 1 ? "-band" : "-bands");
        return stochastic ? name + "-stochastic" : name;
    }
};

std::vector<GoldenCase> AllCases() {
    std::vector<GoldenCase> cases;
    for (const char* scene :
         {"worked-example", "showcase", "glass", "soft-shadows", "absorbing-glass"}) {
        for (const auto mode : {AntialiasMode::Off, AntialiasMode::Jittered, AntialiasMode::MonteCarlo}) {
            for (const unsigned bands : {1u, 3u}) {
                cases.push_back({scene, mode, bands, false});
            }
        }
        cases.push_back({scene, AntialiasMode::Off, 3, true});
    }
    return cases;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

// A binary PPM (P6) with the picture's top row first, as lumivex-render writes it.
std::string EncodePpm(const PixelBuffer& pixels) {
    std::string ppm = "P6\n" + std::to_string(pixels.Width()) + " " +
                      std::to_string(pixels.Height()) + "\n255\n";
    std::vector<std::uint32_t> row(pixels.Width());
    for (std::uint32_t y = pixels.Height(); y-- > 0;) {
        pixels.LoadRow(y, row.data());
        for (const std::uint32_t word : row) {
            ppm += static_cast<char>((word >> 16) & 0xFF);
            ppm += static_cast<char>((word >> 8) & 0xFF);
            ppm += static_cast<char>(word & 0xFF);
        }
    }
    return ppm;
}

class GoldenPicture : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenPicture, MatchesTheReferenceExactly) {
    const GoldenCase& c = GetParam();
    const std::filesystem::path source(LUMIVEX_SOURCE_DIR);
    const std::string text = ReadFile(source / "examples" / (c.scene + ".txt"));
    ASSERT_FALSE(text.empty()) << "missing example " << c.scene;
    const SceneLoadResult loaded = LoadSceneText(text);
    ASSERT_FALSE(loaded.diagnostic) << loaded.diagnostic->message;

    PixelBuffer pixels(kSize, kSize);
    RenderContext context;
    context.scene = loaded.scene.get();
    context.pixels = &pixels;
    context.stochastic = c.stochastic;
    RenderDispatcher dispatcher;
    dispatcher.Start(context, {kSize, kSize, c.mode, c.bands, 0});
    dispatcher.Wait();
    const std::string picture = EncodePpm(pixels);

    const std::filesystem::path reference = source / "tests" / "golden" / (c.Name() + ".ppm");
    if (std::getenv("LUMIVEX_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(reference, std::ios::binary) << picture;
        GTEST_SKIP() << "wrote " << reference;
    }
    const std::string expected = ReadFile(reference);
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
