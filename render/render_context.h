// What the renderer works on: the scene, how its hits are found, the picture and the live
// Stochastic setting; and what each rendering thread keeps for itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "render/color_buffer.h"
#include "render/hit_finder.h"
#include "render/pixel_buffer.h"
#include "render/random.h"
#include "scene/scene.h"

namespace lumivex {

// The picture's size in pixels.
struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// A band: the picture's rows y0 <= y < y1, all of its columns. Each band restarts the random
// sequence, so how the picture is split into bands is part of the picture.
struct Band {
    std::uint32_t y0 = 0;
    std::uint32_t y1 = 0;

    friend bool operator==(const Band&, const Band&) = default;
};

// Shared by every thread of a render. The scene, the hit finder and the buffers are set once and
// refer to the same objects for the context's life; only `stochastic` changes while threads run,
// and they read it afresh at every hit.
struct RenderContext {
    std::atomic<bool> stochastic{false};
    PixelBuffer* pixels = nullptr;
    // Null unless asked for: then the drivers also store each pixel's colour here, as they
    // computed it before packing it into `pixels` (only floating-point output needs it).
    ColorBuffer* colors = nullptr;
    const Scene* scene = nullptr;
    // Finds the hits among scene->objects: the plain walk or the scene index.
    const HitFinder* hits = nullptr;
};

// How many rays of each kind a thread traced.
struct RayCounts {
    std::uint64_t camera = 0;
    std::uint64_t secondary = 0;  // mirrored and transmitted
    std::uint64_t shadow = 0;

    RayCounts& operator+=(const RayCounts& other) {
        camera += other.camera;
        secondary += other.secondary;
        shadow += other.shadow;
        return *this;
    }
};

// One rendering thread's own state: touched only by its thread, apart from the stop request it
// reads and the row counter it publishes. The random source is restarted for every band.
struct ThreadState {
    // The way from a shading point to one light, reused by its 16 shadow passes.
    struct LightReach {
        Vec4 toLight;
        float distanceSquared;
        float spread;
    };

    RandomSource random;
    RayCounts rays;
    std::vector<LightReach> lightReaches;  // scratch space, grown once, kept between rays
    // A point's shadow-ray directions, light by light and pass by pass, and per light the passes
    // whose ray is blocked: scratch space too.
    std::vector<Vec4> shadowDirections;
    std::vector<std::uint32_t> shadowsBlocked;
    // Per light, the object that blocked this thread's last blocked shadow ray towards it.
    std::vector<BlockerHint> lightBlockers;
    // Tested at every ray and between pixels: a stopped render writes no further pixel.
    const std::atomic<bool>* stopRequested = nullptr;
    std::atomic<std::uint32_t>* rowsFinished = nullptr;  // progress of the current band

    // Restarts the random sequence and forgets the blockers, at the start of every band (and
    // of every preview block), so that a band's work does not depend on what came before it.
    void StartBand() {
        random.Restart();
        lightBlockers.clear();
    }

    bool ShouldStop() const {
        return stopRequested != nullptr && stopRequested->load(std::memory_order_relaxed);
    }
};

}  // namespace lumivex
