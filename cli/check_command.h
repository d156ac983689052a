// `lumivex-render --check SCENE`: load a scene file and print what it holds as JSON.
#pragma once

#include <ostream>

#include <QString>

#include "io/scene_file.h"

namespace lumivex {

// Reads the file (refusing one past `maxSceneBytes`), loads it with `load` (LoadSceneText; tests
// pass their own), writes the JSON to `out` and the warnings and stop diagnostic to `err`, and
// returns the exit status (see exit_status.h). SIGINT and SIGTERM stop it at any point.
int RunCheck(const QString& scenePath, std::ostream& out, std::ostream& err,
             const SceneTextLoader& load = LoadSceneText,
             std::uint64_t maxSceneBytes = kDefaultMaxSceneBytes);

}  // namespace lumivex
