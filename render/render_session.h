// A render session: one scene, the way its hits are found, the picture, and the render that
// draws it, started, stopped and watched from one place. Both programs, the benchmarks and the
// tests render through it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "render/band_dispatch.h"
#include "render/nearest_hit.h"
#include "render/render_context.h"
#include "render/scene_index.h"
#include "scene/scene.h"

namespace lumivex {

// What to render. The picture is a pure function of the scene and of picture, mode, stochastic
// and bands; threads and accelerate change only how fast it comes.
struct RenderRequest {
    PictureSize picture{640, 640};
    AntialiasMode mode = AntialiasMode::Off;
    bool stochastic = false;
    unsigned bands = 1;  // each band restarts the random sequence
    // The bands to render, by number from 0 (below `bands`, in any order); empty: all of them.
    // The others' rows keep what the picture held, so a picture can be rendered in pieces, by
    // several processes or after an interruption, and put together with the same bytes.
    std::vector<unsigned> onlyBands;
    unsigned threads = 0;    // threads taking the bands in turn; 0: one per band, at most one per
                             // processor
    bool accelerate = true;  // find hits through the scene index, not the plain walk
    // Draw a coarse preview of the whole frame first; the bands then overwrite all of it.
    bool preview = false;
    // Draw only the preview (implies preview): the threads end after it and the render is not
    // complete.
    bool previewOnly = false;
};

// A loaded scene, with its index when asked for, ready to be handed to a session. Preparing may
// run on any thread: indexing a large scene takes seconds.
struct PreparedScene {
    std::unique_ptr<Scene> scene;
    std::unique_ptr<SceneIndex> index;  // null when not asked for
    bool stopped = false;               // the stop request came first: nothing is usable
};

// Indexes `scene` when `accelerate`, giving up soon after `stop` (when given) becomes true.
PreparedScene PrepareScene(std::unique_ptr<Scene> scene, bool accelerate,
                           const std::atomic<bool>* stop = nullptr);

class RenderSession {
  public:
    // Called on the rendering thread when a band is complete, with the band's number (its place
    // among all the request's bands, also when only some are rendered) and its seconds; never
    // for a stopped render, and never after Stop or Start has returned.
    using BandFinished = RenderDispatcher::BandFinished;

    // An empty scene and no picture yet.
    RenderSession();
    RenderSession(const RenderSession&) = delete;
    RenderSession& operator=(const RenderSession&) = delete;
    ~RenderSession();

    // Stops any render, then takes over the prepared scene's objects, lights and settings. The
    // session's scene stays the same object, so whatever refers to it sees the new contents.
    void SetScene(PreparedScene prepared);

    // Stops any render, then makes a new white picture of `size` (and a black colour buffer, when
    // colours are kept). Throws std::bad_alloc when it cannot be allocated (the old picture is
    // then kept).
    void ResizePicture(PictureSize size);

    // Stops any render and chooses how hits are found from now on: through the scene index (built
    // now if there is none) or by the plain walk.
    void SetAcceleration(bool accelerate);

    // Stops any render and gives the picture's memory back (the colour buffer's too).
    void ReleasePicture();

    // Stops any render and chooses whether renders also keep each pixel's colour as floats,
    // before it is packed into the picture's bytes, in a ColorBuffer of the picture's size
    // (allocated now, when there is a picture, and with every new one). Off by default: the
    // 8-bit picture alone needs none of it. Throws std::bad_alloc when it cannot be allocated.
    void KeepColors(bool keep);

    // Stops any render, then renders as asked over the picture as it stands (a new white one
    // when its size differs from the request's), so that rows not reached yet still show the
    // previous picture. Builds the index first if it is asked for and missing. Throws what
    // allocating the picture or starting threads throws. `onPreviewFinished` is called on a
    // rendering thread once the whole preview is drawn (never for a stopped one), before any band
    // starts; the other threads wait for it, so it should be quick.
    void Start(const RenderRequest& request, BandFinished onBandFinished = {},
               std::function<void()> onPreviewFinished = {});

    // Asks every thread to stop at its next ray and waits for them; the picture keeps what was
    // drawn. When this returns the scene may be changed.
    void Stop();
    // Waits until the render is complete (or stopped from elsewhere).
    void Wait();

    // Stochastic on or off, at once, also for a running render.
    void SetStochastic(bool on);

    // Whether threads are still rendering.
    bool IsRunning() const;
    // Whether the latest render is drawing its preview.
    bool IsPreviewing() const { return dispatcher.IsPreviewing(); }
    // Whether the latest render drew every band it was asked for (never for a preview only).
    bool IsComplete() const;

    // The latest render's request, once one has started.
    const std::optional<RenderRequest>& GetLastRequest() const { return lastRequest; }
    // The bands being rendered, in the order of RowsFinished(band): all the request's, or those
    // it names.
    const std::vector<Band>& GetBands() const { return dispatcher.GetBands(); }
    // Rows finished so far, per band being rendered or in all; readable while the render runs.
    std::uint32_t RowsFinished(unsigned band) const { return dispatcher.RowsFinished(band); }
    std::uint64_t RowsFinished() const { return dispatcher.RowsFinished(); }
    // Seconds since the latest render started; once it is complete, until its last band was.
    double ElapsedSeconds() const;
    // Seconds from the latest render's start to the end of the last band finished so far.
    double LastBandSeconds() const;
    // Rays the latest render traced; complete once it has finished.
    RayCounts Rays() const { return dispatcher.Rays(); }

    // The scene: to be changed (the camera, say) only while no render runs.
    Scene& GetScene() { return *scene; }
    const Scene& GetScene() const { return *scene; }
    const SceneIndex* GetIndex() const { return index.get(); }
    // Null before the first picture is made.
    PixelBuffer* GetPixels() { return pixels.get(); }
    const PixelBuffer* GetPixels() const { return pixels.get(); }
    // Null unless KeepColors(true) and a picture; to be read only while no render runs.
    ColorBuffer* GetColors() { return colors.get(); }
    const ColorBuffer* GetColors() const { return colors.get(); }
    const RenderContext& GetContext() const { return context; }

  private:
    using Clock = std::chrono::steady_clock;

    std::unique_ptr<Scene> scene;
    ObjectListWalk walk;
    std::unique_ptr<SceneIndex> index;
    std::unique_ptr<PixelBuffer> pixels;
    bool keepColors = false;
    std::unique_ptr<ColorBuffer> colors;
    RenderContext context;
    std::optional<RenderRequest> lastRequest;
    Clock::time_point started;
    std::atomic<unsigned> bandsDone{0};
    std::atomic<std::int64_t> lastBandNanoseconds{0};
    // Declared last, so that it is destroyed (and its threads stopped) first.
    RenderDispatcher dispatcher;
};

}  // namespace lumivex
