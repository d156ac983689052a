// `lumivex-render --merge PART... -o OUT`: put part files together into one picture.
#pragma once

#include <ostream>

#include "cli/command_line.h"

namespace lumivex {

// Reads the parts (request.parts), checks that they come from one scene and the same options and
// hold every band exactly once, and writes the picture to request.render.outputPath in its
// format. Problems go to `err`; returns the exit status (see exit_status.h).
int RunMerge(const CliRequest& request, std::ostream& err);

}  // namespace lumivex
