// The rendered picture as an image file.
#pragma once

#include <cstdint>
#include <functional>

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include "io/atomic_file.h"
#include "io/exr_file.h"
#include "render/color_buffer.h"
#include "render/pixel_buffer.h"

namespace lumivex {

// The floating-point picture format: the colours the pixel drivers compute, as 32-bit floats
// before they are packed into 8 bits, written through OpenEXR (io/exr_file), never by Qt.
inline constexpr char kFloatPictureFormat[] = "exr";
inline bool IsFloatPictureFormat(const QByteArray& format) {
    return format == kFloatPictureFormat;
}

// Which pictures a program writes: 8-bit ones (the desktop app), or those and float ones (the
// command line, which keeps the colours for them).
enum class PictureKinds { EightBit, EightBitAndFloat };

// The picture formats written, by file extension in lower case: those of Qt's image writers
// available here that keep full colour (png and ppm at least), and exr when floats are asked for.
QStringList WritablePictureExtensions(PictureKinds kinds = PictureKinds::EightBit);

// The format a file name's extension asks for (the image writer's name for it, or
// kFloatPictureFormat), or, when it names none of `kinds` that we write, why not (with the
// extensions that do).
struct PictureFormat {
    QByteArray name;  // e.g. "png"; empty when the name gives no writable format
    QString problem;
};
PictureFormat PictureFormatFor(const QString& path, PictureKinds kinds = PictureKinds::EightBit);

// Why a width x height picture cannot be stored in `format` ("a JPEG picture is at most 65500
// pixels on a side"), or an empty string.
QString PictureSizeProblem(const QByteArray& format, std::uint32_t width, std::uint32_t height);

// An image for a width x height picture, or a null image when it cannot be allocated.
QImage NewPictureImage(std::uint32_t width, std::uint32_t height);

// Copies the buffer into `image` (of the buffer's size, from NewPictureImage): the buffer's rows
// run bottom-up and the image's top-down, and each word 0x00RRGGBB becomes 0xFFRRGGBB.
void CopyPicture(const PixelBuffer& pixels, QImage& image);

struct PictureWrite {
    enum class Outcome { Written, Abandoned, Failed };
    Outcome outcome = Outcome::Failed;
    QString error;  // for Failed: what went wrong, naming the file
};

// A picture file in the making. The temporary file it is written to is created at once, so that
// an output that cannot be written is known before any rendering; Write then encodes the picture
// into it and gives it the name. A failed or abandoned write, or a PictureFile that goes without
// one, leaves no partial file and leaves any earlier file of that name as it was (see AtomicFile).
class PictureFile {
  public:
    explicit PictureFile(const QString& path);

    // Empty while the picture can be written; otherwise why not, naming the file.
    QString GetFailure() const;

    // Encodes `image` in `format` (an image writer's name for it, such as "png") and gives the
    // file its name; once only. `abandon`, when given, is asked before every piece of the encoded
    // picture goes to the file and once more before it takes the name, so that a stop request
    // is answered while the picture is encoded, not after; from its first yes nothing more is
    // written.
    PictureWrite Write(const QImage& image, const QByteArray& format,
                       const std::function<bool()>& abandon = {});
    // The same for a floating-point picture: `colors` with `labels` in kFloatPictureFormat.
    PictureWrite WriteColors(const ColorBuffer& colors, const PictureLabels& labels,
                             const std::function<bool()>& abandon = {});

  private:
    QString path;
    AtomicFile file;
};

// PictureFile(path).Write(image, format, abandon).
PictureWrite WritePicture(const QImage& image, const QString& path, const QByteArray& format,
                          const std::function<bool()>& abandon = {});

}  // namespace lumivex
