#include "cli/picture_file.h"

#include <QImageWriter>
#include <QSaveFile>

namespace lumivex {

QImage NewPictureImage(std::uint32_t width, std::uint32_t height) {
    // QImage reports a failed allocation by being null rather than by throwing.
    return QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
}

void CopyPicture(const PixelBuffer& pixels, QImage& image) {
    const std::uint32_t height = pixels.Height();
    for (std::uint32_t row = 0; row < height; ++row) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(static_cast<int>(row)));
        pixels.LoadRow(height - 1 - row, line);
        for (std::uint32_t x = 0; x < pixels.Width(); ++x) {
            line[x] |= 0xFF000000u;  // Format_RGB32 wants an opaque alpha byte
        }
    }
}

PictureWrite WritePicture(const QImage& image, const QString& path, const QByteArray& format,
                          const std::function<bool()>& abandon) {
    const auto failed = [&](const QString& reason) {
        return PictureWrite{PictureWrite::Outcome::Failed,
                            "cannot write '" + path + "': " + reason};
    };
    // Uncommitted, the temporary file is removed when `file` goes.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return failed(file.errorString());
    }
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        // When the file refused the bytes, its own error says why (disk full, say).
        return failed(file.error() != QFileDevice::NoError ? file.errorString()
                                                           : writer.errorString());
    }
    if (abandon && abandon()) {
        return {PictureWrite::Outcome::Abandoned, {}};
    }
    if (!file.commit()) {
        return failed(file.errorString());
    }
    return {PictureWrite::Outcome::Written, {}};
}

}  // namespace lumivex
