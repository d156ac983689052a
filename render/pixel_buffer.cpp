#include "render/pixel_buffer.h"

namespace lumivex {

PixelBuffer::PixelBuffer(std::uint32_t width, std::uint32_t height)
    : width(width), height(height), words(static_cast<std::size_t>(width) * height, kWhite) {}

void PixelBuffer::LoadRow(std::uint32_t y, std::uint32_t* out) const {
    for (std::uint32_t x = 0; x < width; ++x) {
        out[x] = Load(x, y);
    }
}

void PixelBuffer::Fill(std::uint32_t word) {
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            Store(x, y, word);
        }
    }
}

}  // namespace lumivex
