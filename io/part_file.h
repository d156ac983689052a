// Part files: pictures that hold only some of a render's bands, and say which, so that pieces
// rendered by several processes or machines, or before an interruption, can be put together into
// exactly the picture one process would have rendered. A part is a PNG file (8-bit pixels, the
// description in text chunks) or an EXR file (float colours, the description in string
// attributes).
#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QString>

#include "io/exr_file.h"
#include "render/color_buffer.h"
#include "render/render_context.h"

namespace lumivex {

// The part file in which an interrupted render of `output`, a picture in `format`, keeps its
// finished bands: OUT.partial.exr for a floating-point picture (whose colours it keeps), and
// OUT.partial.png for any other.
QString PartialPathFor(const QString& output, const QByteArray& format);

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
// The description as the string attributes of an EXR part.
PictureLabels ExrPartLabels(const PartDescription& description);

// A part file read back, PNG or EXR as its first bytes say: the picture and its description, or
// why not, naming the file.
struct PartFile {
    QImage image;                       // a PNG part's pixels, as 32-bit RGB
    std::optional<ColorBuffer> colors;  // an EXR part's colours
    PartDescription description;
    QString problem;

    bool HoldsColors() const { return colors.has_value(); }
};
PartFile ReadPartFile(const QString& path);

// "an EXR part file (float colours)" or "a PNG part file (8-bit pixels)", for messages.
QString PartKindText(bool holdsColors);

// How `part` differs from `expected` in what decides the picture (scene, size, mode, Stochastic,
// band count), as "scene <hash> differs from <hash>", or an empty string when it does not.
QString PartMismatch(const PartDescription& part, const PartDescription& expected);

// Copies the rows of `band` (counted bottom-up, as the renderer does) from one picture to another
// of the same size; from colours to an image, packed exactly as the pixel drivers pack them.
void CopyBandRows(const QImage& from, QImage& to, Band band);
void CopyBandRows(const ColorBuffer& from, ColorBuffer& to, Band band);
void CopyBandRows(const ColorBuffer& from, QImage& to, Band band);

}  // namespace lumivex
