#include "app/picture_view.h"

#include <algorithm>
#include <cmath>

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "io/picture_file.h"

namespace lumivex {

namespace {

// Lengths in device pixels measure the same in logical pixels after a division that may leave
// a rounding error; this much of it is ignored when rounding up.
constexpr double kSlack = 1e-6;

// The next zoom step past `zoom` in `direction` (+1 larger, -1 smaller), or `zoom` at either end.
double NextZoomStep(double zoom, int direction) {
    if (direction > 0) {
        for (double step : kZoomSteps) {
            if (step > zoom * (1 + kSlack)) {
                return step;
            }
        }
    } else {
        for (auto step = std::rbegin(kZoomSteps); step != std::rend(kZoomSteps); ++step) {
            if (*step < zoom * (1 - kSlack)) {
                return *step;
            }
        }
    }
    return zoom;
}

int LogicalLength(int deviceLength, qreal ratio) {
    return static_cast<int>(std::ceil(deviceLength / ratio - kSlack));
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QAbstractScrollArea(parent) {
    // Without a frame the viewport is the whole widget, so a picture made at the widget's size
    // fills it exactly, with no scroll bars.
    setFrameShape(QFrame::NoFrame);
    // Every paint covers the whole viewport itself.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The window keeps the focus here, and takes the keys this view ignores.
    setFocusPolicy(Qt::StrongFocus);
}

void PictureView::SetPicture(const PixelBuffer* newPixels, qreal devicePixelRatio) {
    pixels = newPixels;
    ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    image = QImage();  // made at the buffer's size on the next paint
    PictureResized();
}

void PictureView::PictureResized() {
    if (fitToWindow) {
        SetZoom(FitZoom(), true, QRectF(viewport()->rect()).center());
    }
    UpdateScrollBars();
    viewport()->update();
}

void PictureView::ZoomIn() {
    SetZoom(NextZoomStep(zoom, 1), false, QRectF(viewport()->rect()).center());
}

void PictureView::ZoomOut() {
    SetZoom(NextZoomStep(zoom, -1), false, QRectF(viewport()->rect()).center());
}

void PictureView::ActualSize() {
    SetZoom(1.0, false, QRectF(viewport()->rect()).center());
}

void PictureView::FitToWindow() {
    SetZoom(FitZoom(), true, QRectF(viewport()->rect()).center());
}

double PictureView::FitZoom() const {
    if (pixels == nullptr || pixels->GetWidth() == 0 || pixels->GetHeight() == 0) {
        return zoom;
    }
    // The room without scroll bars: a fitted picture needs none.
    const QSize room = maximumViewportSize();
    const double fit = std::min(room.width() * ratio / pixels->GetWidth(),
                                room.height() * ratio / pixels->GetHeight());
    return fit > 0 ? std::min(fit, kZoomSteps[std::size(kZoomSteps) - 1]) : zoom;
}

void PictureView::SetZoom(double newZoom, bool fit, QPointF anchor) {
    const bool changed = newZoom != zoom || fit != fitToWindow;
    // The buffer point under the anchor stays under it.
    const QPointF bufferPoint = (anchor * ratio - DeviceOrigin()) / zoom;
    zoom = newZoom;
    fitToWindow = fit;
    UpdateScrollBars();
    const QPointF origin = anchor * ratio - bufferPoint * zoom;
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(-origin.x() / ratio)));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(-origin.y() / ratio)));
    viewport()->update();
    if (changed) {
        emit ZoomChanged(zoom);
    }
}

QSize PictureView::DeviceSize() const {
    if (pixels == nullptr) {
        return {};
    }
    return {static_cast<int>(std::lround(pixels->GetWidth() * zoom)),
            static_cast<int>(std::lround(pixels->GetHeight() * zoom))};
}

QPointF PictureView::DeviceOrigin() const {
    // Centred where the picture is smaller than the viewport, scrolled where it is larger; on
    // whole device pixels, so that actual size stays crisp.
    const QSize size = DeviceSize();
    const QSize view = viewport()->size();
    const auto place = [this](int pictureLength, int viewLength, int scrolled) {
        if (LogicalLength(pictureLength, ratio) <= viewLength) {
            return std::floor((viewLength * ratio - pictureLength) / 2);
        }
        return std::floor(-scrolled * ratio);
    };
    return {place(size.width(), view.width(), horizontalScrollBar()->value()),
            place(size.height(), view.height(), verticalScrollBar()->value())};
}

QRect PictureView::PictureRect() const {
    if (pixels == nullptr) {
        return {};
    }
    return QRectF(DeviceOrigin() / ratio, QSizeF(DeviceSize()) / ratio).toRect();
}

