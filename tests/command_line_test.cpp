// The command line of lumivex-render: what it takes, its defaults, and what it refuses, saying why,
// before any work is done.
#include "cli/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lumivex {
namespace {

using ::testing::HasSubstr;

ParsedCommandLine Parse(const QStringList& arguments) {
    return ParseCommandLine(QStringList{"lumivex-render"} + arguments);
}

TEST(CommandLine, TakesEveryRenderingOptionWithTheirDefaults) {
    const ParsedCommandLine all =
        Parse({"s.txt", "--output=P.PPM", "--size", "0016384x16384", "--aa", "monte-carlo",
               "--stochastic", "--workers", "1024", "--threads", "3", "--no-acceleration",
               "--stats", "--strict", "--max-scene-size", "2GiB"});
    ASSERT_TRUE(all.request) << all.error.toStdString();
    EXPECT_EQ(all.request->mode, CliRequest::Mode::Render);
    EXPECT_EQ(all.request->scenePath, "s.txt");
    const RenderOptions& r = all.request->render;
    EXPECT_EQ(r.outputPath, "P.PPM");
    EXPECT_EQ(r.format, "ppm");
    EXPECT_EQ(r.request.picture, (PictureSize{16384, 16384}));  // the largest picture allowed
    EXPECT_EQ(r.request.mode, AntialiasMode::MonteCarlo);
    EXPECT_EQ(r.request.bands, 1024u);
    EXPECT_EQ(r.request.threads, 3u);
    EXPECT_TRUE(r.request.stochastic && r.stats && r.strict);
    EXPECT_FALSE(r.request.accelerate);
    EXPECT_EQ(r.maxSceneBytes, std::uint64_t{2} << 30);

    const RenderOptions plain = Parse({"s.txt", "-o", "p.png"}).request->render;
    EXPECT_EQ(plain.request.picture, (PictureSize{640, 640}));
    EXPECT_EQ(plain.request.mode, AntialiasMode::Off);
    EXPECT_EQ(plain.request.bands, DefaultBandCount());
    EXPECT_EQ(plain.request.threads, std::min(DefaultBandCount(), ProcessorCount()));
    EXPECT_TRUE(plain.request.accelerate);
    EXPECT_FALSE(plain.request.stochastic || plain.stats || plain.strict);
    EXPECT_EQ(plain.maxSceneBytes, kDefaultMaxSceneBytes);
    EXPECT_EQ(Parse({"s.txt", "-o", "p.png", "--workers", "1"}).request->render.request.threads,
              1u);
    EXPECT_EQ(
        Parse({"s.txt", "-o", "p.png", "--max-scene-size", "300k"}).request->render.maxSceneBytes,
        300u << 10);
    EXPECT_TRUE(Parse({"s.txt", "-o", "p.jpg", "--size", "65500x2"}).request);

    const RenderOptions part =
        Parse({"s.txt", "-o", "p.png", "--workers", "9", "--bands", "7-8,0-2,4", "--resume"})
            .request->render;
    EXPECT_EQ(part.request.onlyBands, (std::vector<unsigned>{0, 1, 2, 4, 7, 8}));
    EXPECT_TRUE(part.partOutput && part.resume);
    EXPECT_FALSE(plain.partOutput || plain.resume || !plain.request.onlyBands.empty());
    const ParsedCommandLine merge = Parse({"--merge", "b.png", "a.png", "-o", "p.ppm"});
    ASSERT_TRUE(merge.request) << merge.error.toStdString();
    EXPECT_EQ(merge.request->mode, CliRequest::Mode::Merge);
    EXPECT_EQ(merge.request->parts, QStringList({"b.png", "a.png"}));
    EXPECT_EQ(merge.request->render.format, "ppm");
}

TEST(CommandLine, TakesHelpVersionAndCheckWithOneScene) {
    const std::pair<QStringList, CliRequest::Mode> accepted[] = {
        {{"--check", "a.txt"}, CliRequest::Mode::Check},
        {{"a.txt", "--check", "--max-scene-size=1000"}, CliRequest::Mode::Check},
        {{"--check", "a.txt", "--help"}, CliRequest::Mode::Help},
        {{"a.txt", "-o", "p.png", "-v"}, CliRequest::Mode::Version},
    };
    for (const auto& [arguments, mode] : accepted) {
        const ParsedCommandLine parsed = Parse(arguments);
        ASSERT_TRUE(parsed.request) << parsed.error.toStdString();
        EXPECT_EQ(parsed.request->mode, mode) << arguments.join(' ').toStdString();
    }
    EXPECT_EQ(Parse({"--check", "a.txt"}).request->scenePath, "a.txt");
    EXPECT_EQ(Parse({"--check", "a.txt", "--max-scene-size=1000"}).request->render.maxSceneBytes,
              1000u);
}

TEST(CommandLine, RefusesWhatItCannotDoSayingWhy) {
    const std::pair<QStringList, const char*> refused[] = {
        {{}, "no scene file"},
        {{"a.txt"}, "no picture file"},
        {{"--check"}, "--check needs a scene file"},
        {{"--check", "a.txt", "b.txt"}, "expected one scene file"},
        {{"--check", "a.txt", "-o", "p.png"}, "--output is for rendering, not for --check"},
        {{"--check", "a.txt", "--size", "8x8"}, "--size is for rendering"},
        {{"a.txt", "--frobnicate", "-o", "p.png"}, "frobnicate"},
        {{"a.txt", "-o", "p.gif"}, "unsupported picture format 'gif'; use one of"},
        {{"a.txt", "-o", "picture"}, "no extension"},
        {{"a.txt", "-o", "p.png", "-o", "q.png"}, "more than once"},
        {{"a.txt", "-o", "p.png", "--aa", "Jittered"}, "expected off, jittered or monte-carlo"},
        {{"a.txt", "-o", "p.png", "--size", "0x8"}, "at least 1"},
        {{"a.txt", "-o", "p.png", "--size", "65536x1"}, "picture too large"},
        {{"a.txt", "-o", "p.png", "--size", "16385x16384"}, "picture too large"},
        {{"a.txt", "-o", "p.png", "--size", "99999999999999999999x1"}, "picture too large"},
        {{"a.txt", "-o", "p.jpg", "--size", "65501x1"}, "a JPEG picture is at most 65500 pixels"},
        {{"a.txt", "-o", "p.jpeg", "--size", "1x65501"}, "a JPEG picture is at most 65500"},
        {{"a.txt", "-o", "p.png", "--bands", "1"}, "--bands needs --workers"},
        {{"a.txt", "-o", "p.ppm", "--workers", "4", "--bands", "1"}, "a part file is a PNG"},
        {{"a.txt", "-o", "p.png", "--workers", "4", "--bands", "4"}, "past the last band, 3"},
        {{"a.txt", "-o", "p.png", "--workers", "4", "--bands", "0-2,2"}, "band 2 is named twice"},
        {{"--merge", "-o", "p.png"}, "--merge needs the part files"},
        {{"--merge", "a.png", "b.png"}, "no picture file"},
        {{"--merge", "a.png", "-o", "p.png", "--workers", "2"}, "--workers is not for --merge"},
        {{"--merge", "a.png", "-o", "p.png", "--check"}, "--check is not for --merge"},
        {{"--check", "a.txt", "--resume"}, "--resume is for rendering"},
    };
    for (const auto& [arguments, message] : refused) {
        const ParsedCommandLine parsed = Parse(arguments);
        EXPECT_FALSE(parsed.request) << arguments.join(' ').toStdString();
        EXPECT_THAT(parsed.error.toStdString(), HasSubstr(message))
            << arguments.join(' ').toStdString();
    }
    // Values of the wrong form, each for the option that takes it.
    const std::pair<const char*, std::vector<const char*>> malformed[] = {
        {"--size", {"", "8", "8x", "8x8x8", "-8x8", "+8x8", " 8x8", "8X8", "8.0x8"}},
        {"--workers", {"0", "1025", "", "-1", "2.5", "two", "4294967297"}},
        {"--threads", {"0", "1025", "", "-1", "2.5", "two", "4294967297"}},
        {"--max-scene-size", {"0", "", "-1", "1.5G", "2T", "G", "12 34"}},
        {"--bands", {"", "-", "1-", "-1", "3-1", "1-2-3", "1,,2", "x", "1.5", "+1"}},
    };
    for (const auto& [option, values] : malformed) {
        for (const char* value : values) {
            // --bands is checked against the band count.
            const QStringList workers =
                option == std::string("--bands") ? QStringList{"--workers", "8"} : QStringList{};
            EXPECT_THAT(Parse(QStringList{"a.txt", "-o", "p.png", option, value} + workers)
                            .error.toStdString(),
                        HasSubstr(std::string("invalid ") + option))
                << option << " '" << value << "'";
        }
    }
}

}  // namespace
}  // namespace lumivex
