#include "render/band_dispatch.h"

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
                             BandFinished onBandFinished) {
    Stop();
    bands = std::move(bandsToRender);
    rowsFinished = std::make_unique<std::atomic<std::uint32_t>[]>(bands.size());
    threadCount =
        static_cast<unsigned>(std::min<std::size_t>(std::max(threadCount, 1u), bands.size()));
    raysPerThread.assign(threadCount, {});
    nextBand.store(0);
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
    ThreadState thread;
    thread.stopRequested = &stopRequested;
    for (unsigned index = nextBand.fetch_add(1); index < bands.size() && !thread.ShouldStop();
         index = nextBand.fetch_add(1)) {
        const auto start = std::chrono::steady_clock::now();
        thread.random.Restart();
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
