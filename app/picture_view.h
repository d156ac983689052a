// The main window's drawing area: shows the pixel buffer unscaled, one buffer pixel per device
// pixel, its top row at the top.
#pragma once

#include <QImage>
#include <QWidget>

#include "render/pixel_buffer.h"

namespace lumivex {

class PictureView : public QWidget {
  public:
    explicit PictureView(QWidget* parent = nullptr);

    // The buffer to show from now on, measured in device pixels at `devicePixelRatio`; null
    // shows nothing (before start-up and after teardown).
    void SetPicture(const PixelBuffer* pixels, qreal devicePixelRatio);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const PixelBuffer* pixels = nullptr;
    QImage image;  // the buffer's copy, reused from paint to paint
};

}  // namespace lumivex
