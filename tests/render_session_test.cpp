// The pixel drivers, the band split and the render session that runs them on threads: what a
// picture depends on, and how a render starts, stops and starts again.
#include "render/render_session.h"

#include <chrono>
#include <cmath>
#include <ios>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "render/shadow_packet.h"
#include "render_support.h"
#include "test_support.h"

namespace lumivex {
namespace {

using testing::RenderWords;
using testing::Request;
using testing::Words;

// A scene with every kind of ray: glass, a rough mirror and a soft light.
const char kBusyScene[] =
    "CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-2)\n"
    "AMBIENT (0.1,0.1,0.1)\n"
    "LIGHT (0,10,-10) (1,1,1) 0.05\n"
    "SPHERE (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 2.25 1\n"
    "BOX (-4,-3,3) (8,0,0) (0,6,0) (0,0,1) (0.2,0.2,0.2) 0.8 10 (1,1,1) 0 0 0.05\n";

// A session whose every camera ray sees the same grey, 0x7F7F7F: the eye inside a large matte
// sphere lit by ambient light only.
struct FlatSession {
    RenderSession session;
    ThreadState thread;

    FlatSession(std::uint32_t width, std::uint32_t height) {
        const char* const inside =
            "AMBIENT (0.5,0.5,0.5)\nSPHERE (0,0,0) 100 (1,1,1) 0 1 (1,1,1) 1 1";
        session.SetScene(PrepareScene(LoadSceneText(inside).scene, false));
        session.ResizePicture({width, height});
    }
    void RenderBand(AntialiasMode mode, Band band) {
        const PixelBuffer& pixels = *session.GetPixels();
        lumivex::RenderBand(mode, session.GetContext(), thread,
                            {pixels.GetWidth(), pixels.GetHeight()}, band);
    }
    std::uint32_t Load(std::uint32_t x, std::uint32_t y) const {
        return session.GetPixels()->Load(x, y);
    }
};

TEST(BandSplit, DividesRowsAndGivesTheRemainderToTheLastBand) {
    EXPECT_EQ(SplitIntoBands(582, 4),
              (std::vector<Band>{{0, 145}, {145, 290}, {290, 435}, {435, 582}}));
    EXPECT_EQ(SplitIntoBands(582, 1), (std::vector<Band>{{0, 582}}));
    EXPECT_EQ(SplitIntoBands(3, 4), (std::vector<Band>{{0, 0}, {0, 0}, {0, 0}, {0, 3}}));
    EXPECT_EQ(DefaultBandCountFor(32), 16u);
    EXPECT_EQ(DefaultBandCountFor(2), 2u);
    EXPECT_EQ(DefaultBandCountFor(0), 1u);
}

TEST(PixelDrivers, PackColorsRoundingDownWithNaNAsZero) {
    EXPECT_EQ(PackColor({1, 0.5f, 0, 1}), 0x00FF7F00u);
    EXPECT_EQ(PackColor({0.999f, 1.0f / 255.0f, 0.0039f, 1}), 0x00FE0100u);
    EXPECT_EQ(PackColor({NAN, 1, NAN, 1}), 0x0000FF00u);
}

TEST(PixelDrivers, WriteOnlyInsideTheirBandAndNothingForAnEmptyOne) {
    for (const auto mode :
         {AntialiasMode::Off, AntialiasMode::Jittered, AntialiasMode::MonteCarlo}) {
        FlatSession flat(6, 6);
        flat.RenderBand(mode, {6, 6});  // empty, in the middle
        flat.RenderBand(mode, {0, 0});  // empty, at the bottom
        flat.RenderBand(mode, {2, 4});
        for (std::uint32_t y = 0; y < 6; ++y) {
            const std::uint32_t expected = (y == 2 || y == 3) ? 0x007F7F7Fu : PixelBuffer::kWhite;
            for (std::uint32_t x = 0; x < 6; ++x) {
                EXPECT_EQ(flat.Load(x, y), expected) << x << ", " << y;
            }
        }
    }
}

TEST(PixelDrivers, MarkTheLastRowTheCurrentRowAndTheNext) {
    FlatSession flat(3, 4);
    std::atomic<bool> stop{false};
    std::atomic<std::uint32_t> rows{0};
    flat.thread.stopRequested = &stop;
    flat.thread.rowsFinished = &rows;
    flat.RenderBand(AntialiasMode::Off, {0, 1});
    EXPECT_EQ(flat.Load(0, 0), 0x007F7F7Fu);          // a one-row band: traced over its markers
    EXPECT_EQ(flat.Load(0, 1), PixelBuffer::kWhite);  // no red row outside the band
    EXPECT_EQ(rows.load(), 1u);

    // Stopped before its first pixel, a band shows the markers it set up.
    stop = true;
    flat.RenderBand(AntialiasMode::Off, {1, 4});
    EXPECT_EQ(flat.Load(2, 3), kMarkerYellow);  // the band's last row
    EXPECT_EQ(flat.Load(2, 1), kMarkerBlue);    // the row about to be traced
    EXPECT_EQ(flat.Load(2, 2), kMarkerRed);     // the row after it
    EXPECT_EQ(rows.load(), 1u);
}

TEST(RenderSession, PictureDependsOnTheBandCountAndStochasticButNotOnThreadsOrTheIndex) {
    for (const auto mode : {AntialiasMode::Off, AntialiasMode::MonteCarlo}) {
        for (const bool stochastic : {false, true}) {
            const auto first = RenderWords(kBusyScene, Request(12, 12, mode, 3, stochastic));
            // Each band restarts the random source, so which thread renders it does not matter.
            for (const unsigned threads : {1u, 2u, 3u}) {
                EXPECT_EQ(RenderWords(kBusyScene, Request(12, 12, mode, 3, stochastic, threads)),
                          first);
            }
            EXPECT_EQ(RenderWords(kBusyScene, Request(12, 12, mode, 3, stochastic, 0, false)),
                      first);
        }
    }
    const auto oneBand = RenderWords(kBusyScene, Request(12, 12, AntialiasMode::Off, 1));
    EXPECT_NE(RenderWords(kBusyScene, Request(12, 12, AntialiasMode::Off, 3)), oneBand);
    EXPECT_NE(RenderWords(kBusyScene, Request(12, 12, AntialiasMode::Off, 1, true)), oneBand);
}

// Ten spheres on a floor under three lights of different sizes, enough objects for the index to
// build a tree: every point's shadow rays go to it in packets, which on each SIMD path must give
// the plain walk's picture.
TEST(RenderSession, ShadowPacketsGiveThePlainWalksPictureOnEachSimdPath) {
    std::string scene =
        "CAMERA (0,2,-8) (1,0,0) (0,1,0) (0,0,-2)\n"
        "LIGHT (-4,6,-3) (1,0.8,0.6) 0.5\nLIGHT (5,4,-2) (0.4,0.5,0.9) 1\n"
        "LIGHT (0,8,4) (0.5,0.5,0.5) 0.1\n"
        "POLYGON 4 (-7,-1,-9) (-7,-1,8) (7,-1,8) (7,-1,-9) (0.8,0.8,0.8) 0 1 (1,1,1) 1 1\n";
    for (int i = 0; i < 10; ++i) {
        scene += "SPHERE (" + std::to_string(1.5 * (i % 5) - 3) + ",-0.4," +
                 std::to_string(2 * (i / 5)) + ") 0.6 (0.9,0.4,0.2) 0.3 20 (1,1,1) 1 1\n";
    }
    const SimdPath before = ActiveSimdPath();
    const auto plain = RenderWords(scene, Request(24, 24, AntialiasMode::Off, 2, false, 0, false));
    for (const SimdPath path : {SimdPath::Sse2, SimdPath::Avx2}) {
        if (SimdPathSupported(path)) {
            UseSimdPath(path);
            EXPECT_EQ(RenderWords(scene, Request(24, 24, AntialiasMode::Off, 2)), plain);
        }
    }
    UseSimdPath(before);
}

// Kept colours pack to the very words of the picture, which stays as it is without them; and they
// are the drivers' own floats, not the words unpacked again.
TEST(RenderSession, KeptColorsPackToThePicturesWordsInEveryMode) {
    for (const auto mode :
         {AntialiasMode::Off, AntialiasMode::Jittered, AntialiasMode::MonteCarlo}) {
        const RenderRequest request = Request(24, 16, mode, 3, true);
        const auto words = RenderWords(kBusyScene, request);
        RenderSession session;
        session.SetScene(PrepareScene(LoadSceneText(kBusyScene).scene, true));
        session.KeepColors(true);
        session.Start(request);
        session.Wait();
        EXPECT_EQ(Words(*session.GetPixels()), words);
        int betweenBytes = 0;
        for (std::uint32_t y = 0; y < 16; ++y) {
            for (std::uint32_t x = 0; x < 24; ++x) {
                const Color color = session.GetColors()->Load(x, y);
                EXPECT_EQ(PackColor(color), words[y * 24 + x]) << x << ", " << y;
                betweenBytes += 255.0f * color.g != std::floor(255.0f * color.g);
            }
        }
        EXPECT_GT(betweenBytes, 24 * 16 / 4);
    }
}

TEST(RenderSession, AFileWithoutACameraIsSeenFromTheDefaultOne) {
    // The default looks down -z from (0, 0, 1), right along y and up along x: an off-centre
    // sphere tells each of them apart.
    const std::string scene =
        "LIGHT (0,0,5) (1,1,1) 0\nSPHERE (0.3,-0.1,-4) 1 (1,0,0) 0 1 (1,1,1) 1 1\n";
    const auto words = RenderWords(scene, Request(24, 16));
    EXPECT_EQ(words,
              RenderWords("CAMERA (0,0,0) (0,0.5,0) (0.5,0,0) (0,0,1)\n" + scene, Request(24, 16)));
    EXPECT_NE(std::count(words.begin(), words.end(), words.front()), 24 * 16);
}

TEST(RenderSession, StopsMidBandWhileThePictureIsReadAndStartsAgain) {
    RenderSession session;
    session.SetScene(PrepareScene(LoadSceneText(kBusyScene).scene, true));
    for (int round = 0; round < 20; ++round) {
        session.Start(Request(64, 64, AntialiasMode::Jittered, 16), [](unsigned, double) {});
        // Read the picture while the threads write it, as the window does when it repaints:
        // every word is whole, either the initial white or one a driver wrote.
        for (std::uint32_t y = 0; y < 64; ++y) {
            const std::uint32_t word = session.GetPixels()->Load(round % 64, y);
            EXPECT_TRUE(word == PixelBuffer::kWhite || word >> 24 == 0u) << std::hex << word;
        }
        session.SetStochastic(round % 2 == 0);
        session.Stop();
        EXPECT_FALSE(session.IsRunning());
        const std::uint64_t rows = session.RowsFinished();
        // Nothing more happens after Stop returns.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(session.RowsFinished(), rows);
    }
    // Started again, it renders every row and reports each band once.
    std::mutex mutex;
    std::multiset<unsigned> reported;
    session.Start(Request(64, 64, AntialiasMode::Off, 3), [&](unsigned band, double seconds) {
        const std::lock_guard lock(mutex);
        reported.insert(band);
        EXPECT_GE(seconds, 0.0);
    });
    session.Wait();
    EXPECT_TRUE(session.IsComplete());
    EXPECT_EQ(reported, (std::multiset<unsigned>{0, 1, 2}));
    EXPECT_EQ(std::tuple(session.RowsFinished(), session.RowsFinished(2)), std::tuple(64u, 22u));
    EXPECT_GT(session.ElapsedSeconds(), 0.0);
    EXPECT_EQ(session.ElapsedSeconds(), session.ElapsedSeconds());  // fixed once complete
    const RayCounts rays = session.Rays();
    EXPECT_EQ(rays.camera, 64u * 64u);
    EXPECT_TRUE(rays.secondary > 0 && rays.shadow > 0);
    EXPECT_EQ(Words(*session.GetPixels()),
              RenderWords(kBusyScene, Request(64, 64, AntialiasMode::Off, 3)));
}

TEST(RenderSession, ANewSceneOrCameraDuringARenderStopsItFirstAndRendersOverThePicture) {
    RenderSession session;
    session.SetScene(PrepareScene(LoadSceneText(kBusyScene).scene, true));
    session.Start(Request(48, 48, AntialiasMode::MonteCarlo, 4));
    // Loading another scene stops the threads before the objects they read are replaced.
    session.SetScene(PrepareScene(LoadSceneText("AMBIENT (1,1,1)\n").scene, true));
    EXPECT_FALSE(session.IsRunning());
    session.Start(Request(48, 48, AntialiasMode::Off, 4));
    session.Wait();
    // An empty scene renders black everywhere: the new render covered the old picture.
    EXPECT_EQ(Words(*session.GetPixels()), std::vector<std::uint32_t>(48 * 48, 0u));

    // A camera moved while stopped is the one the next render sees.
    session.SetScene(PrepareScene(LoadSceneText(kBusyScene).scene, true));
    session.Start(Request(8, 8));
    session.Stop();
    session.GetScene().camera.centre.x += 0.5f;
    session.Start(Request(8, 8));
    session.Wait();
    auto moved = LoadSceneText(kBusyScene).scene;
    moved->camera.centre.x += 0.5f;
    EXPECT_EQ(Words(*session.GetPixels()), RenderWords(std::move(moved), Request(8, 8)));
}

// The bands overwrite the whole preview with what they draw without it, whatever the mode, the
// Stochastic setting, the band count and the threads sharing the preview's blocks.
class PreviewTest : public ::testing::TestWithParam<std::tuple<AntialiasMode, unsigned>> {};

TEST_P(PreviewTest, LeavesThePictureOfARenderWithoutIt) {
    const auto [mode, bands] = GetParam();
    for (const bool stochastic : {false, true}) {
        const auto plain = RenderWords(kBusyScene, Request(13, 11, mode, bands, stochastic));
        for (const unsigned threads : {1u, 2u, 3u}) {
            RenderRequest request = Request(13, 11, mode, bands, stochastic, threads);
            request.preview = true;
            EXPECT_EQ(RenderWords(kBusyScene, request), plain) << stochastic << threads;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ModesAndBands, PreviewTest,
                         ::testing::Combine(::testing::Values(AntialiasMode::Off,
                                                              AntialiasMode::Jittered,
                                                              AntialiasMode::MonteCarlo),
                                            ::testing::Values(1u, 4u)),
                         [](const auto& info) {
                             return "Mode" + std::to_string(int(std::get<0>(info.param))) +
                                    "Bands" + std::to_string(std::get<1>(info.param));
                         });

TEST(RenderSession, APreviewOnlyCoversTheFrameInBlocksIgnoringStochasticAndIsNotComplete) {
    RenderSession session;
    session.SetScene(PrepareScene(LoadSceneText(kBusyScene).scene, true));
    std::vector<std::uint32_t> pictures[2];
    for (const bool stochastic : {false, true}) {
        RenderRequest request = Request(37, 21, AntialiasMode::MonteCarlo, 4, stochastic, 3);
        request.previewOnly = true;
        std::atomic<int> previews{0};
        session.Start(
            request, [](unsigned, double) { ADD_FAILURE(); }, [&] { ++previews; });
        session.Wait();
        EXPECT_EQ(previews.load(), 1);
        EXPECT_FALSE(session.IsComplete() || session.IsPreviewing());
        EXPECT_EQ(session.RowsFinished(), 0u);
        EXPECT_EQ(session.Rays().camera, 5u * 3u + 19u * 11u);  // one ray per block of each pass
        // The last pass's 2 x 2 blocks, clipped at the top and right, each of one colour.
        for (std::uint32_t y = 0; y < 21; ++y) {
            for (std::uint32_t x = 0; x < 37; ++x) {
                const std::uint32_t word = session.GetPixels()->Load(x, y);
                EXPECT_NE(word, PixelBuffer::kWhite);
                EXPECT_EQ(word, session.GetPixels()->Load(x - x % 2, y - y % 2)) << x << ", " << y;
            }
        }
        pictures[stochastic] = Words(*session.GetPixels());
    }
    EXPECT_EQ(pictures[0], pictures[1]);
}

TEST(RenderSession, StopsDuringThePreviewWhereverTheThreadsAre) {
    RenderSession session;
    session.SetScene(PrepareScene(LoadSceneText(kBusyScene).scene, true));
    RenderRequest request = Request(400, 400, AntialiasMode::Off, 3, false, 3);
    request.preview = true;
    for (int round = 0; round < 12; ++round) {
        std::atomic<bool> previewed{false};
        session.Start(request, {}, [&] { previewed = true; });
        EXPECT_TRUE(round > 0 || session.IsPreviewing());
        std::this_thread::sleep_for(std::chrono::microseconds(round * round * 100));
        session.Stop();
        EXPECT_FALSE(session.IsRunning() || session.IsPreviewing());
        // No band starts before the whole preview is drawn.
        EXPECT_TRUE(previewed || session.RowsFinished() == 0u);
    }
}

}  // namespace
}  // namespace lumivex
