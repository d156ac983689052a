// Rendering a scene into the picture's words through a render session, for every suite that
// compares pictures.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "render/render_session.h"
#include "scene/scene_loader.h"

namespace lumivex::testing {

// The text of examples/NAME.txt.
inline std::string ExampleText(const std::string& name) {
    std::ifstream in(std::string(LUMIVEX_SOURCE_DIR) + "/examples/" + name + ".txt",
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

// Every word of a picture, row 0 (the bottom row) first.
inline std::vector<std::uint32_t> Words(const PixelBuffer& pixels) {
    std::vector<std::uint32_t> words(static_cast<std::size_t>(pixels.GetWidth()) *
                                     pixels.GetHeight());
    for (std::uint32_t y = 0; y < pixels.GetHeight(); ++y) {
        pixels.LoadRow(y, words.data() + static_cast<std::size_t>(y) * pixels.GetWidth());
    }
    return words;
}

// A complete render of `scene` as `request` asks.
inline std::vector<std::uint32_t> RenderWords(std::unique_ptr<Scene> scene,
                                              const RenderRequest& request) {
    RenderSession session;
    session.SetScene(PrepareScene(std::move(scene), request.accelerate));
    session.Start(request);
    session.Wait();
    return Words(*session.GetPixels());
}

inline std::vector<std::uint32_t> RenderWords(const std::string& sceneText,
                                              const RenderRequest& request) {
    return RenderWords(LoadSceneText(sceneText).scene, request);
}

inline RenderRequest Request(std::uint32_t width, std::uint32_t height,
                             AntialiasMode mode = AntialiasMode::Off, unsigned bands = 1,
                             bool stochastic = false, unsigned threads = 0,
                             bool accelerate = true) {
    RenderRequest request;
    request.picture = {width, height};
    request.mode = mode;
    request.bands = bands;
    request.stochastic = stochastic;
    request.threads = threads;
    request.accelerate = accelerate;
    return request;
}

}  // namespace lumivex::testing
