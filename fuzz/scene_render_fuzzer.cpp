// libFuzzer target for the renderer: whatever scene loads must index and render without a crash,
// a sanitizer report or a hang, and the scene index must give the picture of the plain walk over
// the object list, word for word, with the same ray counts.
//
// The input's last byte picks the render, so that one input explores one combination cheaply;
// with v = byte - '0' (mod 256): antialiasing mode v % 3 (off, jittered, Monte Carlo),
// Stochastic on when (v / 3) is odd, and 1 + (v / 6) % 3 bands. The bytes before it are the scene
// file. A last line "0" to "5" thus renders with one band: 0 to 2 the three modes, 3 to 5 the same
// with Stochastic on.
//
// A legal scene can take very long to render (every hit of a glass object may spawn two rays, 16
// generations deep, and shoots 16 shadow rays at each of up to hundreds of lights), so the plain
// render runs over metered copies of the objects that charge each bounding-sphere test and each
// intersection to a budget. Once it is spent, every object misses, which ends every ray at once,
// and the input is not rendered further. A scene that renders within the budget is rendered again
// with the index, which traces the same rays and tests no more objects per ray.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "geometry/polygon3d.h"
#include "render/render_session.h"
#include "scene/scene_loader.h"

using namespace lumivex;

namespace {

constexpr std::uint32_t kWidth = 4;
constexpr std::uint32_t kHeight = 3;
// Bounding-sphere tests and intersections (a polygon's counting once per fan triangle) that one
// render may spend: a few tens of milliseconds under the sanitizers.
constexpr std::uint64_t kWorkBudget = 500'000;

struct Combination {
    AntialiasMode mode;
    bool stochastic;
    unsigned bands;
};

Combination CombinationFor(std::uint8_t byte) {
    const unsigned v = static_cast<std::uint8_t>(byte - '0');
    return {static_cast<AntialiasMode>(v % 3), (v / 3) % 2 == 1, 1 + (v / 6) % 3};
}

class WorkMeter {
  public:
    void Spend(std::uint64_t units) { spent += units; }
    bool Exhausted() const { return spent > kWorkBudget; }

  private:
    std::uint64_t spent = 0;
};

// A shape that answers exactly as the one it wraps and charges its work to the meter; once the
// budget is spent, it is missed by every ray.
class MeteredShape final : public Geometry {
  public:
    MeteredShape(const Geometry& shape, WorkMeter& meter) : shape(shape), meter(meter) {
        if (shape.GetKind() == ShapeKind::Polygon) {
            intersectionCost += static_cast<const Polygon3D&>(shape).GetTriangles().size();
        }
    }
    MeteredShape(const MeteredShape&) = default;

    const BoundingSphere& GetBoundingSphere() const override {
        meter.Spend(1);
        return shape.GetBoundingSphere();
    }
    const BoundingBox& GetBoundingBox() const override { return shape.GetBoundingBox(); }
    HitRecord Intersect(Ray& ray) const override {
        meter.Spend(intersectionCost);
        if (meter.Exhausted()) {
            return HitRecord{};
        }
        return shape.Intersect(ray);
    }
    bool HitDistance(const Ray& ray, float& t) const override {
        meter.Spend(intersectionCost);
        return !meter.Exhausted() && shape.HitDistance(ray, t);
    }
    std::unique_ptr<Geometry> Clone() const override {
        return std::make_unique<MeteredShape>(*this);
    }
    // Only the plain walk sees metered shapes; the index, which would take this for the
    // concrete shape, is built over the originals.
    ShapeKind GetKind() const override { return shape.GetKind(); }
    bool Contains(const Vec4& point) const override { return shape.Contains(point); }

  private:
    const Geometry& shape;
    WorkMeter& meter;
    std::uint64_t intersectionCost = 1;
};

struct Rendered {
    std::vector<std::uint32_t> words;
    RayCounts rays;
};

Rendered Render(std::unique_ptr<Scene> scene, bool accelerate, const Combination& combination) {
    RenderSession session;
    session.SetScene(PrepareScene(std::move(scene), accelerate));
    RenderRequest request;
    request.picture = {kWidth, kHeight};
    request.mode = combination.mode;
    request.stochastic = combination.stochastic;
    request.bands = combination.bands;
    request.threads = 1;
    request.accelerate = accelerate;
    session.Start(request);
    session.Wait();

    Rendered rendered{std::vector<std::uint32_t>(kWidth * kHeight), session.Rays()};
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        session.GetPixels()->LoadRow(y, rendered.words.data() + y * kWidth);
    }
    return rendered;
}

[[noreturn]] void ReportDifference(const Rendered& plain, const Rendered& indexed,
                                   const Combination& combination) {
    std::fprintf(stderr,
                 "scene_render_fuzzer: the index and the plain walk differ (mode %d, stochastic "
                 "%d, %u bands)\n",
                 static_cast<int>(combination.mode), combination.stochastic ? 1 : 0,
                 combination.bands);
    for (std::size_t i = 0; i < plain.words.size(); ++i) {
        if (plain.words[i] != indexed.words[i]) {
            std::fprintf(stderr, "  pixel (%zu, %zu): plain %06x, indexed %06x\n", i % kWidth,
                         i / kWidth, static_cast<unsigned>(plain.words[i]),
                         static_cast<unsigned>(indexed.words[i]));
        }
    }
    std::fprintf(stderr,
                 "  rays: plain %llu camera, %llu secondary, %llu shadow; indexed %llu, %llu, "
                 "%llu\n",
                 static_cast<unsigned long long>(plain.rays.camera),
                 static_cast<unsigned long long>(plain.rays.secondary),
                 static_cast<unsigned long long>(plain.rays.shadow),
                 static_cast<unsigned long long>(indexed.rays.camera),
                 static_cast<unsigned long long>(indexed.rays.secondary),
                 static_cast<unsigned long long>(indexed.rays.shadow));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const Combination combination = CombinationFor(data[size - 1]);
    SceneLoadResult loaded =
        LoadSceneText(std::string(reinterpret_cast<const char*>(data), size - 1));
    const Scene& scene = *loaded.scene;

    // The plain walk over metered copies first; the copies refer to the loaded objects, which
    // the second session takes over without moving them.
    WorkMeter meter;
    auto metered = std::make_unique<Scene>();
    metered->camera = scene.camera;
    metered->lights = scene.lights;
    metered->ambient = scene.ambient;
    metered->air = scene.air;
    for (const auto& object : scene.objects) {
        metered->AddObject(MeteredShape(*object, meter));
    }
    const Rendered plain = Render(std::move(metered), false, combination);
    if (meter.Exhausted()) {
        return 0;
    }

    const Rendered indexed = Render(std::move(loaded.scene), true, combination);
    if (plain.words != indexed.words || plain.rays.camera != indexed.rays.camera ||
        plain.rays.secondary != indexed.rays.secondary ||
        plain.rays.shadow != indexed.rays.shadow) {
        ReportDifference(plain, indexed, combination);
    }
    return 0;
}
