#include "render/shadow_packet.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <immintrin.h>
#define LUMIVEX_X86 1
#endif

// The 8-lane body is written once, with GCC vector extensions, and inlined into functions that are
// compiled for AVX2 by their own target attribute (never by compiling this file with -mavx2: an
// inline function from a header, emitted here with AVX2 instructions, could then be the copy the
// linker keeps for the whole program). The body's helpers pass 32-byte vectors by value, which
// g++ and clang warn changes the calling convention without AVX; they are always inlined, so no
// such call is ever made.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace lumivex {

namespace {

// Why the lanes' answers are the one-ray answers to the bit: vector +, -, *, / and comparisons
// are the IEEE single-precision operations of the scalar code, lane by lane, with the same
// rounding; the build's -ffp-contract=off keeps a multiply and an add from fusing in vectors as
// in scalars; no approximate reciprocal or square root is used. Each expression keeps the scalar
// code's order and grouping. A select by a comparison mask picks exactly what the scalar
// code's branch or conditional would.

template <int W>
struct Lanes;
template <>
struct Lanes<4> {
    typedef float Floats __attribute__((vector_size(16)));
    typedef std::int32_t Mask __attribute__((vector_size(16)));
};
template <>
struct Lanes<8> {
    typedef float Floats __attribute__((vector_size(32)));
    typedef std::int32_t Mask __attribute__((vector_size(32)));
};

#define LUMIVEX_LANES_INLINE [[gnu::always_inline]] inline

template <int W>
LUMIVEX_LANES_INLINE typename Lanes<W>::Floats Load(const float* from) {
    typename Lanes<W>::Floats v;
    std::memcpy(&v, from, sizeof v);
    return v;
}

// Written out lane by lane: a loop filling the lanes compiles to a string of shuffles for SSE2.
template <int W>
LUMIVEX_LANES_INLINE typename Lanes<W>::Floats Splat(float value) {
    if constexpr (W == 4) {
        return typename Lanes<W>::Floats{value, value, value, value};
    } else {
        return typename Lanes<W>::Floats{value, value, value, value, value, value, value, value};
    }
}

// Per lane, `ifTrue` where the comparison mask is all ones, else `ifFalse`: bits are moved, not
// computed, so NaNs and signed zeros come through as they are.
template <int W>
LUMIVEX_LANES_INLINE typename Lanes<W>::Floats Select(typename Lanes<W>::Mask mask,
                                                      typename Lanes<W>::Floats ifTrue,
                                                      typename Lanes<W>::Floats ifFalse) {
    using Mask = typename Lanes<W>::Mask;
    using Floats = typename Lanes<W>::Floats;
    return reinterpret_cast<Floats>((mask & reinterpret_cast<Mask>(ifTrue)) |
                                    (~mask & reinterpret_cast<Mask>(ifFalse)));
}

// One bit per lane, lane 0 lowest, from a comparison mask (all ones or all zeros per lane).
template <int W>
LUMIVEX_LANES_INLINE LaneMask Bits(typename Lanes<W>::Mask mask) {
#ifdef LUMIVEX_X86
    // The sign bits, four lanes at a time; SSE2 is part of every x86-64 processor.
    LaneMask bits = 0;
    for (int i = 0; i < W / 4; ++i) {
        __m128 quarter;
        std::memcpy(&quarter, reinterpret_cast<const char*>(&mask) + 16 * i, sizeof quarter);
        bits |= static_cast<LaneMask>(_mm_movemask_ps(quarter)) << (4 * i);
    }
    return bits;
#else
    LaneMask bits = 0;
    for (int i = 0; i < W; ++i) {
        bits |= static_cast<LaneMask>(mask[i] != 0) << i;
    }
    return bits;
#endif
}

constexpr LaneMask GroupBits(int width) {
    return (LaneMask{1} << width) - 1;
}

// PassesBoundingSphere for W rays at a time. What depends only on the origin and the object is
// worked out once, by the scalar code's own operations: toCentre = centre - origin, and its
// squared length, which is the scalar test's distance when the centre lies behind the origin
// (there it takes origin - centre, which is exactly -(centre - origin) because rounding is
// symmetric, and squaring drops the sign).
template <int W>
LUMIVEX_LANES_INLINE LaneMask PassesBoundingSphereLanes(const ShadowPacket& packet, LaneMask lanes,
                                                        const Vec4& centre, float limit) {
    using Floats = typename Lanes<W>::Floats;
    const Vec4 toCentre = centre - packet.origin;
    const Floats behind = Splat<W>(Dot(toCentre, toCentre));
    const Floats toX = Splat<W>(toCentre.x);
    const Floats toY = Splat<W>(toCentre.y);
    const Floats toZ = Splat<W>(toCentre.z);
    const Floats originX = Splat<W>(packet.origin.x);
    const Floats originY = Splat<W>(packet.origin.y);
    const Floats originZ = Splat<W>(packet.origin.z);
    const Floats centreX = Splat<W>(centre.x);
    const Floats centreY = Splat<W>(centre.y);
    const Floats centreZ = Splat<W>(centre.z);
    const Floats limits = Splat<W>(limit);
    const Floats zero = Splat<W>(0.0f);
    LaneMask passes = 0;
    for (int first = 0; first < packet.count; first += W) {
        const LaneMask group = (lanes >> first) & GroupBits(W);
        if (group == 0) {
            continue;
        }
        const Floats dx = Load<W>(packet.direction[0] + first);
        const Floats dy = Load<W>(packet.direction[1] + first);
        const Floats dz = Load<W>(packet.direction[2] + first);
        // s = Dot(direction, toCentre); closest = origin + s * direction; offset = centre -
        // closest; its squared length by Dot's grouping.
        const Floats s = (dx * toX + dy * toY) + dz * toZ;
        const Floats offsetX = centreX - (originX + s * dx);
        const Floats offsetY = centreY - (originY + s * dy);
        const Floats offsetZ = centreZ - (originZ + s * dz);
        const Floats ahead = (offsetX * offsetX + offsetY * offsetY) + offsetZ * offsetZ;
        // s > 0 is false for a NaN s, which takes the `behind` distance as the scalar else does.
        const Floats distanceSquared = Select<W>(s > zero, ahead, behind);
        passes |= (Bits<W>(distanceSquared <= limits) & group) << first;
    }
    return passes;
}

// A box's slab test, as the scene index tests a node's child, for W rays at a time. The distances
// from the widened planes to the box's planes depend only on the origin and the box: computed once,
// with the scalar subtraction. Per lane, the near plane along an axis is the high one where the
// inverse direction is negative. `t0 > tNear ? t0 : tNear` and `t1 < tFar ? t1 : tFar` become
// selects by the same comparisons, so a NaN t0 or t1 leaves the bound as it was, as in the scalar
// code.
template <int W>
LUMIVEX_LANES_INLINE LaneMask EntersBoxLanes(const ShadowPacket& packet, LaneMask lanes,
                                             const float (&bounds)[2][3], float limit) {
    using Floats = typename Lanes<W>::Floats;
    Floats lowDistance[3];
    Floats highDistance[3];
    for (int a = 0; a < 3; ++a) {
        lowDistance[a] = Splat<W>(bounds[0][a] - packet.shiftedPlanes[0][a]);
        highDistance[a] = Splat<W>(bounds[1][a] - packet.shiftedPlanes[1][a]);
    }
    const Floats limits = Splat<W>(limit);
    const Floats zero = Splat<W>(0.0f);
    LaneMask enters = 0;
    for (int first = 0; first < packet.count; first += W) {
        const LaneMask group = (lanes >> first) & GroupBits(W);
        if (group == 0) {
            continue;
        }
        Floats tNear = zero;
        Floats tFar = limits;
        for (int a = 0; a < 3; ++a) {
            const Floats inverse = Load<W>(packet.inverse[a] + first);
            const auto highFirst = inverse < zero;
            const Floats t0 = Select<W>(highFirst, highDistance[a], lowDistance[a]) * inverse;
            const Floats t1 = Select<W>(highFirst, lowDistance[a], highDistance[a]) * inverse;
            tNear = Select<W>(t0 > tNear, t0, tNear);
            tFar = Select<W>(t1 < tFar, t1, tFar);
        }
        enters |= (Bits<W>(tNear <= tFar) & group) << first;
    }
    return enters;
}

LaneMask PassesBoundingSphereSse2(const ShadowPacket& packet, LaneMask lanes, const Vec4& centre,
                                  float limit) {
    return PassesBoundingSphereLanes<4>(packet, lanes, centre, limit);
}
LaneMask EntersBoxSse2(const ShadowPacket& packet, LaneMask lanes, const float (&bounds)[2][3],
                       float limit) {
    return EntersBoxLanes<4>(packet, lanes, bounds, limit);
}
constexpr ShadowKernels kSse2{PassesBoundingSphereSse2, EntersBoxSse2};

#ifdef LUMIVEX_X86
__attribute__((target("avx2"))) LaneMask PassesBoundingSphereAvx2(const ShadowPacket& packet,
                                                                  LaneMask lanes,
                                                                  const Vec4& centre, float limit) {
    return PassesBoundingSphereLanes<8>(packet, lanes, centre, limit);
}
__attribute__((target("avx2"))) LaneMask EntersBoxAvx2(const ShadowPacket& packet, LaneMask lanes,
                                                       const float (&bounds)[2][3], float limit) {
    return EntersBoxLanes<8>(packet, lanes, bounds, limit);
}
constexpr ShadowKernels kAvx2{PassesBoundingSphereAvx2, EntersBoxAvx2};
#else
constexpr ShadowKernels kAvx2 = kSse2;  // never chosen: not supported here
#endif

const ShadowKernels& KernelsFor(SimdPath path) {
    return path == SimdPath::Avx2 ? kAvx2 : kSse2;
}

SimdPath PathAtStartUp() {
    const char* forced = std::getenv("LUMIVEX_SIMD");
    if (forced != nullptr && std::string_view(forced) == "sse2") {
        return SimdPath::Sse2;
    }
    return SimdPathSupported(SimdPath::Avx2) ? SimdPath::Avx2 : SimdPath::Sse2;
}

// Atomic only so that a test's UseSimdPath between renders is no data race for the sanitizers;
// relaxed loads cost what plain ones do.
std::atomic<SimdPath>& Active() {
    static std::atomic<SimdPath> active{PathAtStartUp()};
    return active;
}

}  // namespace

bool SimdPathSupported(SimdPath path) {
    if (path == SimdPath::Sse2) {
        return true;
    }
#ifdef LUMIVEX_X86
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

#ifdef LUMIVEX_X86
namespace {
__attribute__((target("avx"))) void ZeroUpperHalves() {
    _mm256_zeroupper();
}
}  // namespace
#endif

void ClearUpperVectorState() {
#ifdef LUMIVEX_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx")) {
        ZeroUpperHalves();
    }
#endif
}

SimdPath ActiveSimdPath() {
    return Active().load(std::memory_order_relaxed);
}

const ShadowKernels& ActiveShadowKernels() {
    return KernelsFor(ActiveSimdPath());
}

void UseSimdPath(SimdPath path) {
    Active().store(path, std::memory_order_relaxed);
}

}  // namespace lumivex
