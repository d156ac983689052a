#include "render/trace.h"

#include <algorithm>
#include <cmath>

#include "render/direct_light.h"

namespace lumivex {

namespace {

constexpr float kSurfaceOffset = 0.001f;

// min(1, x) that keeps a NaN product as NaN, so a NaN weight spawns no ray and drops the
// highlight (at a back-facing hit between media of equal index and permeability the Fresnel
// denominators are exactly 0, and 0 times that is NaN).
float CapAtOne(float x) {
    return std::min(x, 1.0f);
}

void AddWeighted(Color& out, float weight, const Color& c) {
    out.r = out.r + weight * c.r;
    out.g = out.g + weight * c.g;
    out.b = out.b + weight * c.b;
}

// First to at most 1, then to at least 0; a NaN passes both.
float Clamp(float v) {
    if (v > 1.0f) {
        v = 1.0f;
    }
    if (v < 0.0f) {
        v = 0.0f;
    }
    return v;
}

}  // namespace

SurfaceBounce ComputeBounce(const Vec4& direction, const Vec4& facingNormal, float eta, float mur) {
    SurfaceBounce bounce;
    const Vec4 view = -direction;
    const float cosi = Dot(view, facingNormal);
    bounce.mirror = direction + (2.0f * cosi) * facingNormal;
    const float disc = 1.0f - (eta * eta) * (1.0f - cosi * cosi);
    // A negative or NaN discriminant is total internal reflection.
    if (disc < 0.0f || std::isnan(disc)) {
        bounce.transmitted = {0.0f, 0.0f, 0.0f, 0.0f};
        bounce.reflectance = 1.0f;
        bounce.transmittance = 0.0f;
        return bounce;
    }
    const float cost = std::sqrt(disc);
    bounce.transmitted = eta * direction + (eta * cosi - cost) * facingNormal;
    const float rs = (eta * cosi - mur * cost) / (mur * cost + eta * cosi);
    const float rp = (mur * cosi - eta * cost) / (eta * cost + mur * cosi);
    bounce.reflectance = (rs * rs + rp * rp) * 0.5f;
    bounce.transmittance = 1.0f - bounce.reflectance;
    return bounce;
}

Color Trace(const RenderContext& context, ThreadState& thread, Ray& ray, bool inside, int depth) {
    const Scene& scene = *context.scene;
    Color out{0.0f, 0.0f, 0.0f, 1.0f};
    // One pixel of a scene with many lights and glass can take minutes: a stop request is
    // answered at every ray, and the pixel driver then drops the unfinished pixel.
    if (thread.ShouldStop()) {
        return out;
    }
    const HitRecord hit = context.hits->FindNearestHit(ray);
    if (!hit.hit) {
        return out;
    }
    const Material& material = hit.material;

    const Vec4 n = Normalized(hit.normal);
    // Shadow rays leave along the shape's own normal, whichever side the ray is on.
    const Vec4 shadowOrigin = AsPoint(hit.point + kSurfaceOffset * n);
    // Which side the ray is on is known only from `inside`, never from the normal's sign.
    const Vec4 facingNormal = inside ? -n : n;

    float mu1 = scene.air.permeability;
    float n1 = scene.air.refractiveIndex;
    float mu2 = material.permeability;
    float n2 = material.refractiveIndex;
    Color absorbing = scene.air.attenuation;
    if (inside) {
        std::swap(mu1, mu2);
        std::swap(n1, n2);
        absorbing = material.attenuation;
    }
    const float mur = mu1 / mu2;
    const float eta = n1 / n2;

    const SurfaceBounce bounce = ComputeBounce(ray.direction, facingNormal, eta, mur);
    const float reflectWeight = CapAtOne(material.specularCoefficient * bounce.reflectance);
    const float transmitWeight = CapAtOne(material.specularCoefficient * bounce.transmittance);

    out.r = out.r + scene.ambient.r * material.diffuse.r;
    out.g = out.g + scene.ambient.g * material.diffuse.g;
    out.b = out.b + scene.ambient.b * material.diffuse.b;

    AddDirectLight(context, thread, shadowOrigin, n, bounce.mirror, reflectWeight, material, inside,
                   out);

    if (depth > 0) {
        // Each secondary ray is spread by the roughness, then followed one generation further.
        const auto traceMirrored = [&]() {
            Ray mirrored{
                AsPoint(hit.point + kSurfaceOffset * facingNormal),
                Normalized(JitterAxis(thread.random, hit.t, material.roughness, bounce.mirror))};
            ++thread.rays.secondary;
            return Trace(context, thread, mirrored, inside, depth - 1);
        };
        const auto traceTransmitted = [&]() {
            Ray refracted{AsPoint(hit.point - kSurfaceOffset * facingNormal),
                          Normalized(JitterAxis(thread.random, hit.t, material.roughness,
                                                bounce.transmitted))};
            ++thread.rays.secondary;
            return Trace(context, thread, refracted, !inside, depth - 1);
        };

        if (context.stochastic.load(std::memory_order_relaxed)) {
            // One random number picks at most one of the two rays; the choice is not
            // compensated, the traced colour keeps its plain weight.
            const float u = RandomUnit(thread.random);
            if (u < reflectWeight) {
                AddWeighted(out, reflectWeight, traceMirrored());
            } else if (u < reflectWeight + transmitWeight) {
                AddWeighted(out, transmitWeight, traceTransmitted());
            }
        } else {
            if (reflectWeight > 0.0f) {
                AddWeighted(out, reflectWeight, traceMirrored());
            }
            if (transmitWeight > 0.0f) {
                AddWeighted(out, transmitWeight, traceTransmitted());
            }
        }
    }

    // Absorption over the segment from the ray's origin to the hit (t is its length, as the
    // direction has unit length).
    if (absorbing.r != 1.0f || absorbing.g != 1.0f || absorbing.b != 1.0f) {
        out.r = out.r * std::pow(absorbing.r, hit.t);
        out.g = out.g * std::pow(absorbing.g, hit.t);
        out.b = out.b * std::pow(absorbing.b, hit.t);
    }

    out.r = Clamp(out.r);
    out.g = Clamp(out.g);
    out.b = Clamp(out.b);
    return out;
}

}  // namespace lumivex
