// The picture's colours as the pixel drivers compute them, before they are packed into the 8-bit
// words of a PixelBuffer: what a floating-point (HDR) picture file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/color.h"

namespace lumivex {

// width x height pixels of three floats (r, g, b), rows bottom-up as in PixelBuffer: pixel (x, y)
// starts at float 3 * (y * width + x). A new buffer is black: every float 0.
//
// Rendering threads write disjoint bands with plain stores, so the buffer may be read only while
// no render runs (after the session's Stop or Wait), unlike the PixelBuffer shown during one.
class ColorBuffer {
  public:
    static constexpr std::size_t kChannels = 3;

    // Throws std::bad_alloc when the picture cannot be allocated.
    ColorBuffer(std::uint32_t width, std::uint32_t height)
        : width(width), height(height), floats(kChannels * width * std::size_t{height}) {}

    std::uint32_t GetWidth() const { return width; }
    std::uint32_t GetHeight() const { return height; }

    void Store(std::uint32_t x, std::uint32_t y, const Color& color) {
        float* pixel = &floats[Index(x, y)];
        pixel[0] = color.r;
        pixel[1] = color.g;
        pixel[2] = color.b;
    }
    Color Load(std::uint32_t x, std::uint32_t y) const {
        const float* pixel = &floats[Index(x, y)];
        return {pixel[0], pixel[1], pixel[2], 1.0f};
    }

    // Row y's 3 * width floats.
    float* Row(std::uint32_t y) { return &floats[Index(0, y)]; }
    const float* Row(std::uint32_t y) const { return &floats[Index(0, y)]; }
    std::size_t RowFloats() const { return kChannels * width; }

  private:
    std::size_t Index(std::uint32_t x, std::uint32_t y) const {
        return kChannels * (static_cast<std::size_t>(y) * width + x);
    }

    std::uint32_t width;
    std::uint32_t height;
    std::vector<float> floats;
};

}  // namespace lumivex
