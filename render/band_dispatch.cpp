#include "render/band_dispatch.h"

#include "render/shadow_packet.h"

#include <algorithm>
#include <chrono>

namespace lumivex {

unsigned DefaultBandCountFor(unsigned processors) {
    return std::clamp(processors, 1u, kMaxDefaultBands);
}

unsigned DefaultBandCount() {
    return DefaultBandCountFor(std::thread::hardware_concurrency());
}

unsigned ProcessorCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

std::vector<Band> SplitIntoBands(std::uint32_t height, unsigned count) {
    std::vector<Band> bands(count);
    const std::uint32_t rows = count == 0 ? 0 : height / count;
    for (unsigned j = 0; j < count; ++j) {
        bands[j] = {j * rows, j + 1 == count ? height : (j + 1) * rows};
    }
    return bands;
}

void RenderDispatcher::Start(RenderContext& context, PictureSize picture, AntialiasMode mode,
                             std::vector<Band> bandsToRender, unsigned threadCount,
                             BandFinished onBandFinished, PreviewRequest previewRequest) {
    Stop();
    bands = std::move(bandsToRender);
    preview = std::move(previewRequest);
    rowsFinished = std::make_unique<std::atomic<std::uint32_t>[]>(bands.size());
    threadCount =
        static_cast<unsigned>(std::min<std::size_t>(std::max(threadCount, 1u), bands.size()));
    raysPerThread.assign(threadCount, {});
    nextBand.store(0);
    previewBarrier.reset();
    if (preview.draw && threadCount > 0) {
        previewBarrier =
            std::make_unique<std::barrier<PreviewPassEnd>>(threadCount, PreviewPassEnd{this});
        for (std::atomic<std::uint32_t>& row : nextPreviewRow) {
            row.store(0);
        }
        previewPassesEnded = 0;
        previewing.store(true);
    }
    runningThreads.store(threadCount);
    threads.reserve(threadCount);
    for (unsigned slot = 0; slot < threadCount; ++slot) {
        threads.emplace_back([this, slot, &context, picture, mode, onBandFinished] {
            RunThread(slot, context, picture, mode, onBandFinished);
        });
    }
}

void RenderDispatcher::RunThread(unsigned slot, RenderContext& context, PictureSize picture,
                                 AntialiasMode mode, const BandFinished& onBandFinished) {
    ClearUpperVectorState();
    ThreadState thread;
    thread.stopRequested = &stopRequested;
    if (previewBarrier != nullptr) {
        DrawPreview(context, picture, thread);
    }
    const std::size_t bandsToDraw = preview.draw && preview.only ? 0 : bands.size();
    for (unsigned index = nextBand.fetch_add(1); index < bandsToDraw && !thread.ShouldStop();
         index = nextBand.fetch_add(1)) {
        const auto start = std::chrono::steady_clock::now();
        thread.StartBand();
        thread.rowsFinished = &rowsFinished[index];
        RenderBand(mode, context, thread, picture, bands[index]);
        if (thread.ShouldStop()) {
            break;
        }
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        if (onBandFinished) {
            onBandFinished(index, seconds.count());
        }
    }
    raysPerThread[slot] = thread.rays;
    runningThreads.fetch_sub(1, std::memory_order_release);
}

void RenderDispatcher::DrawPreview(const RenderContext& context, PictureSize picture,
                                   ThreadState& thread) {
    // The preview's own context and random source: one plain ray per block whatever the
    // Stochastic setting, and the bands' random sequences untouched, so that the bands draw
    // exactly what they draw without a preview.
    RenderContext previewContext;
    previewContext.pixels = context.pixels;
    previewContext.scene = context.scene;
    previewContext.hits = context.hits;
    ThreadState previewThread;
    previewThread.stopRequested = &stopRequested;
    for (std::size_t pass = 0; pass < kPreviewBlockSizes.size(); ++pass) {
        const std::uint32_t size = kPreviewBlockSizes[pass];
        const std::uint32_t blockRows = picture.height / size + (picture.height % size != 0);
        for (std::uint32_t row = nextPreviewRow[pass].fetch_add(1);
             row < blockRows && !previewThread.ShouldStop();
             row = nextPreviewRow[pass].fetch_add(1)) {
            RenderPreviewBlockRow(previewContext, previewThread, picture, size, row);
        }
        if (previewThread.ShouldStop()) {
            // Counts as this pass's arrival and leaves the later ones, so that the threads still
            // drawing do not wait for this one.
            previewBarrier->arrive_and_drop();
            break;
        }
        previewBarrier->arrive_and_wait();
    }
    thread.rays += previewThread.rays;
}

void RenderDispatcher::PreviewPassEnd::operator()() const noexcept {
    RenderDispatcher& d = *dispatcher;
    if (++d.previewPassesEnded == kPreviewBlockSizes.size()) {
        d.previewing.store(false, std::memory_order_release);
        if (!d.stopRequested.load() && d.preview.onFinished) {
            d.preview.onFinished();
        }
    }
}

void RenderDispatcher::Stop() {
    stopRequested.store(true);
    Join();
    stopRequested.store(false);
}

void RenderDispatcher::Wait() {
    Join();
}

void RenderDispatcher::Join() {
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    previewing.store(false);
}

bool RenderDispatcher::IsFinished() const {
    return runningThreads.load(std::memory_order_acquire) == 0;
}

std::uint32_t RenderDispatcher::RowsFinished(unsigned band) const {
    return band < bands.size() ? rowsFinished[band].load(std::memory_order_relaxed) : 0;
}

std::uint64_t RenderDispatcher::RowsFinished() const {
    std::uint64_t total = 0;
    for (unsigned band = 0; band < bands.size(); ++band) {
        total += RowsFinished(band);
    }
    return total;
}

RayCounts RenderDispatcher::Rays() const {
    RayCounts total;
    for (const RayCounts& counts : raysPerThread) {
        total += counts;
    }
    return total;
}

}  // namespace lumivex
