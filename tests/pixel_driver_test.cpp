#include "render/pixel_drivers.h"

#include <set>

#include "geometry/sphere.h"
#include "render/band_dispatch.h"
#include "test_support.h"

namespace lumivex {
namespace {

// A scene whose every camera ray sees the same flat colour: the camera sits inside a large
// matte sphere lit only by ambient light.
struct FlatScene {
    Scene scene;
    PixelBuffer pixels;
    RenderContext context;
    WorkerState worker;

    FlatScene(std::uint32_t width, std::uint32_t height, float grey) : pixels(width, height) {
        scene.ambient = {grey, grey, grey, 1};
        scene.AddObject(
            Sphere(Point(0, 0, 0), 100, Material({1, 1, 1, 1}, 0, 1, {1, 1, 1, 1}, 1, 1, 0)));
        context.scene = &scene;
        context.pixels = &pixels;
    }
};

TEST(PackColor, TruncatesEachComponent) {
    EXPECT_EQ(PackColor({1, 0.5f, 0, 1}), 0x00FF7F00u);
    EXPECT_EQ(PackColor({0.999f, 1.0f / 255.0f, 0.0039f, 1}), 0x00FE0000u | (1u << 8));
    EXPECT_EQ(PackColor({NAN, 1, NAN, 1}), 0x0000FF00u);
}

TEST(CameraDirection, CornerAndCentreOfTheImagePlane) {
    const Camera camera(Point(0, 0, 0), Direction(0.5f, 0, 0), Direction(0, 0.5f, 0),
                        Direction(0, 0, 1));
    EXPECT_EQ(Normalized(CameraDirection(camera, 640, 640, 0, 0)),
              Normalized(Direction(-0.5f, -0.5f, -1)));
    EXPECT_EQ(Normalized(CameraDirection(camera, 640, 640, 320, 320)), Direction(0, 0, -1));
}

TEST(PixelBuffer, IsWhiteBottomUpRowsOfWords) {
    PixelBuffer pixels(4, 3);
    EXPECT_EQ(pixels.Load(3, 2), 0xFFFFFFFFu);
    pixels.Store(1, 2, 0x00FF0000u);
    std::uint32_t row[4];
    pixels.LoadRow(2, row);
    EXPECT_EQ(row[1], 0x00FF0000u);
    EXPECT_EQ(pixels.Load(1, 1), 0xFFFFFFFFu);
}

TEST(RenderBand, EmptyBandsWriteNothing) {
    FlatScene flat(8, 8, 0.5f);
    RenderBandSingle(flat.context, flat.worker, 8, 8, 3, 0, 3, 8);    // no columns
    RenderBandSingle(flat.context, flat.worker, 8, 8, 0, 0, 8, 0);    // no rows at the bottom
    RenderBandJittered(flat.context, flat.worker, 8, 8, 0, 5, 8, 5);  // no rows in the middle
    for (std::uint32_t y = 0; y < 8; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) {
            EXPECT_EQ(flat.pixels.Load(x, y), PixelBuffer::kWhite) << x << ", " << y;
        }
    }
}

TEST(RenderBand, WritesOnlyInsideItsBand) {
    for (const auto mode :
         {AntialiasMode::Off, AntialiasMode::Jittered, AntialiasMode::MonteCarlo}) {
        FlatScene flat(6, 6, 0.5f);
        RenderBand(mode, flat.context, flat.worker, 6, 6, 0, 2, 6, 4);
        for (std::uint32_t y = 0; y < 6; ++y) {
            const std::uint32_t expected = (y == 2 || y == 3) ? 0x007F7F7Fu : PixelBuffer::kWhite;
            for (std::uint32_t x = 0; x < 6; ++x) {
                EXPECT_EQ(flat.pixels.Load(x, y), expected) << x << ", " << y;
            }
        }
    }
}

// Equal samples average to that colour where sixteen equal floats sum exactly.
TEST(RenderBand, AntialiasingKeepsAFlatColour) {
    for (const float grey : {0.0f, 0.5f, 1.0f}) {
        for (const auto mode : {AntialiasMode::Jittered, AntialiasMode::MonteCarlo}) {
            FlatScene flat(4, 4, grey);
            RenderBand(mode, flat.context, flat.worker, 4, 4, 0, 0, 4, 4);
            EXPECT_EQ(flat.pixels.Load(2, 1), PackColor({grey, grey, grey, 1})) << grey;
            EXPECT_EQ(flat.worker.rays.camera, 16u * 16u);
        }
    }
}

TEST(RenderBand, DrawsTwoNumbersPerAntialiasingSample) {
    for (const auto mode : {AntialiasMode::Jittered, AntialiasMode::MonteCarlo}) {
        FlatScene flat(1, 1, 0.5f);
        RenderBand(mode, flat.context, flat.worker, 1, 1, 0, 0, 1, 1);
        RandomSource reference;
        for (int i = 0; i < 32; ++i) {
            reference.Next();
        }
        EXPECT_EQ(flat.worker.random.Next(), reference.Next());
    }
}

TEST(RenderBand, MarksTheLastRowTheCurrentRowAndTheNext) {
    FlatScene flat(3, 4, 0.5f);
    std::atomic<bool> stop{false};
    flat.worker.stopRequested = &stop;
    std::atomic<std::uint32_t> rows{0};
    flat.worker.rowsFinished = &rows;
    RenderBandSingle(flat.context, flat.worker, 3, 4, 0, 0, 3, 1);
    EXPECT_EQ(flat.pixels.Load(0, 0), 0x007F7F7Fu);  // one-row band: traced over its markers
    EXPECT_EQ(flat.pixels.Load(0, 1), PixelBuffer::kWhite);  // no red outside the band
    EXPECT_EQ(rows.load(), 1u);

    // Stopped before its first pixel, a band shows the markers it set up.
    stop = true;
    RenderBandSingle(flat.context, flat.worker, 3, 4, 0, 1, 3, 4);
    EXPECT_EQ(flat.pixels.Load(2, 3), kMarkerYellow);  // the band's last row
    EXPECT_EQ(flat.pixels.Load(2, 1), kMarkerBlue);    // the row about to be traced
    EXPECT_EQ(flat.pixels.Load(2, 2), kMarkerRed);     // the row after it
    EXPECT_EQ(rows.load(), 1u);
}

TEST(RenderBand, MonteCarloSampleAtTheMiddleLooksAlongThePixel) {
    // With r1 = r2 = 0.5, S = ((q - dx) + dx + q) + ((q - dy) + dy): three times q when the
    // steps cancel exactly, as they do for these power-of-two values.
    const Vec4 q = Direction(0.25f, -0.5f, -1);
    const Vec4 dx = Direction(0.0625f, 0, 0);
    const Vec4 dy = Direction(0, 0.0625f, 0);
    const Vec4 s = (((q - dx) + 0.5f * (2.0f * dx)) + q) + ((q - dy) + 0.5f * (2.0f * dy));
    EXPECT_EQ(Normalized(s), Normalized(q));
}

TEST(BandSplit, DividesRowsAndGivesTheRemainderToTheLastBand) {
    EXPECT_EQ(SplitIntoBands(582, 4),
              (std::vector<Band>{{0, 145}, {145, 290}, {290, 435}, {435, 582}}));
    EXPECT_EQ(SplitIntoBands(582, 1), (std::vector<Band>{{0, 582}}));
    EXPECT_EQ(SplitIntoBands(3, 4), (std::vector<Band>{{0, 0}, {0, 0}, {0, 0}, {0, 3}}));
    EXPECT_EQ(WorkerCountFor(32), 16u);
    EXPECT_EQ(WorkerCountFor(2), 2u);
    EXPECT_EQ(WorkerCountFor(0), 1u);
}

}  // namespace
}  // namespace lumivex
