// Reading scene files: a keyword-driven plain-text format.
//
// The file is a stream of whitespace-separated words. Each of the nine keywords SPHERE, BOX,
// POLYGON, ELLIPSOID, ICOSAHEDRON, CAMERA, LIGHT, AMBIENT and AIR starts an entry whose data
// follow in a fixed order; any other word skips the rest of its line (comments). Numbers are read
// exactly as a C++ stream reads a float. Reading stops at the end of the file or at the first item
// that cannot be read; the entry being read is still applied, with its unreadable items 0, and
// everything before it is kept.
#pragma once

#include <atomic>
#include <cstddef>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"

namespace lumivex {

// A place in the scene text with a message: why reading stopped, or a warning about a skipped
// line that looks like a mistake. Lines and columns count from 1; columns count bytes. Words
// quoted from the file are escaped in the message as PrintableText does.
struct SceneDiagnostic {
    int line = 0;
    int column = 0;
    std::string message;
    std::string lineText;  // the whole offending line, for display under the message
};

struct SceneLoadResult {
    std::unique_ptr<Scene> scene;  // never null
    // Set when reading stopped before a clean end of file: the item that could not be read,
    // what was expected and what was found. It never changes what was loaded.
    std::optional<SceneDiagnostic> diagnostic;
    // Skipped lines that look like mistakes rather than comments: a keyword in the wrong case,
    // a keyword written against its data, a near miss of a keyword (SPHER), a line that starts
    // like data. At most kMaxListedWarnings are listed; a last entry then counts the rest. A
    // scene read to its end without a single object gets one warning more, last, just past the
    // end of the text (unless it has the noEntry warning below).
    std::vector<SceneDiagnostic> warnings;
    // How many entries were read (a keyword and its data, whether complete or not).
    std::size_t entries = 0;
    // Set when the text holds words but not one entry: most likely not a scene file at all. A
    // warning at its first word says so too.
    bool noEntry = false;
    // Set when loading gave up because a stop was requested: the scene is incomplete.
    bool stopped = false;
};

inline constexpr std::size_t kMaxListedWarnings = 100;

// Loads a scene from the text of a scene file. CR LF and lone CR line ends read as LF and a
// leading UTF-8 byte-order mark is ignored. Loading gives up soon after `stop`, when given, becomes
// true, and says so in the result. Memory use stays close to the text's own size, whatever its
// shape. Throws only what allocation throws (std::bad_alloc, std::length_error); callers catch it
// and keep what they had.
SceneLoadResult LoadSceneText(std::string text, const std::atomic<bool>* stop = nullptr);

// Reads the whole stream, then loads it as LoadSceneText does. A stream that cannot be read
// behaves like an empty file.
SceneLoadResult LoadScene(std::istream& stream);

// Formats a diagnostic as compilers do: "file:line:column: severity: message", then the line
// and a caret under the column. Ends with a newline. The file name, message and line are
// escaped as PrintableText does (the line keeps its tabs), and the caret goes under the escaped
// text of the column.
std::string FormatDiagnostic(std::string_view fileName, const SceneDiagnostic& diagnostic,
                             std::string_view severity);

}  // namespace lumivex
