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

// Each driver renders one band of the picture into the context's buffer (and its colour buffer,
// when there is one), writing only inside the band. It tests the thread's stop request at every ray
// and returns at once when it is set, without storing the pixel it was tracing. The thread's random
// source is used as it stands (the caller restarts it per band).
void RenderBandSingle(const RenderContext& context, ThreadState& thread, PictureSize picture,
                      Band band);
void RenderBandJittered(const RenderContext& context, ThreadState& thread, PictureSize picture,
                        Band band);
void RenderBandMonteCarlo(const RenderContext& context, ThreadState& thread, PictureSize picture,
                          Band band);

// One row of preview blocks: the blocks of blockSize x blockSize pixels (clipped at the picture's
// edges) whose bottom row is blockRow * blockSize, each filled with the colour of one camera ray
// through its middle pixel. Restarts the thread's random source for every block, so that a
// block's colour depends on the block only, whichever thread draws it. Returns at once, without
// filling the block being traced, when the thread is asked to stop. The preview goes to the
// context's pixels only: the bands overwrite it, and only their colours are kept as floats.
void RenderPreviewBlockRow(const RenderContext& context, ThreadState& thread, PictureSize picture,
                           std::uint32_t blockSize, std::uint32_t blockRow);

// The driver for `mode`, or nothing for any other value.
void RenderBand(AntialiasMode mode, const RenderContext& context, ThreadState& thread,
                PictureSize picture, Band band);

}  // namespace lumivex
