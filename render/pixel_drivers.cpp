#include "render/pixel_drivers.h"

#include <algorithm>
#include <cmath>

#include "render/trace.h"

namespace lumivex {

namespace {

constexpr int kSamplesPerPixel = 16;
constexpr float kSampleWeight = 0.0625f;  // 1 / kSamplesPerPixel

float ImageFactor(std::uint32_t position, std::uint32_t size) {
    return (2.0f * static_cast<float>(position)) / static_cast<float>(size) - 1.0f;
}

// What every camera ray of a band shares: its origin, and the per-pixel steps of the image plane
// that the antialiasing drivers spread their samples over.
struct BandCamera {
    Vec4 eye;
    Vec4 dx;  // 2 * right / width: from one pixel to the next
    Vec4 dy;  // 2 * up / height: from one row to the next
    Vec4 hx;  // a jittered grid cell: half a pixel step along right
    Vec4 hy;  // and along up
};

Color TraceCameraRay(const RenderContext& context, ThreadState& thread, const Vec4& eye,
                     const Vec4& direction) {
    Ray ray{eye, Normalized(direction)};
    ++thread.rays.camera;
    return Trace(context, thread, ray, false, kCameraRayDepth);
}

// The band walk shared by the three drivers: the markers, the running direction stepped from
// pixel to pixel (its float rounding drift is part of the picture) and the pixel store.
// `tracePixel(camera, q)` returns the colour of the pixel whose corner direction is q.
template <typename TracePixel>
void WalkBand(const RenderContext& context, ThreadState& thread, PictureSize picture, Band rows,
              TracePixel tracePixel) {
    const std::uint32_t width = picture.width;
    const std::uint32_t height = picture.height;
    const std::uint32_t x0 = 0;
    const std::uint32_t x1 = width;
    const std::uint32_t y0 = rows.y0;
    const std::uint32_t y1 = rows.y1;
    PixelBuffer& pixels = *context.pixels;
    ColorBuffer* const colors = context.colors;
    // The camera is read once, when the band starts.
    const Camera camera = context.scene->camera;
    BandCamera frame;
    frame.eye = AsPoint(camera.centre + camera.eyeOffset);
    frame.dx = (2.0f * camera.right) / static_cast<float>(width);
    frame.dy = (2.0f * camera.up) / static_cast<float>(height);
    frame.hx = 0.25f * (2.0f * frame.dx);
    frame.hy = 0.25f * (2.0f * frame.dy);

    const Vec4 p00 = CameraDirection(camera, width, height, x0, y0);
    const Vec4 p10 = CameraDirection(camera, width, height, x1, y0);
    const Vec4 p01 = CameraDirection(camera, width, height, x0, y1);
    const Vec4 stepX = (p10 - p00) / static_cast<float>(x1 - x0);
    const Vec4 stepRow = (p00 - p10) + (p01 - p00) / static_cast<float>(y1 - y0);

    // A band without rows has no last row to mark: marking row y1 - 1 would write outside the
    // band (or, for y1 = 0, outside the buffer).
    if (x0 < x1 && y0 < y1) {
        for (std::uint32_t x = x0; x < x1; ++x) {
            pixels.Store(x, y1 - 1, kMarkerYellow);
        }
    }

    Vec4 q = p00;
    for (std::uint32_t y = y0; y < y1; ++y) {
        if (x0 < x1) {
            for (std::uint32_t x = x0; x < x1; ++x) {
                pixels.Store(x, y, kMarkerBlue);
                if (y + 1 < y1) {
                    pixels.Store(x, y + 1, kMarkerRed);
                }
            }
            for (std::uint32_t x = x0; x < x1; ++x) {
                if (thread.ShouldStop()) {
                    return;
                }
                const Color color = tracePixel(frame, q);
                // A pixel whose tracing was cut short by a stop request is not stored.
                if (thread.ShouldStop()) {
                    return;
                }
                pixels.Store(x, y, PackColor(color));
                if (colors != nullptr) {
                    colors->Store(x, y, color);
                }
                q = q + stepX;
            }
        }
        q = q + stepRow;
        if (thread.rowsFinished != nullptr) {
            thread.rowsFinished->fetch_add(1, std::memory_order_relaxed);
        }
    }
}

std::uint32_t ColorByte(float component) {
    const float v = 255.0f * component;
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) & 0xFFu;
}

Color Average(const Color& sum) {
    return {sum.r * kSampleWeight, sum.g * kSampleWeight, sum.b * kSampleWeight, 1.0f};
}

void Accumulate(Color& sum, const Color& c) {
    sum.r = sum.r + c.r;
    sum.g = sum.g + c.g;
    sum.b = sum.b + c.b;
}

}  // namespace

