// Running a render: the picture's rows split into bands, each rendered by a worker thread with
// the chosen pixel driver, stoppable at any pixel.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "render/pixel_drivers.h"
#include "render/render_context.h"

namespace lumivex {

inline constexpr unsigned kMaxWorkers = 16;

// Rows y0 <= y < y1 of the picture.
struct Band {
    std::uint32_t y0 = 0;
    std::uint32_t y1 = 0;

    friend bool operator==(const Band&, const Band&) = default;
};

// The worker count for a processor count: at most 16, and at least 1 even where the count is
// unknown (0).
unsigned WorkerCountFor(unsigned processors);
// WorkerCountFor this machine's processors.
unsigned DefaultWorkerCount();

// `count` bands of height / count rows each (integer division); the last one ends at `height`,
// so together they cover every row. Bands may be empty when there are more bands than rows.
std::vector<Band> SplitIntoBands(std::uint32_t height, unsigned count);

struct RenderRequest {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    AntialiasMode mode = AntialiasMode::Off;
    unsigned bands = 1;  // the picture depends on this count: each band restarts the random source
    unsigned threads = 0;  // threads that take bands in turn; 0 means one per band
};

// Starts and stops renders. The owner (one controlling thread) calls every member; workers only
// call the band-finished callback.
class RenderDispatcher {
  public:
    // Called on the worker's thread when a band is complete (never for a stopped one), with the
    // band's index and the seconds the worker spent on it.
    using BandFinished = std::function<void(unsigned band, double seconds)>;

    RenderDispatcher() = default;
    RenderDispatcher(const RenderDispatcher&) = delete;
    RenderDispatcher& operator=(const RenderDispatcher&) = delete;
    ~RenderDispatcher() { Stop(); }

    // Stops any running render, then starts one worker thread per band (or request.threads
    // threads taking bands in order). The context, its scene and its buffer must stay alive and
    // unchanged (apart from the Stochastic flag) until the render has finished or been stopped.
    void Start(RenderContext& context, const RenderRequest& request,
               BandFinished onBandFinished = {});

    // Asks every worker to stop at its next pixel and waits for all of them; a stopped worker
    // writes no further pixel and reports nothing. When this returns, the scene may be replaced.
    void Stop();

    // Waits until every band is done.
    void Wait();

    // True when no worker is running any more (done or stopped).
    bool Finished() const;

    const std::vector<Band>& Bands() const { return bands; }
    // Rows finished so far, per band or in all; readable while workers run.
    std::uint32_t RowsFinished(unsigned band) const;
    std::uint64_t RowsFinished() const;
    // Rays traced by the last render's workers; complete once it has finished.
    RayCounts Rays() const;

  private:
    void Join();
    void RunWorker(unsigned slot, RenderContext& context, const RenderRequest& request,
                   const BandFinished& onBandFinished);

    std::vector<std::thread> threads;
    std::vector<Band> bands;
    std::unique_ptr<std::atomic<std::uint32_t>[]> rowsFinished;
    std::vector<RayCounts> raysPerThread;
    std::atomic<unsigned> nextBand{0};
    std::atomic<unsigned> runningThreads{0};
    std::atomic<bool> stopRequested{false};
};

}  // namespace lumivex
