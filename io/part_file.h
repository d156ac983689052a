// Part files: pictures that hold only some of a render's bands, and say which, so that pieces
// rendered by several processes or machines, or before an interruption, can be put together into
// exactly the picture one process would have rendered.
#pragma once

#include <optional>
#include <vector>

#include <QImage>
#include <QString>

#include "render/render_context.h"

namespace lumivex {

// An interrupted render of OUT keeps its finished bands in OUT + this, a part file.
inline constexpr char kPartialSuffix[] = ".partial.png";

// What a part file holds: a full-size picture whose rows of `held` bands are rendered, and what
// they were rendered from. Bands are numbered from 0 among `bands` (SplitIntoBands).
struct PartDescription {
    QString sceneSha256;  // of the scene file's bytes, in lower-case hex
    PictureSize picture;
    QString mode;  // the antialiasing mode as --aa names it
    bool stochastic = false;
    unsigned bands = 1;
    std::vector<unsigned> held;  // ascending, each once
    QString version;             // of the program that rendered it; recorded, not compared
};

// "0-3,5,7-8" for {0, 1, 2, 3, 5, 7, 8}; the band numbers ascending, each once.
QString FormatBandList(const std::vector<unsigned>& bands);

// The bands a list such as "3", "2-5" or "0-3,7" names, ascending and each once, all below
// `count`; or why the text names none.
struct BandList {
    std::vector<unsigned> bands;
    QString problem;
};
BandList ParseBandList(const QString& text, unsigned count);

// Records the description in the image's text, which PNG keeps in text chunks.
void LabelPart(QImage& image, const PartDescription& description);

// A part file read back: the picture (as 32-bit RGB) and its description, or why not, naming the
// file.
struct PartFile {
    QImage image;
    PartDescription description;
    QString problem;
};
PartFile ReadPartFile(const QString& path);

// How `part` differs from `expected` in what decides the picture (scene, size, mode, Stochastic,
// band count), as "scene <hash> differs from <hash>", or an empty string when it does not.
QString PartMismatch(const PartDescription& part, const PartDescription& expected);

// Copies the rows of `band` (counted bottom-up, as the renderer does) from one picture to another
// of the same size.
void CopyBandRows(const QImage& from, QImage& to, Band band);

}  // namespace lumivex
