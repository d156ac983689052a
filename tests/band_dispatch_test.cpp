#include "render/band_dispatch.h"

#include <chrono>
#include <ios>
#include <mutex>
#include <set>

#include "geometry/box.h"
#include "geometry/sphere.h"
#include "scene/scene_loader.h"
#include "test_support.h"

namespace lumivex {
namespace {

// A small scene with every kind of ray: glass, a rough mirror and a soft light.
std::unique_ptr<Scene> BusyScene() {
    return LoadSceneText(
               "CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-2)\n"
               "AMBIENT (0.1,0.1,0.1)\n"
               "LIGHT (0,10,-10) (1,1,1) 0.05\n"
               "SPHERE (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 2.25 1\n"
               "BOX (-4,-3,3) (8,0,0) (0,6,0) (0,0,1) (0.2,0.2,0.2) 0.8 10 (1,1,1) 0 0 0.05\n")
        .scene;
}

struct Render {
    std::unique_ptr<Scene> scene = BusyScene();
    PixelBuffer pixels;
    RenderContext context;
    RenderDispatcher dispatcher;

    Render(std::uint32_t width, std::uint32_t height) : pixels(width, height) {
        context.scene = scene.get();
        context.pixels = &pixels;
    }
    std::vector<std::uint32_t> Words() const {
        std::vector<std::uint32_t> words(pixels.Width() * pixels.Height());
        for (std::uint32_t y = 0; y < pixels.Height(); ++y) {
            pixels.LoadRow(y, &words[y * pixels.Width()]);
        }
        return words;
    }
};

std::vector<std::uint32_t> RenderWords(std::uint32_t size, RenderRequest request,
                                       bool stochastic = false) {
    Render render(size, size);
    render.context.stochastic = stochastic;
    request.width = size;
    request.height = size;
    render.dispatcher.Start(render.context, request);
    render.dispatcher.Wait();
    return render.Words();
}

TEST(RenderDispatcher, RendersEveryRowAndReportsEachBandOnce) {
    Render render(16, 20);
    std::mutex mutex;
    std::multiset<unsigned> reported;
    render.dispatcher.Start(render.context, {16, 20, AntialiasMode::Off, 3, 0},
                            [&](unsigned band, double seconds) {
                                std::lock_guard lock(mutex);
                                reported.insert(band);
                                EXPECT_GE(seconds, 0.0);
                            });
    render.dispatcher.Wait();
    EXPECT_TRUE(render.dispatcher.Finished());
    EXPECT_EQ(reported, (std::multiset<unsigned>{0, 1, 2}));
    EXPECT_EQ(render.dispatcher.RowsFinished(), 20u);
    EXPECT_EQ(render.dispatcher.RowsFinished(2), 8u);
    for (const std::uint32_t word : render.Words()) {
        EXPECT_EQ(word >> 24, 0u);  // every pixel written by a driver
    }
    const RayCounts rays = render.dispatcher.Rays();
    EXPECT_EQ(rays.camera, 16u * 20u);
    EXPECT_GT(rays.secondary, 0u);
    EXPECT_GT(rays.shadow, 0u);
}

TEST(RenderDispatcher, PictureIsAFunctionOfItsInputs) {
    for (const auto mode : {AntialiasMode::Off, AntialiasMode::MonteCarlo}) {
        for (const bool stochastic : {false, true}) {
            const auto first = RenderWords(12, {0, 0, mode, 3, 0}, stochastic);
            EXPECT_EQ(RenderWords(12, {0, 0, mode, 3, 0}, stochastic), first);
            // Which thread renders which band does not matter: each band restarts the random
            // source.
            EXPECT_EQ(RenderWords(12, {0, 0, mode, 3, 1}, stochastic), first);
            EXPECT_EQ(RenderWords(12, {0, 0, mode, 3, 2}, stochastic), first);
        }
    }
    // The band count does change it.
    EXPECT_NE(RenderWords(12, {0, 0, AntialiasMode::Off, 1, 0}),
              RenderWords(12, {0, 0, AntialiasMode::Off, 3, 0}));
}

TEST(RenderDispatcher, StochasticChangesTheRenderingOfGlass) {
    EXPECT_NE(RenderWords(12, {0, 0, AntialiasMode::Off, 1, 0}, false),
              RenderWords(12, {0, 0, AntialiasMode::Off, 1, 0}, true));
}

TEST(RenderDispatcher, StopsMidBandAndStartsAgain) {
    Render render(64, 64);
    std::atomic<int> reports{0};
    for (int round = 0; round < 20; ++round) {
        render.dispatcher.Start(render.context, {64, 64, AntialiasMode::Jittered, 16, 0},
                                [&](unsigned, double) { ++reports; });
        // Read the buffer while the workers write it, as the window does when it repaints: every
        // word is whole, either the initial white or one a driver wrote.
        for (std::uint32_t y = 0; y < 64; ++y) {
            const std::uint32_t word = render.pixels.Load(round % 64, y);
            EXPECT_TRUE(word == 0xFFFFFFFFu || word >> 24 == 0u) << std::hex << word;
        }
        render.context.stochastic = round % 2 == 0;
        render.dispatcher.Stop();
        EXPECT_TRUE(render.dispatcher.Finished());
        const std::uint64_t rows = render.dispatcher.RowsFinished();
        // Nothing more happens after Stop returns.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(render.dispatcher.RowsFinished(), rows);
    }
    reports = 0;
    render.context.stochastic = false;
    render.dispatcher.Start(render.context, {64, 64, AntialiasMode::Off, 16, 0},
                            [&](unsigned, double) { ++reports; });
    render.dispatcher.Wait();
    EXPECT_EQ(reports.load(), 16);
    EXPECT_EQ(render.dispatcher.RowsFinished(), 64u);
}

TEST(RenderDispatcher, MoreBandsThanRowsStillCoverThePicture) {
    Render render(5, 3);
    render.dispatcher.Start(render.context, {5, 3, AntialiasMode::Off, 16, 0});
    render.dispatcher.Wait();
    for (const std::uint32_t word : render.Words()) {
        EXPECT_EQ(word >> 24, 0u);
    }
}

TEST(RenderDispatcher, EmptySceneTurnsThePictureBlack) {
    Scene empty;
    PixelBuffer pixels(8, 8);
    RenderContext context;
    context.scene = &empty;
    context.pixels = &pixels;
    RenderDispatcher dispatcher;
    std::atomic<int> reports{0};
    dispatcher.Start(context, {8, 8, AntialiasMode::Off, 2, 0},
                     [&](unsigned, double) { ++reports; });
    dispatcher.Wait();
    EXPECT_EQ(reports.load(), 2);
    for (std::uint32_t y = 0; y < 8; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) {
            EXPECT_EQ(pixels.Load(x, y), 0u);
        }
    }
}

}  // namespace
}  // namespace lumivex
