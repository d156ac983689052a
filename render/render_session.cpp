#include "render/render_session.h"

#include <algorithm>

namespace lumivex {

PreparedScene PrepareScene(std::unique_ptr<Scene> scene, bool accelerate,
                           const std::atomic<bool>* stop) {
    PreparedScene prepared{std::move(scene), nullptr, false};
    if (accelerate) {
        prepared.index = std::make_unique<SceneIndex>(*prepared.scene, stop);
        prepared.stopped = prepared.index->Stopped();
    }
    return prepared;
}

RenderSession::RenderSession() : scene(std::make_unique<Scene>()), walk(*scene) {
    context.scene = scene.get();
    context.hits = &walk;
}

RenderSession::~RenderSession() {
    // The threads first; then the scene, the render context and the picture, in that order.
    Stop();
    index.reset();
    scene.reset();
    context.scene = nullptr;
    context.hits = nullptr;
    context.pixels = nullptr;
    context.colors = nullptr;
    pixels.reset();
    colors.reset();
}

void RenderSession::SetScene(PreparedScene prepared) {
    Stop();
    // The index was built over the loaded objects, which TakeOver moves without copying; until
    // it is in place the plain walk answers.
    context.hits = &walk;
    index.reset();
    scene->TakeOver(*prepared.scene);
    // An index whose build was stopped part-way is incomplete; the next Start builds it anew.
    if (!prepared.stopped) {
        index = std::move(prepared.index);
    }
}

void RenderSession::ResizePicture(PictureSize size) {
    Stop();
    auto fresh = std::make_unique<PixelBuffer>(size.width, size.height);
    auto freshColors =
        keepColors ? std::make_unique<ColorBuffer>(size.width, size.height) : nullptr;
    pixels = std::move(fresh);
    colors = std::move(freshColors);
    context.pixels = pixels.get();
    context.colors = colors.get();
}

void RenderSession::KeepColors(bool keep) {
    Stop();
    keepColors = keep;
    if (!keep || pixels == nullptr) {
        context.colors = nullptr;
        colors.reset();
    } else if (colors == nullptr) {
        colors = std::make_unique<ColorBuffer>(pixels->GetWidth(), pixels->GetHeight());
        context.colors = colors.get();
    }
}

void RenderSession::SetAcceleration(bool accelerate) {
    Stop();
    if (accelerate && index == nullptr) {
        index = std::make_unique<SceneIndex>(*scene);
    }
    context.hits = accelerate ? static_cast<const HitFinder*>(index.get()) : &walk;
}

void RenderSession::ReleasePicture() {
    Stop();
    context.pixels = nullptr;
    context.colors = nullptr;
    pixels.reset();
    colors.reset();
}

void RenderSession::Start(const RenderRequest& request, BandFinished onBandFinished,
                          std::function<void()> onPreviewFinished) {
    Stop();
    if (pixels == nullptr || pixels->GetWidth() != request.picture.width ||
        pixels->GetHeight() != request.picture.height) {
        ResizePicture(request.picture);
    }
    SetAcceleration(request.accelerate);
    context.stochastic.store(request.stochastic);
    lastRequest = request;
    bandsDone.store(0);
    lastBandNanoseconds.store(0);
    started = Clock::now();
    std::vector<Band> bands = SplitIntoBands(request.picture.height, request.bands);
    std::vector<unsigned> numbers;
    if (!request.onlyBands.empty()) {
        std::vector<Band> chosen;
        for (const unsigned number : request.onlyBands) {
            if (number < bands.size()) {
                chosen.push_back(bands[number]);
                numbers.push_back(number);
            }
        }
        bands = std::move(chosen);
    }
    const auto bandCount = static_cast<unsigned>(bands.size());
    const unsigned threads =
        request.threads != 0 ? request.threads : std::min(bandCount, ProcessorCount());
    dispatcher.Start(
        context, request.picture, request.mode, std::move(bands), std::max(threads, 1u),
        [this, onBandFinished, numbers = std::move(numbers)](unsigned band, double seconds) {
            const std::int64_t now =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started)
                    .count();
            std::int64_t seen = lastBandNanoseconds.load();
            while (seen < now && !lastBandNanoseconds.compare_exchange_weak(seen, now)) {
            }
            bandsDone.fetch_add(1);
            if (onBandFinished) {
                onBandFinished(numbers.empty() ? band : numbers[band], seconds);
            }
        },
        PreviewRequest{request.preview || request.previewOnly, request.previewOnly,
                       std::move(onPreviewFinished)});
}

void RenderSession::Stop() {
    dispatcher.Stop();
}

void RenderSession::Wait() {
    dispatcher.Wait();
}

void RenderSession::SetStochastic(bool on) {
    context.stochastic.store(on);
}

bool RenderSession::IsRunning() const {
    return lastRequest.has_value() && !dispatcher.IsFinished();
}

bool RenderSession::IsComplete() const {
    return lastRequest.has_value() && !lastRequest->previewOnly && dispatcher.IsFinished() &&
           bandsDone.load() == dispatcher.GetBands().size();
}

double RenderSession::ElapsedSeconds() const {
    if (!lastRequest) {
        return 0.0;
    }
    if (IsComplete()) {
        return LastBandSeconds();
    }
    return std::chrono::duration<double>(Clock::now() - started).count();
}

}  // namespace lumivex

namespace lumivex {

double RenderSession::LastBandSeconds() const {
    return static_cast<double>(lastBandNanoseconds.load()) / 1e9;
}

}  // namespace lumivex
