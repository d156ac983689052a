// `lumivex-render --check SCENE`: load a scene file and print what it holds as JSON.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
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

// Reads the file, loads it with `load` (LoadSceneText; tests pass their own), writes the JSON
// to `out` and the warnings and stop diagnostic to `err`, and returns the exit status (see
// exit_status.h).
int RunCheck(const QString& scenePath, std::ostream& out, std::ostream& err,
             const SceneTextLoader& load = LoadSceneText);

}  // namespace lumivex
