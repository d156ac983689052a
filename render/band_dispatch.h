// Running a render: the picture's bands handed to threads, each rendering with the chosen pixel
// driver, stoppable at any ray.
#pragma once

#include <array>
#include <atomic>
#include <barrier>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "render/pixel_drivers.h"
#include "render/render_context.h"

namespace lumivex {

// The default band count: one per processor, at most this many.
inline constexpr unsigned kMaxDefaultBands = 16;

// The band count for a processor count: at most 16, and at least 1 even where the count is
// unknown (0).
unsigned DefaultBandCountFor(unsigned processors);
// DefaultBandCountFor this machine's processors.
unsigned DefaultBandCount();
// This machine's processors, at least 1.
unsigned ProcessorCount();

// `count` bands of height / count rows each (integer division); the last one ends at `height`,
// so together they cover every row. Bands may be empty when there are more bands than rows.
std::vector<Band> SplitIntoBands(std::uint32_t height, unsigned count);

// The coarse preview drawn over the whole frame before the bands: one pass per block size, each
// block filled with the colour of one ray.
inline constexpr std::array<std::uint32_t, 2> kPreviewBlockSizes{8, 2};

// Whether and how a render starts with the preview.
struct PreviewRequest {
    bool draw = false;  // draw the preview before the bands
    bool only = false;  // with draw: the threads end after the preview, rendering no band
    // Called once on a rendering thread when the last pass is drawn, before any band starts (the
    // other threads wait for it); never for a stopped preview.
    std::function<void()> onFinished;
};

// Starts and stops the threads of a render, each taking the next band when it is done. The owner
// (one controlling thread) calls every member; the threads only call the band-finished callback.
class RenderDispatcher {
  public:
    // Called on the rendering thread when a band is complete (never for a stopped one), with the
    // band's index and the seconds spent on it.
    using BandFinished = std::function<void(unsigned band, double seconds)>;

    RenderDispatcher() = default;
    RenderDispatcher(const RenderDispatcher&) = delete;
    RenderDispatcher& operator=(const RenderDispatcher&) = delete;
    ~RenderDispatcher() { Stop(); }

    // Stops any running render, then renders `bands` of the picture in `mode` with `threads`
    // threads (at least one, at most one per band). The context, its scene and its buffer must
    // stay alive and unchanged (apart from the Stochastic flag) until the render has finished or
    // been stopped. With a preview, the threads first share out each pass's rows of blocks and
    // wait for each other after every pass; the bands then overwrite every pixel, so the finished
    // picture is the same as without the preview.
    void Start(RenderContext& context, PictureSize picture, AntialiasMode mode,
               std::vector<Band> bands, unsigned threads, BandFinished onBandFinished = {},
               PreviewRequest preview = {});

    // Asks every thread to stop at its next ray and waits for all of them; a stopped thread
    // writes no further pixel and reports nothing. When this returns, the scene may be replaced.
    void Stop();

    // Waits until every band is done.
    void Wait();

    // True when no thread is running any more (done or stopped).
    bool IsFinished() const;
    // True while the preview is being drawn: from Start until its last pass is done or stopped.
    bool IsPreviewing() const { return previewing.load(std::memory_order_acquire); }

    const std::vector<Band>& GetBands() const { return bands; }
    // Rows finished so far, per band or in all; readable while threads run.
    std::uint32_t RowsFinished(unsigned band) const;
    std::uint64_t RowsFinished() const;
    // Rays traced by the last render's threads; complete once it has finished.
    RayCounts Rays() const;

  private:
    void Join();
    void RunThread(unsigned slot, RenderContext& context, PictureSize picture, AntialiasMode mode,
                   const BandFinished& onBandFinished);
    void DrawPreview(const RenderContext& context, PictureSize picture, ThreadState& thread);

    // Runs once at the end of every preview pass, on the last thread to arrive at the barrier,
    // while the others still wait.
    struct PreviewPassEnd {
        RenderDispatcher* dispatcher;
        void operator()() const noexcept;
    };

    std::vector<std::thread> threads;
    std::vector<Band> bands;
    std::unique_ptr<std::atomic<std::uint32_t>[]> rowsFinished;
    std::vector<RayCounts> raysPerThread;
    std::atomic<unsigned> nextBand{0};
    std::atomic<unsigned> runningThreads{0};
    std::atomic<bool> stopRequested{false};

    PreviewRequest preview;
    std::unique_ptr<std::barrier<PreviewPassEnd>> previewBarrier;
    std::array<std::atomic<std::uint32_t>, kPreviewBlockSizes.size()> nextPreviewRow{};
    std::size_t previewPassesEnded = 0;  // written only at the barrier, one pass at a time
    std::atomic<bool> previewing{false};
};

}  // namespace lumivex
