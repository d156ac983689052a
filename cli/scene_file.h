// Reading a scene file whole, and saying what went wrong while loading one. Shared by
// lumivex-render and the desktop app.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include <QString>

#include "scene/scene_loader.h"

namespace lumivex {

// The whole file, byte for byte, or why it could not be had.
struct FileContents {
    std::optional<std::string> bytes;
    QString failure;  // e.g. "cannot open 'x.txt': No such file or directory"
};

// Reads the file as binary to its end; a directory counts as unreadable. Allocation failures
// propagate as exceptions.
FileContents ReadWholeFile(const QString& path);

using SceneTextLoader = std::function<SceneLoadResult(std::string)>;

// The message for an exception thrown while loading `fileName`: "out of memory while loading
// 'x.txt'" for allocation failures, "loading 'x.txt' failed: <what>" for anything else.
std::string LoadFailureMessage(const std::string& fileName, const std::exception& failure);

}  // namespace lumivex