Vec4 CameraDirection(const Camera& camera, std::uint32_t width, std::uint32_t height,
                     std::uint32_t x, std::uint32_t y) {
    const float fx = ImageFactor(x, width);
    const float fy = ImageFactor(y, height);
    return (-camera.eyeOffset + fx * camera.right) + fy * camera.up;
}

std::uint32_t PackColor(const Color& c) {
    return (ColorByte(c.r) << 16) | (ColorByte(c.g) << 8) | ColorByte(c.b);
}

void RenderBandSingle(const RenderContext& context, ThreadState& thread, PictureSize picture,
                      Band band) {
    WalkBand(context, thread, picture, band, [&](const BandCamera& frame, const Vec4& q) {
        return TraceCameraRay(context, thread, frame.eye, q);
    });
}

void RenderBandJittered(const RenderContext& context, ThreadState& thread, PictureSize picture,
                        Band band) {
    WalkBand(context, thread, picture, band, [&](const BandCamera& frame, const Vec4& q) {
        // A 4 x 4 grid of half-step cells over the square q +/- dx +/- dy, one sample
        // placed at random in each cell.
        const Vec4 start = (q - frame.dx) - frame.dy;
        Color sum{0.0f, 0.0f, 0.0f, 1.0f};
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                const float r1 = RandomUnit(thread.random);
                const float r2 = RandomUnit(thread.random);
                const Vec4 s = (start + (static_cast<float>(j) + r1) * frame.hx) +
                               (static_cast<float>(i) + r2) * frame.hy;
                Accumulate(sum, TraceCameraRay(context, thread, frame.eye, s));
            }
        }
        return Average(sum);
    });
}

void RenderBandMonteCarlo(const RenderContext& context, ThreadState& thread, PictureSize picture,
                          Band band) {
    WalkBand(context, thread, picture, band, [&](const BandCamera& frame, const Vec4& q) {
        // Sixteen independent positions; the pixel's own direction counts three times,
        // so the samples spread over two thirds of a pixel step around it.
        Color sum{0.0f, 0.0f, 0.0f, 1.0f};
        for (int k = 0; k < kSamplesPerPixel; ++k) {
            const float r1 = RandomUnit(thread.random);
            const float r2 = RandomUnit(thread.random);
            const Vec4 s = (((q - frame.dx) + r1 * (2.0f * frame.dx)) + q) +
                           ((q - frame.dy) + r2 * (2.0f * frame.dy));
            Accumulate(sum, TraceCameraRay(context, thread, frame.eye, s));
        }
        return Average(sum);
    });
}

void RenderPreviewBlockRow(const RenderContext& context, ThreadState& thread, PictureSize picture,
                           std::uint32_t blockSize, std::uint32_t blockRow) {
    const Camera camera = context.scene->camera;
    const Vec4 eye = AsPoint(camera.centre + camera.eyeOffset);
    const std::uint32_t y0 = blockRow * blockSize;
    const std::uint32_t y1 = std::min(y0 + blockSize, picture.height);
    for (std::uint32_t x0 = 0; x0 < picture.width; x0 += blockSize) {
        const std::uint32_t x1 = std::min(x0 + blockSize, picture.width);
        if (thread.ShouldStop()) {
            return;
        }
        thread.StartBand();
        const Vec4 direction = CameraDirection(camera, picture.width, picture.height,
                                               x0 + (x1 - x0) / 2, y0 + (y1 - y0) / 2);
        const std::uint32_t word = PackColor(TraceCameraRay(context, thread, eye, direction));
        if (thread.ShouldStop()) {
            return;
        }
        for (std::uint32_t y = y0; y < y1; ++y) {
            for (std::uint32_t x = x0; x < x1; ++x) {
                context.pixels->Store(x, y, word);
            }
        }
    }
}

void RenderBand(AntialiasMode mode, const RenderContext& context, ThreadState& thread,
                PictureSize picture, Band band) {
    switch (mode) {
        case AntialiasMode::Off:
            RenderBandSingle(context, thread, picture, band);
            break;
        case AntialiasMode::Jittered:
            RenderBandJittered(context, thread, picture, band);
            break;
        case AntialiasMode::MonteCarlo:
            RenderBandMonteCarlo(context, thread, picture, band);
            break;
    }
}

}  // namespace lumivex
