// What the renderer works on: the scene, the picture, the live Stochastic setting, and each
// worker's own state.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "render/pixel_buffer.h"
#include "render/random.h"
#include "scene/scene.h"

namespace lumivex {
class SceneIndex;
}

namespace lumivex {

// Shared by every worker of a render. The scene and the buffer are set once and refer to the
// same objects for the context's life; only `stochastic` changes while workers run, and they
// read it afresh at every hit.
struct RenderContext {
    std::atomic<bool> stochastic{false};
    PixelBuffer* pixels = nullptr;
    const Scene* scene = nullptr;
    // The scene's acceleration structure, when there is one: it finds exactly the hits of the
    // plain walk over scene->objects, which is used when this is null.
    const SceneIndex* index = nullptr;
};

// How many rays of each kind a worker traced.
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

// One worker's own state: touched only by its thread, apart from the stop request it reads and
// the row counter it publishes.
struct WorkerState {
    // The way from a shading point to one light, reused by its 16 shadow passes.
    struct LightReach {
        Vec4 toLight;
        float distanceSquared;
        float spread;
    };

    RandomSource random;
    RayCounts rays;
    std::vector<LightReach> lightReaches;  // scratch space, grown once, kept between rays
    const std::atomic<bool>* stopRequested = nullptr;    // tested before every pixel
    std::atomic<std::uint32_t>* rowsFinished = nullptr;  // progress of the current band

    bool ShouldStop() const {
        return stopRequested != nullptr && stopRequested->load(std::memory_order_relaxed);
    }
};

}  // namespace lumivex
