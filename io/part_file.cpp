#include "io/part_file.h"

#include <algorithm>
#include <cstring>

#include <QImageReader>
#include <QStringList>

#include "io/scene_file.h"

namespace lumivex {

namespace {

// The keys of the part's text chunks.
constexpr char kSceneKey[] = "Lumivex-Scene-SHA256";
constexpr char kSizeKey[] = "Lumivex-Size";
constexpr char kModeKey[] = "Lumivex-Mode";
constexpr char kStochasticKey[] = "Lumivex-Stochastic";
constexpr char kWorkersKey[] = "Lumivex-Workers";
constexpr char kBandsKey[] = "Lumivex-Bands";
constexpr char kVersionKey[] = "Lumivex-Version";

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

void LabelPart(QImage& image, const PartDescription& description) {
    image.setText(kSceneKey, description.sceneSha256);
    image.setText(kSizeKey,
                  QString("%1x%2").arg(description.picture.width).arg(description.picture.height));
    image.setText(kModeKey, description.mode);
    image.setText(kStochasticKey, description.stochastic ? "yes" : "no");
    image.setText(kWorkersKey, QString::number(description.bands));
    image.setText(kBandsKey, FormatBandList(description.held));
    image.setText(kVersionKey, description.version);
}

PartFile ReadPartFile(const QString& path) {
    PartFile part;
    const QString name = "'" + PrintableFileName(path) + "'";
    QImageReader reader(path);
    reader.setAutoTransform(false);
    // Part files are PNG; other formats are refused before their pixels are decoded.
    if (reader.format() != "png") {
        part.problem = "cannot read part file " + name + ": " +
                       (reader.canRead() ? QString("not a PNG file") : reader.errorString());
        return part;
    }
    const QSize size = reader.size();
    const auto workers = ParseNumber(reader.text(kWorkersKey));
    const QStringList sides = reader.text(kSizeKey).split('x');
    const auto width = ParseNumber(sides.front());
    const auto height = ParseNumber(sides.back());
    const QString stochastic = reader.text(kStochasticKey);
    if (!workers || *workers == 0 || sides.size() != 2 || !width || !height ||
        reader.text(kSceneKey).isEmpty() || (stochastic != "yes" && stochastic != "no")) {
        part.problem = name + " is not a Lumivex part file (its text does not say what it holds)";
        return part;
    }
    const PictureSize picture{width.value(), height.value()};
    if (QSize(static_cast<int>(picture.width), static_cast<int>(picture.height)) != size) {
        part.problem = QString("part file %1 is %2x%3 but says it holds a %4x%5 picture")
                           .arg(name)
                           .arg(size.width())
                           .arg(size.height())
                           .arg(picture.width)
                           .arg(picture.height);
        return part;
    }
    BandList held = ParseBandList(reader.text(kBandsKey), *workers);
    if (!held.problem.isEmpty() || held.bands.empty()) {
        part.problem = "part file " + name + " names no valid bands: " + held.problem;
        return part;
    }
    PartDescription& description = part.description;
    description.sceneSha256 = reader.text(kSceneKey);
    description.picture = picture;
    description.mode = reader.text(kModeKey);
    description.stochastic = stochastic == "yes";
    description.bands = *workers;
    description.held = std::move(held.bands);
    description.version = reader.text(kVersionKey);
    if (!reader.read(&part.image)) {
        part.problem = "cannot read part file " + name + ": " + reader.errorString();
        return part;
    }
    part.image = part.image.convertToFormat(QImage::Format_RGB32);
    return part;
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

}  // namespace lumivex
