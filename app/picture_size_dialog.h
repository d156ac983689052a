// Choosing the picture's size: a few common sizes or any other, with the height optionally
// following the width in the camera's aspect.
#pragma once

#include <cstdint>
#include <optional>

#include <QDialog>

#include "render/render_context.h"
#include "scene/camera.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace lumivex {

inline constexpr std::uint32_t kMaxPictureSide = 16384;

// The sizes offered by name; the dialog lists them in this order, then Custom.
inline constexpr PictureSize kPictureSizePresets[] = {
    {320, 320}, {640, 640}, {1024, 1024}, {800, 600}, {1280, 720}};

struct PictureSizeChoice {
    PictureSize size;
    bool matchAspect = true;

    friend bool operator==(const PictureSizeChoice&, const PictureSizeChoice&) = default;
};

// The camera's height over its width, |up| / |right| in 3D; 1 when either is zero or not finite.
double CameraAspect(const Camera& camera);

// The height that gives `width` the `aspect` (height over width): rounded to nearest and kept
// within 1..kMaxPictureSide. An aspect that is not a positive number counts as 1.
std::uint32_t MatchAspect(std::uint32_t width, double aspect);

class PictureSizeDialog : public QDialog {
    Q_OBJECT

  public:
    PictureSizeDialog(PictureSize current, bool matchAspect, double aspect,
                      QWidget* parent = nullptr);

    PictureSizeChoice Choice() const;
    // The index into kPictureSizePresets that the size matches, or the count for Custom.
    int PresetIndex() const;

    // Shows a preset's size; one of another aspect than the camera's turns the matching off.
    void SelectPreset(int index);
    void SetSize(PictureSize size);
    void SetMatchAspect(bool match);

  private:
    // The height box follows the width while the aspect is matched; the preset list names the
    // size shown.
    void Synchronize();

    double aspect;
    QComboBox* presets = nullptr;
    QSpinBox* widthBox = nullptr;
    QSpinBox* heightBox = nullptr;
    QCheckBox* matchBox = nullptr;
    bool synchronizing = false;
};

// Asks for the picture's size in a modal dialog; nullopt when cancelled.
std::optional<PictureSizeChoice> AskPictureSize(QWidget* parent, PictureSize current,
                                                bool matchAspect, double aspect);

}  // namespace lumivex
