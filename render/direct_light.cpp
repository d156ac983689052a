#include "render/direct_light.h"

#include <cmath>

namespace lumivex {

namespace {

constexpr int kShadowPasses = 16;
constexpr float kPassWeight = 0.0625f;  // 1 / kShadowPasses
static_assert(kShadowPasses <= 32, "a light's passes are answered in one 32-bit mask");

// Adds one light's diffuse and highlight terms for one pass whose shadow ray was not blocked.
// `highlight` false skips the highlight, which the caller may do only where it would add
// nothing: from inside, or with a zero or NaN reflect weight (the term is then a zero, which
// leaves `out` as it is, or NaN, which is dropped).
void AddLightTerms(const Light& light, const Vec4& direction, const Vec4& normal,
                   const Vec4& mirror, float reflectWeight, const Material& material, bool inside,
                   bool highlight, Color& out) {
    const float cosine = Dot(direction, normal);
    if (cosine > 0.0f) {
        out.r = out.r + ((material.diffuse.r * cosine) * light.color.r) * kPassWeight;
        out.g = out.g + ((material.diffuse.g * cosine) * light.color.g) * kPassWeight;
        out.b = out.b + ((material.diffuse.b * cosine) * light.color.b) * kPassWeight;
    }
    if (!highlight) {
        return;
    }
    // The highlight does not depend on the diffuse test. pow of a negative base with a
    // non-integral exponent is NaN, which drops the term, as does a NaN weight.
    const float s = std::pow(Dot(mirror, direction), material.specularExponent) * reflectWeight;
    const float r = s * light.color.r;
    const float g = s * light.color.g;
    const float b = s * light.color.b;
    if (!inside && r >= 0.0f && g >= 0.0f && b >= 0.0f) {
        out.r = out.r + r * kPassWeight;
        out.g = out.g + g * kPassWeight;
        out.b = out.b + b * kPassWeight;
    }
}

}  // namespace

void AddDirectLight(const RenderContext& context, ThreadState& thread, const Vec4& shadowOrigin,
                    const Vec4& normal, const Vec4& mirror, float reflectWeight,
                    const Material& material, bool inside, Color& out) {
    const Scene& scene = *context.scene;
    // The way to each light and the spread of its shadow rays are the same in every pass: work
    // them out once. The random draws stay in the same order.
    std::vector<ThreadState::LightReach>& reaches = thread.lightReaches;
    reaches.resize(scene.lights.size());
    thread.lightBlockers.resize(scene.lights.size());
    for (std::size_t i = 0; i < scene.lights.size(); ++i) {
        ThreadState::LightReach& reach = reaches[i];
        reach.toLight = scene.lights[i].position - shadowOrigin;
        reach.distanceSquared = Dot(reach.toLight, reach.toLight);
        reach.spread = JitterSpread(std::sqrt(reach.distanceSquared), scene.lights[i].radius);
    }
    const bool highlight = !inside && (reflectWeight > 0.0f || reflectWeight < 0.0f);
    // A stop request is answered before the shadow search and between passes: sixteen passes at
    // every point of a deep ray tree are not short.
    if (thread.ShouldStop()) {
        return;
    }
    // Every shadow ray's direction first, drawn in the order the passes use them (pass by pass,
    // light by light), kept light by light: which rays are blocked never changes the draws.
    const std::size_t lights = scene.lights.size();
    std::vector<Vec4>& directions = thread.shadowDirections;
    directions.resize(lights * kShadowPasses);
    for (int pass = 0; pass < kShadowPasses; ++pass) {
        for (std::size_t i = 0; i < lights; ++i) {
            const ThreadState::LightReach& reach = reaches[i];
            directions[i * kShadowPasses + static_cast<std::size_t>(pass)] =
                Normalized(JitterAxisBy(thread.random, reach.spread, reach.toLight));
        }
    }
    // Any object between the point and the light's centre blocks it completely, transparent or
    // not: one question per light for all its passes' rays. From inside an object every light
    // counts as unblocked: no need to look.
    std::vector<std::uint32_t>& blocked = thread.shadowsBlocked;
    blocked.assign(lights, 0);
    if (!inside) {
        for (std::size_t i = 0; i < lights; ++i) {
            blocked[i] = context.hits->OccludedMask(shadowOrigin, &directions[i * kShadowPasses],
                                                    kShadowPasses, reaches[i].distanceSquared,
                                                    thread.lightBlockers[i]);
        }
    }
    // The terms are summed pass by pass, light by light, as the float sums were always made.
    for (int pass = 0; pass < kShadowPasses && !thread.ShouldStop(); ++pass) {
        for (std::size_t i = 0; i < lights; ++i) {
            ++thread.rays.shadow;
            if ((blocked[i] >> pass & 1u) == 0) {
                AddLightTerms(scene.lights[i],
                              directions[i * kShadowPasses + static_cast<std::size_t>(pass)],
                              normal, mirror, reflectWeight, material, inside, highlight, out);
            }
        }
    }
}

}  // namespace lumivex
