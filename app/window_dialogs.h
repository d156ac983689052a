// What the main window asks of the person through modal dialogs. The window takes them as a set
// of functions, so that tests can answer in its place.
#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "app/picture_size_dialog.h"

class QWidget;

namespace lumivex {

inline constexpr char kSceneFileFilters[] = "text files (*.txt);;all files (*)";

// Whether a picture still rendering is saved as it stands or once the render is done.
enum class SaveTiming { Now, WhenFinished, Cancel };

struct Dialogs {
    // The scene file to open, starting in `directory`; an empty string when cancelled.
    std::function<QString(QWidget* parent, const QString& directory)> chooseSceneFile;
    // Where to save the picture, starting from `suggestion`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggestion)> chooseImageFile;
    // Asked when Save Image is chosen while a render runs.
    std::function<SaveTiming(QWidget* parent)> chooseSaveTiming;
    // The next picture size, starting from the current one; nothing when cancelled. `aspect` is
    // the camera's height to width.
    std::function<std::optional<PictureSizeChoice>(QWidget* parent, PictureSizeChoice current,
                                                   double aspect)>
        choosePictureSize;
    // An error that stopped a command.
    std::function<void(QWidget* parent, const QString& message)> showError;
    // The About box, returning its result.
    std::function<int(QWidget* parent)> showAbout;
};

// The file choosers, message boxes, the picture size dialog and the About box.
Dialogs StandardDialogs();

}  // namespace lumivex
