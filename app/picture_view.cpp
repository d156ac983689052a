#include "app/picture_view.h"

#include <QPainter>

#include "io/picture_file.h"

namespace lumivex {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    // Every paint covers the whole widget itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::SetPicture(const PixelBuffer* newPixels, qreal devicePixelRatio) {
    pixels = newPixels;
    image = pixels != nullptr ? NewPictureImage(pixels->GetWidth(), pixels->GetHeight()) : QImage();
    image.setDevicePixelRatio(devicePixelRatio);
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    if (pixels == nullptr || image.isNull()) {
        return;  // not started yet, or torn down
    }
    // Threads may be rendering while this copies; a picture caught half-way through a pixel row
    // is fine, since the next repaint comes 66 ms later.
    CopyPicture(*pixels, image);
    QPainter painter(this);
    // Past the picture (when the window has been made larger) is plain background.
    painter.fillRect(rect(), palette().window());
    painter.drawImage(QPointF(0, 0), image);
}

}  // namespace lumivex
