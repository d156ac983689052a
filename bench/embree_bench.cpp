// A peer anchor for the scene index: Intel's Embree 3 answering the same nearest-hit and occlusion
// queries on a scene of spheres with its built-in sphere primitive, beside SceneIndex, one thread
// each. Occlusion asks whether anything lies within kShadowDistance along the ray, as a shadow ray
// towards a light that far away does. Built only where Embree is installed (Debian's
// libembree-dev).
//
//   build/bench/lumivex_embree_bench [--scene FILE]   (default: 10,000 generated spheres)
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry/sphere.h"
#include "render/pixel_drivers.h"
#include "render/scene_index.h"
#include "scene/scene_loader.h"

namespace lumivex {
namespace {

std::string scenePath;

// The same scene bench/generate-spheres writes for 10,000 spheres, built in memory.
std::unique_ptr<Scene> GeneratedSpheres(int count) {
    auto scene = std::make_unique<Scene>();
    std::mt19937 random(1);
    std::uniform_real_distribution<float> position(-10, 10);
    for (int i = 0; i < count; ++i) {
        const Vec4 centre = Point(position(random), position(random), position(random));
        scene->AddObject(
            Sphere(centre, 0.35f, Material({0.5f, 0.5f, 0.5f, 1}, 0, 1, {1, 1, 1, 1}, 1, 1, 0)));
    }
    scene->camera = Camera(Point(0, 0, -28), Direction(0.611f, 0, 0), Direction(0, 0.611f, 0),
                           Direction(0, 0, -1));
    return scene;
}

struct Fixture {
    std::unique_ptr<Scene> scene;
    std::unique_ptr<SceneIndex> index;
    RTCDevice device = nullptr;
    RTCScene embree = nullptr;
    std::vector<const Sphere*> spheres;  // by Embree's primitive number
    std::vector<Ray> cameraRays;
    std::vector<Ray> randomRays;

    Fixture() {
        if (scenePath.empty()) {
            scene = GeneratedSpheres(10000);
        } else {
            std::ifstream file(scenePath);
            if (!file) {
                throw std::runtime_error("cannot open " + scenePath);
            }
            scene = std::move(LoadScene(file).scene);
        }
        index = std::make_unique<SceneIndex>(*scene);

        device = rtcNewDevice(nullptr);
        embree = rtcNewScene(device);
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_SPHERE_POINT);
        for (const auto& object : scene->objects) {
            if (object->GetKind() == ShapeKind::Sphere) {
                spheres.push_back(static_cast<const Sphere*>(object.get()));
            }
        }
        auto* vertices = static_cast<float*>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT4,
                                    4 * sizeof(float), spheres.size()));
        for (std::size_t i = 0; i < spheres.size(); ++i) {
            vertices[4 * i + 0] = spheres[i]->GetCentre().x;
            vertices[4 * i + 1] = spheres[i]->GetCentre().y;
            vertices[4 * i + 2] = spheres[i]->GetCentre().z;
            vertices[4 * i + 3] = spheres[i]->GetRadius();
        }
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(embree, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(embree);

        // Camera rays over a 320 x 320 picture, and rays from random points in random directions.
        const Camera& camera = scene->camera;
        const Vec4 eye = AsPoint(camera.centre + camera.eyeOffset);
        for (std::uint32_t y = 0; y < 320; ++y) {
            for (std::uint32_t x = 0; x < 320; ++x) {
                cameraRays.push_back({eye, Normalized(CameraDirection(camera, 320, 320, x, y))});
            }
        }
        std::mt19937 random(2);
        std::uniform_real_distribution<float> unit(-1, 1);
        for (int i = 0; i < 100000; ++i) {
            const Vec4 origin = Point(10 * unit(random), 10 * unit(random), 10 * unit(random));
            randomRays.push_back(
                {origin, Normalized(Direction(unit(random), unit(random), unit(random)))});
        }
    }
    ~Fixture() {
        rtcReleaseScene(embree);
        rtcReleaseDevice(device);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// Embree's ray for ours, from its origin up to `tfar`.
RTCRay EmbreeRay(const Ray& ray, float tfar) {
    RTCRay query;
    query.org_x = ray.origin.x;
    query.org_y = ray.origin.y;
    query.org_z = ray.origin.z;
    query.dir_x = ray.direction.x;
    query.dir_y = ray.direction.y;
    query.dir_z = ray.direction.z;
    query.tnear = 0.0f;
    query.tfar = tfar;
    query.time = 0.0f;
    query.mask = ~0u;
    query.id = 0;
    query.flags = 0;
    return query;
}

bool EmbreeHit(RTCScene scene, const Ray& ray, float& t, unsigned& primitive) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit query;
    query.ray = EmbreeRay(ray, std::numeric_limits<float>::infinity());
    query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene, &context, &query);
    t = query.ray.tfar;
    primitive = query.hit.primID;
    return query.hit.geomID != RTC_INVALID_GEOMETRY_ID;
}

