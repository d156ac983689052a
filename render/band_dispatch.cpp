#include "render/band_dispatch.h"

#include <algorithm>
#include <chrono>

namespace lumivex {

unsigned WorkerCountFor(unsigned processors) {
    return std::clamp(processors, 1u, kMaxWorkers);
}

unsigned DefaultWorkerCount() {
    return WorkerCountFor(std::thread::hardware_concurrency());
}

std::vector<Band> SplitIntoBands(std::uint32_t height, unsigned count) {
    std::vector<Band> bands(count);
    const std::uint32_t rows = count == 0 ? 0 : height / count;
    for (unsigned j = 0; j < count; ++j) {
        bands[j] = {j * rows, j + 1 == count ? height : (j + 1) * rows};
    }
    return bands;
}

void RenderDispatcher::Start(RenderContext& context, const RenderRequest& request,
                             BandFinished onBandFinished) {
    Stop();
    bands = SplitIntoBands(request.height, request.bands);
    rowsFinished = std::make_unique<std::atomic<std::uint32_t>[]>(bands.size());
    const unsigned threadCount = static_cast<unsigned>(
        std::min<std::size_t>(request.threads == 0 ? bands.size() : request.threads, bands.size()));
    raysPerThread.assign(threadCount, {});
    nextBand.store(0);
    runningThreads.store(threadCount);
    threads.reserve(threadCount);
    for (unsigned slot = 0; slot < threadCount; ++slot) {
        threads.emplace_back([this, slot, &context, request, onBandFinished] {
            RunWorker(slot, context, request, onBandFinished);
        });
    }
}

void RenderDispatcher::RunWorker(unsigned slot, RenderContext& context,
                                 const RenderRequest& request, const BandFinished& onBandFinished) {
    WorkerState worker;
    worker.stopRequested = &stopRequested;
    for (unsigned index = nextBand.fetch_add(1); index < bands.size() && !worker.ShouldStop();
         index = nextBand.fetch_add(1)) {
        const Band& band = bands[index];
        const auto start = std::chrono::steady_clock::now();
        worker.random.Restart();
        worker.rowsFinished = &rowsFinished[index];
        RenderBand(request.mode, context, worker, request.width, request.height, 0, band.y0,
                   request.width, band.y1);
        if (worker.ShouldStop()) {
            break;
        }
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        if (onBandFinished) {
            onBandFinished(index, seconds.count());
        }
    }
    raysPerThread[slot] = worker.rays;
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

bool RenderDispatcher::Finished() const {
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
