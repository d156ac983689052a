// Placeholder until the picture size dialog lands.
#pragma once
#include <cstdint>
#include <optional>
#include "render/render_context.h"
#include "scene/camera.h"
class QWidget;
namespace lumivex {
struct PictureSizeChoice {
    PictureSize size;
    bool matchAspect = true;
};
double CameraAspect(const Camera& camera);
std::uint32_t MatchAspect(std::uint32_t width, double aspect);
std::optional<PictureSizeChoice> AskPictureSize(QWidget* parent, PictureSize current,
                                                bool matchAspect, double aspect);
}  // namespace lumivex
