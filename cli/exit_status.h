// The exit statuses of lumivex-render, as its --help lists them.
#pragma once

namespace lumivex {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;          // the command line is wrong
inline constexpr int kExitUnreadable = 2;     // the scene cannot be read or the output written
inline constexpr int kExitDiagnostic = 3;     // reading stopped at a diagnostic (--check, --strict)
inline constexpr int kExitLoadFailed = 4;     // out of memory, or another internal error
inline constexpr int kExitInterrupted = 130;  // SIGINT or SIGTERM stopped the render

}  // namespace lumivex
