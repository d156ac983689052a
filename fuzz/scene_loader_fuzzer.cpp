// libFuzzer target for the scene loader: any bytes must load without a crash, a sanitizer
// report, a hang or runaway memory, and whatever loads must be usable.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scene/scene_loader.h"

using namespace lumivex;

// Where each run leaves a summary of what it touched, so the work is not optimised away.
volatile std::size_t fuzzSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SceneLoadResult result = LoadSceneText(std::string(reinterpret_cast<const char*>(data), size));

    // Format everything the command line would print, and touch every object the way the
    // renderer will, so the sanitizers see any bad state the loader left behind.
    std::size_t sink = 0;
    if (result.diagnostic) {
        sink += FormatDiagnostic("fuzz.txt", *result.diagnostic, "error").size();
    }
    for (const SceneDiagnostic& warning : result.warnings) {
        sink += FormatDiagnostic("fuzz.txt", warning, "warning").size();
    }
    const Scene& scene = *result.scene;
    Ray ray{AsPoint(scene.camera.centre + scene.camera.eyeOffset),
            AsDirection(-scene.camera.eyeOffset)};
    for (const auto& object : scene.objects) {
        sink += object->GetBoundingSphere().radius > 0.0f;
        sink += object->GetBoundingBox().min.x <= object->GetBoundingBox().max.x;
        Ray copy = ray;
        sink += object->Intersect(copy).hit;
    }
    fuzzSink = sink;
    return 0;
}
