// Kernels of the renderer on the worked example: the nearest-hit search and a whole Trace per
// camera ray, over a fixed grid of camera rays.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "render/nearest_hit.h"
#include "render/pixel_drivers.h"
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

void BM_FindNearestHit(benchmark::State& state, const char* example) {
    const auto scene = LoadExample(example);
    std::vector<Ray> rays = CameraRays(*scene);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindNearestHit(*scene, rays[i]));
        i = (i + 1) % rays.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_FindNearestHit, worked_example, "worked-example");
BENCHMARK_CAPTURE(BM_FindNearestHit, showcase, "showcase");

void BM_TraceCameraRay(benchmark::State& state, const char* example) {
    const auto scene = LoadExample(example);
    std::vector<Ray> rays = CameraRays(*scene);
    RenderContext context;
    context.scene = scene.get();
    WorkerState worker;
    std::size_t i = 0;
    for (auto _ : state) {
        Ray ray = rays[i];
        benchmark::DoNotOptimize(Trace(context, worker, ray, false, kCameraRayDepth));
        i = (i + 1) % rays.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rays/s"] = benchmark::Counter(
        static_cast<double>(worker.rays.secondary + worker.rays.shadow + state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_TraceCameraRay, worked_example, "worked-example");
BENCHMARK_CAPTURE(BM_TraceCameraRay, showcase, "showcase");

}  // namespace
}  // namespace lumivex
