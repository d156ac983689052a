// The three pixel drivers: each renders one band of the picture, one or sixteen camera rays per
// pixel, with progress markers on the rows being traced.
#pragma once

#include <cstdint>

#include "geometry/color.h"
#include "geometry/vec4.h"
#include "render/render_context.h"
#include "scene/camera.h"

namespace lumivex {

enum class AntialiasMode : int {
    Off = 0,         // one ray per pixel
    Jittered = 1,    // one ray in each cell of a jittered 4 x 4 grid
    MonteCarlo = 2,  // sixteen rays at independent random positions
};

// Progress markers: the band's last row at once, the row being traced, and the one after it.
inline constexpr std::uint32_t kMarkerYellow = 0x00FFFF00u;
inline constexpr std::uint32_t kMarkerBlue = 0x000000FFu;
inline constexpr std::uint32_t kMarkerRed = 0x00FF0000u;

// The (not normalised) direction of the camera ray through image position (x, y), in pixel
// units from the bottom-left corner: -eyeOffset + fx * right + fy * up with
// f = 2 * position / size - 1. Pixels are sampled at their corner, with no half-pixel offset.
Vec4 CameraDirection(const Camera& camera, std::uint32_t width, std::uint32_t height,
                     std::uint32_t x, std::uint32_t y);

// 0x00RRGGBB from components in [0, 1]: 255 * component truncated toward zero; a NaN component
// (which survives the clamp) stores as 0.
std::uint32_t PackColor(const Color& c);

// Each driver renders the band x0 <= x < x1, y0 <= y < y1 of a width x height picture into the
// context's buffer, writing only inside the band. It tests the worker's stop request before every
// pixel and returns at once when it is set. The worker's random source is used as it stands (the
// caller restarts it per band).
void RenderBandSingle(const RenderContext& context, WorkerState& worker, std::uint32_t width,
                      std::uint32_t height, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1,
                      std::uint32_t y1);
void RenderBandJittered(const RenderContext& context, WorkerState& worker, std::uint32_t width,
                        std::uint32_t height, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1,
                        std::uint32_t y1);
void RenderBandMonteCarlo(const RenderContext& context, WorkerState& worker, std::uint32_t width,
                          std::uint32_t height, std::uint32_t x0, std::uint32_t y0,
                          std::uint32_t x1, std::uint32_t y1);

// The driver for `mode`, or nothing for any other value.
void RenderBand(AntialiasMode mode, const RenderContext& context, WorkerState& worker,
                std::uint32_t width, std::uint32_t height, std::uint32_t x0, std::uint32_t y0,
                std::uint32_t x1, std::uint32_t y1);

}  // namespace lumivex
