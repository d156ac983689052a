// Shadow rays from one point, tested several at a time with SIMD: the lane kernels of the scene
// index's packet query. Each lane does exactly the single-precision operations, in the same order,
// that the one-ray test does, so a packet's answers are the one-ray answers to the bit.
#pragma once

#include <cstdint>

#include "geometry/vec4.h"

namespace lumivex {

// Which rays of a packet are meant: bit i for ray i.
using LaneMask = std::uint32_t;

// Up to kMaxRays rays from one origin, each component in an array of its own so that a kernel
// loads the same component of several rays at once. The box test's data mirrors the scene
// index's per-ray setup: the widened planes depend only on the origin, so the packet keeps one
// set; the inverse direction is per ray.
struct ShadowPacket {
    static constexpr int kMaxRays = 32;

    Vec4 origin;
    int count = 0;
    float shiftedPlanes[2][3] = {};  // origin + margin (low planes), origin - margin (high ones)
    alignas(32) float direction[3][kMaxRays] = {};
    alignas(32) float inverse[3][kMaxRays] = {};

    LaneMask AllLanes() const {
        return count >= kMaxRays ? ~LaneMask{0} : (LaneMask{1} << count) - 1;
    }
};

// The kernels answer for the rays in `lanes` only; other lanes' bits are always clear.
struct ShadowKernels {
    // The rays that pass PassesBoundingSphere(ray, centre, limit) (render/nearest_hit.h).
    LaneMask (*passesBoundingSphere)(const ShadowPacket& packet, LaneMask lanes, const Vec4& centre,
                                     float limit);
    // The rays whose slab test against `bounds` (low corner, high corner), widened by the
    // packet's planes, finds an entry no farther than `limit`: SceneIndex's node test.
    LaneMask (*entersBox)(const ShadowPacket& packet, LaneMask lanes, const float (&bounds)[2][3],
                          float limit);
};

enum class SimdPath { Sse2, Avx2 };

// Whether this processor runs the path (SSE2 always does).
bool SimdPathSupported(SimdPath path);

// The path packet queries take: chosen once at start-up, AVX2 (8 lanes) where the processor has
// it and SSE2 (4 lanes) otherwise; the environment variable LUMIVEX_SIMD=sse2 forces SSE2.
SimdPath ActiveSimdPath();
const ShadowKernels& ActiveShadowKernels();

// Clears the upper halves of the AVX registers where the processor has them. A thread may start
// with them dirty (threads inherit the register state of the thread that created them); until
// they are cleared, every SSE instruction of ours, and the C library's AVX code such as powf,
// pays for merging or saving them, which costs a third of a render. Changes no value.
void ClearUpperVectorState();

// Makes later packet queries take `path`, which must be supported: for tests and comparisons.
// Not to be called while a render runs.
void UseSimdPath(SimdPath path);

}  // namespace lumivex
