// Shading: the colour seen along a ray.
#pragma once

#include "geometry/color.h"
#include "geometry/material.h"
#include "geometry/ray.h"
#include "render/render_context.h"

namespace lumivex {

// Depth given to camera rays: how many generations of secondary rays they may spawn.
inline constexpr int kCameraRayDepth = 16;

// What happens to a ray at a surface: the mirrored direction and, unless the ray is totally
// reflected, the transmitted one (else zero), with the Fresnel reflectance and transmittance for
// media with both an index and a magnetic permeability. `facingNormal` faces the incoming ray's
// side; eta = n1 / n2 and mur = mu1 / mu2 from the ray's medium to the other one.
struct SurfaceBounce {
    Vec4 mirror;
    Vec4 transmitted;
    float reflectance = 1.0f;
    float transmittance = 0.0f;
};
SurfaceBounce ComputeBounce(const Vec4& direction, const Vec4& facingNormal, float eta, float mur);

// The colour seen along `ray` (unit-length direction): ambient and direct light at the nearest
// hit, Fresnel-weighted mirrored and transmitted rays followed to `depth` further generations,
// absorption by the medium crossed, and components clamped to [0, 1]. `inside` says the ray
// travels inside an object. A miss is black, whatever the air. Draws from the thread's random
// source in a fixed order, which is part of the picture.
Color Trace(const RenderContext& context, ThreadState& thread, Ray& ray, bool inside, int depth);

}  // namespace lumivex
