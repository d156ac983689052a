// The rendered picture as an image file.
#pragma once

#include <cstdint>
#include <functional>

#include <QByteArray>
#include <QImage>
#include <QString>

#include "render/pixel_buffer.h"

namespace lumivex {

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

// Writes `image` to `path` in `format` (an image writer's name for it, such as "png") through a
// temporary file that takes the name only when complete, so a failed or abandoned write leaves
// no partial file and leaves any earlier file of that name as it was. `abandon`, when given, is
// asked once the image is encoded, just before the file takes its name.
PictureWrite WritePicture(const QImage& image, const QString& path, const QByteArray& format,
                          const std::function<bool()>& abandon = {});

}  // namespace lumivex