void PictureView::UpdateScrollBars() {
    const QSize size = DeviceSize();
    // Where the whole picture fits once the scroll bars are gone, they go; otherwise the bars
    // that are shown take their room from the viewport.
    const QSize room = maximumViewportSize();
    const bool fits = LogicalLength(size.width(), ratio) <= room.width() &&
                      LogicalLength(size.height(), ratio) <= room.height();
    const QSize view = fits ? room : viewport()->size();
    horizontalScrollBar()->setRange(0,
                                    std::max(0, LogicalLength(size.width(), ratio) - view.width()));
    verticalScrollBar()->setRange(0,
                                  std::max(0, LogicalLength(size.height(), ratio) - view.height()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setPageStep(view.height());
}

void PictureView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (fitToWindow) {
        SetZoom(FitZoom(), true, QRectF(viewport()->rect()).center());
    } else {
        UpdateScrollBars();
    }
}

void PictureView::scrollContentsBy(int, int) {
    viewport()->update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    if (pixels == nullptr) {
        painter.fillRect(viewport()->rect(), palette().window());
        return;  // not started yet, or torn down
    }
    const QSize bufferSize(static_cast<int>(pixels->GetWidth()),
                           static_cast<int>(pixels->GetHeight()));
    if (image.size() != bufferSize) {
        image = NewPictureImage(pixels->GetWidth(), pixels->GetHeight());
    }
    if (image.isNull()) {
        painter.fillRect(viewport()->rect(), palette().window());
        return;
    }
    // Threads may be rendering while this copies; a picture caught half-way through a pixel row
    // is fine, since the next repaint comes 66 ms later.
    CopyPicture(*pixels, image);
    const QRectF target(DeviceOrigin() / ratio, QSizeF(DeviceSize()) / ratio);
    // Around the picture is plain background.
    const QRegion around = QRegion(viewport()->rect()).subtracted(target.toAlignedRect());
    for (const QRect& part : around) {
        painter.fillRect(part, palette().window());
    }
    // Enlarged pictures show their pixels as squares; reduced ones are averaged.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom < 1);
    painter.drawImage(target, image, QRectF(image.rect()));
}

void PictureView::keyPressEvent(QKeyEvent* event) {
    // The arrows, page and Home/End keys move the camera, not the scroll bars: the window gets
    // every key.
    event->ignore();
}

void PictureView::wheelEvent(QWheelEvent* event) {
    event->accept();
    const int steps = static_cast<int>(std::lround(event->angleDelta().y() / 120.0));
    if (steps == 0) {
        return;
    }
    if ((event->modifiers() & Qt::ControlModifier) == 0) {
        emit WheelMoved(steps);
        return;
    }
    // Ctrl+wheel zooms about the point under the pointer.
    double newZoom = zoom;
    for (int i = 0; i < std::abs(steps); ++i) {
        newZoom = NextZoomStep(newZoom, steps > 0 ? 1 : -1);
    }
    SetZoom(newZoom, false, event->position());
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    if (dragButton != Qt::NoButton ||
        (button != Qt::LeftButton && button != Qt::RightButton && button != Qt::MiddleButton)) {
        event->ignore();
        return;
    }
    dragButton = button;
    lastDragPosition = event->position();
    dragMoved = false;
    event->accept();
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    if (dragButton == Qt::NoButton || (event->buttons() & dragButton) == 0) {
        event->ignore();
        return;
    }
    event->accept();
    const QPointF delta = event->position() - lastDragPosition;
    if (dragButton == Qt::MiddleButton) {
        // The scroll bars move by whole pixels; the rest waits for the next move.
        const QPoint moved = delta.toPoint();
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - moved.x());
        verticalScrollBar()->setValue(verticalScrollBar()->value() - moved.y());
        lastDragPosition += moved;
        return;
    }
    if (delta.isNull()) {
        return;
    }
    lastDragPosition = event->position();
    dragMoved = true;
    const QPointF deviceDelta = delta * devicePixelRatioF();
    if (dragButton == Qt::LeftButton) {
        emit OrbitDragged(deviceDelta);
    } else {
        emit PanDragged(deviceDelta);
    }
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != dragButton) {
        event->ignore();
        return;
    }
    event->accept();
    dragButton = Qt::NoButton;
    if (dragMoved) {
        dragMoved = false;
        emit DragFinished();
    }
}

void PictureView::contextMenuEvent(QContextMenuEvent* event) {
    // The right button drags here; no menu of the window's may open under it.
    event->accept();
}

}  // namespace lumivex
