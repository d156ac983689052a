// Kernels of the renderer on the worked example and the showcase: the nearest-hit search and a
// whole Trace per camera ray, over a fixed grid of camera rays, each with the plain walk over the
// object list and with the scene index.
#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "render/pixel_drivers.h"
#include "render/random.h"
#include "render/render_session.h"
#include "render/trace.h"
#include "scene/scene_loader.h"

namespace lumivex {
namespace {

constexpr std::uint32_t kGrid = 64;

std::unique_ptr<Scene> LoadExample(const char* name) {
    std::ifstream in(std::string(LUMIVEX_SOURCE_DIR) + "/examples/" + name + ".txt");
    return LoadScene(in).scene;
}

// Camera rays through a kGrid x kGrid grid over the picture.
std::vector<Ray> CameraRays(const Scene& scene) {
    const Camera& camera = scene.camera;
    const Vec4 eye = AsPoint(camera.centre + camera.eyeOffset);
    std::vector<Ray> rays;
    for (std::uint32_t y = 0; y < kGrid; ++y) {
        for (std::uint32_t x = 0; x < kGrid; ++x) {
            rays.push_back({eye, Normalized(CameraDirection(camera, kGrid, kGrid, x, y))});
        }
    }
    return rays;
}

// A session on the example, finding hits by the plain walk or through the index.
std::unique_ptr<RenderSession> ExampleSession(const char* example, bool indexed) {
    auto session = std::make_unique<RenderSession>();
    session->SetScene(PrepareScene(LoadExample(example), indexed));
    session->SetAcceleration(indexed);
    return session;
}

void BM_FindNearestHit(benchmark::State& state, const char* example, bool indexed) {
    const auto session = ExampleSession(example, indexed);
    const HitFinder& hits = *session->GetContext().hits;
    std::vector<Ray> rays = CameraRays(session->GetScene());
    std::size_t i = 0;
    for (auto _ : state) {
        Ray& ray = rays[i];
        benchmark::DoNotOptimize(hits.FindNearestHit(ray));
        i = (i + 1) % rays.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_FindNearestHit, worked_example_plain, "worked-example", false);
BENCHMARK_CAPTURE(BM_FindNearestHit, worked_example_indexed, "worked-example", true);
BENCHMARK_CAPTURE(BM_FindNearestHit, showcase_plain, "showcase", false);
BENCHMARK_CAPTURE(BM_FindNearestHit, showcase_indexed, "showcase", true);

void BM_TraceCameraRay(benchmark::State& state, const char* example, bool indexed) {
    const auto session = ExampleSession(example, indexed);
    std::vector<Ray> rays = CameraRays(session->GetScene());
    ThreadState thread;
    std::size_t i = 0;
    for (auto _ : state) {
        Ray ray = rays[i];
        benchmark::DoNotOptimize(Trace(session->GetContext(), thread, ray, false, kCameraRayDepth));
        i = (i + 1) % rays.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rays/s"] = benchmark::Counter(
        static_cast<double>(thread.rays.secondary + thread.rays.shadow + state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_TraceCameraRay, worked_example_plain, "worked-example", false);
BENCHMARK_CAPTURE(BM_TraceCameraRay, worked_example_indexed, "worked-example", true);
BENCHMARK_CAPTURE(BM_TraceCameraRay, showcase_plain, "showcase", false);
BENCHMARK_CAPTURE(BM_TraceCameraRay, showcase_indexed, "showcase", true);

// The shadow questions of a render alone: from the first hit of every camera ray of the grid,
// 16 jittered rays towards each light, as the direct light asks them (one packet per light and
// point, or ray by ray).
struct ShadowQuestion {
    Vec4 origin;
    std::vector<Vec4> directions;
    float distanceSquared;
};

std::vector<ShadowQuestion> ShadowQuestions(const Scene& scene, const HitFinder& hits) {
    std::vector<ShadowQuestion> questions;
    RandomSource random;
    for (Ray ray : CameraRays(scene)) {
        const HitRecord hit = hits.FindNearestHit(ray);
        if (!hit.hit) {
            continue;
        }
        const Vec4 origin = AsPoint(hit.point + 0.001f * Normalized(hit.normal));
        for (const Light& light : scene.lights) {
            const Vec4 toLight = light.position - origin;
            const float distanceSquared = Dot(toLight, toLight);
            const float spread = JitterSpread(std::sqrt(distanceSquared), light.radius);
            ShadowQuestion question{origin, {}, distanceSquared};
            for (int pass = 0; pass < 16; ++pass) {
                question.directions.push_back(Normalized(JitterAxisBy(random, spread, toLight)));
            }
            questions.push_back(std::move(question));
        }
    }
    return questions;
}

void BM_ShadowQuestions(benchmark::State& state, const char* example, bool packets) {
    const auto session = ExampleSession(example, true);
    const HitFinder& hits = *session->GetContext().hits;
    const std::vector<ShadowQuestion> questions = ShadowQuestions(session->GetScene(), hits);
    BlockerHint hint;
    std::size_t i = 0;
    for (auto _ : state) {
        const ShadowQuestion& q = questions[i];
        const int count = static_cast<int>(q.directions.size());
        if (packets) {
            benchmark::DoNotOptimize(
                hits.OccludedMask(q.origin, q.directions.data(), count, q.distanceSquared, hint));
        } else {
            for (const Vec4& direction : q.directions) {
                benchmark::DoNotOptimize(
                    hits.Occluded(Ray{q.origin, direction}, q.distanceSquared, hint));
            }
        }
        i = (i + 1) % questions.size();
    }
    state.counters["rays/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 16,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_ShadowQuestions, showcase_one_by_one, "showcase", false);
BENCHMARK_CAPTURE(BM_ShadowQuestions, showcase_packets, "showcase", true);

void BM_BuildSceneIndex(benchmark::State& state) {
    const auto scene = LoadExample("showcase");
    for (auto _ : state) {
        benchmark::DoNotOptimize(SceneIndex(*scene));
    }
}
BENCHMARK(BM_BuildSceneIndex);

}  // namespace
}  // namespace lumivex
