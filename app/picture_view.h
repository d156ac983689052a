// The main window's drawing area: shows the pixel buffer, its top row at the top, centred and
// zoomed, with scroll bars when the zoomed picture is larger than the area. Mouse drags and the
// wheel are reported as signals for the window to move the camera with; the picture's size never
// follows the widget's.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointF>
#include <QRect>

#include "render/pixel_buffer.h"

namespace lumivex {

// The zoom factors that ZoomIn and ZoomOut step through, in buffer pixels per device pixel.
inline constexpr double kZoomSteps[] = {0.125, 0.25, 0.5, 1, 2, 3, 4, 6, 8, 12, 16};

class PictureView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit PictureView(QWidget* parent = nullptr);

    // The buffer to show from now on, measured in device pixels at `devicePixelRatio`; null
    // shows nothing (before start-up and after teardown).
    void SetPicture(const PixelBuffer* pixels, qreal devicePixelRatio);
    // To be called after the buffer's size changed: the scroll bars and the fit follow it.
    void PictureResized();

    // Zoom commands. Each one but FitToWindow ends fit mode; the view's centre stays on the same
    // picture point.
    void ZoomIn();
    void ZoomOut();
    void ActualSize();  // one buffer pixel per device pixel
    // The whole picture in the view, and the zoom follows the view's size until the next command.
    void FitToWindow();

    double Zoom() const { return zoom; }
    bool IsFitToWindow() const { return fitToWindow; }
    // Where the picture is drawn, in the viewport's logical pixels; empty without a picture.
    QRect PictureRect() const;

  signals:
    // The zoom factor or fit mode changed.
    void ZoomChanged(double zoom);
    // A left-button drag moved by `delta` device pixels since the last report.
    void OrbitDragged(QPointF delta);
    // The same for a right-button drag.
    void PanDragged(QPointF delta);
    // The left or right button was released after a drag.
    void DragFinished();
    // The wheel turned without Ctrl: notches away from the person are positive.
    void WheelMoved(int steps);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Sets the zoom keeping the picture point under `anchor` (viewport coordinates) in place.
    void SetZoom(double newZoom, bool fit, QPointF anchor);
    double FitZoom() const;
    // The zoomed picture's size in device pixels.
    QSize DeviceSize() const;
    // The picture's top-left corner in the viewport, in device pixels.
    QPointF DeviceOrigin() const;
    void UpdateScrollBars();

    const PixelBuffer* pixels = nullptr;
    QImage image;  // the buffer's copy, reused from paint to paint
    qreal ratio = 1.0;
    double zoom = 1.0;
    bool fitToWindow = false;

    Qt::MouseButton dragButton = Qt::NoButton;
    QPointF lastDragPosition;
    bool dragMoved = false;
};

}  // namespace lumivex
