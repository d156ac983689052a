// The picture the rendering threads draw into: bottom-up rows of 32-bit words 0x00RRGGBB.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace lumivex {

// width x height words with no padding; pixel (x, y) is word y * width + x and row 0 is the
// bottom row of the picture. A new buffer is white: every byte 0xFF.
//
// Threads write disjoint bands while another thread reads the whole buffer to show it, so every
// access is a relaxed atomic one: race-free, and as cheap as a plain load or store on x86.
class PixelBuffer {
  public:
    static constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

    // Throws std::bad_alloc when the picture cannot be allocated.
    PixelBuffer(std::uint32_t width, std::uint32_t height);

    std::uint32_t GetWidth() const { return width; }
    std::uint32_t GetHeight() const { return height; }

    void Store(std::uint32_t x, std::uint32_t y, std::uint32_t word) {
        std::atomic_ref<std::uint32_t>(words[Index(x, y)]).store(word, std::memory_order_relaxed);
    }
    std::uint32_t Load(std::uint32_t x, std::uint32_t y) const {
        return std::atomic_ref<std::uint32_t>(words[Index(x, y)]).load(std::memory_order_relaxed);
    }

    // Copies row y (width words) into `out`, word by word.
    void LoadRow(std::uint32_t y, std::uint32_t* out) const;
    void Fill(std::uint32_t word);

  private:
    std::size_t Index(std::uint32_t x, std::uint32_t y) const {
        return static_cast<std::size_t>(y) * width + x;
    }

    std::uint32_t width;
    std::uint32_t height;
    // Mutable so that const readers can form the atomic_ref that relaxed loads need.
    mutable std::vector<std::uint32_t> words;
};

}  // namespace lumivex