constexpr float kShadowDistance = 20.0f;

bool EmbreeOccluded(RTCScene scene, const Ray& ray) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRay query = EmbreeRay(ray, kShadowDistance);
    rtcOccluded1(scene, &context, &query);
    // A blocked ray comes back with tfar set to minus infinity.
    return query.tfar < 0.0f;
}

enum class Query { Nearest, Occluded };
// Embree "with record" goes on from its nearest hit to the record SceneIndex returns (the hit
// point, the unit normal and the material), built by the same code: the whole of what the
// renderer asks for.
enum class Engine { Lumivex, Embree, EmbreeWithRecord };

void Run(benchmark::State& state, Engine engine, bool camera, Query query) {
    const bool embree = engine != Engine::Lumivex;
    Fixture& f = Shared();
    const std::vector<Ray>& rays = camera ? f.cameraRays : f.randomRays;
    std::size_t i = 0;
    std::int64_t hits = 0;
    for (auto _ : state) {
        Ray ray = rays[i];
        if (query == Query::Occluded) {
            hits += (embree ? EmbreeOccluded(f.embree, ray)
                            : f.index->Occluded(ray, kShadowDistance * kShadowDistance))
                        ? 1
                        : 0;
        } else if (embree) {
            float t;
            unsigned primitive;
            const bool hit = EmbreeHit(f.embree, ray, t, primitive);
            if (hit && engine == Engine::EmbreeWithRecord) {
                benchmark::DoNotOptimize(f.spheres[primitive]->RecordAt(ray, t));
            }
            hits += hit ? 1 : 0;
        } else {
            hits += f.index->FindNearestHit(ray).hit ? 1 : 0;
        }
        i = i + 1 == rays.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["hit fraction"] =
        static_cast<double>(hits) / static_cast<double>(state.iterations());
}

// Every query on both engines, by name. With LUMIVEX_BENCH_ITERATIONS set each runs that many
// queries rather than for a set time, so that whole-process timings of two builds compare the
// same work.
void RegisterQueries() {
    const char* fixed = std::getenv("LUMIVEX_BENCH_ITERATIONS");
    const struct {
        const char* name;
        bool camera;
        Query query;
    } queries[] = {{"CameraRays", true, Query::Nearest},
                   {"RandomRays", false, Query::Nearest},
                   {"CameraShadowRays", true, Query::Occluded},
                   {"RandomShadowRays", false, Query::Occluded}};
    const struct {
        Engine engine;
        const char* suffix;
    } engines[] = {{Engine::Lumivex, "_Lumivex"},
                   {Engine::Embree, "_Embree"},
                   {Engine::EmbreeWithRecord, "_EmbreeWithRecord"}};
    for (const auto& q : queries) {
        for (const auto& e : engines) {
            if (e.engine == Engine::EmbreeWithRecord && q.query != Query::Nearest) {
                continue;
            }
            const std::string name = std::string("BM_") + q.name + e.suffix;
            const Engine engine = e.engine;
            auto* benchmark = benchmark::RegisterBenchmark(
                name.c_str(),
                [q, engine](benchmark::State& state) { Run(state, engine, q.camera, q.query); });
            if (fixed != nullptr) {
                benchmark->Iterations(std::atoll(fixed));
            }
        }
    }
}

}  // namespace
}  // namespace lumivex

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scene") == 0 && i + 1 < argc) {
            lumivex::scenePath = argv[i + 1];
            for (int j = i; j + 2 <= argc; ++j) {
                argv[j] = argv[j + 2];
            }
            argc -= 2;
            break;
        }
    }
    lumivex::RegisterQueries();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
