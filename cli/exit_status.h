// The exit statuses of lumivex-render, as its --help lists them.
#pragma once

namespace lumivex {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;       // the command line is wrong
inline constexpr int kExitUnreadable = 2;  // the scene cannot be read or the output written
inline constexpr int kExitDiagnostic = 3;  // reading stopped at a diagnostic
inline constexpr int kExitLoadFailed = 4;  // out of memory, or another exception while loading

}  // namespace lumivex
