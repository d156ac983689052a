#include <cmath>

#include "render/nearest_hit.h"
#include "render/scene_index.h"
#include "render/trace.h"

namespace lumivex {

namespace {

constexpr int kShadowPasses = 16;
constexpr float kPassWeight = 0.0625f;  // 1 / kShadowPasses

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

// The straightforward form, kept as the reference the accelerated one must match: every pass
// measures the way to each light again and tests the shadow ray by its nearest hit.
void AddDirectLightPlain(const Scene& scene, WorkerState& worker, const Vec4& shadowOrigin,
                         const Vec4& normal, const Vec4& mirror, float reflectWeight,
                         const Material& material, bool inside, Color& out) {
    for (int pass = 0; pass < kShadowPasses && !worker.ShouldStop(); ++pass) {
        for (const Light& light : scene.lights) {
            const Vec4 toLight = light.position - shadowOrigin;
            const float distanceSquared = Dot(toLight, toLight);
            const float distance = std::sqrt(distanceSquared);
            const Vec4 direction =
                Normalized(JitterAxis(worker.random, distance, light.radius, toLight));

            // Any object between the point and the light's centre blocks it completely,
            // transparent or not. From inside an object every light counts as unblocked.
            Ray shadowRay{shadowOrigin, direction};
            ++worker.rays.shadow;
            const HitRecord blocker = FindNearestHit(scene, shadowRay);
            if (!inside && blocker.hit && distanceSquared >= blocker.t * blocker.t &&
                blocker.t >= 0.0f) {
                continue;
            }
            AddLightTerms(light, direction, normal, mirror, reflectWeight, material, inside, true,
                          out);
        }
    }
}

}  // namespace

void AddDirectLight(const RenderContext& context, WorkerState& worker, const Vec4& shadowOrigin,
                    const Vec4& normal, const Vec4& mirror, float reflectWeight,
                    const Material& material, bool inside, Color& out) {
    const Scene& scene = *context.scene;
    if (context.index == nullptr) {
        AddDirectLightPlain(scene, worker, shadowOrigin, normal, mirror, reflectWeight, material,
                            inside, out);
        return;
    }

    // The way to each light and the spread of its shadow rays are the same in every pass: work
    // them out once. The random draws stay in the same order.
    std::vector<WorkerState::LightReach>& reaches = worker.lightReaches;
    reaches.resize(scene.lights.size());
    for (std::size_t i = 0; i < scene.lights.size(); ++i) {
        WorkerState::LightReach& reach = reaches[i];
        reach.toLight = scene.lights[i].position - shadowOrigin;
        reach.distanceSquared = Dot(reach.toLight, reach.toLight);
        reach.spread = JitterSpread(std::sqrt(reach.distanceSquared), scene.lights[i].radius);
    }
    const bool highlight = !inside && (reflectWeight > 0.0f || reflectWeight < 0.0f);
    // A stop request is answered between passes: one pass over many lights is short, sixteen
    // at every point of a deep ray tree are not.
    for (int pass = 0; pass < kShadowPasses && !worker.ShouldStop(); ++pass) {
        for (std::size_t i = 0; i < scene.lights.size(); ++i) {
            const WorkerState::LightReach& reach = reaches[i];
            const Vec4 direction =
                Normalized(JitterAxisBy(worker.random, reach.spread, reach.toLight));
            ++worker.rays.shadow;
            // From inside an object every light counts as unblocked: no need to look.
            if (!inside) {
                const Ray shadowRay{shadowOrigin, direction};
                if (context.index->Occluded(shadowRay, reach.distanceSquared)) {
                    continue;
                }
            }
            AddLightTerms(scene.lights[i], direction, normal, mirror, reflectWeight, material,
                          inside, highlight, out);
        }
    }
}

}  // namespace lumivex
