// Floating-point pictures as OpenEXR files: scan lines of 32-bit float R, G and B channels,
// compressed losslessly, with string attributes beside them.
#pragma once

#include <functional>
#include <optional>

#include <QMap>
#include <QString>

#include "io/atomic_file.h"
#include "render/color_buffer.h"

namespace lumivex {

// Named texts stored with a picture: string attributes of an EXR file.
using PictureLabels = QMap<QString, QString>;

// Whether the file at `path` starts as every OpenEXR file does.
bool IsExrFile(const QString& path);

// How an encoding ended: complete, abandoned on request, or failed (why, as the library or the
// system says it).
struct ExrEncoding {
    bool abandoned = false;
    QString error;
};

// Encodes `colors` (rows bottom-up, as the renderer keeps them; the file's run top-down) with
// `labels` into `file`, without committing it. `abandon`, when given, is asked before every
// piece of the encoded picture goes to the file; from its first yes nothing more is written.
ExrEncoding EncodeExr(const ColorBuffer& colors, const PictureLabels& labels, AtomicFile& file,
                      const std::function<bool()>& abandon = {});

// An EXR file read back: its R, G and B channels as floats (rows bottom-up; other channels are
// left out) and its string attributes, or why not.
struct ExrPicture {
    std::optional<ColorBuffer> colors;
    PictureLabels labels;
    QString problem;
};
ExrPicture ReadExr(const QString& path);

}  // namespace lumivex
