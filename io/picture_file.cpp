#include "io/picture_file.h"

#include <algorithm>

#include <QFileInfo>
#include <QIODevice>
#include <QImageWriter>

#include "io/scene_file.h"

namespace lumivex {

namespace {

// At most this much goes to the file between two looks at the stop request.
constexpr qint64 kWritePiece = 1 << 20;

// What the image writer writes to: the temporary file, at any position (a TIFF writer goes back
// to fill in offsets). Once a stop is requested it takes no more bytes, which makes the image
// writer give up at once. Once a write to the file has failed it drops the rest, so the image
// writer runs to its end: Qt's writers lose a row buffer when their device fails mid-picture.
class EncodedPictureSink : public QIODevice {
  public:
    EncodedPictureSink(AtomicFile& file, const std::function<bool()>& abandon)
        : file(file), abandon(abandon) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    bool Abandoned() const { return abandoned; }
    qint64 size() const override { return end; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 size) override {
        for (qint64 done = 0; done < size; done += kWritePiece) {
            abandoned = abandoned || (abandon && abandon());
            if (abandoned) {
                return -1;
            }
            if (file.GetFailure().isEmpty()) {
                const qint64 piece = std::min(size - done, kWritePiece);
                file.WriteAt(pos() + done, data + done, static_cast<std::size_t>(piece));
            }
        }
        end = std::max(end, pos() + size);
        return size;
    }

  private:
    AtomicFile& file;
    const std::function<bool()>& abandon;
    bool abandoned = false;
    qint64 end = 0;
};

}  // namespace

namespace {

// The formats worth offering: full-colour ones. Qt can also write grey, black-and-white and
// palette formats (pgm, pbm, xbm, xpm), which would quietly lose the picture's colours.
constexpr const char* kColorFormats[] = {"bmp", "jpeg", "jpg", "png", "ppm", "tif", "tiff", "webp"};

// Formats whose writers take fewer pixels on a side than any picture we make: JPEG keeps the
// sides in 16 bits and libjpeg stops a little short of that, WebP keeps them in 14.
struct SideLimit {
    const char* format;
    const char* name;
    std::uint32_t maxSide;
};
constexpr SideLimit kSideLimits[] = {
    {"jpeg", "JPEG", 65500}, {"jpg", "JPEG", 65500}, {"webp", "WebP", 16383}};

}  // namespace

QStringList WritablePictureExtensions(PictureKinds kinds) {
    const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    QStringList extensions;
    for (const char* format : kColorFormats) {
        if (writable.contains(format)) {
            extensions.append(format);
        }
    }
    if (kinds == PictureKinds::EightBitAndFloat) {
        extensions.append(kFloatPictureFormat);
        extensions.sort();
    }
    return extensions;
}

PictureFormat PictureFormatFor(const QString& path, PictureKinds kinds) {
    const QString extension = QFileInfo(path).suffix().toLower();
    const QStringList writable = WritablePictureExtensions(kinds);
    if (writable.contains(extension)) {
        return {extension.toLatin1(), {}};
    }
    const QString what = extension.isEmpty()
                             ? QString("the name has no extension to tell the format")
                             : "unsupported picture format '" + extension + "'";
    return {{}, what + "; use one of " + writable.join(", ")};
}

QString PictureSizeProblem(const QByteArray& format, std::uint32_t width, std::uint32_t height) {
    for (const SideLimit& limit : kSideLimits) {
        if (format == limit.format && (width > limit.maxSide || height > limit.maxSide)) {
            return QString("a %1 picture is at most %2 pixels on a side")
                .arg(limit.name)
                .arg(limit.maxSide);
        }
    }
    return {};
}

QImage NewPictureImage(std::uint32_t width, std::uint32_t height) {
    // QImage reports a failed allocation by being null rather than by throwing.
    return QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
}

void CopyPicture(const PixelBuffer& pixels, QImage& image) {
    const std::uint32_t height = pixels.GetHeight();
    for (std::uint32_t row = 0; row < height; ++row) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(static_cast<int>(row)));
        pixels.LoadRow(height - 1 - row, line);
        for (std::uint32_t x = 0; x < pixels.GetWidth(); ++x) {
            line[x] |= 0xFF000000u;  // Format_RGB32 wants an opaque alpha byte
        }
    }
}

PictureFile::PictureFile(const QString& path) : path(path), file(path) {}

QString PictureFile::GetFailure() const {
    return file.GetFailure().isEmpty()
               ? QString()
               : "cannot write '" + PrintableFileName(path) + "': " + file.GetFailure();
}

PictureWrite PictureFile::Write(const QImage& image, const QByteArray& format,
                                const std::function<bool()>& abandon) {
    const auto failed = [&](const QString& reason) {
        return PictureWrite{PictureWrite::Outcome::Failed,
                            "cannot write '" + PrintableFileName(path) + "': " + reason};
    };
    if (!GetFailure().isEmpty()) {
        return {PictureWrite::Outcome::Failed, GetFailure()};
    }
    EncodedPictureSink sink(file, abandon);
    QImageWriter writer(&sink, format);
    const bool encoded = writer.write(image);
    if (sink.Abandoned()) {
        return {PictureWrite::Outcome::Abandoned, {}};
    }
    // When the file refused the bytes, its own failure says why (disk full, say).
    if (!file.GetFailure().isEmpty()) {
        return failed(file.GetFailure());
    }
    if (!encoded) {
        return failed(writer.error() == QImageWriter::UnknownError
                          ? "the " + QString::fromLatin1(format) + " writer failed"
                          : writer.errorString());
    }
    if (abandon && abandon()) {
        return {PictureWrite::Outcome::Abandoned, {}};
    }
    if (!file.Commit()) {
        return failed(file.GetFailure());
    }
    return {PictureWrite::Outcome::Written, {}};
}

PictureWrite PictureFile::WriteColors(const ColorBuffer& colors, const PictureLabels& labels,
                                      const std::function<bool()>& abandon) {
    if (!GetFailure().isEmpty()) {
        return {PictureWrite::Outcome::Failed, GetFailure()};
    }
    const ExrEncoding encoded = EncodeExr(colors, labels, file, abandon);
    if (encoded.abandoned || (abandon && abandon())) {
        return {PictureWrite::Outcome::Abandoned, {}};
    }
    if (!encoded.error.isEmpty() || !file.Commit()) {
        return {PictureWrite::Outcome::Failed,
                "cannot write '" + PrintableFileName(path) +
                    "': " + (encoded.error.isEmpty() ? file.GetFailure() : encoded.error)};
    }
    return {PictureWrite::Outcome::Written, {}};
}

PictureWrite WritePicture(const QImage& image, const QString& path, const QByteArray& format,
                          const std::function<bool()>& abandon) {
    return PictureFile(path).Write(image, format, abandon);
}

}  // namespace lumivex
