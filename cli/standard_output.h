// Writing to standard output, and saying why that failed.
#pragma once

#include <cerrno>
#include <ostream>
#include <string_view>
#include <system_error>

#include "cli/command_line.h"

namespace lumivex {

// Writes `bytes` to `out` (standard output) and flushes it. When that fails, as it does for a
// pipe whose reader has gone or a full disk, reports why on `err` and returns false.
inline bool WriteStandardOutput(std::ostream& out, std::ostream& err, std::string_view bytes) {
    errno = 0;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (out) {
        return true;
    }
    // The stream keeps no reason, but the failed write() left one in errno.
    const int error = errno;
    err << kProgramName << ": cannot write to standard output";
    if (error != 0) {
        err << ": " << std::generic_category().message(error);
    }
    err << '\n';
    return false;
}

}  // namespace lumivex
