// Reading a scene file whole, and saying what went wrong while loading one. Shared by
// lumivex-render and the desktop app.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include <QString>

#include "scene/scene_loader.h"

namespace lumivex {

// Scene files larger than this are refused unless the reader is given a larger limit: a scene
// of a million spheres is about 80 MB.
inline constexpr std::uint64_t kDefaultMaxSceneBytes = std::uint64_t{1} << 30;

struct SceneFileLimits {
    std::uint64_t maxBytes = kDefaultMaxSceneBytes;
    // When given, reading gives up within a few tens of milliseconds of this becoming true,
    // also while waiting for a pipe that has no writer yet.
    const std::atomic<bool>* stop = nullptr;
};

// The whole file, byte for byte, or why it could not be had.
struct FileContents {
    enum class Problem {
        None,
        Unreadable,  // cannot be opened or read, a directory or a device
        TooLarge,    // past SceneFileLimits::maxBytes
        NotText,     // holds a NUL byte, so it is no scene file (a picture, say)
        Stopped,     // the stop request came first
    };
    std::optional<std::string> bytes;
    QString failure;  // e.g. "cannot open 'x.txt': No such file or directory"
    Problem problem = Problem::None;
};

// Reads the file as binary to its end: a regular file, a pipe or a FIFO. Directories and devices
// are refused (a device such as /dev/zero never ends), and so is a file past the size limit or
// holding a NUL byte, which no text file does. Memory use is the file's size for a regular file,
// up to twice that while a pipe's data arrive. Allocation failures propagate as exceptions.
FileContents ReadSceneFile(const QString& path, const SceneFileLimits& limits = {});

// A file name made safe to show in a message: escaped as PrintableText escapes its UTF-8 form,
// so that a control character shows as \t or \xNN instead of acting on the terminal.
QString PrintableFileName(const QString& name);

// "1 GiB", "512 MiB", "100 KiB" or "1000 bytes": the largest unit that divides the count.
QString ByteCountText(std::uint64_t bytes);

using SceneTextLoader = std::function<SceneLoadResult(std::string, const std::atomic<bool>*)>;

// The message for an exception thrown while loading `fileName`: "out of memory while loading
// 'x.txt'" for allocation failures, "loading 'x.txt' failed: <what>" for anything else. The name
// is escaped as PrintableText does.
std::string LoadFailureMessage(const std::string& fileName, const std::exception& failure);

}  // namespace lumivex
