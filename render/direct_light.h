// Direct light: the diffuse and highlight terms of every light, with soft shadows.
#pragma once

#include "geometry/color.h"
#include "geometry/material.h"
#include "geometry/vec4.h"
#include "render/render_context.h"

namespace lumivex {

// Adds the diffuse and highlight light of every light to `out`, averaged over 16 passes with a
// shadow ray each towards a randomly displaced point of the light. `shadowOrigin` is the hit
// point moved off the surface, `normal` the shape's unit normal (not turned for `inside`),
// `mirror` the mirrored direction of the incoming ray. From inside an object every light counts
// as unblocked. Draws four random numbers per light and pass, in that order.
void AddDirectLight(const RenderContext& context, ThreadState& thread, const Vec4& shadowOrigin,
                    const Vec4& normal, const Vec4& mirror, float reflectWeight,
                    const Material& material, bool inside, Color& out);

}  // namespace lumivex
