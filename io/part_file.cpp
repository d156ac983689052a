#include "io/part_file.h"

#include <algorithm>
#include <cstring>

#include <QImageReader>
#include <QStringList>

#include "io/picture_file.h"
#include "io/scene_file.h"
#include "render/pixel_drivers.h"

namespace lumivex {

namespace {

// The name of each item of the description: as a PNG part's text chunk, and as an EXR part's
// string attribute (whose names are customarily in camel case).
struct PartKey {
    const char* png;
    const char* exr;
};
constexpr PartKey kSceneKey{"Lumivex-Scene-SHA256", "lumivexScene"};
constexpr PartKey kSizeKey{"Lumivex-Size", "lumivexSize"};
constexpr PartKey kModeKey{"Lumivex-Mode", "lumivexMode"};
constexpr PartKey kStochasticKey{"Lumivex-Stochastic", "lumivexStochastic"};
constexpr PartKey kWorkersKey{"Lumivex-Workers", "lumivexWorkers"};
constexpr PartKey kBandsKey{"Lumivex-Bands", "lumivexBands"};
constexpr PartKey kVersionKey{"Lumivex-Version", "lumivexVersion"};

// The description's items as texts, under the keys `key` picks.
template <typename KeyName>
PictureLabels DescriptionTexts(const PartDescription& description, KeyName key) {
    return {
        {key(kSceneKey), description.sceneSha256},
        {key(kSizeKey),
         QString("%1x%2").arg(description.picture.width).arg(description.picture.height)},
        {key(kModeKey), description.mode},
        {key(kStochasticKey), description.stochastic ? "yes" : "no"},
        {key(kWorkersKey), QString::number(description.bands)},
        {key(kBandsKey), FormatBandList(description.held)},
        {key(kVersionKey), description.version},
    };
}

std::optional<unsigned> ParseNumber(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || text.isEmpty() ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

QString FormatBandList(const std::vector<unsigned>& bands) {
    QStringList runs;
    for (std::size_t i = 0; i < bands.size();) {
        std::size_t end = i + 1;
        while (end < bands.size() && bands[end] == bands[end - 1] + 1) {
            ++end;
        }
        runs << (end - i == 1 ? QString::number(bands[i])
                              : QString("%1-%2").arg(bands[i]).arg(bands[end - 1]));
        i = end;
    }
    return runs.join(',');
}

BandList ParseBandList(const QString& text, unsigned count) {
    const QString expected = QString("expected band numbers from 0 to %1 such as 3, 2-5 or 0-3,7")
                                 .arg(count == 0 ? 0 : count - 1);
    std::vector<bool> named(count, false);
    for (const QString& run : text.split(',')) {
        const QStringList ends = run.split('-');
        const auto first = ParseNumber(ends.front());
        const auto last = ends.size() == 2 ? ParseNumber(ends.back()) : first;
        if (ends.size() > 2 || !first || !last || *first > *last) {
            return {{}, expected};
        }
        if (*last >= count) {
            return {{},
                    QString("band %1 is past the last band, %2 (bands are numbered from 0)")
                        .arg(*last)
                        .arg(count - 1)};
        }
        for (unsigned band = *first; band <= *last; ++band) {
            if (named[band]) {
                return {{}, QString("band %1 is named twice").arg(band)};
            }
            named[band] = true;
        }
    }
    BandList list;
    for (unsigned band = 0; band < count; ++band) {
        if (named[band]) {
            list.bands.push_back(band);
        }
    }
    return list;
}

QString PartialPathFor(const QString& output, const QByteArray& format) {
    return output + (IsFloatPictureFormat(format) ? ".partial.exr" : ".partial.png");
}

void LabelPart(QImage& image, const PartDescription& description) {
    const PictureLabels texts =
        DescriptionTexts(description, [](const PartKey& key) { return QString(key.png); });
    for (auto text = texts.begin(); text != texts.end(); ++text) {
        image.setText(text.key(), text.value());
    }
}

PictureLabels ExrPartLabels(const PartDescription& description) {
    return DescriptionTexts(description, [](const PartKey& key) { return QString(key.exr); });
}

QString PartKindText(bool holdsColors) {
    return holdsColors ? "an EXR part file (float colours)" : "a PNG part file (8-bit pixels)";
}

namespace {

// Reads the description from a part's texts (`text(key)`, empty when missing) into `part`, and
// checks it against the picture's size; returns false, with part.problem set, when it does not
// hold.
template <typename TextOf>
bool ReadDescription(const QString& name, QSize size, TextOf text, PartFile& part) {
    const auto workers = ParseNumber(text(kWorkersKey));
    const QStringList sides = text(kSizeKey).split('x');
    const auto width = ParseNumber(sides.front());
    const auto height = ParseNumber(sides.back());
    const QString stochastic = text(kStochasticKey);
    if (!workers || *workers == 0 || sides.size() != 2 || !width || !height ||
        text(kSceneKey).isEmpty() || (stochastic != "yes" && stochastic != "no")) {
        part.problem = name + " is not a Lumivex part file (its text does not say what it holds)";
        return false;
    }
    const PictureSize picture{width.value(), height.value()};
    if (QSize(static_cast<int>(picture.width), static_cast<int>(picture.height)) != size) {
        part.problem = QString("part file %1 is %2x%3 but says it holds a %4x%5 picture")
                           .arg(name)
                           .arg(size.width())
                           .arg(size.height())
                           .arg(picture.width)
                           .arg(picture.height);
        return false;
    }
    BandList held = ParseBandList(text(kBandsKey), *workers);
    if (!held.problem.isEmpty() || held.bands.empty()) {
        part.problem = "part file " + name + " names no valid bands: " + held.problem;
        return false;
    }
    PartDescription& description = part.description;
    description.sceneSha256 = text(kSceneKey);
    description.picture = picture;
    description.mode = text(kModeKey);
    description.stochastic = stochastic == "yes";
    description.bands = *workers;
    description.held = std::move(held.bands);
    description.version = text(kVersionKey);
    return true;
}

PartFile ReadExrPart(const QString& path, const QString& name) {
    PartFile part;
    ExrPicture picture = ReadExr(path);
    if (!picture.problem.isEmpty()) {
        part.problem = "cannot read part file " + name + ": " + picture.problem;
        return part;
    }
    const QSize size(static_cast<int>(picture.colors->GetWidth()),
                     static_cast<int>(picture.colors->GetHeight()));
    const auto text = [&](const PartKey& key) { return picture.labels.value(key.exr); };
    if (ReadDescription(name, size, text, part)) {
        part.colors = std::move(picture.colors);
    }
    return part;
}

PartFile ReadPngPart(const QString& path, const QString& name) {
    PartFile part;
    QImageReader reader(path);
    reader.setAutoTransform(false);
    // Other formats are refused before their pixels are decoded.
    if (reader.format() != "png") {
        part.problem =
            "cannot read part file " + name + ": " +
            (reader.canRead() ? QString("neither a PNG nor an EXR file") : reader.errorString());
        return part;
    }
    const auto text = [&](const PartKey& key) { return reader.text(key.png); };
    if (!ReadDescription(name, reader.size(), text, part)) {
        return part;
    }
    if (!reader.read(&part.image)) {
        part.problem = "cannot read part file " + name + ": " + reader.errorString();
        return part;
    }
    part.image = part.image.convertToFormat(QImage::Format_RGB32);
    return part;
}

}  // namespace

PartFile ReadPartFile(const QString& path) {
    const QString name = "'" + PrintableFileName(path) + "'";
    return IsExrFile(path) ? ReadExrPart(path, name) : ReadPngPart(path, name);
}

QString PartMismatch(const PartDescription& part, const PartDescription& expected) {
    const auto differs = [](const QString& what, const QString& is, const QString& was) {
        return what + " " + is + ", not " + was;
    };
    if (part.sceneSha256 != expected.sceneSha256) {
        return differs("rendered from another scene file: SHA-256", part.sceneSha256,
                       expected.sceneSha256);
    }
    const auto sizeText = [](PictureSize size) {
        return QString("%1x%2").arg(size.width).arg(size.height);
    };
    if (part.picture.width != expected.picture.width ||
        part.picture.height != expected.picture.height) {
        return differs("rendered at size", sizeText(part.picture), sizeText(expected.picture));
    }
    if (part.mode != expected.mode) {
        return differs("rendered with --aa", part.mode, expected.mode);
    }
    if (part.stochastic != expected.stochastic) {
        return part.stochastic ? "rendered with --stochastic, this render is without"
                               : "rendered without --stochastic, this render is with";
    }
    if (part.bands != expected.bands) {
        return differs("rendered with --workers", QString::number(part.bands),
                       QString::number(expected.bands));
    }
    return {};
}

void CopyBandRows(const QImage& from, QImage& to, Band band) {
    const auto height = static_cast<std::uint32_t>(to.height());
    const auto rowBytes = static_cast<std::size_t>(to.bytesPerLine());
    for (std::uint32_t y = band.y0; y < band.y1 && y < height; ++y) {
        // The renderer counts rows from the bottom, images from the top.
        const int row = static_cast<int>(height - 1 - y);
        std::memcpy(to.scanLine(row), from.constScanLine(row), rowBytes);
    }
}

void CopyBandRows(const ColorBuffer& from, ColorBuffer& to, Band band) {
    for (std::uint32_t y = band.y0; y < band.y1 && y < to.GetHeight(); ++y) {
        std::copy_n(from.Row(y), to.RowFloats(), to.Row(y));
    }
}

void CopyBandRows(const ColorBuffer& from, QImage& to, Band band) {
    const auto height = static_cast<std::uint32_t>(to.height());
    for (std::uint32_t y = band.y0; y < band.y1 && y < height; ++y) {
        auto* line =
            reinterpret_cast<std::uint32_t*>(to.scanLine(static_cast<int>(height - 1 - y)));
        for (std::uint32_t x = 0; x < from.GetWidth(); ++x) {
            // Format_RGB32 wants an opaque alpha byte.
            line[x] = PackColor(from.Load(x, y)) | 0xFF000000u;
        }
    }
}

}  // namespace lumivex
