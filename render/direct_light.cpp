#include <cmath>

#include "render/nearest_hit.h"
#include "render/scene_index.h"
#include "render/trace.h"

namespace lumivex {

namespace {

constexpr int kShadowPasses = 16;
constexpr float kPassWeight = 0.0625f;  // 1 / kShadowPasses

}  // namespace

void AddDirectLight(const RenderContext& context, WorkerState& worker, const Vec4& shadowOrigin,
                    const Vec4& normal, const Vec4& mirror, float reflectWeight,
                    const Material& material, bool inside, Color& out) {
    const Scene& scene = *context.scene;
    for (int pass = 0; pass < kShadowPasses; ++pass) {
        for (const Light& light : scene.lights) {
            const Vec4 toLight = light.position - shadowOrigin;
            const float distanceSquared = Dot(toLight, toLight);
            const float distance = std::sqrt(distanceSquared);
            const Vec4 direction =
                Normalized(JitterAxis(worker.random, distance, light.radius, toLight));

            // Any object between the point and the light's centre blocks it completely,
            // transparent or not. From inside an object every light counts as unblocked, so the
            // index does not even look; the plain walk looks and ignores the answer.
            Ray shadowRay{shadowOrigin, direction};
            ++worker.rays.shadow;
            bool blocked;
            if (context.index != nullptr) {
                blocked = !inside && context.index->Occluded(shadowRay, distanceSquared);
            } else {
                const HitRecord blocker = FindNearestHit(scene, shadowRay);
                blocked = !inside && blocker.hit && distanceSquared >= blocker.t * blocker.t &&
                          blocker.t >= 0.0f;
            }
            if (blocked) {
                continue;
            }

            const float cosine = Dot(direction, normal);
            if (cosine > 0.0f) {
                out.r = out.r + ((material.diffuse.r * cosine) * light.color.r) * kPassWeight;
                out.g = out.g + ((material.diffuse.g * cosine) * light.color.g) * kPassWeight;
                out.b = out.b + ((material.diffuse.b * cosine) * light.color.b) * kPassWeight;
            }

            // The highlight does not depend on the diffuse test. pow of a negative base with a
            // non-integral exponent is NaN, which drops the term, as does a NaN weight.
            const float s =
                std::pow(Dot(mirror, direction), material.specularExponent) * reflectWeight;
            const float r = s * light.color.r;
            const float g = s * light.color.g;
            const float b = s * light.color.b;
            if (!inside && r >= 0.0f && g >= 0.0f && b >= 0.0f) {
                out.r = out.r + r * kPassWeight;
                out.g = out.g + g * kPassWeight;
                out.b = out.b + b * kPassWeight;
            }
        }
    }
}

}  // namespace lumivex
