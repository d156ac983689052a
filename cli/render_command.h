// `lumivex-render SCENE -o OUT`: load a scene file, render it and write the picture.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "io/scene_file.h"

namespace lumivex {

// Loads the scene (with `load`: LoadSceneText, or a stand-in in tests), renders it as `request`
// says and writes the picture; --stats go to `out`, everything else to `err`. When `errIsTerminal`
// `err` also shows the progress and, at the end, what was written. Stops early, writing nothing,
// on SIGINT or SIGTERM. Returns the exit status (see exit_status.h).
int RunRender(const CliRequest& request, std::ostream& out, std::ostream& err, bool errIsTerminal,
              const SceneTextLoader& load = LoadSceneText);

// One redraw of the progress line, starting with a carriage return: the share of rows done, a
// bar, the time so far and an estimate of the time left (once there is something to go on).
std::string ProgressLine(std::uint64_t rowsDone, std::uint64_t rows, double seconds);

}  // namespace lumivex
